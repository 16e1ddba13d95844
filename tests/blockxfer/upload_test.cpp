#include <gtest/gtest.h>

#include <QDir>

#include "blockxfer/frame.h"
#include "blockxfer/serial_upload.h"
#include "transfer_fixture.h"

namespace lumo {
namespace {

using test::Bytes;
using test::Link;

uint32_t wire_length(const Bytes& file) {
  uint32_t total = 0;
  Bytes f(kDataFrameBuffer);
  for (size_t off = 0; off < file.size(); off += kMaxBlock) {
    uint16_t n = uint16_t(std::min<size_t>(kMaxBlock, file.size() - off));
    total += uint32_t(build_data_frame(f, uint8_t(off / kMaxBlock + 1), uint32_t(file.size()),
                                       file.data() + off, n));
  }
  return total;
}

QStringList head(size_t size) {
  return {QString("ファイルサイズ%1").arg(size), "CONNECT受信", "froop=50"};
}

QStringList tail(size_t size, uint32_t wire) {
  return {QString("total=%1").arg(size), QString("p=%1").arg(wire), "一致", "一致"};
}

uint8_t upload(Link& l, const Bytes& file, const char* name = "fw.bin") {
  test::write_file(l.pc(name), file);
  l.s.firmware_path = l.pc(name);
  return serial_upload(l.s, l.w);
}

TEST(SerialUpload, SendsFilesOfEverySizeByteForByte) {
  Bytes every_byte(256 * 5);
  for (size_t i = 0; i < every_byte.size(); ++i) every_byte[i] = uint8_t(i);
  const Bytes files[] = {test::pattern(1),        test::pattern(1023), test::pattern(1024),
                         test::pattern(3 * 1024), test::pattern(3000), every_byte,
                         Bytes(2048, 0x7E)};
  for (const Bytes& file : files) {
    Link l;
    ASSERT_EQ(upload(l, file), 1) << file.size();
    EXPECT_EQ(test::read_file(l.device("znx27kq.bin")), file) << file.size();
    const uint32_t wire = wire_length(file);
    EXPECT_EQ(l.w.lines(), head(file.size()) + tail(file.size(), wire));
    EXPECT_EQ(l.s.wire_bytes, wire);
    EXPECT_EQ(l.s.F_size, file.size());
    EXPECT_EQ(l.w.progress_maximum(), int(file.size()));
    EXPECT_EQ(l.w.progress(), int(file.size()));
    EXPECT_EQ(l.w.progress_moves(), int((file.size() + 1023) / 1024));
    EXPECT_FALSE(l.s.hFile.is_open());
    EXPECT_EQ(l.dev->commands, (std::vector<std::string>{"AT#!W0\r", "+++", "ATH\r"}));
    EXPECT_EQ(l.clock->paused_ms(), 500) << "only the pause after CONNECT";
  }
}

TEST(SerialUpload, EmptyFileSendsNoFrameAndHangsUp) {
  Link l;
  ASSERT_EQ(upload(l, {}), 1);
  EXPECT_EQ(l.w.lines(), head(0) + tail(0, 0));
  EXPECT_EQ(l.dev->engine.events(), (std::vector<std::string>{"connect", "escape"}));
  EXPECT_EQ(l.dev->commands, (std::vector<std::string>{"AT#!W0\r", "+++", "ATH\r"}));
  EXPECT_EQ(l.w.progress_moves(), 0);
}

TEST(SerialUpload, FullBlocksOnlyAndTheSequenceNumberWraps) {
  Link l;
  const Bytes file = test::pattern(257 * 1024);
  ASSERT_EQ(upload(l, file), 1);
  EXPECT_EQ(test::read_file(l.device("znx27kq.bin")), file);
  const auto& ev = l.dev->engine.events();
  auto at = [&](const std::string& e) { return std::find(ev.begin(), ev.end(), e) - ev.begin(); };
  // Block 256 goes out as sequence number 0, block 257 as 1; there is no 258th frame.
  EXPECT_LT(at("ack 255"), at("ack 0"));
  EXPECT_LT(at("rx 256"), at("ack 0"));
  EXPECT_LT(at("ack 0"), at("rx 257"));
  EXPECT_EQ(ev[ev.size() - 3], "stored 263168");
  EXPECT_EQ(ev[ev.size() - 2], "ack 1");
  EXPECT_EQ(l.w.lines().last(4), tail(file.size(), wire_length(file)));
}

TEST(SerialUpload, ConfigurationUploadUsesItsCommandAndLeavesTheBarDuringTheResend) {
  Link l;
  l.s.xfer_page = 14;
  l.s.config_resend = 1;
  const Bytes file = test::pattern(2500);
  ASSERT_EQ(upload(l, file, "cfg.bin"), 1);
  EXPECT_EQ(l.dev->commands.front(), "AT#!W1\r");
  EXPECT_EQ(test::read_file(l.device("cfg27kq.bin")), file);
  EXPECT_EQ(l.w.progress_moves(), 0);
}

struct ResendCase {
  const char* name;
  sim::BlockFaults faults;
  uint8_t result;
  QStringList middle;  // lines between "froop=50" and the ending (or the last line on failure)
};

sim::BlockFaults on_block(sim::BlockFaults::PerBlock sim::BlockFaults::*which, uint32_t block,
                          int times) {
  sim::BlockFaults f;
  (f.*which)[block] = times;
  return f;
}

TEST(SerialUpload, ResendsUpToTheFourthFailure) {
  using F = sim::BlockFaults;
  F mixed;
  mixed.silence[1] = 1;
  mixed.nak[1] = 1;
  mixed.damage_reply[1] = 1;
  F mixed4 = mixed;
  mixed4.nak[1] = 2;
  const ResendCase cases[] = {
      {"one silence", on_block(&F::silence, 1, 1), 1, {"saisou / no data1"}},
      {"lost Ack",
       on_block(&F::lose_ack, 1, 3),
       1,
       {"saisou / no data1", "saisou / no data1", "saisou / no data1"}},
      {"no reply four times",
       on_block(&F::silence, 1, 4),
       0,
       {"saisou / no data1", "saisou / no data1", "saisou / no data1",
        "タイムアウト。Ack来ない(LC=3)"}},
      {"one Nak", on_block(&F::nak, 1, 1), 1, {"Nakが返ってきた！1", "Ackでないため再送します！1"}},
      {"four Naks",
       on_block(&F::nak, 1, 4),
       0,
       {"Nakが返ってきた！1", "Ackでないため再送します！1", "Nakが返ってきた！1",
        "Ackでないため再送します！1", "Nakが返ってきた！1", "Ackでないため再送します！1",
        "Nakが返ってきた！1", "再送3回したが、Ack以外のものが返ってくる。", "(1)"}},
      {"Ack for another block", on_block(&F::wrong_ack, 1, 1), 1, {"Ackでないため再送します！1"}},
      {"damaged reply",
       on_block(&F::damage_reply, 1, 3),
       1,
       {"CRCチェックNGのため再送します！", "CRCチェックNGのため再送します！",
        "CRCチェックNGのため再送します！"}},
      {"four damaged replies",
       on_block(&F::damage_reply, 1, 4),
       0,
       {"CRCチェックNGのため再送します！", "CRCチェックNGのため再送します！",
        "CRCチェックNGのため再送します！", "CRCチェック４回NG！1"}},
      {"three kinds share one count",
       mixed,
       1,
       {"saisou / no data1", "Nakが返ってきた！1", "Ackでないため再送します！1",
        "CRCチェックNGのため再送します！"}},
      {"a fourth kind ends it",
       mixed4,
       0,
       {"saisou / no data1", "Nakが返ってきた！1", "Ackでないため再送します！1",
        "Nakが返ってきた！1", "Ackでないため再送します！1", "CRCチェック４回NG！1"}},
  };
  for (const auto& c : cases) {
    Link l(c.faults);
    const Bytes file = test::pattern(100);
    ASSERT_EQ(upload(l, file), c.result) << c.name;
    QStringList expected = head(100) + c.middle;
    if (c.result == 1) {
      expected += tail(100, wire_length(file));
      EXPECT_EQ(test::read_file(l.device("znx27kq.bin")), file) << c.name;
    } else {
      EXPECT_TRUE(l.s.hFile.is_open()) << "left for the caller to close";
      EXPECT_EQ(l.dev->commands, std::vector<std::string>{"AT#!W0\r"}) << "no hang-up";
    }
    EXPECT_EQ(l.w.lines(), expected) << c.name;
    // Every resend is the very frame sent first.
    Bytes frame(kDataFrameBuffer);
    frame.resize(build_data_frame(frame, 1, 100, file.data(), 100));
    const size_t sends = std::count_if(c.middle.begin(), c.middle.end(),
                                       [](const QString& s) {
                                         return s.contains("saisou") || s.contains("再送します");
                                       }) +
                         1;
    Bytes expected_wire(l.dev->received.begin(), l.dev->received.begin() + 7);
    for (size_t i = 0; i < sends; ++i)
      expected_wire.insert(expected_wire.end(), frame.begin(), frame.end());
    EXPECT_EQ(
        Bytes(l.dev->received.begin(),
              l.dev->received.begin() + std::min(l.dev->received.size(), expected_wire.size())),
        expected_wire)
        << c.name;
  }
}

TEST(SerialUpload, NoReplyIsDeclaredAfterFroopPlusOnePolls) {
  struct {
    int wait_count;
    int froop;
  } cases[] = {{100, 50}, {300, 16}, {0, 5000}, {-5, 5000}};
  for (const auto& c : cases) {
    Link l(on_block(&sim::BlockFaults::silence, 1, 4));
    l.s.wait_count = c.wait_count;
    ASSERT_EQ(upload(l, test::pattern(10)), 0);
    EXPECT_EQ(l.w.lines()[2], QString("froop=%1").arg(c.froop));
    const int ms = std::max(c.wait_count, 1);
    // Four reply waits of froop + 1 pauses each, after the 500 ms pause.
    EXPECT_EQ(l.clock->paused_ms(), 500 + 4 * int64_t(c.froop + 1) * ms) << c.wait_count;
  }
}

TEST(SerialUpload, ReplyFirstSeenAtTheLastPollIsAccepted) {
  for (int delay : {5000, 5001}) {
    sim::BlockFaults f;
    f.reply_delay_ms[1] = delay;
    Link l(f);
    const uint8_t r = upload(l, test::pattern(10));
    const bool resent = l.w.lines().contains("saisou / no data1");
    EXPECT_EQ(resent, delay == 5001) << delay;
    if (delay == 5000) {
      EXPECT_EQ(r, 1);
    }
  }
}

TEST(SerialUpload, StrayBytesAfterAReplyCostTheNextBlockOneResend) {
  Link l(on_block(&sim::BlockFaults::stray_after, 1, 1));
  const Bytes file = test::pattern(2000);
  ASSERT_EQ(upload(l, file), 1);
  EXPECT_EQ(l.w.lines(), head(2000) + QStringList{"CRCチェックNGのため再送します！"} +
                             tail(2000, wire_length(file)));
  EXPECT_EQ(test::read_file(l.device("znx27kq.bin")), file);
}

TEST(SerialUpload, WriteRecoveryReconfiguresAndLeavesTwoResends) {
  const Bytes file = test::pattern(100);
  Bytes frame(kDataFrameBuffer);
  const QString len = QString::number(build_data_frame(frame, 1, 100, file.data(), 100));
  for (int silences : {2, 3}) {
    Link l(on_block(&sim::BlockFaults::silence, 1, silences));
    l.dev->fail_writes = {1};  // the first frame; write 0 is the command
    l.s.opt_bytes[0] = '1';
    const uint8_t r = upload(l, file);
    QStringList expected = head(100) + QStringList{"saisou(正)", "fLen=0"};
    const QStringList got = l.w.lines();
    ASSERT_GE(got.size(), expected.size());
    EXPECT_EQ(got.mid(0, expected.size()), expected);
    // The port layer's own lines, then the bare count of the recovery write.
    const int count_at = int(got.indexOf(len));
    ASSERT_GT(count_at, expected.size()) << got.join("|").toStdString();
    EXPECT_TRUE(got.mid(expected.size(), count_at - expected.size()).contains("BaudRate=57600"));
    EXPECT_EQ(l.dev->dcb.BaudRate, 57600u);
    QStringList after = got.mid(count_at + 1);
    if (silences == 2) {
      EXPECT_EQ(r, 1);
      EXPECT_EQ(after, QStringList({"saisou / no data1", "saisou / no data1"}) +
                           tail(100, uint32_t(len.toUInt())));
      EXPECT_EQ(test::read_file(l.device("znx27kq.bin")), file);
    } else {
      EXPECT_EQ(r, 0);
      EXPECT_EQ(after.last(), "タイムアウト。Ack来ない(LC=3)");
      EXPECT_EQ(after.count("saisou / no data1"), 2);
    }
    ASSERT_EQ(l.w.boxes().size(), 1u) << "diagnostic mode shows the system error";
    EXPECT_EQ(l.w.boxes()[0].caption, "GetLastError");
  }
}

TEST(SerialUpload, WriteRecoveryFailingToReconfigureClosesThePort) {
  Link l;
  l.dev->fail_writes = {1};
  l.dev->fail_set_state = true;
  EXPECT_EQ(upload(l, test::pattern(100)), 0);
  EXPECT_FALSE(l.s.hComm.is_open());
  EXPECT_TRUE(l.w.boxes().empty()) << "no box outside diagnostic mode";
}

TEST(SerialUpload, FailedRecoveryWriteIsLoggedAndTheReplyWaitGoesOn) {
  Link l;
  l.dev->fail_writes = {1, 2};
  ASSERT_EQ(upload(l, test::pattern(100)), 1) << "the resend after silence gets through";
  const QStringList got = l.w.lines();
  const int at = int(got.indexOf("(正)COMMに書込み失敗"));
  ASSERT_GE(at, 0);
  EXPECT_EQ(got[at + 1], "0");
  EXPECT_EQ(got[at + 2], "saisou / no data1");
}

TEST(SerialUpload, BusyGivesTwoBeforeAnyFrame) {
  sim::BlockFaults f;
  f.busy = true;
  Link l(f);
  EXPECT_EQ(upload(l, test::pattern(5000)), 2);
  EXPECT_EQ(l.dev->received, test::ascii("AT#!W0\r"));
  EXPECT_EQ(l.w.lines(), (QStringList{"ファイルサイズ5000", "BUSY受信"}));
  EXPECT_TRUE(l.s.hFile.is_open());
  EXPECT_FALSE(QFile::exists(l.device("znx27kq.bin")));
}

TEST(SerialUpload, LocalFileProblemsEndTheUpload) {
  {
    Link l;
    l.s.firmware_path = l.pc("missing.bin");
    EXPECT_EQ(serial_upload(l.s, l.w), 0);
    EXPECT_EQ(l.w.lines(), QStringList{"ファイルをオープンできません。(cre)"});
    EXPECT_TRUE(l.dev->received.empty());
  }
  {
    // A folder opens and has a size, but cannot be read.
    Link l;
    l.s.firmware_path = l.pc_dir();
    EXPECT_EQ(serial_upload(l.s, l.w), 0);
    EXPECT_EQ(l.w.lines().last(), "ファイルを読み込めません。");
    EXPECT_EQ(l.dev->commands, std::vector<std::string>{"AT#!W0\r"});
  }
}

TEST(SerialUpload, LineDroppedMidTransferFails) {
  sim::BlockFaults f;
  f.drop_line_at = 2;
  Link l(f);
  EXPECT_EQ(upload(l, test::pattern(5000)), 0);
  EXPECT_FALSE(QFile::exists(l.device("znx27kq.bin")));
}

TEST(SerialUpload, FailedHangUpIsAFailure) {
  Link l;
  l.dev->escape = test::ScriptedDevice::Escape::Error;
  EXPECT_EQ(upload(l, test::pattern(10)), 0);
  EXPECT_EQ(l.w.lines().last(), "ERROR受信");
}

}  // namespace
}  // namespace lumo
