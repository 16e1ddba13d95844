#include <QDir>
#include <QProgressBar>

#include "messages/ui_texts.h"
#include "road_fixture.h"

namespace lumo {
namespace {

using test::Road;

// The serial road with transfers: the device keeps its files in the folder of its line.
class SerialTransfers : public Road {
 protected:
  sim::SerialLine& device_with_config(sim::DeviceConfig cfg = {}) {
    sim::SerialLine& line = device("COM1", std::move(cfg));
    EXPECT_TRUE(test::write_file(line.folder() + QStringLiteral("/cfg27kq.bin"), config));
    return line;
  }
  QByteArray device_file(sim::SerialLine& line, const char* name) const {
    return test::read_file(line.folder() + QLatin1Char('/') + QLatin1String(name));
  }
  int sent(sim::SerialLine& line, const char* command) const {
    int n = 0;
    for (const std::string& c : line.commands()) n += c == command;
    return n;
  }
  // Detection, the menu's upgrade, the version, a firmware file: page 6.
  void to_page6(const QByteArray& firmware) {
    detect();
    menu(0);
    ASSERT_TRUE(on_page(3));
    choose_firmware(put("fw.bin", firmware));
  }
  void wait_page(int n) {
    ASSERT_TRUE(wait_for([&] { return on_page(n) && jobs_done(); })) << "on page " << page();
  }
  void expect_box(size_t i, const Message& m) {
    ASSERT_GT(presenter.boxes.size(), i);
    EXPECT_EQ(presenter.boxes[i].caption, m.caption_text()) << m.id;
    EXPECT_EQ(presenter.boxes[i].text, m.body()) << m.id;
    EXPECT_EQ(presenter.boxes[i].flags, m.flags) << m.id;
  }

  QByteArray config = QByteArray("#<ZNX27KQ>") + QByteArray(2990, 'k');
};

TEST_F(SerialTransfers, UpgradeWithBackupSendsTheFirmwareThenTheBackupBack) {
  sim::SerialLine& line = device_with_config();
  const QByteArray firmware = test::make_firmware(5000);
  to_page6(firmware);
  const QString backup = files.filePath(QStringLiteral("backup.bin"));
  choose_backup(backup);
  next();
  EXPECT_TRUE(on_page(8));
  shot("serial-page-8-backup");
  wait_page(7);
  expect_box(0, msg::serial_backup_saved);
  EXPECT_EQ(test::read_file(backup), config);
  EXPECT_EQ(form->backup_done, 1);
  EXPECT_EQ(form->Button2->text(), QString::fromUtf8(captions::run));
  EXPECT_EQ(text("Label19"), form->firmware_path);
  next();
  EXPECT_TRUE(on_page(8));
  expect_buttons(false, false, false);
  ASSERT_TRUE(wait_for([&] { return form->ProgressBar1->value() > 0 || on_page(9); }));
  shot("serial-page-8-upload");
  wait_page(9);
  shot("serial-page-9");
  EXPECT_EQ(device_file(line, "znx27kq.bin"), firmware);
  EXPECT_EQ(device_file(line, "cfg27kq.bin"), config);
  EXPECT_EQ(sent(line, "AT#!W0"), 1);
  EXPECT_EQ(sent(line, "AT#!W1"), 1) << "the backup goes back after the firmware";
  EXPECT_EQ(form->firmware_path, backup);
  EXPECT_TRUE(log().contains(backup));
  EXPECT_EQ(text("Label36"), QString::fromUtf8(texts::done_serial_fw));
  EXPECT_EQ(form->Button1->text(), QString::fromUtf8(captions::back_finished));
  EXPECT_EQ(form->Button2->text(), QString::fromUtf8(captions::first_page));
  expect_buttons(false, true, true);
  EXPECT_FALSE(form->hComm.is_open());
  EXPECT_EQ(form->config_resend, 0);
  EXPECT_EQ(presenter.boxes.size(), 1u);
  next();
  EXPECT_TRUE(on_page(1));
  EXPECT_EQ(form->Button1->text(), QString::fromUtf8(captions::back));
}

TEST_F(SerialTransfers, RomModeSendsTheFirmwareWithoutBackup) {
  sim::DeviceConfig rom;
  rom.mode = sim::BootMode::Rom;
  sim::SerialLine& line = device_with_config(rom);
  const QByteArray firmware = test::make_firmware(3000);
  to_page6(firmware);
  next();
  ASSERT_TRUE(on_page(7));
  next();
  wait_page(9);
  EXPECT_EQ(device_file(line, "znx27kq.bin"), firmware);
  EXPECT_EQ(sent(line, "AT#!R1"), 0);
  EXPECT_EQ(sent(line, "AT#!W1"), 0);
  EXPECT_TRUE(presenter.boxes.empty());
}

TEST_F(SerialTransfers, MenuBackupThenAConfigurationUploadOnTheSamePort) {
  sim::SerialLine& line = device_with_config();
  detect();
  menu(1);
  ASSERT_TRUE(on_page(5));
  next();
  ASSERT_TRUE(on_page(13));
  const QString backup = files.filePath(QStringLiteral("menu.bin"));
  choose_backup(backup);
  next();
  wait_page(15);
  expect_box(0, msg::serial_backup_saved);
  EXPECT_EQ(test::read_file(backup), config);
  EXPECT_TRUE(form->hComm.is_open());
  EXPECT_EQ(form->config_menu, 0);
  form->RadioGroup1->setItemIndex(1);
  next();
  form->RadioGroup2->setItemIndex(1);
  next();
  ASSERT_TRUE(on_page(14));
  const QByteArray upload = QByteArray("x<ZNX27KQ>") + QByteArray(4000, 'u');
  chooser.paths.push_back(put("upload.bin", upload));
  click("Button24");
  next();
  wait_page(9);
  EXPECT_EQ(device_file(line, "cfg27kq.bin"), upload);
  EXPECT_EQ(sent(line, "ATI0"), 1) << "no second detection";
  EXPECT_FALSE(form->hComm.is_open());
}

// Every way a serial job can fail, with the message the user gets and where the wizard goes.
struct FailureCase {
  const char* name;
  int road;  // 2 firmware (ROM mode, no backup), 7 firmware after a backup, 3 configuration
             // upload, 4 backup during an upgrade, 13 backup from the menu
  std::function<void(sim::DeviceConfig&)> fault;
  const Message* box;
  int page_after;
};

class SerialFailures : public SerialTransfers, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SerialFailures, ShowTheirMessageAndLeadOn) {
  const FailureCase& c = GetParam();
  sim::DeviceConfig cfg;
  if (c.road == 2) cfg.mode = sim::BootMode::Rom;
  c.fault(cfg);
  device_with_config(cfg);
  const QString old_backup = put("old-backup.bin", "#<ZNX27KQ> the backup of last week");
  size_t first_box = 0;
  if (c.road == 2 || c.road == 7 || c.road == 4) {
    to_page6(test::make_firmware(40));
    if (c.road == 2) {
      next();
    } else {
      choose_backup(old_backup);
      next();
      if (c.road == 7) {
        wait_page(7);
        first_box = 1;
        next();
      }
    }
    if (c.road == 2) next();
  } else if (c.road == 13) {
    detect();
    menu(1);
    next();
    choose_backup(old_backup);
    next();
  } else {
    detect();
    menu(1);
    form->RadioGroup2->setItemIndex(1);
    next();
    chooser.paths.push_back(put("upload.bin", config));
    click("Button24");
    next();
  }
  wait_page(c.page_after);
  expect_box(first_box, *c.box);
  EXPECT_EQ(presenter.boxes.size(), first_box + 1);
  if (c.page_after == 1) {
    EXPECT_FALSE(form->hComm.is_open());
    expect_buttons(form->Button1->isEnabled(), true, true);
  } else {
    EXPECT_TRUE(form->hComm.is_open()) << "a refused backup keeps the port";
  }
  if (c.road == 4 || c.road == 13) {
    EXPECT_EQ(test::read_file(old_backup), QByteArray("#<ZNX27KQ> the backup of last week"));
  }
}

void busy(sim::DeviceConfig& c) { c.block.faults.busy = true; }

INSTANTIATE_TEST_SUITE_P(
    Rows, SerialFailures,
    ::testing::Values(
        FailureCase{"firmware_send_fails", 2,
                    [](sim::DeviceConfig& c) { c.block.faults.nak[1] = 4; },
                    &msg::transfer_error_10, 1},
        FailureCase{"firmware_send_busy", 2, busy, &msg::device_busy, 1},
        // A one-block firmware passes; the three-block configuration is refused at block 2.
        FailureCase{"configuration_resend_fails", 7,
                    [](sim::DeviceConfig& c) { c.block.faults.nak[2] = 4; },
                    &msg::transfer_error_11, 1},
        FailureCase{"configuration_upload_fails", 3,
                    [](sim::DeviceConfig& c) { c.block.faults.nak[1] = 4; },
                    &msg::transfer_error_12, 1},
        FailureCase{"configuration_upload_busy", 3, busy, &msg::transfer_error_12, 1},
        FailureCase{"backup_line_drops", 4,
                    [](sim::DeviceConfig& c) { c.block.faults.drop_line_at = 2; },
                    &msg::transfer_error_16, 1},
        FailureCase{"backup_refused_during_upgrade", 4, busy, &msg::download_refused, 7},
        FailureCase{"backup_refused_from_menu", 13, busy, &msg::download_refused, 15}),
    [](const ::testing::TestParamInfo<FailureCase>& i) { return std::string(i.param.name); });

TEST_F(SerialTransfers, ResendAnsweredBusyStillCountsAsDone) {
  // The device takes the firmware, then refuses the configuration.
  sim::DeviceConfig cfg;
  cfg.faults.replies["AT#!W1"] = "\r\nBUSY\r\n";
  device_with_config(cfg);
  to_page6(test::make_firmware(2000));
  choose_backup(files.filePath(QStringLiteral("b.bin")));
  next();
  wait_page(7);
  next();
  wait_page(9);
  EXPECT_EQ(presenter.boxes.size(), 1u);
}

}  // namespace
}  // namespace lumo
