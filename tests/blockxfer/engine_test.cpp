#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "blockxfer/frame.h"
#include "sim/block/block_engine.h"
#include "test_util.h"

namespace lumo::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using test::operator+;

Bytes frame(uint8_t seq, uint32_t total, const Bytes& data) {
  Bytes f(kDataFrameBuffer);
  f.resize(build_data_frame(f, seq, total, data.data(), uint16_t(data.size())));
  return f;
}

Bytes reply(uint8_t kind, uint8_t seq) {
  Bytes f(kReplyFrameBuffer);
  f.resize(build_reply_frame(f, kind, seq));
  return f;
}

struct Device {
  QTemporaryDir dir;
  BlockEngine e;
  explicit Device(BlockFaults f = {}) : e(BlockOptions{dir.path().toStdString(), f}) {}
  size_t send(const Bytes& b) { return e.input(b.data(), b.size(), 0); }
  Bytes answer(int64_t now_ms = 0) {
    Bytes out(e.pending(now_ms));
    out.resize(e.take(out.data(), out.size(), now_ms));
    return out;
  }
};

TEST(BlockEngine, UploadChecksEveryFrameAsTheDeviceWould) {
  Device d;
  ASSERT_TRUE(d.e.start("AT#!W1\r", 0));
  EXPECT_EQ(d.answer(), test::ascii("CONNECT\r\n"));

  Bytes damaged = frame(1, 4, test::ascii("abcd"));
  damaged[18] ^= 0x01;
  const struct {
    Bytes in;
    Bytes out;
  } steps[] = {
      {damaged, reply(kFrameNak, 1)},
      {frame(2, 4, test::ascii("ab")), reply(kFrameNak, 1)},  // not the expected block
      {frame(1, 4, test::ascii("ab")), reply(kFrameAck, 1)},
      {frame(1, 4, test::ascii("ab")), reply(kFrameAck, 1)},  // again: acknowledged, not stored
      {frame(2, 5, test::ascii("cd")), reply(kFrameNak, 2)},  // total changed
      {frame(2, 4, test::ascii("cd")), reply(kFrameAck, 2)},
  };
  for (const auto& s : steps) {
    d.send(s.in);
    EXPECT_EQ(test::hex(d.answer()), test::hex(s.out));
  }
  EXPECT_EQ(d.e.stored_bytes(), 4u);
  QFile f(d.dir.path() + "/cfg27kq.bin");
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("abcd"));

  // The escape ends data mode; what follows it belongs to the command mode.
  Bytes tail = test::ascii("+++ATH\r");
  EXPECT_EQ(d.send(tail), 3u);
  EXPECT_FALSE(d.e.active());
  EXPECT_TRUE(d.e.escaped());
}

TEST(BlockEngine, UnfinishedUploadLeavesNoFile) {
  Device d;
  d.e.start("AT#!W0\r", 0);
  d.send(frame(1, 5000, test::pattern_bytes(1024)));
  d.send(test::ascii("+++"));
  EXPECT_FALSE(d.e.active());
  EXPECT_TRUE(QDir(d.dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST(BlockEngine, DownloadWithoutAConfigurationIsBusy) {
  Device d;
  ASSERT_TRUE(d.e.start("AT#!R1\r", 0));
  EXPECT_EQ(d.answer(), test::ascii("BUSY\r\n"));
  EXPECT_FALSE(d.e.active());
  EXPECT_FALSE(d.e.start("ATI1\r", 0));
}

TEST(BlockEngine, DownloadResendsOnNakAndSilenceAndGivesUp) {
  Device d;
  {
    QFile f(d.dir.path() + "/cfg27kq.bin");
    f.open(QIODevice::WriteOnly);
    f.write("xyz");
  }
  d.e.start("AT#!R1\r", 0);
  const Bytes first = frame(1, 3, test::ascii("xyz"));
  EXPECT_EQ(d.answer(), test::ascii("CONNECT\r\n") + first);
  d.send(reply(kFrameNak, 1));
  EXPECT_EQ(d.answer(), first);
  d.e.tick(2999);
  EXPECT_TRUE(d.answer().empty());
  d.e.tick(3000);
  EXPECT_EQ(d.answer(3000), first);
  for (int t = 2; t <= 12; ++t) d.e.tick(3000 * t);
  EXPECT_EQ(d.e.mode(), BlockEngine::Mode::Finished);
  EXPECT_EQ(d.e.events().back(), "give up");
  EXPECT_TRUE(d.e.active()) << "still in data mode until the escape";
}

TEST(LinePacer, HoldsTheLineRate) {
  for (uint32_t bps : {115200u, 57600u, 38400u}) {
    LinePacer p(bps, 1);
    int64_t t = 0;
    size_t sent = 0;
    while (sent < 10000) {
      size_t n = std::min<size_t>(p.allowance(t), 10000 - sent);
      if (n) {
        p.sent(n, t);
        sent += n;
      }
      t += std::max<int64_t>(p.wait_us(t), 1);
    }
    const double expected_us = 10000.0 * 10 * 1e6 / bps;
    EXPECT_NEAR(double(t), expected_us, expected_us * 0.05) << bps;
  }
  LinePacer fast(115200, 10);
  fast.sent(1152, 0);
  EXPECT_NEAR(double(fast.wait_us(0)), 10000.0, 10.0);
}

}  // namespace
}  // namespace lumo::sim
