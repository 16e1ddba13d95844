#include "helpers.h"
#include "serial/at_exchange.h"
#include "serial/detect.h"
#include "serial/line_control.h"
#include "serial/port.h"

namespace lumo::test {
namespace {

// ---- Wait counts, on the virtual clock against a scripted line ----

struct WaitCase {
  const char* name;
  std::function<void(Session&, Window&)> run;
  std::string command;
  uint8_t rom_mode;
  std::function<uint32_t(int)> queued;  // empty: nothing ever arrives
  int polls;
  int pauses;
  int64_t paused_ms;
  QStringList logs;
};

class WaitCount : public ::testing::TestWithParam<WaitCase> {};

TEST_P(WaitCount, GivesUpAfterItsOwnNumberOfPolls) {
  const WaitCase& c = GetParam();
  ScriptedSession t;
  t.s.rom_mode = c.rom_mode;
  t.port->queued = c.queued ? c.queued : [](int) { return 0u; };
  c.run(t.s, t.w);
  EXPECT_EQ(t.port->polls_after(c.command), c.polls);
  EXPECT_EQ(t.clock->pauses(), c.pauses);
  EXPECT_EQ(t.clock->paused_ms(), c.paused_ms);
  EXPECT_EQ(t.w.lines(), c.logs);
  EXPECT_TRUE(t.port->reads.empty());
}

auto once = [](int poll) { return poll == 1 ? 1u : 0u; };  // one byte seen, then gone
auto one_byte = [](int) { return 1u; };

void run_default(Session& s, Window& w) { EXPECT_EQ(factory_default(s, w), 0); }
void run_hang_up(Session& s, Window& w) { EXPECT_EQ(hang_up(s, w), 0); }
void run_probe(Session& s, Window& w) { at_probe(s, w); }
void run_version(Session& s, Window& w) { EXPECT_EQ(query_version(s, w), 0); }
void run_upload(Session& s, Window& w) {
  EXPECT_EQ(transfer_command(s, w, TransferCommand::FirmwareUpload), ConnectResult::Failed);
}
void run_download(Session& s, Window& w) {
  EXPECT_EQ(transfer_command(s, w, TransferCommand::ConfigDownload), ConnectResult::Failed);
}

INSTANTIATE_TEST_SUITE_P(
    Exchanges, WaitCount,
    ::testing::Values(
        WaitCase{"FactoryDefault",
                 run_default,
                 "AT&F\r",
                 0,
                 {},
                 51,
                 51,
                 5100,
                 {"データこないタイムアウト"}},
        WaitCase{"FactoryDefaultReadWait",
                 run_default,
                 "AT&F\r",
                 0,
                 once,
                 50,
                 49,
                 4900,
                 {"タイムアウト。"}},
        WaitCase{
            "Escape", run_hang_up, "+++", 0, {}, 51, 51, 5100, {"データこないタイムアウトATH"}},
        WaitCase{"EscapeInRomMode",
                 run_hang_up,
                 "+++",
                 1,
                 {},
                 1001,
                 1001,
                 100100,
                 {"データこないタイムアウトATH"}},
        WaitCase{"ProbeDataWait",
                 run_probe,
                 "AT\r",
                 0,
                 {},
                 11,
                 11,
                 1100,
                 {"タイムアウト。OK来ない(at)"}},
        WaitCase{"ProbeReadWaitWantsNineBytes",
                 run_probe,
                 "AT\r",
                 0,
                 one_byte,
                 10,
                 9,
                 900,
                 {"タイムアウト。end"}},
        WaitCase{"VersionQuery",
                 run_version,
                 "ATI1\r",
                 0,
                 {},
                 51,
                 51,
                 5100,
                 {"データこないタイムアウト"}},
        WaitCase{"UploadConnect",
                 run_upload,
                 "AT#!W0\r",
                 0,
                 {},
                 251,
                 251,
                 50200,
                 {"データこないタイムアウト(CONNECT)"}},
        WaitCase{"DownloadConnect",
                 run_download,
                 "AT#!R1\r",
                 0,
                 {},
                 51,
                 51,
                 5100,
                 {"データこないタイムアウト(CONNECT)"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DataWait, AByteFirstSeenAtTheLastPollIsATimeOut) {
  for (int seen : {50, 51}) {
    ScriptedSession t;
    t.port->answers["AT&F\r"] = {"OK\r\n", seen};
    const int r = factory_default(t.s, t.w);
    if (seen == 50) {
      EXPECT_EQ(r, 1);
      EXPECT_EQ(t.w.lines(), QStringList{"AT&F OK"});
    } else {
      EXPECT_EQ(r, 0);
      EXPECT_EQ(t.w.lines(), QStringList{"データこないタイムアウト"});
    }
  }
}

TEST(Exchange, AFailedWriteOrReadEndsAtOnce) {
  struct Case {
    bool write, read;
    QStringList logs;
  };
  for (const Case& c :
       {Case{true, false, {"COMMに書込み失敗"}}, Case{false, true, {"読み込みに失敗しました。"}}}) {
    ScriptedSession t;
    t.port->fail_write = c.write;
    t.port->fail_read = c.read;
    t.port->answers["+++"] = {"\r\nOK\r\n"};
    EXPECT_EQ(hang_up(t.s, t.w), 0);
    EXPECT_EQ(t.w.lines(), c.logs);
    EXPECT_EQ(t.port->polls_after("ATH\r"), -1);  // never sent
    EXPECT_FALSE(t.port->closed);
  }
}

// ---- Recognition, on the scripted line: read sizes and collected text ----

TEST(Recognition, ReadsOneByteWhileHuntingThenTheBlockOfTheState) {
  ScriptedSession t;
  t.port->answers["AT#!W1\r"] = {"\r\nBUSY\r\n"};
  EXPECT_EQ(transfer_command(t.s, t.w, TransferCommand::ConfigUpload), ConnectResult::Busy);
  EXPECT_EQ(t.w.lines(), QStringList{"BUSY受信"});
  EXPECT_EQ(t.port->reads, (std::vector<uint32_t>{1, 1, 1, 5}));

  ScriptedSession v;
  v.port->answers["ATI1\r"] = {"\r\nV01.00  ROM V0.00.05\r\n\r\nOK\r\n"};
  EXPECT_EQ(query_version(v.s, v.w), 1);
  EXPECT_EQ(v.port->reads, (std::vector<uint32_t>{1, 1, 1, 27}));
  // Only 21 bytes of the 27 are kept.
  EXPECT_EQ(v.w.lines(), (QStringList{"V01.00  ROM V0.00.05\r\n", "V01.00"}));
  EXPECT_EQ(v.w.text("Label39"), "V01.00");
}

TEST(Recognition, FloodsOfTriggerBytesStayInsideTheCollectedReply) {
  // Every read in state 1 that starts with the trigger stores one more: far more than fit.
  ScriptedSession t;
  t.port->answers["AT&F\r"] = {std::string(1 + 3 * 300, 'O') + "K\r\n"};
  EXPECT_EQ(factory_default(t.s, t.w), 0);
  EXPECT_EQ(t.w.lines(), QStringList{"AT&F NG"});

  ScriptedSession v;
  std::string many_v;
  for (int i = 0; i < 300; ++i) many_v += "V" + std::string(26, 'V');
  v.port->answers["ATI1\r"] = {"V" + many_v + "01.00  ROM V0.00.05\r\n"};
  EXPECT_EQ(query_version(v.s, v.w), 1);
  ASSERT_EQ(v.w.lines().size(), 2);
  EXPECT_EQ(v.w.lines()[0].size(), int(CollectedReply::kCapacity));

  CollectedReply r;
  for (int i = 0; i < 1000; ++i) r.store('R');
  const uint8_t block[] = {'O', 'M'};
  r.append(block, 2, 4);
  EXPECT_EQ(r.size(), CollectedReply::kCapacity);
  EXPECT_EQ(r.stored(), CollectedReply::kCapacity);
  EXPECT_FALSE(r.starts_with(std::string(CollectedReply::kCapacity + 1, 'R')));
}

TEST(Recognition, CollectedTextStopsAtANul) {
  CollectedReply r;
  r.store('O');
  const uint8_t block[] = {'K', 0, '\r'};
  r.append(block, 3, 3);
  EXPECT_EQ(r.size(), 4u);
  EXPECT_EQ(r.text(), "OK");
  EXPECT_FALSE(r.starts_with("OK\r\n"));
}

// ---- Replies over a real pseudo-terminal against the simulated device ----

struct ReplyCase {
  const char* name;
  std::function<void(sim::DeviceConfig&)> device;
  std::function<int(Session&, Window&)> run;
  int result;
  QStringList logs;
  std::vector<std::string> commands;  // what the device received
};

class Reply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(Reply, IsRecognisedAsTheDeviceAnswers) {
  const ReplyCase& c = GetParam();
  SimFolder folder;
  sim::DeviceConfig cfg;
  if (c.device) c.device(cfg);
  sim::SerialLine& line = folder.add("COM1", cfg);
  SimSession t;
  t.s.port_name = "COM1";
  ASSERT_TRUE(open_port(t.s, t.w));
  t.w.clear();
  EXPECT_EQ(c.run(t.s, t.w), c.result);
  EXPECT_EQ(t.w.lines(), c.logs);
  EXPECT_EQ(line.commands(), c.commands);
  EXPECT_TRUE(t.s.hComm.is_open());  // exchanges never close the port
}

int run_factory_default(Session& s, Window& w) { return factory_default(s, w); }
int run_hang_up_result(Session& s, Window& w) { return hang_up(s, w); }
int run_query_version(Session& s, Window& w) { return query_version(s, w); }
int run_firmware_command(Session& s, Window& w) {
  return int(transfer_command(s, w, TransferCommand::FirmwareUpload));
}
int run_download_command(Session& s, Window& w) {
  return int(transfer_command(s, w, TransferCommand::ConfigDownload));
}
auto reply_to = [](std::string cmd, std::string text) {
  return [=](sim::DeviceConfig& c) { c.faults.replies[cmd] = text; };
};

INSTANTIATE_TEST_SUITE_P(
    Device, Reply,
    ::testing::Values(
        ReplyCase{"FactoryDefaultEchoIgnored", {}, run_factory_default, 1, {"AT&F OK"}, {"AT&F"}},
        ReplyCase{"FactoryDefaultWithoutEcho",
                  [](sim::DeviceConfig& c) { c.echo = false; },
                  run_factory_default,
                  1,
                  {"AT&F OK"},
                  {"AT&F"}},
        ReplyCase{"DoubledTriggerShiftsTheComparison",
                  reply_to("AT&F", "\r\nOO\r\nK\r\n"),
                  run_factory_default,
                  0,
                  {"AT&F NG"},
                  {"AT&F"}},
        ReplyCase{"FactoryDefaultUnanswered",
                  [](sim::DeviceConfig& c) { c.faults.silent = true; },
                  run_factory_default,
                  0,
                  {"データこないタイムアウト"},
                  {"AT&F"}},
        ReplyCase{"HangUp", {}, run_hang_up_result, 1, {"一致", "一致"}, {"+++", "ATH"}},
        ReplyCase{"EscapeErrorSendsNoAth",
                  [](sim::DeviceConfig& c) { c.faults.escape_error = true; },
                  run_hang_up_result,
                  0,
                  {"ERROR受信"},
                  {"+++"}},
        ReplyCase{"EscapeDoubledTrigger",
                  reply_to("+++", "\r\nOO\r\nK\r\n"),
                  run_hang_up_result,
                  0,
                  {"一致せず"},
                  {"+++"}},
        ReplyCase{"OkInsteadOfNoCarrierTimesOut",
                  [](sim::DeviceConfig& c) { c.faults.hangup_ok = true; },
                  run_hang_up_result,
                  0,
                  {"一致", "データこないタイムアウトATH"},
                  {"+++", "ATH"}},
        ReplyCase{"VersionQuery",
                  {},
                  run_query_version,
                  1,
                  {"V01.00  ROM V0.00.05\r\n", "V01.00"},
                  {"ATI1"}},
        ReplyCase{"VersionQueryUnanswered",
                  [](sim::DeviceConfig& c) { c.faults.silent = true; },
                  run_query_version,
                  0,
                  {"データこないタイムアウト"},
                  {"ATI1"}},
        ReplyCase{"UploadBusy",
                  [](sim::DeviceConfig& c) { c.faults.busy = true; },
                  run_firmware_command,
                  int(ConnectResult::Busy),
                  {"BUSY受信"},
                  {"AT#!W0"}},
        ReplyCase{"DownloadConnect",
                  reply_to("AT#!R1", "\r\nCONNECT\r\n"),
                  run_download_command,
                  int(ConnectResult::Connected),
                  {"CONNECT受信"},
                  {"AT#!R1"}},
        ReplyCase{"ConnectGarbled",
                  reply_to("AT#!R1", "\r\nCOnnect\r\n"),
                  run_download_command,
                  int(ConnectResult::Failed),
                  {"CONNECT受信せず"},
                  {"AT#!R1"}},
        ReplyCase{"AnswerAfterADelay",
                  [](sim::DeviceConfig& c) { c.faults.delay_ms = 2000; },
                  run_factory_default,
                  1,
                  {"AT&F OK"},
                  {"AT&F"}},
        ReplyCase{"AnswerTooLate",
                  [](sim::DeviceConfig& c) {
                    c.echo = false;
                    c.faults.delay_ms = 15000;
                  },
                  run_factory_default,
                  0,
                  {"データこないタイムアウト"},
                  {"AT&F"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumo::test
