#pragma once
#include <QElapsedTimer>
#include <QFileInfo>
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
#include <vector>

#include "app/options.h"
#include "serial/port.h"
#include "sim/serial_line.h"
#include "tests/common/wizard_support.h"
#include "wizard/tform1.h"

namespace lumo::test {

// The real window on the offscreen platform, its ports in a folder of the test's own where the
// simulated devices publish theirs, every wait of both sides sped up by the same factor.
class Road : public ::testing::Test {
 protected:
  static constexpr int kSpeedup = 50;

  void SetUp() override {
    form = std::make_unique<TForm1>(parse_options(false, {}));
    form->set_presenter(&presenter);
    form->set_chooser(&chooser);
    form->HostnameEdit->setText(QStringLiteral("127.0.0.1:1"));
    form->clock = std::make_shared<ScaledClock>(kSpeedup);
    const QString d = dir.path();
    std::shared_ptr<Clock> clock = form->clock;
    form->port_opener = [d, clock](const QString& name) -> OpenedPort {
      const QString path = d + QLatin1Char('/') + name;
      if (!QFileInfo(path).exists()) return nullptr;
      return open_tty(path, clock);
    };
    form->show();
  }

  void TearDown() override {
    // The window first, so no job is left using a line that goes away.
    form.reset();
    lines.clear();
  }

  sim::SerialLine& device(const char* port, sim::DeviceConfig cfg = {}) {
    lines.push_back(std::make_unique<sim::SerialLine>(std::move(cfg), kSpeedup));
    QString error;
    EXPECT_TRUE(lines.back()->start(dir.path(), QString::fromLatin1(port), &error)) << error.toStdString();
    return *lines.back();
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

  // Page 1 -> 11 -> detection -> 12.
  void detect() {
    form->RadioGroup3->setItemIndex(1);
    next();
    ASSERT_TRUE(on_page(11));
    next();
    ASSERT_TRUE(wait_for([&] { return on_page(12) && jobs_done(); })) << "page " << page();
  }
  // Page 12 -> 15 -> chosen item.
  void menu(int item) {
    next();
    ASSERT_TRUE(on_page(15));
    form->RadioGroup1->setItemIndex(item);
    next();
  }

  QTemporaryDir dir;
  ScriptedPresenter presenter;
  ScriptedChooser chooser;
  std::unique_ptr<TForm1> form;
  std::vector<std::unique_ptr<sim::SerialLine>> lines;
};

}  // namespace lumo::test
