#pragma once
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "session/clock.h"
#include "session/handles.h"
#include "sim/block/block_engine.h"

namespace lumo::test {

// The device's side of a serial line, in process: a small command mode (transfer commands go to
// the simulator's block engine, "+++" and "ATH\r" get their result codes) behind the PortDevice
// interface, on a virtual clock so that no real time passes.
class ScriptedDevice : public PortDevice {
  std::shared_ptr<CountingClock> clock_;

 public:
  enum class Escape { Ok, Error, Silent };

  ScriptedDevice(std::shared_ptr<CountingClock> clock, sim::BlockOptions o)
      : clock_(std::move(clock)), engine(std::move(o)) {}

  // Script.
  Escape escape = Escape::Ok;
  std::set<int> fail_writes;         // write calls (0 = the first) that fail and deliver nothing
  std::deque<uint32_t> error_flags;  // line error flags returned by the next queue polls
  bool fail_set_state = false;

  // Record.
  sim::BlockEngine engine;
  std::vector<std::string> commands;  // command-mode lines, "+++" included
  std::vector<uint8_t> received;      // every byte the PC wrote that reached the device
  int writes = 0;
  int polls = 0;
  int purges = 0;
  Dcb dcb;
  CommTimeouts timeouts;
  bool closed = false;

  void setup_queues(uint32_t, uint32_t) override {}
  void get_state(Dcb& d) override { d = dcb; }
  bool set_state(const Dcb& d) override {
    if (fail_set_state) return false;
    dcb = d;
    return true;
  }
  void get_timeouts(CommTimeouts& t) override { t = timeouts; }
  bool set_timeouts(const CommTimeouts& t) override {
    timeouts = t;
    return true;
  }
  bool purge() override {
    ++purges;
    out_.clear();
    return usable();
  }
  bool clear_error(uint32_t& flags, ComStat& stat) override {
    ++polls;
    stat = ComStat{};
    flags = 0;
    if (!usable()) return false;
    pump();
    if (!error_flags.empty()) {
      flags = error_flags.front();
      error_flags.pop_front();
    }
    stat.cbInQue = uint32_t(out_.size());
    return true;
  }
  bool write(const uint8_t* buf, uint32_t n, uint32_t& written) override {
    written = 0;
    if (!usable() || fail_writes.count(writes++)) return false;
    written = n;
    received.insert(received.end(), buf, buf + n);
    size_t i = 0;
    while (i < n) {
      if (engine.active()) {
        i += engine.input(buf + i, n - i, clock_->now_ms());
        if (engine.line_dropped()) return true;
        if (!engine.active()) escaped();
      } else {
        command_byte(buf[i++]);
      }
    }
    return true;
  }
  void drain() override {}
  bool read(uint8_t* buf, uint32_t n, uint32_t& got) override {
    got = 0;
    if (!usable()) return false;
    pump();
    while (got < n && !out_.empty()) {
      buf[got++] = out_.front();
      out_.pop_front();
    }
    return true;
  }
  void close() override { closed = true; }

  bool usable() const { return !closed && !engine.line_dropped(); }

 private:
  void pump() {
    const int64_t now = clock_->now_ms();
    engine.tick(now);
    uint8_t tmp[256];
    while (size_t k = engine.take(tmp, sizeof tmp, now)) out_.insert(out_.end(), tmp, tmp + k);
  }
  void say(const char* s) {
    for (; *s; ++s) out_.push_back(uint8_t(*s));
  }
  void escaped() {
    commands.push_back("+++");
    line_.clear();
    if (escape == Escape::Ok) say("\r\nOK\r\n");
    if (escape == Escape::Error) say("\r\nERROR\r\n");
  }
  void command_byte(uint8_t b) {
    line_.push_back(char(b));
    if (line_.size() >= 3 && line_.compare(line_.size() - 3, 3, "+++") == 0) {
      escaped();
      return;
    }
    if (b != '\r') return;
    commands.push_back(line_);
    pump();
    if (!engine.start(line_, clock_->now_ms()))
      say(line_ == "ATH\r" ? "\r\nNO CARRIER\r\n" : "\r\nOK\r\n");
    line_.clear();
  }

  std::deque<uint8_t> out_;
  std::string line_;
};

}  // namespace lumo::test
