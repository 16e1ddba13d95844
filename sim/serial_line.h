#pragma once
#include <QString>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/device.h"

namespace lumo::sim {

// The device's end of a serial line: a pseudo-terminal whose other end is published as a COMn
// symlink in a folder. A thread of its own reads what the PC sends and writes the device's
// answers, delays scaled down by `speedup`. Usable in-process from tests or by zorvel-sim.
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

  QString tty_path() const { return tty_path_; }
  QString link_path() const { return link_path_; }
  // Every byte received from the PC so far, and the commands the device made of them.
  std::string received() const;
  std::vector<std::string> commands() const;
  // Registers a command handler on the device (before start, or from the line's own thread).
  Device& device() { return device_; }

 private:
  void run();
  bool send(const std::string& bytes);
  bool wait_real_ms(int ms);  // false when stopping

  Device device_;
  int speedup_;
  int master_ = -1;
  int holder_ = -1;  // the device keeps the tty open so it never hangs up between opens
  int wake_ = -1;
  QString tty_path_;
  QString link_path_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mu_;
  std::string received_;
};

}  // namespace lumo::sim
