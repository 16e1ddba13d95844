#pragma once
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/options.h"
#include "tests/common/wizard_support.h"
#include "wizard/tform1.h"

namespace lumo::test {

// Drives the real window on the offscreen platform, with every wait of the system sped up.
class WizardDriver : public ::testing::Test {
 protected:
  void make_form(int speedup) {
    form = std::make_unique<TForm1>(parse_options(false, {}));
    form->set_presenter(&presenter);
    form->set_chooser(&chooser);
    // Tests talk to nothing but this machine: never the default host.
    form->HostnameEdit->setText(QStringLiteral("127.0.0.1:1"));
    form->clock = std::make_shared<ScaledClock>(speedup);
    form->show();
  }

  // Processes the window's events until `done` holds; false after `real_ms`.
  static bool wait_for(const std::function<bool()>& done, int real_ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
      if (t.elapsed() > real_ms) return false;
      QTest::qWait(5);
    }
    return true;
  }

  int page() const { return form->PageControl1->currentIndex() + 1; }
  bool on_page(int n) const { return page() == n && form->tbsheet == n; }
  void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
  void click(const char* name) { click(qobject_cast<QAbstractButton*>(form->control(name))); }
  void next() {
    ASSERT_TRUE(form->Button2->isEnabled()) << "Next is off on page " << page();
    click(form->Button2);
  }
  void expect_buttons(bool back, bool next, bool exit) const {
    EXPECT_EQ(form->Button1->isEnabled(), back);
    EXPECT_EQ(form->Button2->isEnabled(), next);
    EXPECT_EQ(form->Button3->isEnabled(), exit);
  }
  QStringList log() const {
    QStringList out;
    for (int i = 0; i < form->ListBox1->count(); ++i) out << form->ListBox1->item(i)->text();
    return out;
  }
  QString text(const char* name) const { return form->label(name)->caption(); }
  bool jobs_done() const { return !form->jobs_running(); }
  QString put(const char* name, const QByteArray& bytes) {
    const QString p = files.filePath(QString::fromLatin1(name));
    EXPECT_TRUE(write_file(p, bytes));
    return p;
  }
  // Chooses a firmware file on page 3 and goes on to page 6.
  void choose_firmware(const QString& path) {
    ASSERT_TRUE(on_page(3));
    chooser.paths.push_back(path);
    click("Button23");
    next();
    ASSERT_TRUE(on_page(6));
  }
  // Chooses a backup target on page 6 or 13.
  void choose_backup(const QString& path) {
    chooser.paths.push_back(path);
    click(page() == 6 ? "Button4" : "Button21");
    ASSERT_EQ(form->backup_chosen, 1);
  }
  // Saves what the window shows now, when LUMO27KQ_SHOTS names a folder (for a person to look).
  void shot(const char* name) {
    const QByteArray dir = qgetenv("LUMO27KQ_SHOTS");
    if (!dir.isEmpty()) form->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
  }

  QTemporaryDir files;  // the user's own files
  ScriptedPresenter presenter;
  ScriptedChooser chooser;
  std::unique_ptr<TForm1> form;
};

}  // namespace lumo::test
