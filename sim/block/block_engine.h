#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "blockxfer/frame.h"

// The device's side of the serial block transfer, as a byte-stream engine without threads or
// widgets: the simulator's command mode hands it a transfer command, then feeds it the PC's
// bytes and takes its answers, until the PC's escape "+++" returns the line to command mode.
// Time is the caller's device time in milliseconds; pacing at a line speed is the caller's
// (see LinePacer).

namespace lumo::sim {

inline constexpr const char* kFirmwareFile = "znx27kq.bin";
inline constexpr const char* kConfigFile = "cfg27kq.bin";

// Faults on request. Each map goes from a block number (1 = the first block of the file, so it
// keeps counting past sequence number 255) to how many times the fault hits that block.
struct BlockFaults {
  using PerBlock = std::map<uint32_t, int>;
  PerBlock damage_frame;     // download: the data frame goes out with a damaged byte
  PerBlock damage_reply;     // upload: the Ack goes out with a damaged byte
  PerBlock lose_ack;         // upload: the block is stored, its Ack is lost;
                             // download: the PC's Ack is lost (the block is sent again)
  PerBlock nak;              // upload: a good block is answered with a Nak and not stored
  PerBlock wrong_ack;        // upload: an Ack carrying the next sequence number
  PerBlock repeat_previous;  // download: the previous block is sent once more before this one
  PerBlock bad_seq;          // download: the frame carries a wrong sequence number
  PerBlock bad_header;       // download: the frame carries a wrong frame type (FCS good)
  PerBlock bad_length;       // download: the length field is one more than the data (FCS good)
  PerBlock stray_after;      // stray bytes behind the closing flag of the reply / data frame
  PerBlock silence;          // upload: the frame is lost (no reply); download: nothing is sent
  std::map<uint32_t, int> reply_delay_ms;  // upload: the reply to the block is held this long
  uint32_t drop_line_at = 0;  // the line drops when this block is received or due (0: never)
  bool busy = false;          // the transfer command is answered "BUSY\r\n"
};

struct BlockOptions {
  std::string folder;  // where uploads are stored and the configuration is read
  BlockFaults faults;
  int resend_after_ms = 3000;  // download: a block without a reply is sent again after this
  int max_sends = 10;          // download: sends of one block before the device gives up
};

class BlockEngine {
 public:
  // Finished: the download is over (sent or given up); data mode lasts until the escape.
  enum class Mode { Idle, Upload, Download, Finished };

  explicit BlockEngine(BlockOptions o);
  ~BlockEngine();
  BlockEngine(const BlockEngine&) = delete;
  BlockEngine& operator=(const BlockEngine&) = delete;

  // A command line from the PC ("AT#!W0\r", "AT#!W1\r" or "AT#!R1\r"): answers "CONNECT\r\n"
  // (and enters data mode) or "BUSY\r\n". False for any other command.
  bool start(std::string_view command, int64_t now_ms);
  // In data mode (until the escape): every byte from the PC belongs to the transfer.
  bool active() const { return mode_ != Mode::Idle; }
  // Bytes from the PC in data mode. Returns how many were taken; the rest follows the escape
  // "+++" (which ends data mode) and belongs to the command mode.
  size_t input(const uint8_t* p, size_t n, int64_t now_ms);
  // Lets time pass: resends of the download, held replies.
  void tick(int64_t now_ms);
  // The PC went away without its escape (it gave up, or closed the port): back to command mode,
  // dropping an unfinished upload and any answer not yet sent.
  void leave_data_mode();

  // Answers ready to go to the PC at `now_ms`.
  size_t pending(int64_t now_ms) const;
  size_t take(uint8_t* buf, size_t max, int64_t now_ms);

  // The line dropped by request: the caller closes it.
  bool line_dropped() const { return dropped_; }
  bool escaped() const { return escaped_; }
  Mode mode() const { return mode_; }

  // What the device did, one entry per event ("rx 1", "ack 1", "nak 2", "tx 3", "dup 4", ...).
  const std::vector<std::string>& events() const { return events_; }
  // Upload: the completed file (empty until the announced size has been stored).
  const std::string& stored_path() const { return stored_path_; }
  uint32_t stored_bytes() const { return stored_; }
  // Download: blocks acknowledged by the PC.
  uint32_t blocks_acked() const { return acked_; }

 private:
  struct Out {
    uint8_t byte;
    int64_t at_ms;
  };
  void push_out(const uint8_t* p, size_t n, int64_t at_ms);
  void push_out(std::string_view s, int64_t at_ms);
  void note(const char* what, uint32_t v);
  bool take_fault(BlockFaults::PerBlock& m, uint32_t block);
  void end_data_mode();

  void upload_frame(size_t closing, int64_t now_ms);
  void upload_reply(uint8_t kind, uint8_t seq, uint32_t block, int64_t now_ms);
  void upload_store(const uint8_t* data, uint16_t n, uint32_t total);

  void download_send(int64_t now_ms);
  void download_reply(size_t closing, int64_t now_ms);

  BlockOptions o_;
  Mode mode_ = Mode::Idle;
  std::deque<Out> out_;
  std::vector<std::string> events_;
  lumo::frame_assembler frames_{lumo::kDataFrameBuffer};
  int plus_run_ = 0;
  bool dropped_ = false;
  bool escaped_ = false;

  // Upload.
  std::string name_;
  std::FILE* part_ = nullptr;
  std::string part_path_, stored_path_;
  uint32_t expected_block_ = 1;  // next block to store
  uint32_t announced_ = 0;
  uint32_t stored_ = 0;

  // Download.
  std::vector<uint8_t> config_;
  uint32_t block_ = 1;      // next new block to send
  uint32_t in_flight_ = 0;  // block number of the frame awaiting its reply (0: none)
  int sends_ = 0;           // sends of the block in flight
  int64_t sent_at_ = 0;
  bool waiting_silence_ = false;
  uint32_t acked_ = 0;
};

// Paces a device's output at a line speed (10 bits a byte), with device time running `speedup`
// times faster than real time.
class LinePacer {
 public:
  LinePacer(uint32_t bit_per_s, int speedup);
  // Bytes that may go out at `real_us` (monotonic microseconds): 0 while the line is still busy
  // with earlier bytes, else a small burst.
  size_t allowance(int64_t real_us) const;
  // Records n bytes handed to the line at `real_us`.
  void sent(size_t n, int64_t real_us);
  // Real microseconds until the line is free again (0 when it is).
  int64_t wait_us(int64_t real_us) const;

 private:
  double us_per_byte_;
  double free_at_us_ = 0;
};

}  // namespace lumo::sim
