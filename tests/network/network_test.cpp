#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include "ftp/ftp_client.h"
#include "jobs/ttransmit.h"
#include "messages/ui_texts.h"
#include "sim/ftp/ftp_server.h"
#include "tests/common/wizard_driver.h"

namespace lumo {
namespace {

constexpr int kSpeedup = 100;

// The real window against the simulated device's FTP server on 127.0.0.1.
class Network : public test::WizardDriver {
 protected:
  void SetUp() override { make_form(kSpeedup); }
  void TearDown() override {
    form.reset();
    if (server) server->stop();
  }

  void serve(sim::FtpServerOptions o = {}) {
    o.dir = QFile::encodeName(device.path()).toStdString();
    o.password = "secret";
    server = std::make_unique<sim::FtpServer>(o);
    port = server->start();
    ASSERT_NE(port, 0);
    QDir(device.path()).mkpath(QStringLiteral("usr"));
    if (!o.usr_absent) {
      ASSERT_TRUE(test::write_file(device.filePath(QStringLiteral("usr/cfg27kq.bin")), config));
    }
  }

  // Page 1 -> 2 -> 4 -> logged in on page 15.
  void login(const QString& password = QStringLiteral("secret")) {
    next();
    ASSERT_TRUE(on_page(2));
    next();
    ASSERT_TRUE(on_page(4));
    EXPECT_EQ(form->Button2->text(), QString::fromUtf8(captions::connect));
    form->HostnameEdit->setText(QStringLiteral("127.0.0.1:%1").arg(port));
    form->PasswordEdit->setText(password);
    next();
  }
  void menu(int item) {
    ASSERT_TRUE(on_page(15));
    form->RadioGroup1->setItemIndex(item);
    next();
  }
  std::vector<std::string> commands() const { return server->commands(); }
  int count(const char* prefix) const {
    int n = 0;
    for (const std::string& c : server->commands())
      if (QString::fromStdString(c).startsWith(QLatin1String(prefix), Qt::CaseInsensitive)) ++n;
    return n;
  }

  QTemporaryDir device;  // the device's own files: "/" and "/usr"
  QByteArray config = QByteArray("#<ZNX27KQ>") + QByteArray(2990, 'c');
  std::unique_ptr<sim::FtpServer> server;
  uint16_t port = 0;
};

TEST_F(Network, WrongPasswordStaysOnPage4ThenTheRightOneLogsIn) {
  serve();
  login(QStringLiteral("wrong"));
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].text, msg::login_failed.body());
  EXPECT_TRUE(on_page(4));
  expect_buttons(true, true, true);
  EXPECT_FALSE(form->NMFTP->connected());
  EXPECT_TRUE(log().contains(QStringLiteral("接続エラー")));
  // The log shows a mask of the password, never the password.
  EXPECT_TRUE(log().contains(QStringLiteral("*****")));
  for (const QString& l : log()) EXPECT_FALSE(l.contains(QStringLiteral("wrong"))) << l.toStdString();
  form->PasswordEdit->setText(QStringLiteral("secret"));
  next();
  EXPECT_TRUE(on_page(15));
  EXPECT_TRUE(form->NMFTP->connected());
  expect_buttons(false, true, true);
  EXPECT_EQ(server->sessions(), 2);
}

TEST_F(Network, SystGivesTheDevicesVersion) {
  serve();
  login();
  menu(0);
  EXPECT_TRUE(on_page(3));
  EXPECT_EQ(form->rom_mode, 0);
  EXPECT_EQ(text("Label39"), QStringLiteral("V01.00A"));
  EXPECT_EQ(form->fw_version, QStringLiteral("V01.00A"));
  EXPECT_EQ(form->syst_reply.mid(20, 1), QStringLiteral("V"));
  EXPECT_TRUE(log().contains(form->syst_reply));
  EXPECT_TRUE(log().contains(QStringLiteral("V01.00A")));
  EXPECT_TRUE(log().contains(QStringLiteral("DoCommand成功")));
  expect_buttons(true, false, true);
}

TEST_F(Network, SystInRomModeShowsTheBrokenFirmwareText) {
  sim::FtpServerOptions o;
  o.rom_mode = true;
  serve(o);
  login();
  menu(0);
  EXPECT_TRUE(on_page(3));
  EXPECT_EQ(form->rom_mode, 1);
  EXPECT_EQ(text("Label26"), QString::fromUtf8(texts::rom_mode_warning));
  EXPECT_TRUE(form->control("Panel1")->isHidden());
  EXPECT_TRUE(log().contains(QStringLiteral("ROM mode")));
}

TEST_F(Network, UpgradeWithBackupSendsFirmwareThenTheBackup) {
  serve();
  login();
  menu(0);
  const QByteArray firmware = test::make_firmware(200000);
  choose_firmware(put("fw.bin", firmware));
  const QString backup = files.filePath(QStringLiteral("backup.bin"));
  choose_backup(backup);
  next();
  // The backup's box, then page 7.
  ASSERT_TRUE(wait_for([&] { return on_page(7); }));
  ASSERT_FALSE(presenter.boxes.empty());
  EXPECT_EQ(presenter.boxes[0].caption, msg::network_backup_saved.caption_text());
  EXPECT_EQ(presenter.boxes[0].text, backup + msg::network_backup_saved.body());
  EXPECT_EQ(test::read_file(backup), config);
  EXPECT_EQ(form->backup_done, 1);
  EXPECT_EQ(text("Label19"), form->firmware_path);
  next();
  ASSERT_TRUE(wait_for([&] { return on_page(9) && jobs_done(); }));
  shot("network-page-9");
  EXPECT_EQ(test::read_file(device.filePath(QStringLiteral("znx27kq.bin"))), firmware);
  EXPECT_EQ(test::read_file(device.filePath(QStringLiteral("usr/cfg27kq.bin"))), config);
  EXPECT_EQ(count("STOR"), 2);
  EXPECT_EQ(text("Label36"), QString::fromUtf8(texts::done_network_fw));
  EXPECT_EQ(form->Button2->text(), QString::fromUtf8(captions::first_page));
  expect_buttons(false, true, true);
  EXPECT_FALSE(form->NMFTP->connected());
  EXPECT_EQ(presenter.boxes.size(), 1u);
  for (const char* line : {"ChengeDir成功", "Download成功", "Upload成功", "FW転送終了!", "NMFTPDisconnect"})
    EXPECT_TRUE(log().contains(QString::fromUtf8(line))) << line;
  next();
  EXPECT_TRUE(on_page(1));
  EXPECT_EQ(form->link_mode, 0);
}

TEST_F(Network, UpgradeWithoutBackupInRomModeSendsTheFirmwareOnly) {
  sim::FtpServerOptions o;
  o.rom_mode = true;
  serve(o);
  login();
  menu(0);
  const QByteArray firmware = test::make_firmware(50000);
  choose_firmware(put("fw.bin", firmware));
  next();  // page 6 without a backup
  ASSERT_TRUE(on_page(7));
  next();
  ASSERT_TRUE(wait_for([&] { return on_page(9) && jobs_done(); }));
  EXPECT_EQ(test::read_file(device.filePath(QStringLiteral("znx27kq.bin"))), firmware);
  EXPECT_EQ(count("STOR"), 1);
  EXPECT_TRUE(presenter.boxes.empty());
}

TEST_F(Network, BackupFromTheMenuReturnsToTheMenuWithTheSessionOpen) {
  serve();
  login();
  menu(1);
  ASSERT_TRUE(on_page(5));
  EXPECT_TRUE(log().contains(QStringLiteral("設定ファイル転送")));
  next();
  ASSERT_TRUE(on_page(13));
  const QString backup = files.filePath(QStringLiteral("menu-backup.bin"));
  choose_backup(backup);
  next();
  ASSERT_TRUE(wait_for([&] { return on_page(15); }));
  EXPECT_EQ(test::read_file(backup), config);
  EXPECT_TRUE(form->NMFTP->connected());
  EXPECT_EQ(form->config_menu, 0);
  expect_buttons(false, true, true);
}

TEST_F(Network, DeviceWithoutUsrGoesOnWithoutBackupOrItsResend) {
  sim::FtpServerOptions o;
  o.usr_absent = true;
  serve(o);
  login();
  menu(0);
  const QByteArray firmware = test::make_firmware(30000);
  choose_firmware(put("fw.bin", firmware));
  choose_backup(files.filePath(QStringLiteral("backup.bin")));
  next();
  ASSERT_TRUE(wait_for([&] { return on_page(7); }));
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].text, msg::config_broken_no_usr.body());
  EXPECT_EQ(presenter.boxes[0].flags, kStyleInfo);
  EXPECT_TRUE(log().contains(QStringLiteral("/usr なし(FATなし)")));
  EXPECT_TRUE(log().contains(QStringLiteral("ChengeDir失敗")));
  EXPECT_EQ(form->backup_done, 0);
  EXPECT_EQ(count("RETR"), 0);
  next();
  ASSERT_TRUE(wait_for([&] { return on_page(9) && jobs_done(); }));
  EXPECT_EQ(test::read_file(device.filePath(QStringLiteral("znx27kq.bin"))), firmware);
  EXPECT_EQ(count("STOR"), 1);
  EXPECT_EQ(count("CWD /"), 1) << "only the refused CWD /usr: no change to / afterwards";
}

TEST_F(Network, ConfigurationUploadFromTheMenu) {
  serve();
  login();
  menu(1);
  form->RadioGroup2->setItemIndex(1);
  next();
  ASSERT_TRUE(on_page(14));
  const QByteArray upload = QByteArray("x<ZNX27KQ>") + QByteArray(5000, 'u');
  chooser.paths.push_back(put("upload.bin", upload));
  click("Button24");
  next();
  ASSERT_TRUE(wait_for([&] { return on_page(9); }));
  EXPECT_EQ(test::read_file(device.filePath(QStringLiteral("usr/cfg27kq.bin"))), upload);
  EXPECT_FALSE(form->NMFTP->connected());
  EXPECT_EQ(form->Button2->text(), QString::fromUtf8(captions::first_page));
}

// The session found closed on each page that uses it: the message, then the start again.
class NetworkLost : public Network, public ::testing::WithParamInterface<int> {};

TEST_P(NetworkLost, ConnectionLostReturnsToTheStart) {
  serve();
  login();
  const int lost_on = GetParam();
  if (lost_on == 15) {
    form->NMFTP->close_at_once();
    menu(0);
  } else if (lost_on == 13) {
    menu(1);
    next();
    choose_backup(files.filePath(QStringLiteral("b.bin")));
    form->NMFTP->close_at_once();
    next();
  } else if (lost_on == 7) {
    menu(0);
    choose_firmware(put("fw.bin", test::make_firmware(1000)));
    choose_backup(files.filePath(QStringLiteral("b.bin")));
    next();
    ASSERT_TRUE(wait_for([&] { return on_page(7); }));
    presenter.boxes.clear();
    form->NMFTP->close_at_once();
    next();
  } else {
    menu(1);
    form->RadioGroup2->setItemIndex(1);
    next();
    chooser.paths.push_back(put("u.bin", "x<ZNX27KQ>"));
    click("Button24");
    form->NMFTP->close_at_once();
    next();
  }
  ASSERT_TRUE(wait_for([&] { return on_page(1); }));
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].text, msg::connection_lost.body());
  EXPECT_TRUE(log().contains(QStringLiteral("エラー")));
  expect_buttons(form->Button1->isEnabled(), true, true);
  EXPECT_EQ(form->link_mode, 0);
}

INSTANTIATE_TEST_SUITE_P(Pages, NetworkLost, ::testing::Values(15, 13, 7, 14),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return "page" + std::to_string(i.param);
                         });

// A server that stops answering "syst" at all: no menu left with Next off.
TEST_F(Network, DroppedControlConnectionAtSystReturnsToTheStart) {
  sim::FtpServerOptions o;
  o.drop_on = "syst";
  serve(o);
  login();
  menu(0);
  ASSERT_TRUE(wait_for([&] { return on_page(1); }));
  ASSERT_FALSE(presenter.boxes.empty());
  EXPECT_EQ(presenter.boxes.back().text, msg::connection_lost.body());
}

// An upload that stops moving: message #9, then the program ends with status 3.
[[noreturn]] void stalled_upload_run() {
  QTemporaryDir device, files;
  sim::FtpServerOptions o;
  o.dir = QFile::encodeName(device.path()).toStdString();
  o.password = "secret";
  o.rom_mode = true;
  o.stall_after = 100000;
  sim::FtpServer server(o);
  const uint16_t port = server.start();
  test::ScriptedPresenter presenter;
  test::ScriptedChooser chooser;
  TForm1 form(parse_options(false, {}));
  form.set_presenter(&presenter);
  form.set_chooser(&chooser);
  form.clock = std::make_shared<ScaledClock>(kSpeedup);
  // The monitor, not the client's own time-out, is to judge this stall.
  form.NMFTP->UploadTimeOut = 3600000;
  form.show();
  form.Button2->click();  // page 2
  form.Button2->click();  // page 4
  form.HostnameEdit->setText(QStringLiteral("127.0.0.1:%1").arg(port));
  form.PasswordEdit->setText(QStringLiteral("secret"));
  form.Button2->click();  // page 15
  form.Button2->click();  // page 3
  const QString fw = files.filePath(QStringLiteral("fw.bin"));
  test::write_file(fw, test::make_firmware(4 << 20));
  chooser.paths.push_back(fw);
  qobject_cast<QPushButton*>(form.control("Button23"))->click();
  form.Button2->click();  // page 6
  form.Button2->click();  // page 7 (ROM mode: no backup)
  // The upload runs inside this click; the monitor's stall handling drops the connection, so the
  // click may return before the window has served the monitor's last steps.
  form.Button2->click();
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 10000) QTest::qWait(10);
  for (const auto& b : presenter.boxes) std::fprintf(stderr, "box: %s\n", b.text.toUtf8().constData());
  for (int i = 0; i < form.ListBox1->count(); ++i)
    std::fprintf(stderr, "log: %s\n", form.ListBox1->item(i)->text().toUtf8().constData());
  std::_Exit(presenter.boxes.empty() ? 10 : 11);
}

TEST(NetworkStall, StalledUploadShowsError9AndEndsWithStatus3) {
  EXPECT_EXIT(stalled_upload_run(), ::testing::ExitedWithCode(3), "");
}

}  // namespace
}  // namespace lumo
