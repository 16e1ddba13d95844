#include <gtest/gtest.h>

#include "blockxfer/serial_backup.h"
#include "messages/catalogue.h"
#include "transfer_fixture.h"

namespace lumo {
namespace {

using test::Bytes;
using test::Link;
using test::ending;
using test::sends;

const Bytes kOld = test::ascii("<ZNX27KQ> the backup taken last week");

// A device holding `config`, a PC whose chosen backup path already holds an older backup.
struct Backup : Link {
  explicit Backup(const Bytes& config, sim::BlockFaults f = {}) : Link(std::move(f)) {
    test::write_file(device("cfg27kq.bin"), config);
    s.config_path = pc("cfg27kq.bin");
    test::write_file(s.config_path, kOld);
    w.set_progress_max(777);
  }
  uint8_t run() { return serial_backup(s, w); }
  Bytes saved() const { return test::read_file(s.config_path); }
  // The old backup is there exactly as it was, and nothing else is.
  void expect_old_untouched() {
    EXPECT_EQ(saved(), kOld);
    EXPECT_EQ(pc_files(), QStringList{"cfg27kq.bin"});
    EXPECT_FALSE(s.hSaveFile.is_open());
  }
};

TEST(SerialBackup, ThreeThousandBytesInThreeFrames) {
  const Bytes config = test::pattern(3000);
  Backup b(config);
  ASSERT_EQ(b.run(), 1);
  EXPECT_EQ(b.saved(), config);
  EXPECT_EQ(b.w.lines(),
            QStringList({"CONNECT受信", "F_size3000"}) + sends({1, 2, 3}) + ending(3, 3000));
  ASSERT_EQ(b.w.boxes().size(), 1u);
  EXPECT_EQ(b.w.boxes()[0].text, msg::serial_backup_saved.body());
  EXPECT_EQ(b.w.boxes()[0].flags, kStyleInfo);
  EXPECT_EQ(b.w.progress(), 777);
  EXPECT_EQ(b.pc_files(), QStringList{"cfg27kq.bin"});
  EXPECT_EQ(b.dev->commands, (std::vector<std::string>{"AT#!R1\r", "+++", "ATH\r"}));
  EXPECT_EQ(b.s.wire_bytes, 3u * 14);
}

TEST(SerialBackup, RefusedFramesAreAnsweredWithANakForTheExpectedBlock) {
  using F = sim::BlockFaults;
  struct {
    const char* name;
    F::PerBlock F::*fault;
    QStringList refusal;
  } cases[] = {
      {"damaged", &F::damage_frame, {"CRCチェックNG"}},
      {"wrong number", &F::bad_seq, {"シーケンス番号エラー", "Nack_flag=0"}},
      {"bad header", &F::bad_header, {"ヘッダチェックNG", "Nack_flag=0"}},
      {"length field does not fit", &F::bad_length, {"ヘッダチェックNG", "Nack_flag=0"}},
  };
  for (const auto& c : cases) {
    const Bytes config = test::pattern(3000);
    F f;
    (f.*c.fault)[2] = 1;
    Backup b(config, f);
    ASSERT_EQ(b.run(), 1) << c.name;
    EXPECT_EQ(b.saved(), config) << c.name;
    EXPECT_EQ(b.w.lines(), QStringList({"CONNECT受信", "F_size3000"}) + sends({1}) + c.refusal +
                               sends({2, 2, 3}) + ending(4, 3000))
        << c.name;
    const auto& ev = b.dev->engine.events();
    EXPECT_EQ(std::count(ev.begin(), ev.end(), "naked 2"), 1) << c.name;
  }
}

TEST(SerialBackup, FourthRefusalEndsWithItsError) {
  using F = sim::BlockFaults;
  struct {
    const char* name;
    F::PerBlock F::*fault;
    const Message* box;
    QString last;
  } cases[] = {
      {"damaged", &F::damage_frame, &msg::transfer_error_7, "CRCチェックNG"},
      {"wrong number", &F::bad_seq, &msg::transfer_error_8, "シーケンス番号エラー"},
      {"bad header", &F::bad_header, &msg::transfer_error_8, "ヘッダチェックNG"},
  };
  for (const auto& c : cases) {
    F f;
    (f.*c.fault)[2] = 4;
    Backup b(test::pattern(3000), f);
    EXPECT_EQ(b.run(), 0) << c.name;
    ASSERT_EQ(b.w.boxes().size(), 1u) << c.name;
    EXPECT_EQ(b.w.boxes()[0].caption, c.box->caption_text());
    EXPECT_EQ(b.w.boxes()[0].text, c.box->body());
    EXPECT_EQ(b.w.lines().last(), c.last) << c.name;
    EXPECT_EQ(b.w.lines().count("send seq_ban=2"), 3) << "three Naks before the end";
    b.expect_old_untouched();
  }
}

TEST(SerialBackup, RepeatedBlockIsAcknowledgedAndWrittenOnce) {
  sim::BlockFaults f;
  f.repeat_previous[2] = 1;
  const Bytes config = test::pattern(3000);
  Backup b(config, f);
  ASSERT_EQ(b.run(), 1);
  EXPECT_EQ(b.saved(), config);
  EXPECT_EQ(b.w.lines(), QStringList({"CONNECT受信", "F_size3000", "send seq_ban=1",
                                      "以前に受信したデータが送られてきた1", "rec_segsize=1024"}) +
                             sends({1, 2, 3}) + ending(4, 3000));
}

TEST(SerialBackup, LostAckMakesTheDeviceRepeatAfterItsTimeout) {
  sim::BlockFaults f;
  f.lose_ack[1] = 1;
  const Bytes config = test::pattern(2048);
  Backup b(config, f);
  ASSERT_EQ(b.run(), 1);
  EXPECT_EQ(b.saved(), config);
  EXPECT_TRUE(b.w.lines().contains("以前に受信したデータが送られてきた1"));
}

TEST(SerialBackup, StrayBytesCostTheNextFrameOneNak) {
  sim::BlockFaults f;
  f.stray_after[1] = 1;
  const Bytes config = test::pattern(2048);
  Backup b(config, f);
  ASSERT_EQ(b.run(), 1);
  EXPECT_EQ(b.saved(), config);
  EXPECT_EQ(b.w.lines().count("CRCチェックNG"), 1);
}

TEST(SerialBackup, LargeFileWrapsFrom255ToZeroAndPassesTheOldCycleLimit) {
  sim::BlockFaults f;
  f.damage_frame[100] = 3;
  f.repeat_previous[200] = 2;
  const Bytes config = test::pattern(257 * 1024 + 10);
  Backup b(config, f);
  ASSERT_EQ(b.run(), 1);
  EXPECT_EQ(b.saved(), config);
  const QStringList l = b.w.lines();
  const int s255 = int(l.indexOf("send seq_ban=255"));
  ASSERT_GE(s255, 0);
  EXPECT_EQ(l[s255 + 1], "send seq_ban=0");
  EXPECT_EQ(l[s255 + 2], "F_size263178");
  EXPECT_EQ(l[s255 + 3], "send seq_ban=1");
  EXPECT_EQ(l.count("F_size263178"), 2) << "sequence number 1 comes round again";
  EXPECT_EQ(l[l.size() - 3], "total_data=263178");
  EXPECT_EQ(l.count("CRCチェックNG"), 3);
  EXPECT_EQ(l.count("以前に受信したデータが送られてきた199"), 2);
}

TEST(SerialBackup, CycleLimitShortOfTheSizeIsAFailure) {
  sim::BlockFaults f;
  f.repeat_previous[3] = 200;  // repeats neither raise nor reset the refusals
  Backup b(test::pattern(3000), f);
  EXPECT_EQ(b.run(), 0);
  EXPECT_EQ(b.w.lines().last(), "cycle_count=112 上限のため中止 total_data=2048");
  EXPECT_TRUE(b.w.boxes().empty());
  b.expect_old_untouched();
}

TEST(SerialBackup, SizeFromAnEarlierTransferIsNotTrusted) {
  for (uint32_t stale : {0u, 1u, 4000u}) {
    sim::BlockFaults f;
    f.damage_frame[1] = 1;
    const Bytes config = test::pattern(3000);
    Backup b(config, f);
    b.s.F_size = stale;
    ASSERT_EQ(b.run(), 1) << stale;
    EXPECT_EQ(b.saved(), config) << stale;
    EXPECT_EQ(b.s.F_size, 3000u);
  }
}

TEST(SerialBackup, BusyLeavesTheOldFileUntouched) {
  sim::BlockFaults f;
  f.busy = true;
  Backup b(test::pattern(3000), f);
  EXPECT_EQ(b.run(), 2);
  EXPECT_EQ(b.w.lines(), QStringList{"BUSY受信"});
  b.expect_old_untouched();
}

TEST(SerialBackup, FailuresLeaveTheOldFileUntouched) {
  struct {
    const char* name;
    sim::BlockFaults faults;
    test::ScriptedDevice::Escape escape;
    QString last;
  } cases[] = {
      {"silence", {}, test::ScriptedDevice::Escape::Ok, "タイムアウト。"},
      {"line dropped", {}, test::ScriptedDevice::Escape::Ok, "タイムアウト。"},
      {"hang-up refused", {}, test::ScriptedDevice::Escape::Error, "ERROR受信"},
  };
  cases[0].faults.silence[2] = 1000;
  cases[1].faults.drop_line_at = 2;
  for (auto& c : cases) {
    Backup b(test::pattern(3000), c.faults);
    b.dev->escape = c.escape;
    EXPECT_EQ(b.run(), 0) << c.name;
    EXPECT_EQ(b.w.lines().last(), c.last) << c.name;
    EXPECT_TRUE(b.w.boxes().empty()) << c.name;
    b.expect_old_untouched();
  }
}

TEST(SerialBackup, ReplyThatCannotBeWrittenFails) {
  Backup b(test::pattern(3000));
  b.dev->fail_writes = {2};  // the command, the first Ack, then the second
  EXPECT_EQ(b.run(), 0);
  EXPECT_EQ(b.w.lines().last(), "COMMに書込み失敗");
  b.expect_old_untouched();
}

TEST(SerialBackup, NewBackupWhereNoneWas) {
  const Bytes config = test::pattern(10);
  Backup b(config);
  QFile::remove(b.s.config_path);
  ASSERT_EQ(b.run(), 1);
  EXPECT_EQ(b.saved(), config);
  EXPECT_EQ(b.pc_files(), QStringList{"cfg27kq.bin"});
}

TEST(SerialBackup, FolderThatRefusesFilesFailsBeforeTheCommand) {
  Backup b(test::pattern(10));
  b.s.config_path = b.pc("no-such-folder/cfg27kq.bin");
  EXPECT_EQ(b.run(), 0);
  EXPECT_EQ(b.w.lines(), QStringList{"ファイルを作成できません。"});
  EXPECT_TRUE(b.dev->received.empty());
}

}  // namespace
}  // namespace lumo
