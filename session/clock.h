#pragma once
#include <atomic>
#include <cstdint>

namespace lumo {

// Every wait of the system goes through one clock, so tests can run the device's long waits
// (5 s replies, a 51 s watchdog, a 180 s stall limit) faster or count them without waiting.
class Clock {
 public:
  virtual ~Clock() = default;
  // A fixed pause of `ms` milliseconds of device time.
  virtual void pause(int ms) = 0;
  // Real milliseconds that a bounded wait of `ms` device milliseconds takes (poll() time-outs).
  virtual int real_ms(int ms) const { return ms; }
  // Monotonic device time in milliseconds.
  virtual int64_t now_ms() const = 0;
};

// Production: device time is real time.
class RealClock : public Clock {
 public:
  void pause(int ms) override;
  int64_t now_ms() const override;
};

// Device time runs `speedup` times faster than real time; the protocol keeps every count and
// every nominal duration, only the real time shrinks.
class ScaledClock : public Clock {
 public:
  explicit ScaledClock(int speedup);
  void pause(int ms) override;
  int real_ms(int ms) const override;
  int64_t now_ms() const override;
  int speedup() const { return speedup_; }

 private:
  int speedup_;
  int64_t start_us_;
};

// A virtual clock: pauses return at once and only advance device time; counts them.
class CountingClock : public Clock {
 public:
  void pause(int ms) override;
  int real_ms(int) const override { return 0; }
  int64_t now_ms() const override { return now_.load(); }
  int pauses() const { return pauses_.load(); }
  int64_t paused_ms() const { return now_.load(); }
  void reset() {
    pauses_ = 0;
    now_ = 0;
  }

 private:
  std::atomic<int> pauses_{0};
  std::atomic<int64_t> now_{0};
};

}  // namespace lumo
