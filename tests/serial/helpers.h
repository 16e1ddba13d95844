#pragma once
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "messages/recording_window.h"
#include "session/session.h"
#include "sim/serial_line.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
  *os << "{";
  for (const QString& s : l) *os << "\n  \"" << s.toStdString() << "\"";
  *os << " }";
}
QT_END_NAMESPACE

namespace lumo::test {

// A serial line scripted by the test: answers chosen commands, counts every queue poll between
// one write and the next, and fails any step on request.
class ScriptedPort : public PortDevice {
 public:
  struct Answer {
    std::string reply;
    int at_poll = 1;  // the reply becomes readable at this poll after the command
  };
  struct Segment {
    std::string command;
    int polls = 0;
  };

  std::map<std::string, Answer> answers;
  // When set, the queue count a poll reports, from the number of the poll after the last write.
  std::function<uint32_t(int poll)> queued;
  bool fail_set_state = false, fail_set_timeouts = false, fail_purge = false;
  bool fail_write = false, fail_read = false;

  std::string in;
  std::vector<Segment> segments;
  std::vector<uint32_t> reads;  // sizes asked for
  Dcb state;
  CommTimeouts timeouts;
  bool closed = false;

  void setup_queues(uint32_t, uint32_t) override {}
  void get_state(Dcb& d) override { d = state; }
  bool set_state(const Dcb& d) override {
    if (fail_set_state) return false;
    state = d;
    return true;
  }
  void get_timeouts(CommTimeouts& t) override { t = timeouts; }
  bool set_timeouts(const CommTimeouts& t) override {
    if (fail_set_timeouts) return false;
    timeouts = t;
    return true;
  }
  bool purge() override {
    if (fail_purge) return false;
    in.clear();
    return true;
  }
  bool clear_error(uint32_t& flags, ComStat& stat) override {
    flags = 0;
    stat = ComStat{};
    if (segments.empty()) segments.push_back({});
    Segment& seg = segments.back();
    ++seg.polls;
    if (pending_ && seg.polls >= pending_->at_poll) {
      in += pending_->reply;
      pending_.reset();
    }
    stat.cbInQue = queued ? queued(seg.polls) : uint32_t(in.size());
    return !closed;
  }
  bool write(const uint8_t* buf, uint32_t n, uint32_t& written) override {
    written = 0;
    if (fail_write || closed) return false;
    std::string cmd(reinterpret_cast<const char*>(buf), n);
    segments.push_back({cmd});
    if (auto it = answers.find(cmd); it != answers.end()) pending_ = it->second;
    written = n;
    return true;
  }
  void drain() override {}
  bool read(uint8_t* buf, uint32_t n, uint32_t& got) override {
    reads.push_back(n);
    got = 0;
    if (fail_read || closed) return false;
    got = uint32_t(std::min<size_t>(n, in.size()));
    std::copy(in.begin(), in.begin() + got, buf);
    in.erase(0, got);
    return true;
  }
  void close() override { closed = true; }

  int polls_after(const std::string& command) const {
    for (const Segment& s : segments)
      if (s.command == command) return s.polls;
    return -1;
  }

 private:
  std::optional<Answer> pending_;
};

// A session on a virtual clock with one scripted port already open.
struct ScriptedSession {
  std::shared_ptr<CountingClock> clock = std::make_shared<CountingClock>();
  std::shared_ptr<ScriptedPort> port = std::make_shared<ScriptedPort>();
  Session s;
  RecordingWindow w;
  ScriptedSession() {
    s.clock = clock;
    s.BaudRate = 115200;
    s.hComm.set(port);
  }
};

// A folder holding the COMn links of simulated devices, made the working directory while the
// test runs (the port table is read from it).
class SimFolder {
 public:
  SimFolder();
  ~SimFolder();
  // Starts a device on `port`; it answers `speedup` times faster than device time.
  sim::SerialLine& add(const QString& port, sim::DeviceConfig cfg = {}, int speedup = kSpeedup);
  QString path() const { return dir_.path(); }

  static constexpr int kSpeedup = 50;

 private:
  QTemporaryDir dir_;
  QString old_cwd_;
  std::vector<std::unique_ptr<sim::SerialLine>> lines_;
};

// A session whose device time runs kSpeedup times faster than real time.
struct SimSession {
  std::shared_ptr<ScaledClock> clock = std::make_shared<ScaledClock>(SimFolder::kSpeedup);
  Session s;
  RecordingWindow w;
  SimSession() {
    s.clock = clock;
    s.BaudRate = 115200;
  }
};

QStringList open_lines(uint32_t baud = 115200);

}  // namespace lumo::test
