#include "sim/device.h"

namespace lumo::sim {

Device::Device(DeviceConfig config) : config_(std::move(config)) {
  if (config_.faults.model_mismatch) config_.model = "ZNX28KQ";
}

void Device::on_command(const std::string& command, Handler h) {
  handlers_[command] = std::move(h);
}

std::string Device::line(const std::string& text) const {
  return config_.crlf ? "\r\n" + text + "\r\n" : text + "\r\n";
}

std::string Device::answer(const std::string& command) {
  const Faults& f = config_.faults;
  if (auto it = f.replies.find(command); it != f.replies.end()) return it->second;
  if (auto it = handlers_.find(command); it != handlers_.end()) return it->second(*this, command);

  const std::string ok = line("OK");
  const bool rom = config_.mode != BootMode::Normal;
  if (command == "AT" || command == "AT&F") return ok;
  if (command == "ATI0") {
    return (config_.mode == BootMode::Rom ? line(config_.rom_line) : line(config_.model)) + ok;
  }
  if (command == "ATI1") return (rom ? line(config_.rom_line) : line(config_.version)) + ok;
  if (command == "+++") return f.escape_error ? line("ERROR") : ok;
  if (command == "ATH") return f.hangup_ok ? ok : line("NO CARRIER");
  if (command == "AT#!W0" || command == "AT#!W1" || command == "AT#!R1") {
    return f.busy ? line("BUSY") : line("ERROR");
  }
  return line("ERROR");
}

void Device::dispatch(const std::string& command, const std::string& raw,
                      std::vector<Output>& out) {
  commands_.push_back(command);
  const Faults& f = config_.faults;
  if (f.silent) return;
  if (config_.echo) out.push_back({0, raw});
  std::string reply = f.noise ? std::string("\r\n#*#\r\n") : answer(command);
  if (f.truncate >= 0 && size_t(f.truncate) < reply.size()) reply.resize(size_t(f.truncate));
  if (!reply.empty()) out.push_back({f.delay_ms, reply});
}

std::vector<Device::Output> Device::receive(const uint8_t* data, size_t n) {
  std::vector<Output> out;
  for (size_t i = 0; i < n; ++i) {
    const char c = char(data[i]);
    // A line feed after a command's CR, or stray ones, start nothing.
    if (pending_.empty() && c == '\n') continue;
    pending_.push_back(c);
    if (c == '\r') {
      std::string command = pending_.substr(0, pending_.size() - 1);
      std::string raw = pending_;
      pending_.clear();
      dispatch(command, raw, out);
    } else if (pending_ == "+++") {
      std::string raw = pending_;
      pending_.clear();
      dispatch("+++", raw, out);
    } else if (pending_.size() > 256) {
      pending_.clear();  // not a command line; drop it rather than grow
    }
  }
  return out;
}

}  // namespace lumo::sim
