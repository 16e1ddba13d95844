#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "fake_host.h"
#include "jobs/progress_monitor.h"
#include "messages/ui_texts.h"

namespace lumo {
namespace {

// An FTP client whose upload counts come from a script indexed by poll.
class ScriptedUpload : public UploadProgress {
 public:
  bool connected() const override { return true; }
  int64_t bytes_total() const override { return total_after_reads-- > 0 ? -1 : total; }
  int64_t bytes_sent() const override {
    const int i = polls++;
    return sent ? sent(i) : 0;
  }
  void close_at_once() override { calls << "close_at_once"; }
  void abort_transfer() override { calls << "abort"; }
  void disconnect() override { calls << "disconnect"; }

  int64_t total = 100000;
  mutable int total_after_reads = 0;  // reads that still see no upload
  std::function<int64_t(int)> sent;
  mutable int polls = 0;
  QStringList calls;
};

struct Monitor : ::testing::Test {
  void run(uint8_t rom, std::function<bool()> stop = [] { return false; }) {
    s.clock = clock;
    s.xfer_page = 7;
    s.rom_mode = rom;
    monitor_upload(s, host, ftp, stop, [this] { ended = true; });
  }
  Session s;
  std::shared_ptr<CountingClock> clock = std::make_shared<CountingClock>();
  test::FakeHost host;
  ScriptedUpload ftp;
  bool ended = false;
};

TEST_F(Monitor, NormalModeWaitsThenEndsAThousandAndTenBytesShort) {
  ftp.sent = [](int i) { return int64_t(i) * 10000; };
  run(0);
  EXPECT_EQ(host.rec.lines(), QStringList{"１０秒待ち"});
  EXPECT_EQ(s.progress_max, 100000 - 1000);
  EXPECT_EQ(host.rec.progress_maximum(), 100000);
  // Polls see 0, 10000, ... 90000; 90000 >= 98990? no; 100000 ends it.
  EXPECT_EQ(ftp.polls, 11);
  EXPECT_EQ(clock->paused_ms(), 12000 + 10 * 1000);
  EXPECT_FALSE(ended);
}

TEST_F(Monitor, RomModeStartsAtOnceAndEndsTenBytesShort) {
  ftp.sent = [](int i) { return i == 0 ? 0 : int64_t(99990); };
  run(1);
  EXPECT_TRUE(host.rec.lines().isEmpty());
  EXPECT_EQ(s.progress_max, 100000);
  EXPECT_EQ(ftp.polls, 2);
  EXPECT_EQ(clock->paused_ms(), 1000);
}

TEST_F(Monitor, AnnouncesTheRunningTransferOnceAtTheFirstBytes) {
  ftp.sent = [](int i) { return i < 3 ? 0 : int64_t(i) * 1000; };
  ftp.total = 8010;
  run(1);
  const QStringList steps = host.steps();
  EXPECT_EQ(steps.count(QStringLiteral("Label16=転送中")), 1);
  EXPECT_EQ(steps.count(QStringLiteral("Label44=") + QString::fromUtf8(texts::transfer_running)), 1);
  EXPECT_EQ(host.rec.progress(), 8000);
}

TEST_F(Monitor, CountThatMovesAfter179UnchangedPollsIsNoStall) {
  // 0 for the first 179 polls (179 unchanged counts against the start value 0), then it moves.
  ftp.sent = [](int i) { return i < 179 ? 0 : int64_t(100000); };
  run(1);
  EXPECT_FALSE(ended);
  EXPECT_TRUE(ftp.calls.isEmpty());
  EXPECT_TRUE(host.rec.boxes().empty());
}

TEST_F(Monitor, CountUnchangedFor180PollsEndsTheProgram) {
  ftp.sent = [](int i) { return i < 5 ? int64_t(i) * 100 : int64_t(400); };
  run(1);
  EXPECT_TRUE(ended);
  // Polls 0..4 move; from poll 5 on the count stays, the 180th unchanged poll is poll 184.
  EXPECT_EQ(ftp.polls, 185);
  ASSERT_EQ(host.rec.boxes().size(), 1u);
  EXPECT_EQ(host.rec.boxes()[0].text, msg::transfer_error_9.body());
  EXPECT_EQ(ftp.calls, (QStringList{"close_at_once", "abort", "disconnect"}));
  const QStringList steps = host.steps();
  const int stop_at = steps.indexOf(QStringLiteral("log progress data stop"));
  ASSERT_GE(stop_at, 0);
  EXPECT_EQ(steps.mid(stop_at), (QStringList{"log progress data stop", "animate=0",
                                             "message ファイル転送エラー。#9#", "log FileClose"}));
}

TEST_F(Monitor, NothingSentFromTheStartIsAStall) {
  run(1);
  EXPECT_TRUE(ended);
  EXPECT_EQ(ftp.polls, 180);
}

TEST_F(Monitor, FinishedUploadEndsItWithoutAnotherPoll) {
  ftp.sent = [this](int i) {
    if (i == 3) s.upload_done = 1;
    return int64_t(i);
  };
  run(1);
  EXPECT_EQ(ftp.polls, 4);
  EXPECT_FALSE(ended);
}

TEST_F(Monitor, FailedUploadEndsItWithoutTheStallMessage) {
  int checks = 0;
  run(1, [&] { return ++checks > 20; });
  EXPECT_FALSE(ended);
  EXPECT_TRUE(host.rec.boxes().empty());
}

TEST_F(Monitor, WaitsForThisUploadsTotalRatherThanAStaleOne) {
  ftp.total_after_reads = 3;
  ftp.total = 5000;
  ftp.sent = [](int) { return int64_t(4990); };
  run(1);
  EXPECT_EQ(s.progress_max, 5000);
  EXPECT_EQ(clock->paused_ms(), 3 * 500);
}

}  // namespace
}  // namespace lumo
