#include "session/clock.h"

#include <chrono>
#include <thread>

namespace lumo {

namespace {
int64_t mono_us() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

void RealClock::pause(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int64_t RealClock::now_ms() const { return mono_us() / 1000; }

ScaledClock::ScaledClock(int speedup) : speedup_(speedup < 1 ? 1 : speedup), start_us_(mono_us()) {}

void ScaledClock::pause(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::microseconds(int64_t(ms) * 1000 / speedup_));
}

int ScaledClock::real_ms(int ms) const {
  if (ms <= 0) return 0;
  int r = ms / speedup_;
  return r < 1 ? 1 : r;
}

int64_t ScaledClock::now_ms() const { return (mono_us() - start_us_) * speedup_ / 1000; }

void CountingClock::pause(int ms) {
  ++pauses_;
  if (ms > 0) now_ += ms;
}

}  // namespace lumo
