#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "app/app.h"
#include "app/options.h"
#include "tests/common/wizard_support.h"
#include "wizard/page_design.h"
#include "wizard/tform1.h"
#include "tests/common/settings_free_port.h"

namespace lumo {
namespace {

using test::ScriptedChooser;
using test::ScriptedPresenter;

QString u(const char* s) { return QString::fromUtf8(s); }

class Wizard : public ::testing::Test {
 protected:
  void SetUp() override { make(parse_options(false, {})); }

  void make(const StartOptions& o) {
    form = std::make_unique<TForm1>(o);
    form->set_presenter(&presenter);
    form->set_chooser(&chooser);
    // Tests talk to nothing but this machine: a closed port on loopback, never the default host.
    form->HostnameEdit->setText(QStringLiteral("127.0.0.1:1"));
    form->show();
  }

  QStringList log() const {
    QStringList out;
    for (int i = 0; i < form->ListBox1->count(); ++i) out << form->ListBox1->item(i)->text();
    return out;
  }
  int visible_page() const { return form->PageControl1->currentIndex() + 1; }
  void go(int page) {
    form->tbsheet = page;
    form->show_page();
  }
  void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
  void click(const char* name) { click(qobject_cast<QAbstractButton*>(form->control(name))); }
  QString text(const char* name) const { return form->label(name)->caption(); }
  void buttons(bool back, bool next, bool exit) {
    form->Button1->setEnabled(back);
    form->Button2->setEnabled(next);
    form->Button3->setEnabled(exit);
  }
  void expect_buttons(bool back, bool next, bool exit) const {
    EXPECT_EQ(form->Button1->isEnabled(), back);
    EXPECT_EQ(form->Button2->isEnabled(), next);
    EXPECT_EQ(form->Button3->isEnabled(), exit);
  }

  ScriptedPresenter presenter;
  ScriptedChooser chooser;
  std::unique_ptr<TForm1> form;
};

TEST_F(Wizard, StartsOnPageOneWithItsDefaults) {
  EXPECT_EQ(form->windowTitle(), u("バージョンアップユーティリティ"));
  EXPECT_EQ(visible_page(), 1);
  EXPECT_EQ(form->tbsheet, 1);
  EXPECT_EQ(form->BaudRate, 115200u);
  EXPECT_EQ(form->wait_count, 100);
  EXPECT_EQ(form->config_name, u("cfg27kq.bin"));
  EXPECT_EQ(form->firmware_name, u("znx27kq.bin"));
  EXPECT_FALSE(form->ListBox1->isVisible());
  EXPECT_EQ(log(), QStringList{"no input"});
  expect_buttons(false, true, true);
  EXPECT_EQ(form->Button1->text(), u(captions::back));
  EXPECT_EQ(form->Button2->text(), u(captions::next));
  EXPECT_EQ(form->Button3->text(), u(captions::exit));
  EXPECT_FALSE(form->control("Panel3")->isVisibleTo(form.get()));
  EXPECT_EQ(form->RadioGroup3->itemIndex(), 0);
  // The address box starts with the device's factory address (the fixture points it at loopback
  // before any test can press Next; this window is never connected).
  TForm1 fresh(parse_options(false, {}));
  EXPECT_EQ(fresh.HostnameEdit->text(), u("192.168.1.1"));
  EXPECT_EQ(form->PasswordEdit->echoMode(), QLineEdit::Password);
  EXPECT_EQ(form->label("Label75")->styleSheet(), QStringLiteral("color: red;"));
  EXPECT_EQ(form->label("Label76")->styleSheet(), QStringLiteral("color: red;"));
  EXPECT_EQ(form->width(), 580);
  // Fifteen page places, page 10 among them.
  EXPECT_EQ(form->PageControl1->count(), 15);
  const Qt::WindowFlags f = form->windowFlags();
  EXPECT_FALSE(f & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint |
                    Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
}

TEST_F(Wizard, StartTextsAreOnThePages) {
  for (const StartText& t : start_texts()) EXPECT_EQ(text(t.name), u(t.text)) << t.name;
}

TEST_F(Wizard, StepIndicatorLightsTheStepOfItsPage) {
  const struct {
    int page, first;
    int lit;
  } kPanels[] = {{3, 55, 1}, {6, 60, 2}, {7, 65, 3}};
  for (const auto& p : kPanels) {
    for (int i = 0; i < 5; ++i) {
      const QByteArray name = "Label" + QByteArray::number(p.first + i);
      const QColor bg = form->label(name.constData())->palette().color(QPalette::Window);
      EXPECT_EQ(bg, i == p.lit ? QColor(Qt::yellow) : QColor(Qt::white)) << name.constData();
      EXPECT_EQ(form->label(name.constData())->parentWidget()->parentWidget(), form->page(p.page));
    }
  }
}

TEST_F(Wizard, DiagnosticModeShowsTheLogWithTheOptionLinesFirst) {
  make(parse_options(true, "119050"));
  EXPECT_TRUE(form->ListBox1->isVisible());
  EXPECT_EQ(form->BaudRate, 57600u);
  EXPECT_EQ(form->wait_count, 50);
  click(form->Button2);
  EXPECT_EQ(log(), (QStringList{"57600", "050", "50", "tbsheet=1"}));
}

// One press of Next on a page in a given state.
struct FlowCase {
  const char* name;
  int page;
  int choice;  // item of the page's radio group, -1 none
  uint8_t rom_mode;
  uint8_t backup_chosen;
  int next_page;
  const char* back_caption;
  const char* next_caption;
  bool back, next, exit;
  uint8_t link_mode_after;
  const char* status_after;
};

class WizardFlow : public Wizard, public ::testing::WithParamInterface<FlowCase> {};

TEST_P(WizardFlow, NextLeadsToThePageWithItsCaptionsAndButtons) {
  const FlowCase& c = GetParam();
  go(c.page);
  form->rom_mode = c.rom_mode;
  form->backup_chosen = c.backup_chosen;
  form->link_mode = c.page == 1 ? 0 : 0;
  form->config_menu = 1;
  form->backup_done = 1;
  form->job_mode = 4;
  form->firmware_path = QStringLiteral("/tmp/fw.bin");
  form->Label16->setCaption(QStringLiteral("old status"));
  if (c.choice >= 0) {
    RadioGroup* g = c.page == 1 ? form->RadioGroup3 : c.page == 5 ? form->RadioGroup2 : form->RadioGroup1;
    g->setItemIndex(c.choice);
  }
  buttons(false, true, true);
  form->ListBox1->clear();

  click(form->Button2);

  EXPECT_EQ(log(), QStringList{QStringLiteral("tbsheet=%1").arg(c.page)});
  EXPECT_EQ(form->tbsheet, c.next_page);
  EXPECT_EQ(visible_page(), c.next_page);
  EXPECT_EQ(form->Button1->text(), u(c.back_caption));
  EXPECT_EQ(form->Button2->text(), u(c.next_caption));
  expect_buttons(c.back, c.next, c.exit);
  EXPECT_EQ(form->link_mode, c.link_mode_after);
  if (c.status_after) {
    EXPECT_EQ(form->Label16->caption(), u(c.status_after));
  }
}

constexpr const char* B = "< 戻る (&B)";
constexpr const char* N = "次へ (&N) >";
constexpr const char* R = "実行(&N) >";

INSTANTIATE_TEST_SUITE_P(
    Pages, WizardFlow,
    ::testing::Values(
        FlowCase{"page1_network", 1, 0, 0, 0, 2, B, N, true, true, true, 1, "old status"},
        FlowCase{"page1_serial", 1, 1, 0, 0, 11, B, N, true, true, true, 2, "old status"},
        FlowCase{"page3_normal", 3, -1, 0, 0, 6, B, "次へ (&N)", false, false, true, 0, ""},
        FlowCase{"page3_rom_mode_may_skip_backup", 3, -1, 1, 0, 6, B, "次へ (&N)", false, true,
                 true, 0, ""},
        FlowCase{"page5_download", 5, 0, 0, 0, 13, B, R, false, false, true, 0, ""},
        FlowCase{"page5_upload", 5, 1, 0, 0, 14, B, R, false, false, true, 0, ""},
        FlowCase{"page6_without_backup", 6, -1, 1, 0, 7, B, R, false, true, true, 0, ""},
        FlowCase{"page6_with_backup_no_transport", 6, -1, 0, 1, 6, B, N, false, true, true, 0,
                 "転送中"},
        FlowCase{"page13_no_transport", 13, -1, 0, 0, 13, B, N, false, true, true, 0, "転送中"},
        FlowCase{"page7_no_transport", 7, -1, 0, 0, 7, B, N, false, true, true, 0, "old status"},
        FlowCase{"page14_no_transport", 14, -1, 0, 0, 14, B, N, false, true, true, 0,
                 "old status"},
        FlowCase{"page15_shared_start", 15, 0, 0, 0, 15, B, N, false, false, true, 0, ""},
        FlowCase{"page8_does_nothing", 8, -1, 0, 0, 8, B, N, false, true, true, 0, "old status"},
        FlowCase{"page9_back_to_start", 9, -1, 1, 1, 1, B, N, false, true, true, 0, ""}),
    [](const ::testing::TestParamInfo<FlowCase>& i) { return std::string(i.param.name); });

TEST_F(Wizard, PageOneNextResetsTheVersionPage) {
  form->label("Label26")->setStyleSheet(QStringLiteral("color: red;"));
  form->label("Label26")->setCaption(QStringLiteral("rom"));
  form->label("Label39")->setCaption(QStringLiteral("V9.99"));
  form->control("Panel1")->hide();
  form->rom_mode = 1;
  click(form->Button2);
  EXPECT_EQ(form->rom_mode, 0);
  EXPECT_EQ(text("Label26"), u(texts::version_frame));
  EXPECT_EQ(form->label("Label26")->styleSheet(), QStringLiteral("color: black;"));
  EXPECT_FALSE(form->control("Panel1")->isHidden());
  EXPECT_TRUE(text("Label39").isEmpty());
  EXPECT_EQ(text("Label36"), u(texts::done_page1));
}

TEST_F(Wizard, MenuNextClearsTheRunFieldsOfTheLastChoice) {
  go(15);
  form->config_menu = 1;
  form->backup_done = 1;
  form->job_mode = 4;
  form->label("Label73")->setCaption(QStringLiteral("x"));
  click(form->Button2);
  EXPECT_EQ(form->config_menu, 0);
  EXPECT_EQ(form->backup_done, 0);
  EXPECT_EQ(form->job_mode, 0);
  EXPECT_TRUE(text("Label26").isEmpty());
  EXPECT_TRUE(text("Label73").isEmpty());
}

TEST_F(Wizard, PageNineNextClearsTheRunWhateverLedThere) {
  go(9);
  form->link_mode = 2;
  form->rom_mode = 1;
  form->backup_chosen = 1;
  form->config_resend = 1;
  form->Button1->setText(u(captions::back_finished));
  form->Button2->setText(u(captions::first_page));
  form->restart_wizard();
  EXPECT_EQ(visible_page(), 1);
  EXPECT_EQ(form->link_mode, 0);
  EXPECT_EQ(form->rom_mode, 0);
  EXPECT_EQ(form->backup_chosen, 0);
  EXPECT_EQ(form->config_resend, 0);
  EXPECT_EQ(form->Button1->text(), u(captions::back));
  EXPECT_EQ(form->Button2->text(), u(captions::next));
}

TEST_F(Wizard, PageThreeNextClearsTheBackupChoice) {
  go(3);
  form->label("Label11")->setCaption(QStringLiteral("old target"));
  form->backup_chosen = 1;
  form->Button2->setEnabled(true);
  click(form->Button2);
  EXPECT_TRUE(text("Label11").isEmpty());
  EXPECT_EQ(form->backup_chosen, 0);
}

TEST_F(Wizard, PageSixWithoutBackupShowsTheFirmwarePath) {
  go(6);
  form->firmware_path = QStringLiteral("/data/znx27kq-v2.bin");
  form->rom_mode = 1;
  form->Button2->setEnabled(true);
  click(form->Button2);
  EXPECT_EQ(visible_page(), 7);
  EXPECT_EQ(text("Label19"), QStringLiteral("/data/znx27kq-v2.bin"));
}

TEST_F(Wizard, PageSevenNextChoosesTheFirmwareForTheSender) {
  go(7);
  form->xfer_page = 14;
  form->Button2->setEnabled(true);
  click(form->Button2);
  EXPECT_EQ(form->xfer_page, 7);
}

// Back on every page.
struct BackCase {
  int page;
  int back_to;
  bool back, next;  // enabled afterwards; -1 state untouched is checked as the start state
  const char* next_caption;
  bool clears_status;
};

class WizardBack : public Wizard, public ::testing::WithParamInterface<BackCase> {};

class FakePort : public test::SettingsFreePort {
 public:
  bool clear_error(uint32_t& e, ComStat&) override {
    e = 0;
    return true;
  }
  bool write(const uint8_t*, uint32_t n, uint32_t& w) override {
    w = n;
    return true;
  }
  bool read(uint8_t*, uint32_t, uint32_t& got) override {
    got = 0;
    return true;
  }
  void close() override { closed = true; }
  bool closed = false;
};

TEST_P(WizardBack, GoesToItsPage) {
  const BackCase& c = GetParam();
  go(c.page);
  auto port = std::make_shared<FakePort>();
  form->hComm.set(port);
  form->Label16->setCaption(QStringLiteral("status"));
  form->label("Label39")->setCaption(QStringLiteral("V1.00"));
  form->label("Label53")->setCaption(QStringLiteral("target"));
  form->label("Label54")->setCaption(QStringLiteral("source"));
  form->Button2->setText(QStringLiteral("caption"));
  // Enabled even where Back would normally be off, to show it still does only its step.
  buttons(true, false, true);
  form->ListBox1->clear();

  click(form->Button1);

  EXPECT_EQ(visible_page(), c.back_to);
  EXPECT_EQ(form->tbsheet, c.back_to);
  EXPECT_EQ(form->Button1->isEnabled(), c.back);
  EXPECT_EQ(form->Button2->isEnabled(), c.next);
  EXPECT_EQ(form->Button2->text(), c.next_caption ? u(c.next_caption) : QStringLiteral("caption"));
  EXPECT_EQ(form->Label16->caption().isEmpty(), c.clears_status);
  EXPECT_TRUE(log().isEmpty()) << "Back writes no log line";
  EXPECT_EQ(port->closed, c.page == 12) << "only Back from page 12 closes the port";
  EXPECT_EQ(form->hComm.is_open(), c.page != 12);
  EXPECT_EQ(text("Label39").isEmpty(), c.page == 3);
  EXPECT_EQ(text("Label53").isEmpty(), c.page == 13);
  EXPECT_EQ(text("Label54").isEmpty(), c.page == 14);
}

INSTANTIATE_TEST_SUITE_P(Pages, WizardBack,
                         ::testing::Values(BackCase{1, 1, true, false, nullptr, false},
                                           BackCase{2, 1, false, false, nullptr, false},
                                           BackCase{3, 15, false, true, nullptr, false},
                                           BackCase{4, 2, true, false, N, false},
                                           BackCase{5, 15, false, true, nullptr, false},
                                           BackCase{6, 3, true, true, N, true},
                                           BackCase{7, 6, true, true, N, false},
                                           BackCase{8, 8, true, false, nullptr, false},
                                           BackCase{9, 9, true, false, nullptr, false},
                                           BackCase{11, 1, false, false, nullptr, true},
                                           BackCase{12, 11, true, false, nullptr, true},
                                           BackCase{13, 5, true, true, N, true},
                                           BackCase{14, 5, true, true, N, true},
                                           BackCase{15, 15, true, false, nullptr, false}),
                         [](const ::testing::TestParamInfo<BackCase>& i) {
                           return "page" + std::to_string(i.param.page);
                         });

TEST_F(Wizard, ExitAnsweredNoChangesNothing) {
  go(6);
  buttons(true, false, true);
  presenter.answers.push_back(kAnswerNo);
  click(form->Button3);
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].caption, msg::exit_confirm.caption_text());
  EXPECT_EQ(presenter.boxes[0].text, msg::exit_confirm.body());
  EXPECT_EQ(presenter.boxes[0].flags, kStyleQuestion);
  EXPECT_EQ(form->msg_answer, kAnswerNo);
  EXPECT_EQ(visible_page(), 6);
  expect_buttons(true, false, true);
  EXPECT_TRUE(form->isVisible());
}

TEST_F(Wizard, ExitAnsweredYesEndsTheProcessWithStatusThree) {
  EXPECT_EXIT(
      {
        auto port = std::make_shared<FakePort>();
        form->hComm.set(port);
        presenter.answers.push_back(kAnswerYes);
        click(form->Button3);
      },
      ::testing::ExitedWithCode(3), "");
}

TEST_F(Wizard, CloseQueryClosesThePortAndAllowsClosing) {
  auto port = std::make_shared<FakePort>();
  form->hComm.set(port);
  EXPECT_TRUE(form->close());
  EXPECT_TRUE(port->closed);
  EXPECT_FALSE(form->hComm.is_open());
}

TEST_F(Wizard, EnterPressesNextWhereItIsEnabled) {
  QTest::keyClick(form->RadioGroup3->item(0), Qt::Key_Return);
  EXPECT_EQ(visible_page(), 2);
  // On page 4 with the password typed.
  go(4);
  form->Button2->setEnabled(true);
  form->PasswordEdit->setFocus();
  QTest::keyClicks(form->PasswordEdit, QStringLiteral("secret"));
  form->ListBox1->clear();
  QTest::keyClick(form->PasswordEdit, Qt::Key_Enter);
  ASSERT_FALSE(log().isEmpty());
  EXPECT_EQ(log().first(), QStringLiteral("tbsheet=4"));
  EXPECT_EQ(log().mid(1, 3), (QStringList{"127.0.0.1:1", "admin", "******"}));
  // Not while Next is disabled.
  form->Button2->setEnabled(false);
  form->ListBox1->clear();
  QTest::keyClick(form->PasswordEdit, Qt::Key_Return);
  EXPECT_TRUE(log().isEmpty());
}

TEST_F(Wizard, PageFiveChoiceSwapsThePictureAtOnce) {
  go(5);
  QWidget* down = form->control("Image10");
  QWidget* up = form->control("Image15");
  EXPECT_TRUE(down->isVisible());
  EXPECT_FALSE(up->isVisible());
  click(form->RadioGroup2->item(1));
  EXPECT_FALSE(down->isVisible());
  EXPECT_TRUE(up->isVisible());
  click(form->RadioGroup2->item(0));
  EXPECT_TRUE(down->isVisible());
  EXPECT_FALSE(up->isVisible());
}

// The file choices, with the dialogs answered by the test.
class WizardFiles : public Wizard {
 protected:
  QString put(const char* name, const QByteArray& bytes) {
    const QString p = dir.filePath(QString::fromLatin1(name));
    EXPECT_TRUE(test::write_file(p, bytes));
    return p;
  }
  QTemporaryDir dir;
};

TEST_F(WizardFiles, GoodFirmwareShowsItsVersionAndEnablesNext) {
  go(3);
  const QString path = put("fw.bin", test::make_firmware(10000, "V02.10a"));
  chooser.paths.push_back(path);
  form->ListBox1->clear();
  click("Button23");
  EXPECT_EQ(chooser.titles, QStringList{u("ﾌｧｰﾑｳｪｱ･ﾌｧｲﾙの指定")});
  EXPECT_EQ(form->firmware_path, path);
  EXPECT_EQ(log(), (QStringList{"pathfile=" + path, "total=10000"}));
  EXPECT_TRUE(form->control("Panel3")->isVisible());
  EXPECT_EQ(text("Label46"), QStringLiteral("V02.10a"));
  EXPECT_EQ(text("Label47"), u(texts::file_version_frame));
  EXPECT_TRUE(form->Button2->isEnabled());
  EXPECT_TRUE(presenter.boxes.empty());
}

struct BadFirmwareCase {
  const char* name;
  QByteArray bytes;
  const Message* box;
  QStringList log_after_path;
};

class WizardBadFirmware : public WizardFiles,
                          public ::testing::WithParamInterface<BadFirmwareCase> {};

TEST_P(WizardBadFirmware, KeepsNextDisabledWithItsMessage) {
  go(3);
  // A good file first, so the bad one has an approval to withdraw.
  chooser.paths.push_back(put("good.bin", test::make_firmware(100)));
  click("Button23");
  ASSERT_TRUE(form->Button2->isEnabled());
  const QString path = put("bad.bin", GetParam().bytes);
  chooser.paths.push_back(path);
  form->ListBox1->clear();
  click("Button23");
  EXPECT_FALSE(form->Button2->isEnabled());
  EXPECT_FALSE(form->control("Panel3")->isVisible());
  EXPECT_TRUE(text("Label46").isEmpty());
  EXPECT_EQ(log(), QStringList{"pathfile=" + path} + GetParam().log_after_path);
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].caption, GetParam().box->caption_text());
  EXPECT_EQ(presenter.boxes[0].text, GetParam().box->body());
  EXPECT_EQ(presenter.boxes[0].flags, kStyleError);
}

QByteArray damaged(int at) {
  QByteArray b = test::make_firmware(5000);
  b[at] = char(b[at] ^ 1);
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WizardBadFirmware,
    ::testing::Values(BadFirmwareCase{"wrong_version_mark", damaged(17), &msg::not_firmware,
                                      {u("整合性チェックエラー(V)")}},
                      BadFirmwareCase{"too_short", QByteArray(20, 'V'), &msg::not_firmware,
                                      {u("整合性チェックエラー(V)")}},
                      BadFirmwareCase{"damaged_image", damaged(3000), &msg::firmware_incomplete,
                                      {"total=5000", u("整合性チェックエラー(MD5)")}}),
    [](const ::testing::TestParamInfo<BadFirmwareCase>& i) { return std::string(i.param.name); });

TEST_F(WizardFiles, CancelledOrUnreadableFirmwareChoiceWithdrawsTheApproval) {
  go(3);
  chooser.paths.push_back(put("good.bin", test::make_firmware(100)));
  click("Button23");
  ASSERT_TRUE(form->Button2->isEnabled());
  chooser.paths.push_back(QString());  // cancel
  click("Button23");
  EXPECT_FALSE(form->Button2->isEnabled());
  EXPECT_FALSE(form->control("Panel3")->isVisible());
  chooser.paths.push_back(dir.filePath(QStringLiteral("missing.bin")));
  form->ListBox1->clear();
  click("Button23");
  EXPECT_FALSE(form->Button2->isEnabled());
  EXPECT_EQ(log(), QStringList{"pathfile=" + dir.filePath(QStringLiteral("missing.bin"))});
  EXPECT_TRUE(presenter.boxes.empty());
}

TEST_F(WizardFiles, BackupTargetOnPageSixAndThirteenSetsOnlyThatPagesLabel) {
  for (int page : {6, 13}) {
    SCOPED_TRACE(page);
    form->label("Label11")->setCaption(QString());
    form->label("Label53")->setCaption(QString());
    go(page);
    form->backup_chosen = 0;
    form->Button2->setEnabled(false);
    const QString path = dir.filePath(QStringLiteral("backup%1.bin").arg(page));
    chooser.paths.push_back(path);
    click(page == 6 ? "Button4" : "Button21");
    EXPECT_EQ(form->config_path, path);
    const QString shown = path + u("\r\nこのファイルに設定ファイルのバックアップを行います。");
    EXPECT_EQ(text("Label11"), page == 6 ? shown : QString());
    EXPECT_EQ(text("Label53"), page == 13 ? shown : QString());
    EXPECT_EQ(form->Label16->caption(), u("[実行]を押して下さい"));
    EXPECT_EQ(form->backup_chosen, 1);
    EXPECT_EQ(form->Button2->text(), u(captions::run_backup));
    EXPECT_TRUE(form->Button2->isEnabled());
    EXPECT_FALSE(QFile::exists(path)) << "the test leaves no file behind";
  }
  EXPECT_EQ(chooser.titles.first(), u("バックアップファイルの指定"));
}

TEST_F(WizardFiles, BackupTargetThatCannotBeCreatedIsRefusedAndChangesNothing) {
  go(6);
  form->Button2->setEnabled(false);
  const QString path = QStringLiteral("/nonexistent/folder/cfg27kq.bin");
  chooser.paths.push_back(path);
  form->ListBox1->clear();
  click("Button4");
  EXPECT_EQ(form->config_path, path);
  EXPECT_EQ(log(), QStringList{u("バックアップファイル作成できず")});
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].text, msg::backup_folder_refused.body());
  EXPECT_EQ(form->backup_chosen, 0);
  EXPECT_FALSE(form->Button2->isEnabled());
  EXPECT_TRUE(text("Label11").isEmpty());
}

TEST_F(WizardFiles, BackupTargetNamingAnExistingFileLeavesItUntouched) {
  go(13);
  const QByteArray old = "#<ZNX27KQ> last week's backup";
  const QString path = put("cfg27kq.bin", old);
  chooser.paths.push_back(path);
  click("Button21");
  EXPECT_EQ(form->backup_chosen, 1);
  EXPECT_EQ(test::read_file(path), old);
}

TEST_F(WizardFiles, UploadSourceWithTheMarkerIsApproved) {
  go(14);
  const QString path = put("cfg.bin", "#<ZNX27KQ>settings");
  chooser.paths.push_back(path);
  form->ListBox1->clear();
  click("Button24");
  EXPECT_EQ(chooser.titles, QStringList{u("設定ファイルの指定")});
  EXPECT_EQ(form->config_path, path);
  EXPECT_EQ(form->firmware_path, path);
  EXPECT_EQ(text("Label54"), path + u("\r\nこのファイルをZORVELに転送します。"));
  EXPECT_EQ(form->Label16->caption(), u("実行ボタンを押して下さい。"));
  EXPECT_TRUE(form->Button2->isEnabled());
  EXPECT_EQ(log(), QStringList{"OpenDialog2=" + path});
}

TEST_F(WizardFiles, UploadSourceWithoutTheMarkerIsRefused) {
  go(14);
  const QString path = put("cfg.bin", "<ZNX27KQ>at offset 0");
  chooser.paths.push_back(path);
  form->ListBox1->clear();
  click("Button24");
  EXPECT_EQ(log(), (QStringList{"OpenDialog2=" + path, u("整合性チェックエラー")}));
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].caption, msg::not_config.caption_text());
  EXPECT_EQ(presenter.boxes[0].text, msg::not_config.body());
  EXPECT_TRUE(form->firmware_path.isEmpty());
  EXPECT_TRUE(text("Label54").isEmpty());
  EXPECT_FALSE(form->Button2->isEnabled());
}

// After an approved source, a second choice that yields nothing must not leave a Next that
// would send nothing.
TEST_F(WizardFiles, SecondUploadChoiceCancelledOrUnreadableDisablesNext) {
  for (const QString& second : {QString(), QStringLiteral("/nonexistent/cfg.bin")}) {
    SCOPED_TRACE(second.toStdString());
    go(14);
    chooser.paths.push_back(put("cfg.bin", "#<ZNX27KQ>settings"));
    click("Button24");
    ASSERT_TRUE(form->Button2->isEnabled());
    chooser.paths.push_back(second);
    click("Button24");
    EXPECT_TRUE(form->firmware_path.isEmpty());
    EXPECT_FALSE(form->Button2->isEnabled());
    EXPECT_TRUE(text("Label54").isEmpty());
  }
}

// Start-up with a number that does not convert: the box, exit status 0, no window. Runs in the
// child process of the exit test and ends it with the program's status.
bool g_window_made = false;

[[noreturn]] void start_in(const QByteArray& folder) {
  if (::chdir(folder.constData()) != 0) std::_Exit(20);
  ScriptedPresenter p;
  char arg0[] = "lumo27kq";
  char* argv[] = {arg0, nullptr};
  const int rc = run_app(1, argv, &p, [](TForm1&) { g_window_made = true; });
  if (g_window_made) std::_Exit(21);
  if (p.boxes.size() != 1 || p.boxes[0].flags != kStyleError ||
      !p.boxes[0].text.contains(QStringLiteral("9x9")))
    std::_Exit(22);
  std::_Exit(rc);
}

TEST(StartUp, BadNumberInTheOptionsFileEndsStartUpWithoutTheWizard) {
  QTemporaryDir dir;
  ASSERT_TRUE(test::write_file(dir.filePath(QStringLiteral("VerUp_in.txt")), "0099x9"));
  EXPECT_EXIT(start_in(QFile::encodeName(dir.path())), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace lumo
