#include <gtest/gtest.h>

#include <memory>

#include "blockxfer/link_wait.h"
#include "messages/recording_window.h"
#include "tests/common/settings_free_port.h"

namespace lumo {
namespace {

// A line on which one byte turns up at a chosen device time (never when at_ms < 0).
class OneByteLine : public test::SettingsFreePort {
 public:
  OneByteLine(std::shared_ptr<CountingClock> c, int64_t at_ms) : clock_(std::move(c)), at_(at_ms) {}
  uint32_t flags = 0;
  bool vanish = false;  // the byte is seen by polls but gone when read
  bool fail_read = false;

  bool clear_error(uint32_t& f, ComStat& st) override {
    f = flags;
    st = ComStat{};
    st.cbOutQue = 7;
    st.cbInQue = (at_ >= 0 && clock_->now_ms() >= at_) ? 1 : 0;
    return true;
  }
  bool write(const uint8_t*, uint32_t n, uint32_t& w) override {
    w = n;
    return true;
  }
  bool read(uint8_t* buf, uint32_t, uint32_t& got) override {
    got = 0;
    if (fail_read) return false;
    if (vanish || at_ < 0 || clock_->now_ms() < at_) return true;
    buf[0] = 0x42;
    got = 1;
    return true;
  }
  void close() override {}

 private:
  std::shared_ptr<CountingClock> clock_;
  int64_t at_;
};

struct Line {
  std::shared_ptr<CountingClock> clock = std::make_shared<CountingClock>();
  Session s;
  RecordingWindow w;
  std::shared_ptr<OneByteLine> dev;
  explicit Line(int64_t at_ms) : dev(std::make_shared<OneByteLine>(clock, at_ms)) {
    s.clock = clock;
    s.hComm.set(dev);
  }
};

TEST(WaitForInput, StrictAndInclusiveRulesAtTheLastPoll) {
  struct {
    int countdown, pause_ms;
    WaitRule rule;
    int64_t byte_at_ms;
    bool ready;
    int pauses;
  } cases[] = {
      {50, 100, WaitRule::Strict, 0, true, 0},
      {50, 100, WaitRule::Strict, 4900, true, 49},
      {50, 100, WaitRule::Strict, 5000, false, 50},  // first seen at countdown 0
      {50, 100, WaitRule::Inclusive, 5000, true, 50},
      {50, 100, WaitRule::Inclusive, 5001, false, 51},
      {50, 100, WaitRule::Strict, -1, false, 51},
      {16, 300, WaitRule::Inclusive, -1, false, 17},  // wait_count 300: froop 16
      {0, 100, WaitRule::Inclusive, 0, true, 0},
      {0, 100, WaitRule::Strict, 0, false, 0},
  };
  for (const auto& c : cases) {
    Line l(c.byte_at_ms);
    EXPECT_EQ(wait_for_input(l.s, l.w, c.countdown, c.pause_ms, c.rule, false), c.ready)
        << c.countdown << " " << c.byte_at_ms;
    EXPECT_EQ(l.clock->pauses(), c.pauses) << c.countdown << " " << c.byte_at_ms;
    EXPECT_EQ(l.clock->paused_ms(), int64_t(c.pauses) * c.pause_ms);
  }
}

TEST(WaitForInput, LineErrorsLogThePortStateOnlyWhenAsked) {
  Line l(0);
  l.dev->flags = 8;
  EXPECT_TRUE(wait_for_input(l.s, l.w, 5, 100, WaitRule::Inclusive, false));
  EXPECT_TRUE(l.w.lines().isEmpty());
  EXPECT_TRUE(wait_for_input(l.s, l.w, 5, 100, WaitRule::Inclusive, true));
  EXPECT_EQ(l.w.lines(),
            (QStringList{"dwErrorFlags=8", "ComStat.fCtsHold=0", "ComStat.fDsrHold=0",
                         "ComStat.fRlsdHold=0", "ComStat.fXoffHold=0", "ComStat.fXoffSent=0",
                         "ComStat.fEof=0", "ComStat.fTxim=0", "ComStat.fReserved=0",
                         "ComStat.cbInQue=1", "ComStat.cbOutQue=7"}));
}

TEST(ReadWhenReady, ReadsTheWaitingByte) {
  Line l(0);
  uint8_t b = 0;
  EXPECT_EQ(read_when_ready(l.s, &b, 1), ReadResult::Read);
  EXPECT_EQ(b, 0x42);
  EXPECT_EQ(l.s.poll_count, 1);
}

TEST(ReadWhenReady, GivesUpAfterFortyNinePollsWhenTheByteVanished) {
  Line l(0);
  l.dev->vanish = true;
  uint8_t b = 0;
  EXPECT_EQ(read_when_ready(l.s, &b, 1), ReadResult::TimedOut);
  EXPECT_EQ(l.s.poll_count, 50);
  EXPECT_EQ(l.clock->pauses(), 49);
}

TEST(ReadWhenReady, FailingReadIsAReadFailure) {
  Line l(0);
  l.dev->fail_read = true;
  uint8_t b = 0;
  EXPECT_EQ(read_when_ready(l.s, &b, 1), ReadResult::Failed);
}

}  // namespace
}  // namespace lumo
