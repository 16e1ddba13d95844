#include "serial/detect.h"
#include "helpers.h"
#include "serial/at_exchange.h"
#include "serial/port.h"

namespace lumo::test {
namespace {

QStringList silent_port(const QString& port) {
  return open_lines() +
         QStringList{port, "タイムアウト。OK来ない(at)", "データこないタイムアウト(ATI0)"};
}
QStringList probed(const QString& port) {
  return open_lines() + QStringList{port, "9", "AT\r\r\nOK\r\n", "OK"};
}
const QStringList kModelOk = {"P受信", "I0fLen=13", "NX27KQ\r\n\r\nOK\r\n"};
const QStringList kVersionOk = {"V01.00  ROM V0.00.05\r\n\r\nOK", "V01.00"};
const QStringList kRomReply = {"ROM V"};
const QString kAbsent = "INVALID_HANDLE_VALUE";

sim::DeviceConfig device(std::function<void(sim::DeviceConfig&)> tweak = {}) {
  sim::DeviceConfig c;
  if (tweak) tweak(c);
  return c;
}
const sim::DeviceConfig kSilent = device([](auto& c) { c.faults.silent = true; });
const sim::DeviceConfig kNoise = device([](auto& c) { c.faults.noise = true; });

struct ScanCase {
  const char* name;
  std::vector<std::pair<QString, sim::DeviceConfig>> ports;
  int result;
  QStringList logs;
  bool port_open;
  uint8_t rom_mode;
  QString found;                                   // Label20
  std::vector<std::vector<std::string>> commands;  // per simulated port, in order
};

class Scan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(Scan, FindsTheDeviceOrEndsAsTheFirstAnsweringPortDecides) {
  const ScanCase& c = GetParam();
  SimFolder folder;
  std::vector<sim::SerialLine*> lines;
  for (const auto& [port, cfg] : c.ports) lines.push_back(&folder.add(port, cfg));
  SimSession t;
  EXPECT_EQ(detect_device(t.s, t.w), c.result);
  EXPECT_EQ(t.w.lines(), c.logs);
  EXPECT_EQ(t.s.hComm.is_open(), c.port_open);
  EXPECT_EQ(t.s.rom_mode.load(), c.rom_mode);
  EXPECT_EQ(t.w.text("Label20"), c.found);
  EXPECT_EQ(t.w.text("Label27"), c.found.isEmpty() ? QString() : QString("ZORVEL 2700KQ"));
  if (c.port_open) {
    EXPECT_EQ(t.s.port_name, c.found);
  }
  for (size_t i = 0; i < lines.size() && i < c.commands.size(); ++i)
    EXPECT_EQ(lines[i]->commands(), c.commands[i]) << c.ports[i].first.toStdString();

  // Every port the scan closed is free again.
  close_port(t.s);
  for (const auto& [port, cfg] : c.ports) {
    SimSession again;
    again.s.port_name = port;
    EXPECT_TRUE(open_port(again.s, again.w)) << port.toStdString();
  }
}

const std::vector<std::string> kFull = {"AT", "ATI0", "ATI1", "AT&F"};
const std::vector<std::string> kSilentCmds = {"AT", "ATI0"};

INSTANTIATE_TEST_SUITE_P(
    Detection, Scan,
    ::testing::Values(
        ScanCase{"DeviceOnCom3AfterASilentCom1AndNoCom2",
                 {{"COM1", kSilent}, {"COM3", device()}},
                 1,
                 silent_port("COM1") + QStringList{kAbsent} + probed("COM3") + kModelOk +
                     kVersionOk + QStringList{"COM3", "AT&F OK"},
                 true,
                 0,
                 "COM3",
                 {kSilentCmds, kFull}},
        ScanCase{"RomModeFromTheModelQuery",
                 {{"COM1", device([](auto& c) { c.mode = sim::BootMode::Rom; })}},
                 1,
                 probed("COM1") + kRomReply + QStringList{"COM1"},
                 true,
                 1,
                 "COM1",
                 {{"AT", "ATI0"}}},
        ScanCase{"RomModeFromTheVersionQuery",
                 {{"COM1", device([](auto& c) { c.mode = sim::BootMode::RomAtVersion; })}},
                 1,
                 probed("COM1") + kModelOk + kRomReply + QStringList{"COM1"},
                 true,
                 1,
                 "COM1",
                 {{"AT", "ATI0", "ATI1"}}},
        ScanCase{
            "ModelMismatchOnCom1EndsTheScan",
            {{"COM1", device([](auto& c) { c.faults.model_mismatch = true; })}, {"COM2", device()}},
            0,
            probed("COM1") +
                QStringList{"P受信", "I0fLen=13", "NX28KQ\r\n\r\nOK\r\n", "ZORVEL一致せず"},
            false,
            0,
            "",
            {{"AT", "ATI0"}, {}}},
        ScanCase{"VersionLineMismatchEndsTheScan",
                 {{"COM1", device([](auto& c) {
                     c.faults.replies["ATI1"] =
                         "\r\nV" + std::string(25, 'V') + "01.00  ROM V0.00.05\r\n";
                   })},
                  {"COM2", device()}},
                 0,
                 probed("COM1") + kModelOk +
                     QStringList{"VV01.00  ROM V0.00.05\r\n", "VV01.0", "一致せず"},
                 false,
                 0,
                 "",
                 {{"AT", "ATI0", "ATI1"}, {}}},
        ScanCase{"RepliesWithoutTriggersMoveTheScanOn",
                 {{"COM1", kNoise}, {"COM2", device()}},
                 1,
                 open_lines() +
                     QStringList{"COM1", "9", "AT\r\r\n#*#\r", "OKではない",
                                 "データこないタイムアウト(ATI0)"} +
                     probed("COM2") + kModelOk + kVersionOk + QStringList{"COM2", "AT&F OK"},
                 true,
                 0,
                 "COM2",
                 {kSilentCmds, kFull}},
        ScanCase{"NoDeviceOnAnyPort",
                 {{"COM1", kSilent}, {"COM2", kSilent}},
                 0,
                 silent_port("COM1") + silent_port("COM2") +
                     QStringList{kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent},
                 false,
                 0,
                 "",
                 {kSilentCmds, kSilentCmds}},
        ScanCase{"AFailingFactoryDefaultLeavesThePortOpen",
                 {{"COM1", device([](auto& c) { c.faults.replies["AT&F"] = "\r\nERROR\r\n"; })}},
                 0,
                 probed("COM1") + kModelOk + kVersionOk +
                     QStringList{"COM1", "データこないタイムアウト"},
                 true,
                 0,
                 "COM1",
                 {kFull}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScanCounts, TheModelQueryWaitsThirtyOnePollsForItsFirstByte) {
  auto clock = std::make_shared<CountingClock>();
  Session s;
  RecordingWindow w;
  s.clock = clock;
  s.BaudRate = 115200;
  auto com1 = std::make_shared<ScriptedPort>();
  com1->answers["AT\r"] = {"AT\r\r\nOK\r\n"};
  QStringList asked;
  s.port_opener = [&](const QString& name) -> OpenedPort {
    asked << name;
    if (name == "COM1") return com1;
    if (name == "COM2") return OpenedPort::null_handle();
    return nullptr;
  };
  EXPECT_EQ(detect_device(s, w), 0);
  EXPECT_EQ(com1->polls_after("ATI0\r"), 31);
  EXPECT_EQ(clock->paused_ms(), 1000 + 31 * 100);
  EXPECT_TRUE(com1->closed);
  EXPECT_EQ(asked,
            (QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9"}));
  const QStringList expected =
      probed("COM1") + QStringList{"データこないタイムアウト(ATI0)", "Can't create rs232c"} +
      QStringList(7, kAbsent);
  EXPECT_EQ(w.lines(), expected);
  EXPECT_EQ(s.port_index, 10);
}

TEST(ScanCounts, AReadWaitTimeOutInTheModelQueryEndsTheScan) {
  auto clock = std::make_shared<CountingClock>();
  Session s;
  RecordingWindow w;
  s.clock = clock;
  s.BaudRate = 115200;
  auto com1 = std::make_shared<ScriptedPort>();
  com1->queued = [&](int poll) -> uint32_t {
    return com1->segments.back().command == "ATI0\r" && poll == 1 ? 1 : 0;
  };
  int opened = 0;
  s.port_opener = [&](const QString&) -> OpenedPort {
    ++opened;
    return com1;
  };
  EXPECT_EQ(detect_device(s, w), 0);
  EXPECT_EQ(opened, 1);
  const QStringList expected =
      open_lines() + QStringList{"COM1", "タイムアウト。OK来ない(at)", "タイムアウト。(ATI0)"};
  EXPECT_EQ(w.lines(), expected);
  EXPECT_TRUE(com1->closed);
}

}  // namespace
}  // namespace lumo::test
