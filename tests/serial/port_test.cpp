#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <future>
#include <thread>

#include "helpers.h"
#include "serial/port.h"

namespace lumo::test {
namespace {

using namespace std::chrono;

TEST(PortTable, TakesExactlyTheComLinksOfTheFolder) {
  QTemporaryDir dir;
  for (const char* n : {"COM2", "COM9", "COM10", "COM0"})
    QFile::link(QStringLiteral("/dev/null"), QDir(dir.path()).filePath(QString::fromLatin1(n)));
  const QStringList table = port_table(dir.path());
  ASSERT_EQ(table.size(), 9);
  for (int i = 0; i < 9; ++i) {
    const bool expected = i == 1 || i == 8;
    EXPECT_EQ(!table[i].isEmpty(), expected) << "COM" << i + 1;
  }
  EXPECT_EQ(table[1], QDir(dir.path()).filePath("COM2"));
}

TEST(PortTable, FallsBackToTheSystemsSerialDevicesInOrder) {
  QTemporaryDir dir;
  const QStringList table = port_table(dir.path());
  ASSERT_EQ(table.size(), 9);
  QStringList named;
  for (const QString& p : table)
    if (!p.isEmpty()) named << p;
  // ttyUSB before ttyACM before ttyS, numbers ascending within each.
  auto rank = [](const QString& p) {
    const QString n = QFileInfo(p).fileName();
    const int family = n.startsWith("ttyUSB") ? 0 : n.startsWith("ttyACM") ? 1 : 2;
    return std::pair(family, n.mid(family == 2 ? 4 : 6).toInt());
  };
  for (int i = 1; i < named.size(); ++i) EXPECT_LT(rank(named[i - 1]), rank(named[i]));
}

TEST(OpenPort, NamesOutsideCom1ToCom9AreNeverOpened) {
  for (const char* name : {"COM0", "COM10", "com1", "COM", "", "/dev/ttyS0", "COM1 "}) {
    ScriptedSession t;
    t.s.hComm.close();
    int calls = 0;
    t.s.port_opener = [&](const QString&) -> OpenedPort {
      ++calls;
      return std::make_shared<ScriptedPort>();
    };
    t.s.port_name = QString::fromLatin1(name);
    EXPECT_FALSE(open_port(t.s, t.w)) << name;
    EXPECT_EQ(calls, 0) << name;
    EXPECT_EQ(t.w.lines(), QStringList{"INVALID_HANDLE_VALUE"}) << name;
  }
}

struct OpenFailure {
  const char* name;
  bool null_handle, invalid, set_state, set_timeouts, purge;
  QStringList logs;
};

class OpenPortFailure : public ::testing::TestWithParam<OpenFailure> {};

TEST_P(OpenPortFailure, LogsWhyAndLeavesNoPortOpen) {
  const OpenFailure& c = GetParam();
  ScriptedSession t;
  t.s.hComm.close();
  auto port = std::make_shared<ScriptedPort>();
  port->fail_set_state = c.set_state;
  port->fail_set_timeouts = c.set_timeouts;
  port->fail_purge = c.purge;
  t.s.port_opener = [&](const QString& name) -> OpenedPort {
    EXPECT_EQ(name, "COM3");
    if (c.null_handle) return OpenedPort::null_handle();
    if (c.invalid) return nullptr;
    return port;
  };
  t.s.port_name = "COM3";
  t.s.port_index = 3;
  EXPECT_FALSE(open_port(t.s, t.w));
  EXPECT_EQ(t.w.lines(), c.logs);
  EXPECT_FALSE(t.s.hComm.is_open());
  EXPECT_EQ(port->closed, !c.null_handle && !c.invalid);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, OpenPortFailure,
    ::testing::Values(
        OpenFailure{"NullHandle", true, false, false, false, false, {"Can't create rs232c"}},
        OpenFailure{"InvalidHandle", false, true, false, false, false, {"INVALID_HANDLE_VALUE"}},
        OpenFailure{"Speed", false, false, true, false, false, {"Speed Setup Error! 3"}},
        OpenFailure{"Timeouts",
                    false,
                    false,
                    false,
                    true,
                    false,
                    {"BaudRate=115200", "Speed Setup OK!", "Timeout Setup Error!"}},
        OpenFailure{
            "Purge",
            false,
            false,
            false,
            false,
            true,
            {"BaudRate=115200", "Speed Setup OK!", "Timeout Setup OK!", "Interface Clear Error!"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OpenPort, AppliesTheDetectionProfile) {
  ScriptedSession t;
  t.s.hComm.close();
  auto port = std::make_shared<ScriptedPort>();
  port->state.fRtsControl = 0;
  port->state.ByteSize = 7;
  t.s.port_opener = [&](const QString&) -> OpenedPort { return port; };
  t.s.port_name = "COM1";
  t.s.BaudRate = 38400;
  ASSERT_TRUE(open_port(t.s, t.w));
  EXPECT_EQ(t.w.lines(), open_lines(38400));
  EXPECT_EQ(port->state.BaudRate, 38400u);
  EXPECT_EQ(port->state.ByteSize, 8);
  EXPECT_EQ(port->state.Parity, 0);
  EXPECT_EQ(port->state.StopBits, 0);
  EXPECT_EQ(port->state.fRtsControl, 1);
  EXPECT_EQ(port->timeouts.ReadIntervalTimeout, 5000u);
  EXPECT_EQ(port->timeouts.ReadTotalTimeoutConstant, 3000u);
  EXPECT_EQ(port->timeouts.WriteTotalTimeoutConstant, 3000u);

  // The recovery profile runs the line at 57600 whatever the options chose.
  t.w.clear();
  ASSERT_TRUE(reconfigure_port(t.s, t.w));
  EXPECT_EQ(t.w.lines(), open_lines(57600));
  EXPECT_EQ(port->state.BaudRate, 57600u);
  EXPECT_EQ(port->timeouts.ReadIntervalTimeout, 3000u);
  EXPECT_EQ(t.s.BaudRate, 38400u);
}

TEST(ReconfigurePort, FailureClosesThePort) {
  ScriptedSession t;
  t.port->fail_set_state = true;
  t.s.port_index = 2;
  EXPECT_FALSE(reconfigure_port(t.s, t.w));
  EXPECT_EQ(t.w.lines(), QStringList{"Speed Setup Error! 2"});
  EXPECT_FALSE(t.s.hComm.is_open());
  EXPECT_TRUE(t.port->closed);
}

TEST(PortOps, WithoutAPortEveryOperationFailsQuietly) {
  Session s;
  uint8_t b[4] = {1, 2, 3, 4};
  uint32_t n = 99, flags = 7;
  ComStat st;
  st.cbInQue = 5;
  EXPECT_FALSE(port_write(s, b, 4, &n));
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(port_queued(s, &flags, &st), 0u);
  EXPECT_EQ(flags, 0u);
  EXPECT_EQ(st.cbInQue, 0u);
  n = 99;
  EXPECT_FALSE(port_read(s, b, 4, &n));
  EXPECT_EQ(n, 0u);
  port_drain(s);
}

// Over a real pseudo-terminal with the simulated device behind it.
class PtyPort : public ::testing::Test {
 protected:
  SimFolder folder;
};

TEST_F(PtyPort, OpensConfiguresAndExchangesBytes) {
  folder.add("COM3");
  SimSession t;
  t.s.port_name = "COM3";
  ASSERT_TRUE(open_port(t.s, t.w));
  EXPECT_EQ(t.w.lines(), open_lines());
  const uint8_t cmd[] = {'A', 'T', '\r'};
  uint32_t n = 0;
  ASSERT_TRUE(port_write(t.s, cmd, 3, &n));
  EXPECT_EQ(n, 3u);
  port_drain(t.s);
  uint8_t buf[9];
  ASSERT_TRUE(port_read(t.s, buf, 9, &n));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), n), "AT\r\r\nOK\r\n");
  EXPECT_EQ(port_queued(t.s), 0u);
}

TEST_F(PtyPort, AShortReadReturnsWhatArrivedAfterTheTotalTimeOut) {
  sim::DeviceConfig cfg;
  cfg.echo = false;
  cfg.faults.replies["X"] = "1234567890123";  // 13 bytes
  folder.add("COM1", cfg);
  SimSession t;
  t.s.port_name = "COM1";
  ASSERT_TRUE(open_port(t.s, t.w));
  const uint8_t cmd[] = {'X', '\r'};
  ASSERT_TRUE(port_write(t.s, cmd, 2, nullptr));
  const int64_t start = t.clock->now_ms();
  uint8_t buf[14];
  uint32_t got = 0;
  EXPECT_TRUE(port_read(t.s, buf, 14, &got));
  const int64_t took = t.clock->now_ms() - start;
  EXPECT_EQ(got, 13u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), "1234567890123");
  EXPECT_GE(took, 2900);
  EXPECT_LT(took, 3000 + 50 * SimFolder::kSpeedup);
}

TEST_F(PtyPort, ASecondOpenOfAnOpenPortFailsAsInUse) {
  folder.add("COM2");
  SimSession a, b;
  a.s.port_name = b.s.port_name = "COM2";
  ASSERT_TRUE(open_port(a.s, a.w));
  EXPECT_FALSE(open_port(b.s, b.w));
  EXPECT_EQ(b.w.lines(), QStringList{"INVALID_HANDLE_VALUE"});
  EXPECT_FALSE(b.s.hComm.is_open());
  close_port(a.s);
  EXPECT_TRUE(open_port(b.s, b.w));
}

TEST_F(PtyPort, ClosingTwiceDoesNothingTheSecondTime) {
  folder.add("COM1");
  SimSession t;
  t.s.port_name = "COM1";
  ASSERT_TRUE(open_port(t.s, t.w));
  close_port(t.s);
  EXPECT_FALSE(t.s.hComm.is_open());
  close_port(t.s);
  EXPECT_FALSE(t.s.hComm.is_open());
  EXPECT_EQ(port_queued(t.s), 0u);
}

TEST_F(PtyPort, ACloseFromAnotherThreadFailsThePendingReadAndNeverReachesTheNextPort) {
  sim::DeviceConfig quiet;
  quiet.faults.silent = true;
  folder.add("COM1", quiet);
  sim::SerialLine& second = folder.add("COM2", quiet);
  Session s;  // real time: the read would wait 3 s
  RecordingWindow w;
  s.BaudRate = 115200;
  s.port_name = "COM1";
  ASSERT_TRUE(open_port(s, w));
  std::shared_ptr<PortDevice> first = s.hComm.get();

  auto pending = std::async(std::launch::async, [&] {
    uint8_t buf[14];
    uint32_t got = 0;
    const auto start = steady_clock::now();
    const bool ok = first->read(buf, 14, got);
    return std::pair(ok, duration_cast<milliseconds>(steady_clock::now() - start).count());
  });
  std::this_thread::sleep_for(milliseconds(100));
  close_port(s);
  s.port_name = "COM2";
  ASSERT_TRUE(open_port(s, w));
  const auto [ok, took] = pending.get();
  EXPECT_FALSE(ok);
  EXPECT_LT(took, 1500);

  uint32_t n = 0;
  const uint8_t byte = 'Z';
  EXPECT_FALSE(first->write(&byte, 1, n));
  EXPECT_TRUE(second.received().empty());
}

TEST_F(PtyPort, ADroppedLineFailsTheRead) {
  sim::SerialLine& line = folder.add("COM1");
  SimSession t;
  t.s.port_name = "COM1";
  ASSERT_TRUE(open_port(t.s, t.w));
  line.drop_line();
  uint8_t buf[4];
  uint32_t got = 0;
  EXPECT_FALSE(port_read(t.s, buf, 4, &got));
  EXPECT_EQ(got, 0u);
}

}  // namespace
}  // namespace lumo::test
