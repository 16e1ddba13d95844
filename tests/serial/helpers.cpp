#include "helpers.h"

#include <QDir>

namespace lumo::test {

SimFolder::SimFolder() : old_cwd_(QDir::currentPath()) {
  EXPECT_TRUE(dir_.isValid());
  QDir::setCurrent(dir_.path());
}

SimFolder::~SimFolder() {
  for (auto& l : lines_) l->stop();
  QDir::setCurrent(old_cwd_);
}

sim::SerialLine& SimFolder::add(const QString& port, sim::DeviceConfig cfg, int speedup) {
  lines_.push_back(std::make_unique<sim::SerialLine>(std::move(cfg), speedup));
  QString error;
  EXPECT_TRUE(lines_.back()->start(dir_.path(), port, &error)) << error.toStdString();
  return *lines_.back();
}

QStringList open_lines(uint32_t baud) {
  return {QStringLiteral("BaudRate=%1").arg(baud), "Speed Setup OK!", "Timeout Setup OK!",
          "Interface Clear OK"};
}

}  // namespace lumo::test
