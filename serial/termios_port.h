#pragma once
#include <QString>

#include <atomic>
#include <memory>

#include "session/clock.h"
#include "session/handles.h"

namespace lumo {

// A tty opened for this process alone, non-blocking, every wait bounded with poll() against a
// monotonic deadline. close() wakes a pending call through an eventfd; the descriptor itself is
// released by the destructor, when no call holds the device any more.
class TermiosPort : public PortDevice {
 public:
  // The line error flags of a queue poll, with their Win32 values.
  static constexpr uint32_t kCeRxOver = 0x1, kCeOverrun = 0x2, kCeRxParity = 0x4, kCeFrame = 0x8,
                            kCeBreak = 0x10;

  // nullptr when the device cannot be opened or is in use (errno kept).
  static std::shared_ptr<TermiosPort> open(const QString& path, std::shared_ptr<Clock> clock);
  ~TermiosPort() override;

  void setup_queues(uint32_t in_bytes, uint32_t out_bytes) override;
  void get_state(Dcb& dcb) override;
  bool set_state(const Dcb& dcb) override;
  void get_timeouts(CommTimeouts& t) override;
  bool set_timeouts(const CommTimeouts& t) override;
  bool purge() override;
  bool clear_error(uint32_t& dwErrorFlags, ComStat& stat) override;
  bool write(const uint8_t* buf, uint32_t n, uint32_t& written) override;
  void drain() override;
  bool read(uint8_t* buf, uint32_t n, uint32_t& got) override;
  void close() override;

 private:
  TermiosPort(int fd, int wake_fd, std::shared_ptr<Clock> clock);
  // Waits for `events` on the line until the real deadline; 1 ready, 0 timed out, -1 closed or
  // failed.
  int wait_for(short events, int64_t deadline_us);
  int64_t deadline_after(uint32_t device_ms) const;

  struct ErrorCounts {
    int buf_overrun = 0, overrun = 0, parity = 0, frame = 0, brk = 0;
  };
  int fd_;
  ErrorCounts last_;
  int wake_fd_;
  std::shared_ptr<Clock> clock_;
  std::atomic<bool> closed_{false};
  CommTimeouts timeouts_;
};

}  // namespace lumo
