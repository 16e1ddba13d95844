#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "messages/ui_texts.h"
#include "road_fixture.h"

namespace lumo {
namespace {

using test::Road;

TEST_F(Road, FindsTheDeviceOnCom3PastASilentCom1AndAMissingCom2) {
  sim::DeviceConfig silent;
  silent.faults.silent = true;
  device("COM1", silent);
  device("COM3");
  detect();
  shot("serial-page-12");
  EXPECT_EQ(text("Label20"), QStringLiteral("COM3"));
  EXPECT_EQ(text("Label27"), QStringLiteral("ZORVEL 2700KQ"));
  expect_buttons(true, true, true);
  EXPECT_TRUE(form->Label16->caption().isEmpty());
  EXPECT_TRUE(form->hComm.is_open());
  EXPECT_EQ(form->scan_running, 0);
  EXPECT_TRUE(presenter.boxes.empty());
  const QStringList l = log();
  EXPECT_TRUE(l.contains(QStringLiteral("データこないタイムアウト(ATI0)")));
  EXPECT_TRUE(l.contains(QStringLiteral("INVALID_HANDLE_VALUE")));
  EXPECT_TRUE(l.contains(QStringLiteral("AT&F OK")));
}

TEST_F(Road, NoDeviceLeavesPage11WithEveryButtonAndNextScansAgain) {
  form->RadioGroup3->setItemIndex(1);
  next();
  next();
  EXPECT_EQ(form->Label16->caption(), QStringLiteral("ZORVEL検出中"));
  expect_buttons(false, false, false);
  shot("serial-page-11-scanning");
  ASSERT_TRUE(wait_for([&] { return !presenter.boxes.empty() && jobs_done(); }));
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].text, msg::port_not_found.body());
  EXPECT_EQ(presenter.boxes[0].caption, msg::port_not_found.caption_text());
  EXPECT_TRUE(on_page(11));
  expect_buttons(true, true, true);
  EXPECT_FALSE(form->hComm.is_open());
  EXPECT_TRUE(form->Label16->caption().isEmpty());
  EXPECT_EQ(log().count(QStringLiteral("INVALID_HANDLE_VALUE")), 9);
  // A device plugged in since: Next finds it.
  device("COM2");
  next();
  ASSERT_TRUE(wait_for([&] { return on_page(12) && jobs_done(); }));
  EXPECT_EQ(text("Label20"), QStringLiteral("COM2"));
}

TEST_F(Road, BackFromPage12ClosesThePortAndNextDetectsAgain) {
  device("COM1");
  detect();
  click(form->Button1);
  EXPECT_TRUE(on_page(11));
  EXPECT_FALSE(form->hComm.is_open());
  next();
  ASSERT_TRUE(wait_for([&] { return on_page(12) && jobs_done(); }));
  EXPECT_TRUE(form->hComm.is_open());
}

TEST_F(Road, MenuUpgradeShowsTheDevicesVersionOnPage3) {
  device("COM1");
  detect();
  menu(0);
  EXPECT_TRUE(on_page(3));
  EXPECT_EQ(text("Label39"), QStringLiteral("V01.00"));
  EXPECT_EQ(text("Label26"), QString::fromUtf8(texts::version_frame));
  expect_buttons(true, false, true);
  EXPECT_TRUE(form->control("Panel3")->isHidden());
}

// The device gone after detection: the message, then the start again, not a menu whose only
// way out is Exit.
TEST_F(Road, FailedVersionQueryReturnsToTheStartWithThePortClosed) {
  sim::SerialLine& line = device("COM1");
  detect();
  next();
  line.stop();
  form->RadioGroup1->setItemIndex(0);
  next();
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].text, msg::port_not_found.body());
  EXPECT_TRUE(on_page(1));
  EXPECT_FALSE(form->hComm.is_open());
  expect_buttons(false, true, true);
  EXPECT_EQ(form->link_mode, 0);
}

TEST_F(Road, RomModeSkipsTheVersionQueryAndMayGoOnWithoutBackup) {
  sim::DeviceConfig rom;
  rom.mode = sim::BootMode::Rom;
  sim::SerialLine& line = device("COM1", rom);
  detect();
  EXPECT_EQ(form->rom_mode, 1);
  const size_t commands = line.commands().size();
  menu(0);
  EXPECT_TRUE(on_page(3));
  EXPECT_EQ(line.commands().size(), commands) << "no version query in ROM mode";
  EXPECT_EQ(text("Label26"), QString::fromUtf8(texts::rom_mode_warning));
  EXPECT_EQ(form->label("Label26")->styleSheet(), QStringLiteral("color: red;"));
  EXPECT_TRUE(form->control("Panel1")->isHidden());
  EXPECT_TRUE(log().contains(QStringLiteral("ROM mode")));
  chooser.paths.push_back(dir.filePath(QStringLiteral("fw.bin")));
  ASSERT_TRUE(test::write_file(dir.filePath(QStringLiteral("fw.bin")), test::make_firmware(3000)));
  click("Button23");
  next();
  EXPECT_TRUE(on_page(6));
  EXPECT_TRUE(form->Button2->isEnabled()) << "ROM mode may skip the backup";
}

// A line whose far end sends a stray byte every second for a while and then nothing: the scan
// stays on it past the watchdog's limit, then moves on.
class Trickle {
 public:
  Trickle(const QString& link, int speedup, int device_ms) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ::grantpt(master_);
    ::unlockpt(master_);
    char name[128] = {};
    ::ptsname_r(master_, name, sizeof name);
    holder_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    ::symlink(name, QFile::encodeName(link).constData());
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    thread_ = std::thread([this, speedup, device_ms] {
      for (int t = 0; t < device_ms && !stop_; t += 1000) {
        char sink[256];
        while (::read(master_, sink, sizeof sink) > 0) {
        }
        (void)!::write(master_, "Q", 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000 / speedup));
      }
    });
  }
  ~Trickle() {
    stop_ = true;
    thread_.join();
    ::close(holder_);
    ::close(master_);
  }

 private:
  int master_ = -1, holder_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(Road, WatchdogReportsALongScanFirstAndTheDeviceIsFoundAfterwards) {
  Trickle trickle(dir.filePath(QStringLiteral("COM1")), kSpeedup, 70000);
  device("COM2");
  form->RadioGroup3->setItemIndex(1);
  next();
  next();
  // After 51 s of device time: the watchdog's message, the buttons back, the scan still on.
  ASSERT_TRUE(wait_for([&] { return !presenter.boxes.empty(); }));
  EXPECT_EQ(presenter.boxes[0].text, msg::port_not_found.body());
  EXPECT_TRUE(log().contains(QStringLiteral("x秒タイムアウトエラー")));
  ASSERT_TRUE(wait_for([&] { return form->Button2->isEnabled(); }));
  EXPECT_TRUE(on_page(11));
  EXPECT_EQ(form->scan_running, 1);
  // Next now must not start a second scan on the first one's port session.
  next();
  expect_buttons(false, false, false);
  ASSERT_TRUE(wait_for([&] { return on_page(12) && jobs_done(); }));
  EXPECT_EQ(text("Label20"), QStringLiteral("COM2"));
  EXPECT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(log().count(QStringLiteral("COM1")), 1) << "COM1 scanned once";
  expect_buttons(true, true, true);
}

TEST_F(Road, WatchdogStaysQuietForAScanThatEndsInTime) {
  device("COM1");
  detect();
  ASSERT_TRUE(wait_for([&] { return jobs_done(); }));
  EXPECT_TRUE(presenter.boxes.empty());
  EXPECT_FALSE(log().contains(QStringLiteral("x秒タイムアウトエラー")));
}

}  // namespace
}  // namespace lumo
