#pragma once
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "messages/window.h"
#include "session/session.h"

// The AT command dialogue: one routine writes a command and awaits its reply by polling the
// input queue, driven by the constants of each exchange (poll counts, intervals, read sizes, log
// texts) and by the exchange's own recognition tests. Every pause goes through Session::clock.
// An exchange runs on its caller's thread and never closes the port.

namespace lumo {

// The reply collected so far: stored trigger bytes followed by the copied block. Bounded: a
// trigger byte that no longer fits is dropped and a block is cut to the room left, so no reply,
// however long or strange, writes past it.
class CollectedReply {
 public:
  static constexpr size_t kCapacity = 64;

  // Stores one trigger byte at the next free position.
  void store(uint8_t c);
  // Appends up to `at_most` of the n bytes after the stored ones.
  void append(const uint8_t* data, uint32_t n, uint32_t at_most);
  // The first `len` collected characters equal `expected` (missing ones never match).
  bool starts_with(std::string_view expected) const;
  uint8_t at(size_t i) const { return i < kCapacity ? bytes_[i] : 0; }
  // The collected bytes as a log text (up to the first NUL, as the log shows a C string).
  QString text() const;
  uint8_t stored() const { return stored_; }
  size_t size() const { return size_; }

 private:
  std::array<uint8_t, kCapacity> bytes_{};
  uint8_t stored_ = 0;  // trigger bytes stored: the next free position
  size_t size_ = 0;     // stored plus appended
};

struct Scanner {
  int state = 0;  // 0 hunting; 1, 2 the first character of an awaited reply seen
  CollectedReply reply;
};

// What a recognition test decided for one read: nullopt = wait again, else the result.
using Recognise = std::function<std::optional<int>(Scanner&, const uint8_t* data, uint32_t got)>;

struct ExchangeTexts {
  const char* write_failed;
  const char* no_data;
  const char* read_wait;
  const char* read_failed;
};

struct Exchange {
  std::string_view command;
  bool drain = false;            // drain the output after writing the command
  int data_wait = 50;            // N: the first byte must be seen at one of the first N polls
  int interval_ms = 100;         // T: pause between data-wait polls
  int read_wait_limit = 50;      // the read wait gives up when poll_count reaches this
  uint32_t read_wait_bytes = 1;  // bytes that must be waiting before the read
  std::array<uint32_t, 3> read_size{1, 1, 1};  // per scanner state
  ExchangeTexts texts;
};

enum class ExchangeEnd { WriteFailed, NoData, ReadWait, ReadFailed, Completed };

struct ExchangeOutcome {
  ExchangeEnd end;
  int result = 0;  // the recognition result when Completed
};

// Writes the command, then waits and reads until `recognise` completes the reply. A write,
// wait or read failure logs the exchange's text and ends the exchange at once.
ExchangeOutcome run_exchange(Session& s, Window& w, const Exchange& x, const Recognise& recognise);

// The transfer commands that open a block transfer.
enum class TransferCommand {
  FirmwareUpload,  // "AT#!W0\r": 250 polls 200 ms apart
  ConfigUpload,    // "AT#!W1\r": 250 polls 200 ms apart
  ConfigDownload,  // "AT#!R1\r": 50 polls 100 ms apart
};

enum class ConnectResult { Failed, Connected, Busy };

// Gives the transfer command and awaits "CONNECT\r\n" or "BUSY\r\n" (reads of 1, 8, 5 bytes).
// Logs "CONNECT受信" / "BUSY受信" or the failure text. Does not drain, does not close.
ConnectResult transfer_command(Session& s, Window& w, TransferCommand cmd);

}  // namespace lumo
