#pragma once
#include <QString>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/block/block_engine.h"
#include "sim/device.h"

namespace lumo::sim {

// The device's end of a serial line: a pseudo-terminal whose other end is published as a COMn
// symlink in a folder. A thread of its own reads what the PC sends and writes the device's
// answers, delays scaled down by `speedup`. Usable in-process from tests or by zorvel-sim.
//
// Transfer commands ("AT#!W0\r", "AT#!W1\r", "AT#!R1\r") hand the line to a BlockEngine until
// the PC's "+++": uploads land in the folder as znx27kq.bin or cfg27kq.bin, the download sends
// the folder's cfg27kq.bin (config.block chooses another folder and the faults). Both directions
// run at config.line_speed, in device time; a pseudo-terminal has no speed of its own.
class SerialLine {
 public:
  SerialLine(DeviceConfig config, int speedup = 1);
  ~SerialLine();
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  // Opens the pseudo-terminal, links dir/port to it and starts answering. False with `error`.
  bool start(const QString& dir, const QString& port, QString* error = nullptr);
  // Stops answering, removes the link and closes the line. Idempotent.
  void stop();
  // Closes the device's end: the PC's port sees the line drop. The link stays.
  void drop_line();
  // The line was dropped, by drop_line() or by the drop_line_at fault.
  bool line_dropped() const { return dropped_; }

  QString tty_path() const { return tty_path_; }
  QString link_path() const { return link_path_; }
  // The folder where the transfer side keeps its files (valid after start).
  QString folder() const { return folder_; }
  // The first kRecordLimit bytes received from the PC, and the commands the device made of them.
  std::string received() const;
  std::vector<std::string> commands() const;
  // What the transfer side did, over all transfers so far (BlockEngine::events()).
  std::vector<std::string> transfer_events() const;
  // Registers a command handler on the device (before start, or from the line's own thread).
  Device& device() { return device_; }

  static constexpr size_t kRecordLimit = 4u << 20;
  // Device time without a byte from the PC after which data mode gives up on it; longer than
  // any wait of the PC's side between two of its writes.
  static constexpr int64_t kDataIdleMs = 20000;

 private:
  struct Chunk {
    std::string bytes;
    int64_t not_before_us;
  };
  void run();
  void take_input(const uint8_t* p, size_t n, int64_t now_us);
  void queue_answers(const std::vector<Device::Output>& out, int64_t now_us);
  void queue(std::string bytes, int64_t not_before_us);
  bool flush_output(int64_t now_us, bool& blocked);  // false when the line failed
  int64_t device_ms(int64_t real_us) const;
  void close_line();

  Device device_;
  int speedup_;
  int master_ = -1;
  int holder_ = -1;  // the device keeps the tty open so it never hangs up between opens
  int wake_ = -1;
  QString tty_path_;
  QString link_path_;
  QString folder_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> dropped_{false};
  mutable std::mutex mu_;  // received_, the device's record, the engine
  std::string received_;

  // Owned by the line's thread once it runs.
  std::unique_ptr<BlockEngine> engine_;
  std::optional<LinePacer> tx_pacer_, rx_pacer_;
  std::deque<Chunk> out_;
  size_t out_done_ = 0;  // bytes of out_.front() already written
  int64_t start_us_ = 0;
  int64_t now_ms_ = 0;         // device time of the input being handled
  int64_t last_input_ms_ = 0;  // device time of the PC's last byte
  std::string after_answer_;   // engine output behind the transfer command's answer
};

}  // namespace lumo::sim
