// The sender and the receiver against the simulated device over real pseudo-terminals: the
// device's side paced at its line speed, both sides' waits sped up by the same factor.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

#include "blockxfer/frame.h"
#include "blockxfer/serial_backup.h"
#include "blockxfer/serial_upload.h"
#include "messages/catalogue.h"
#include "messages/recording_window.h"
#include "serial/line_control.h"
#include "serial/port.h"
#include "sim/serial_line.h"
#include "transfer_fixture.h"

namespace lumo {
namespace {

using test::Bytes;
using test::ending;
using test::sends;
using F = sim::BlockFaults;

constexpr int kSpeedup = 50;

sim::DeviceConfig fault(F::PerBlock F::*which, uint32_t block, int times) {
  sim::DeviceConfig c;
  (c.block.faults.*which)[block] = times;
  return c;
}

// A PC cabled to a simulated device: the device's folder dev/ holds its COM1 link and files.
struct Cable {
  QTemporaryDir tmp;
  std::shared_ptr<ScaledClock> clock = std::make_shared<ScaledClock>(kSpeedup);
  Session s;
  RecordingWindow w;
  std::unique_ptr<sim::SerialLine> line;

  explicit Cable(sim::DeviceConfig cfg = {}, const Bytes& device_config = {}) {
    QDir(tmp.path()).mkdir("pc");
    QDir(tmp.path()).mkdir("dev");
    if (!device_config.empty()) test::write_file(device("cfg27kq.bin"), device_config);
    line = std::make_unique<sim::SerialLine>(std::move(cfg), kSpeedup);
    QString error;
    EXPECT_TRUE(line->start(dev_dir(), "COM1", &error)) << error.toStdString();
    s.clock = clock;
    s.BaudRate = 115200;
    s.wait_count = 100;
    s.xfer_page = 7;
    s.port_name = "COM1";
    s.port_opener = [d = dev_dir(), c = clock](const QString& name) -> OpenedPort {
      return open_tty(d + "/" + name, c);
    };
    EXPECT_TRUE(open_port(s, w));
    w.clear();
  }
  ~Cable() {
    close_port(s);
    line->stop();
  }
  QString dev_dir() const { return tmp.path() + "/dev"; }
  QString pc(const char* name) const { return tmp.path() + "/pc/" + name; }
  QString device(const char* name) const { return dev_dir() + "/" + name; }
  // The device's files, without its COM1 link.
  QStringList device_files() const {
    return QDir(dev_dir()).entryList(QDir::Files | QDir::NoSymLinks);
  }
  QStringList pc_files() const { return QDir(tmp.path() + "/pc").entryList(QDir::Files); }
  std::vector<std::string> commands() const { return line->commands(); }
  std::vector<std::string> events() const { return line->transfer_events(); }
};

// ---- upload ----

uint32_t wire_length(const Bytes& file) {
  uint32_t total = 0;
  Bytes f(kDataFrameBuffer);
  for (size_t off = 0; off < file.size(); off += kMaxBlock) {
    const uint16_t n = uint16_t(std::min<size_t>(kMaxBlock, file.size() - off));
    total += uint32_t(build_data_frame(f, uint8_t(off / kMaxBlock + 1), uint32_t(file.size()),
                                       file.data() + off, n));
  }
  return total;
}

QStringList head(size_t size) {
  return {QString("ファイルサイズ%1").arg(size), "CONNECT受信", "froop=50"};
}

QStringList tail(const Bytes& file) {
  return {QString("total=%1").arg(file.size()), QString("p=%1").arg(wire_length(file)), "一致",
          "一致"};
}

uint8_t upload(Cable& c, const Bytes& file, const char* name = "fw.bin") {
  test::write_file(c.pc(name), file);
  c.s.firmware_path = c.pc(name);
  return serial_upload(c.s, c.w);
}

const std::vector<std::string> kUploadCommands = {"AT#!W0", "+++", "ATH"};

TEST(EndToEndUpload, FilesArriveByteForByte) {
  for (size_t size : {size_t(0), size_t(1), size_t(3 * 1024), size_t(3000)}) {
    Cable c;
    const Bytes file = test::pattern(size);
    ASSERT_EQ(upload(c, file), 1) << size;
    EXPECT_EQ(c.w.lines(), head(size) + tail(file)) << size;
    EXPECT_EQ(c.commands(), kUploadCommands) << size;
    if (size == 0) {
      // Nothing announced, nothing stored.
      EXPECT_EQ(c.events(), (std::vector<std::string>{"connect", "escape"}));
      EXPECT_EQ(c.device_files(), QStringList{});
    } else {
      EXPECT_EQ(test::read_file(c.device("znx27kq.bin")), file) << size;
      EXPECT_EQ(c.device_files(), QStringList{"znx27kq.bin"}) << size;
    }
  }
}

TEST(EndToEndUpload, TheTwoHundredFiftySixthBlockCarriesZero) {
  Cable c;
  const Bytes file = test::pattern(257 * 1024);
  ASSERT_EQ(upload(c, file), 1);
  EXPECT_EQ(test::read_file(c.device("znx27kq.bin")), file);
  EXPECT_EQ(c.w.lines(), head(file.size()) + tail(file));
  const auto ev = c.events();
  auto at = [&](const std::string& e) { return std::find(ev.begin(), ev.end(), e) - ev.begin(); };
  EXPECT_LT(at("ack 255"), at("rx 256"));
  EXPECT_LT(at("rx 256"), at("ack 0"));
  EXPECT_LT(at("ack 0"), at("rx 257"));
  EXPECT_EQ(std::vector<std::string>(ev.end() - 4, ev.end()),
            (std::vector<std::string>{"rx 257", "stored 263168", "ack 1", "escape"}));
}

TEST(EndToEndUpload, ResendsUpToTheFourthFailure) {
  // Block 2 of three; what the sender logs for each failure, and for the last one.
  struct Case {
    const char* name;
    F::PerBlock F::*fault;
    QStringList per_failure;
    QStringList fourth;
  };
  const Case cases[] = {
      {"no reply", &F::silence, {"saisou / no data2"}, {"タイムアウト。Ack来ない(LC=4)"}},
      {"lost Ack", &F::lose_ack, {"saisou / no data2"}, {"タイムアウト。Ack来ない(LC=4)"}},
      {"Nak",
       &F::nak,
       {"Nakが返ってきた！2", "Ackでないため再送します！2"},
       {"Nakが返ってきた！2", "再送3回したが、Ack以外のものが返ってくる。", "(2)"}},
      {"Ack for another block",
       &F::wrong_ack,
       {"Ackでないため再送します！2"},
       {"再送3回したが、Ack以外のものが返ってくる。", "(3)"}},
      {"damaged Ack",
       &F::damage_reply,
       {"CRCチェックNGのため再送します！"},
       {"CRCチェック４回NG！2"}},
  };
  const Bytes file = test::pattern(2500);
  for (const Case& k : cases) {
    for (int failures : {1, 3, 4}) {
      SCOPED_TRACE(testing::Message() << k.name << " x" << failures);
      QStringList expected = head(file.size());
      for (int i = 0; i < std::min(failures, 3); ++i) expected += k.per_failure;
      Cable c(fault(k.fault, 2, failures));
      const uint8_t r = upload(c, file);
      if (failures < 4) {
        EXPECT_EQ(r, 1);
        EXPECT_EQ(c.w.lines(), expected + tail(file));
        EXPECT_EQ(test::read_file(c.device("znx27kq.bin")), file);
        EXPECT_EQ(c.commands(), kUploadCommands);
      } else {
        EXPECT_EQ(r, 0);
        EXPECT_EQ(c.w.lines(), expected + k.fourth);
        EXPECT_EQ(c.commands(), std::vector<std::string>{"AT#!W0"}) << "no hang-up";
      }
    }
  }
}

TEST(EndToEndUpload, FailedUploadLeavesNoFileAndTheDeviceAnswersCommandsAgain) {
  Cable c(fault(&F::silence, 2, 4));
  ASSERT_EQ(upload(c, test::pattern(2500)), 0);
  // The PC gave up without its escape; the device waits out the silence in data mode.
  c.clock->pause(int(sim::SerialLine::kDataIdleMs) + 2000);
  EXPECT_EQ(factory_default(c.s, c.w), 1);
  EXPECT_EQ(c.events().back(), "idle");
  EXPECT_EQ(c.device_files(), QStringList{});
}

TEST(EndToEndUpload, StrayBytesAfterAReplyCostTheNextBlockOneResend) {
  Cable c(fault(&F::stray_after, 1, 1));
  const Bytes file = test::pattern(2500);
  ASSERT_EQ(upload(c, file), 1);
  EXPECT_EQ(c.w.lines(),
            head(file.size()) + QStringList{"CRCチェックNGのため再送します！"} + tail(file));
  EXPECT_EQ(test::read_file(c.device("znx27kq.bin")), file);
}

TEST(EndToEndUpload, LineDroppedMidTransferFails) {
  sim::DeviceConfig cfg;
  cfg.block.faults.drop_line_at = 2;
  Cable c(cfg);
  EXPECT_EQ(upload(c, test::pattern(5000)), 0);
  EXPECT_TRUE(c.line->line_dropped());
  EXPECT_EQ(c.device_files(), QStringList{});
}

TEST(EndToEndUpload, BusyGivesTwoBeforeAnyFrame) {
  sim::DeviceConfig cfg;
  cfg.faults.busy = true;
  Cable c(cfg);
  test::write_file(c.device("znx27kq.bin"), test::ascii("old firmware"));
  EXPECT_EQ(upload(c, test::pattern(5000)), 2);
  EXPECT_EQ(c.w.lines(), (QStringList{"ファイルサイズ5000", "BUSY受信"}));
  EXPECT_EQ(c.line->received(), "AT#!W0\r");
  EXPECT_EQ(test::read_file(c.device("znx27kq.bin")), test::ascii("old firmware"));
}

TEST(EndToEndUpload, ConfigurationUploadAtEachLineSpeedTakesAtLeastItsLineTime) {
  const Bytes file = test::pattern(6000);
  // Every frame and every 14-byte Ack at 10 bits a byte, in real time.
  const double bytes = wire_length(file) + 6 * 14;
  for (uint32_t speed : {38400u, 57600u, 115200u}) {
    sim::DeviceConfig cfg;
    cfg.line_speed = speed;
    Cable c(cfg);
    c.s.xfer_page = 14;
    QElapsedTimer t;
    t.start();
    ASSERT_EQ(upload(c, file, "cfg.bin"), 1) << speed;
    const double line_ms = bytes * 10 * 1000 / speed / kSpeedup;
    EXPECT_GE(double(t.elapsed()), line_ms) << speed;
    EXPECT_EQ(c.commands().front(), "AT#!W1");
    EXPECT_EQ(test::read_file(c.device("cfg27kq.bin")), file) << speed;
  }
}

// ---- backup ----

const Bytes kOld = test::ascii("<ZNX27KQ> the backup taken last week");

// A device holding `config`; the PC's chosen backup path already holds an older backup.
struct Backup : Cable {
  Bytes config;
  explicit Backup(sim::DeviceConfig cfg = {}, Bytes cfg_file = test::pattern(3000))
      : Cable(std::move(cfg), cfg_file), config(std::move(cfg_file)) {
    s.config_path = pc("cfg27kq.bin");
    test::write_file(s.config_path, kOld);
  }
  uint8_t run() { return serial_backup(s, w); }
  Bytes saved() const { return test::read_file(s.config_path); }
  void expect_old_untouched() {
    EXPECT_EQ(saved(), kOld);
    EXPECT_EQ(pc_files(), QStringList{"cfg27kq.bin"});
    EXPECT_FALSE(s.hSaveFile.is_open());
  }
};

const QStringList kStart = {"CONNECT受信", "F_size3000"};
const std::vector<std::string> kBackupCommands = {"AT#!R1", "+++", "ATH"};

TEST(EndToEndBackup, AcceptedPaths) {
  struct Case {
    const char* name;
    sim::DeviceConfig device;
    QStringList lines;
  };
  const Case cases[] = {
      {"three frames", {}, kStart + sends({1, 2, 3}) + ending(3, 3000)},
      {"a Nak, then the good frame", fault(&F::damage_frame, 2, 1),
       kStart + sends({1}) + QStringList{"CRCチェックNG"} + sends({2, 2, 3}) + ending(4, 3000)},
      {"the previous block again", fault(&F::repeat_previous, 2, 1),
       kStart + sends({1}) +
           QStringList{"以前に受信したデータが送られてきた1", "rec_segsize=1024"} +
           sends({1, 2, 3}) + ending(4, 3000)},
      {"an Ack lost, the device sends again after its time-out", fault(&F::lose_ack, 1, 1),
       kStart + sends({1}) +
           QStringList{"以前に受信したデータが送られてきた1", "rec_segsize=1024"} +
           sends({1, 2, 3}) + ending(4, 3000)},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Backup b(k.device);
    b.w.set_progress_max(777);
    ASSERT_EQ(b.run(), 1);
    EXPECT_EQ(b.saved(), b.config) << "each block written once";
    EXPECT_EQ(b.w.lines(), k.lines);
    ASSERT_EQ(b.w.boxes().size(), 1u);
    EXPECT_EQ(b.w.boxes()[0].text, msg::serial_backup_saved.body());
    EXPECT_EQ(b.w.progress(), 777);
    EXPECT_EQ(b.pc_files(), QStringList{"cfg27kq.bin"});
    EXPECT_EQ(b.commands(), kBackupCommands);
  }
}

TEST(EndToEndBackup, SequenceNumberWrapsFrom255ToZero) {
  const Bytes config = test::pattern(257 * 1024 + 10);
  Backup b({}, config);
  ASSERT_EQ(b.run(), 1);
  EXPECT_EQ(b.saved(), config);
  // The Acks for 0x7D and 0x7E carry an escaped sequence number.
  size_t acks = 0;
  Bytes f(kReplyFrameBuffer);
  for (uint32_t n = 1; n <= 258; ++n) acks += build_reply_frame(f, kFrameAck, uint8_t(n));
  const QStringList l = b.w.lines();
  const int s255 = int(l.indexOf("send seq_ban=255"));
  ASSERT_GE(s255, 0);
  EXPECT_EQ(l.mid(s255, 4),
            (QStringList{"send seq_ban=255", "send seq_ban=0", "F_size263178", "send seq_ban=1"}));
  EXPECT_EQ(l.last(4),
            (QStringList{QString("p=%1").arg(acks), "total_data=263178", "一致", "一致"}));
}

TEST(EndToEndBackup, FourRefusalsEndWithTheirErrorAndLeaveTheOldFile) {
  const QStringList crc = {"CRCチェックNG"};
  auto seq = [](int n) {
    return QStringList{"シーケンス番号エラー", QString("Nack_flag=%1").arg(n)};
  };
  struct Case {
    const char* name;
    F::PerBlock F::*fault;
    const Message* box;
    QStringList lines;
  };
  const Case cases[] = {
      {"damaged", &F::damage_frame, &msg::transfer_error_7,
       kStart + sends({1}) + crc + sends({2}) + crc + sends({2}) + crc + sends({2}) + crc},
      {"wrong number", &F::bad_seq, &msg::transfer_error_8,
       kStart + sends({1}) + seq(0) + sends({2}) + seq(1) + sends({2}) + seq(2) + sends({2}) +
           QStringList{"シーケンス番号エラー"}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Backup b(fault(k.fault, 2, 4));
    EXPECT_EQ(b.run(), 0);
    EXPECT_EQ(b.w.lines(), k.lines);
    ASSERT_EQ(b.w.boxes().size(), 1u);
    EXPECT_EQ(b.w.boxes()[0].text, k.box->body());
    b.expect_old_untouched();
  }
}

TEST(EndToEndBackup, BusyLeavesTheOldFileUntouched) {
  sim::DeviceConfig cfg;
  cfg.faults.busy = true;
  Backup b(cfg);
  EXPECT_EQ(b.run(), 2);
  EXPECT_EQ(b.w.lines(), QStringList{"BUSY受信"});
  EXPECT_EQ(b.commands(), std::vector<std::string>{"AT#!R1"});
  b.expect_old_untouched();
}

TEST(EndToEndBackup, LineDroppedMidTransferLeavesTheOldFileUntouched) {
  sim::DeviceConfig cfg;
  cfg.block.faults.drop_line_at = 2;
  Backup b(cfg);
  EXPECT_EQ(b.run(), 0);
  EXPECT_TRUE(b.line->line_dropped());
  EXPECT_EQ(b.w.lines(), kStart + sends({1}) + QStringList{"タイムアウト。"});
  EXPECT_TRUE(b.w.boxes().empty());
  b.expect_old_untouched();
}

}  // namespace
}  // namespace lumo
