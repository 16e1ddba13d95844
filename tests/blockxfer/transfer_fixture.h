#pragma once
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

#include "blockxfer/frame.h"
#include "messages/recording_window.h"
#include "scripted_device.h"
#include "session/session.h"
#include "test_util.h"

namespace lumo::test {

using Bytes = std::vector<uint8_t>;

inline Bytes pattern(size_t n, uint32_t seed = 1) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    b[i] = uint8_t(seed >> 16);
  }
  return b;
}

inline Bytes read_file(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QByteArray a = f.readAll();
  return Bytes(a.begin(), a.end());
}

inline void write_file(const QString& path, const Bytes& b) {
  QFile f(path);
  f.open(QIODevice::WriteOnly | QIODevice::Truncate);
  f.write(reinterpret_cast<const char*>(b.data()), qint64(b.size()));
}

// One session cabled to a scripted device, on a virtual clock. The PC's files live in pc/, the
// device's in dev/.
struct Link {
  QTemporaryDir tmp;
  std::shared_ptr<CountingClock> clock = std::make_shared<CountingClock>();
  Session s;
  RecordingWindow w;
  std::shared_ptr<ScriptedDevice> dev;

  explicit Link(sim::BlockFaults faults = {}) {
    QDir(tmp.path()).mkdir("pc");
    QDir(tmp.path()).mkdir("dev");
    sim::BlockOptions o;
    o.folder = dev_dir().toStdString();
    o.faults = std::move(faults);
    dev = std::make_shared<ScriptedDevice>(clock, std::move(o));
    s.clock = clock;
    s.hComm.set(dev);
    s.wait_count = 100;
    s.BaudRate = 115200;
    s.xfer_page = 7;
  }
  QString pc_dir() const { return tmp.path() + "/pc"; }
  QString dev_dir() const { return tmp.path() + "/dev"; }
  QString pc(const char* name) const { return pc_dir() + "/" + name; }
  QString device(const char* name) const { return dev_dir() + "/" + name; }
  QStringList pc_files() const { return QDir(pc_dir()).entryList(QDir::Files | QDir::Hidden); }
};

// The receiver's log line for each reply it sent, in order.
inline QStringList sends(std::initializer_list<int> seqs) {
  QStringList l;
  for (int n : seqs) l << QString("send seq_ban=%1").arg(n);
  return l;
}

// The receiver's ending after `replies` reply frames none of which needed an escape, and the
// hang-up's two matches.
inline QStringList ending(uint32_t replies, uint32_t total) {
  return {QString("p=%1").arg(replies * kReplyFrameLength), QString("total_data=%1").arg(total),
          "一致", "一致"};
}

}  // namespace lumo::test
