#pragma once
#include <QFileInfo>

#include <memory>
#include <vector>

#include "serial/port.h"
#include "sim/serial_line.h"
#include "tests/common/wizard_driver.h"

namespace lumo::test {

// The window with its ports in a folder of the test's own, where the simulated devices publish
// theirs; both sides' waits sped up by the same factor.
class Road : public WizardDriver {
 protected:
  static constexpr int kSpeedup = 50;

  void SetUp() override {
    make_form(kSpeedup);
    const QString d = dir.path();
    std::shared_ptr<Clock> clock = form->clock;
    form->port_opener = [d, clock](const QString& name) -> OpenedPort {
      const QString path = d + QLatin1Char('/') + name;
      if (!QFileInfo(path).exists()) return nullptr;
      return open_tty(path, clock);
    };
  }

  void TearDown() override {
    // The window first, so no job is left using a line that goes away.
    form.reset();
    lines.clear();
  }

  sim::SerialLine& device(const char* port, sim::DeviceConfig cfg = {}) {
    lines.push_back(std::make_unique<sim::SerialLine>(std::move(cfg), kSpeedup));
    QString error;
    EXPECT_TRUE(lines.back()->start(dir.path(), QString::fromLatin1(port), &error))
        << error.toStdString();
    return *lines.back();
  }

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

  QTemporaryDir dir;  // the ports and the simulated device's files
  std::vector<std::unique_ptr<sim::SerialLine>> lines;
};

}  // namespace lumo::test
