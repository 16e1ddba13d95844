#include "serial/port.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

#include "serial/termios_port.h"

namespace lumo {

namespace {

QStringList system_ports() {
  QStringList found;
  QDir dev(QStringLiteral("/dev"));
  for (const char* family : {"ttyUSB", "ttyACM", "ttyS"}) {
    const QString prefix = QString::fromLatin1(family);
    const QRegularExpression pattern(QStringLiteral("^%1([0-9]+)$").arg(prefix));
    std::vector<std::pair<int, QString>> numbered;
    for (const QString& name : dev.entryList({prefix + QStringLiteral("*")}, QDir::System)) {
      const auto m = pattern.match(name);
      if (m.hasMatch()) numbered.emplace_back(m.captured(1).toInt(), dev.filePath(name));
    }
    std::sort(numbered.begin(), numbered.end());
    for (auto& [n, path] : numbered) found << path;
  }
  return found;
}

std::shared_ptr<PortDevice> device(Session& s) { return s.hComm.get(); }

void apply_line_settings(Dcb& dcb, uint32_t baud) {
  dcb.BaudRate = baud;
  dcb.ByteSize = 8;
  dcb.Parity = 0;
  dcb.StopBits = 0;
  dcb.fParity = false;
  dcb.fRtsControl = 1;
}

// Settings and time-outs after the queue sizes; the steps both profiles share.
bool configure(Session& s, Window& w, PortDevice& dev, uint32_t baud, uint32_t interval_ms) {
  dev.get_state(s.dcb);
  apply_line_settings(s.dcb, baud);
  if (!dev.set_state(s.dcb)) {
    close_port(s);
    w.log_line(QStringLiteral("Speed Setup Error! ") + QString::number(s.port_index));
    return false;
  }
  w.log_line(QStringLiteral("BaudRate=") + QString::number(s.dcb.BaudRate));
  w.log_line(QStringLiteral("Speed Setup OK!"));

  dev.get_timeouts(s.timeouts);
  s.timeouts.ReadIntervalTimeout = interval_ms;
  s.timeouts.ReadTotalTimeoutMultiplier = 0;
  s.timeouts.ReadTotalTimeoutConstant = 3000;
  s.timeouts.WriteTotalTimeoutMultiplier = 0;
  s.timeouts.WriteTotalTimeoutConstant = 3000;
  if (!dev.set_timeouts(s.timeouts)) {
    close_port(s);
    w.log_line(QStringLiteral("Timeout Setup Error!"));
    return false;
  }
  w.log_line(QStringLiteral("Timeout Setup OK!"));
  return true;
}

bool purge(Session& s, Window& w, PortDevice& dev) {
  if (!dev.purge()) {
    close_port(s);
    w.log_line(QStringLiteral("Interface Clear Error!"));
    return false;
  }
  return true;
}

}  // namespace

bool is_port_name(const QString& name) {
  return name.size() == 4 && name.startsWith(QLatin1String("COM")) && name[3] >= QLatin1Char('1') &&
         name[3] <= QLatin1Char('9');
}

QStringList port_table(const QString& dir) {
  const QDir here(dir.isEmpty() ? QDir::currentPath() : dir);
  QStringList table;
  bool any = false;
  for (int n = 1; n <= 9; ++n) {
    const QString entry = here.filePath(QStringLiteral("COM%1").arg(n));
    // A dangling symlink still names a port (one that fails to open).
    const bool present = QFileInfo(entry).exists() || QFileInfo(entry).isSymLink();
    table << (present ? entry : QString());
    any = any || present;
  }
  if (any) return table;
  const QStringList system = system_ports();
  table.clear();
  for (int n = 0; n < 9; ++n) table << (n < system.size() ? system[n] : QString());
  return table;
}

std::shared_ptr<PortDevice> open_tty(const QString& path, std::shared_ptr<Clock> clock) {
  if (path.isEmpty()) return nullptr;
  return TermiosPort::open(path, std::move(clock));
}

bool open_port(Session& s, Window& w) {
  OpenedPort opened;
  if (is_port_name(s.port_name)) {
    if (s.port_opener) {
      opened = s.port_opener(s.port_name);
    } else {
      const QStringList table = port_table();
      opened = open_tty(table[s.port_name[3].digitValue() - 1], s.clock);
    }
  }
  if (opened.null) {
    w.log_line(QStringLiteral("Can't create rs232c"));
    return false;
  }
  if (!opened.device) {
    w.log_line(QStringLiteral("INVALID_HANDLE_VALUE"));
    return false;
  }
  std::shared_ptr<PortDevice> dev = opened.device;
  s.hComm.set(dev);

  dev->setup_queues(kQueueBytes, kQueueBytes);
  if (!configure(s, w, *dev, s.BaudRate, 5000)) return false;
  if (!purge(s, w, *dev)) return false;
  w.log_line(QStringLiteral("Interface Clear OK"));
  return true;
}

bool reconfigure_port(Session& s, Window& w) {
  std::shared_ptr<PortDevice> dev = device(s);
  if (!dev) {
    // Nothing to reconfigure: the same report as a port that refuses to be cleared.
    w.log_line(QStringLiteral("Interface Clear Error!"));
    return false;
  }
  dev->setup_queues(kQueueBytes, kQueueBytes);
  if (!purge(s, w, *dev)) return false;
  if (!configure(s, w, *dev, kRecoveryBaudRate, 3000)) return false;
  if (!purge(s, w, *dev)) return false;
  w.log_line(QStringLiteral("Interface Clear OK"));
  return true;
}

void close_port(Session& s) { s.hComm.close(); }

bool port_write(Session& s, const uint8_t* buf, uint32_t n, uint32_t* written) {
  uint32_t count = 0;
  std::shared_ptr<PortDevice> dev = device(s);
  const bool ok = dev && dev->write(buf, n, count);
  if (written) *written = count;
  return ok;
}

uint32_t port_queued(Session& s, uint32_t* dwErrorFlags, ComStat* stat) {
  uint32_t flags = 0;
  ComStat st;
  std::shared_ptr<PortDevice> dev = device(s);
  if (!dev || !dev->clear_error(flags, st)) {
    flags = 0;
    st = ComStat{};
  }
  if (dwErrorFlags) *dwErrorFlags = flags;
  if (stat) *stat = st;
  return st.cbInQue;
}

bool port_read(Session& s, uint8_t* buf, uint32_t n, uint32_t* got) {
  uint32_t count = 0;
  std::shared_ptr<PortDevice> dev = device(s);
  const bool ok = dev && dev->read(buf, n, count);
  if (got) *got = count;
  return ok;
}

void port_drain(Session& s) {
  if (std::shared_ptr<PortDevice> dev = device(s)) dev->drain();
}

}  // namespace lumo
