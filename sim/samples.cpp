#include "sim/samples.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>

#include "sim/block/block_engine.h"

namespace lumo::sim {

QByteArray sample_firmware(int size, const QByteArray& version) {
  size = std::max(size, 40);
  QByteArray f(size - 16, '\0');
  const QByteArray head = "ZNX27KQ firmware:";  // offsets 0 to 16
  std::copy(head.begin(), head.end(), f.begin());
  std::copy_n(version.leftJustified(7, ' ', true).begin(), 7, f.begin() + 17);
  uint32_t x = 0x2700;
  for (int i = 24; i < f.size(); ++i) {
    x = x * 1664525u + 1013904223u;
    f[i] = char(x >> 24);
  }
  return f + QCryptographicHash::hash(f, QCryptographicHash::Md5);
}

QByteArray sample_config(int size) {
  size = std::max(size, 10);
  QByteArray c = "#<ZNX27KQ>\r\n";
  for (int n = 1; c.size() < size; ++n)
    c +=
        QByteArray("entry") + QByteArray::number(n) + "=value" + QByteArray::number(n * 7) + "\r\n";
  c.truncate(size);
  return c;
}

namespace {
bool write(const QString& path, const QByteArray& bytes, QString* error) {
  QSaveFile f(path);
  if (f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit()) return true;
  if (error) *error = QStringLiteral("%1: %2").arg(path, f.errorString());
  return false;
}
}  // namespace

bool write_sample_files(const QString& dir, QString* error) {
  const QDir d(dir);
  const QByteArray config = sample_config();
  if (!write(d.filePath(kSampleFirmware), sample_firmware(), error)) return false;
  if (!write(d.filePath(kSampleConfig), config, error)) return false;
  const QString device_config = d.filePath(kConfigFile);
  return QFile::exists(device_config) || write(device_config, config, error);
}

}  // namespace lumo::sim
