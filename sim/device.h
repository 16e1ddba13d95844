#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim/block/block_engine.h"

// The simulated ZORVEL 2700KQ: what it answers on its serial line, independent of how the bytes
// reach it. A command handler table lets later sides (block transfer) take over commands.

namespace lumo::sim {

enum class BootMode {
  Normal,        // firmware running: model and version lines
  Rom,           // boot loader: "ATI0\r" and "ATI1\r" answered with its "ROM" line
  RomAtVersion,  // boot loader that still gives the model line, "ROM" only to "ATI1\r"
};

// Faults injected on request. Delays are device milliseconds.
struct Faults {
  bool silent = false;          // never answers, not even the echo
  bool model_mismatch = false;  // model line "ZNX28KQ": same second and third characters
  int truncate = -1;            // send only the first n bytes of every answer (-1: all)
  bool noise = false;           // every answer replaced by bytes no reply wait looks for
  bool escape_error = false;    // "+++" answered with ERROR
  bool hangup_ok = false;       // "ATH\r" answered "OK" instead of "NO CARRIER"
  bool busy = false;            // transfer commands answered "BUSY"
  int delay_ms = 0;             // pause before every answer
  // Exact answers by command (without its CR; "+++" for the escape), overriding all else.
  std::map<std::string, std::string> replies;
};

struct DeviceConfig {
  BootMode mode = BootMode::Normal;
  bool echo = true;  // echo each command before answering
  bool crlf = true;  // CR LF before and after each answer line
  std::string model = "ZNX27KQ";
  std::string version = "V01.00  ROM V0.00.05";
  std::string rom_line = "ROM V0.00.05";
  Faults faults;
  // The block transfer behind "AT#!W0\r", "AT#!W1\r" and "AT#!R1\r" on a SerialLine: faults and
  // resend rules. Files live in block.folder, or in the line's folder when that is empty.
  BlockOptions block;
  // Bit/s of the line in both directions, 10 bits a byte; 0 leaves it as fast as the pty.
  uint32_t line_speed = 115200;
};

class Device {
 public:
  struct Output {
    int delay_ms = 0;  // device time to wait before sending
    std::string bytes;
  };
  // Answers one command; the command arrives without its CR.
  using Handler = std::function<std::string(Device&, const std::string& command)>;

  explicit Device(DeviceConfig config = {});

  // Bytes from the line; returns what to send back, in order.
  std::vector<Output> receive(const uint8_t* data, size_t n);

  // Replaces the answer to one command (later sides register theirs here).
  void on_command(const std::string& command, Handler h);

  const DeviceConfig& config() const { return config_; }
  // Every command received so far, in order.
  const std::vector<std::string>& commands() const { return commands_; }

  // An answer line framed as the device frames it.
  std::string line(const std::string& text) const;

 private:
  std::string answer(const std::string& command);
  void dispatch(const std::string& command, const std::string& raw, std::vector<Output>& out);

  DeviceConfig config_;
  std::map<std::string, Handler> handlers_;
  std::vector<std::string> commands_;
  std::string pending_;
};

}  // namespace lumo::sim
