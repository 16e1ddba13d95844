#include "app/options.h"

#include <QFile>

namespace lumo {

StartOptions parse_options(bool present, const QByteArray& head) {
  StartOptions o;
  if (!present) {
    o.log_lines << QStringLiteral("no input");
    return o;
  }
  // Bytes the file does not have count as 0.
  for (int i = 0; i < 6 && i < head.size(); ++i) o.opt_bytes[i] = uint8_t(head[i]);

  switch (o.opt_bytes[1]) {
    case '0':
      o.BaudRate = 115200;
      o.log_lines << QStringLiteral("115200");
      break;
    case '1':
      o.BaudRate = 57600;
      o.log_lines << QStringLiteral("57600");
      break;
    case '2':
      o.BaudRate = 38400;
      o.log_lines << QStringLiteral("38400");
      break;
    default:
      break;
  }

  if (o.opt_bytes[2] == '9') {
    QByteArray digits;
    for (int i = 3; i < 6 && o.opt_bytes[i] != 0; ++i) digits.append(char(o.opt_bytes[i]));
    const QString text = QString::fromLatin1(digits);
    o.log_lines << text;
    bool converted = false;
    const int value = text.toInt(&converted, 10);
    if (!converted) {
      o.ok = false;
      o.error = QStringLiteral("'%1' は有効な整数値ではありません。").arg(text);
      return o;
    }
    // The sender divides by this value and pauses for it on every poll: a value below 1 would
    // divide by zero or never pause, so it keeps the default.
    if (value >= 1) o.wait_count = value;
    o.log_lines << QString::number(o.wait_count);
  }
  return o;
}

StartOptions read_options_file(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return parse_options(false, {});
  const QByteArray head = f.read(6);
  f.close();
  return parse_options(true, head);
}

}  // namespace lumo
