#include "filecheck/filecheck.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace lumo {

namespace {
constexpr int kHeaderBytes = 64;
constexpr int kBlock = 4096;
constexpr int kDigestBytes = 16;
constexpr char kConfigMarker[] = "<ZNX27KQ>";
}  // namespace

FirmwareCheck check_firmware_file(const QString& path) {
  FirmwareCheck r;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return r;
  const QByteArray head = f.read(kHeaderBytes);
  f.close();

  if (head.size() <= 20 || head[17] != 'V' || head[20] != '.') {
    r.outcome = FirmwareCheck::NotFirmware;
    return r;
  }
  QByteArray version = head.mid(17, 7);
  const int zero = version.indexOf('\0');
  if (zero >= 0) version.truncate(zero);
  r.version = QString::fromLatin1(version);

  if (!f.open(QIODevice::ReadOnly)) {
    r.outcome = FirmwareCheck::CannotOpen;
    return r;
  }
  // The expected digest may straddle two blocks, so the newest 16 bytes are held back from
  // the digest until more bytes follow them.
  QCryptographicHash md5(QCryptographicHash::Md5);
  char buf[kBlock];
  char pending[kDigestBytes];
  int pending_len = 0;
  for (;;) {
    const qint64 got = f.read(buf, kBlock);
    if (got <= 0) break;
    const int n = int(got);
    r.total += uint64_t(n);
    const int hash_len = pending_len + n - kDigestBytes;
    if (hash_len <= 0) {
      std::memcpy(pending + pending_len, buf, size_t(n));
      pending_len += n;
      continue;
    }
    const int from_pending = hash_len < pending_len ? hash_len : pending_len;
    const int from_buf = hash_len - from_pending;
    md5.addData(QByteArrayView(pending, from_pending));
    md5.addData(QByteArrayView(buf, from_buf));
    char next[kDigestBytes];
    const int kept = pending_len - from_pending;
    std::memcpy(next, pending + from_pending, size_t(kept));
    std::memcpy(next + kept, buf + from_buf, size_t(n - from_buf));
    std::memcpy(pending, next, sizeof next);
    pending_len = kDigestBytes;
  }
  f.close();
  r.digest_pass = true;
  const QByteArray digest = md5.result();
  const bool equal = pending_len == kDigestBytes &&
                     std::memcmp(digest.constData(), pending, kDigestBytes) == 0;
  r.outcome = equal ? FirmwareCheck::Good : FirmwareCheck::Incomplete;
  return r;
}

ConfigCheck check_config_file(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return ConfigCheck::CannotOpen;
  const QByteArray head = f.read(32);
  f.close();
  const int marker_len = int(sizeof kConfigMarker) - 1;
  if (head.size() < 1 + marker_len) return ConfigCheck::NoMarker;
  return std::memcmp(head.constData() + 1, kConfigMarker, size_t(marker_len)) == 0
             ? ConfigCheck::Good
             : ConfigCheck::NoMarker;
}

bool backup_target_writable(const QString& path) {
  if (path.isEmpty()) return false;
  const QFileInfo info(path);
  if (info.isDir()) return false;
  const QByteArray target = QFile::encodeName(info.absoluteFilePath());
  const QByteArray folder = QFile::encodeName(info.absolutePath());

  // The backup is received into a new file beside the target, so the folder must take one.
  std::random_device rd;
  const QByteArray probe =
      folder + "/.lumo27kq-probe-" + QByteArray::number(qulonglong(rd()) << 16 ^ rd(), 16);
  const int pfd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (pfd < 0) return false;
  ::close(pfd);
  ::unlink(probe.constData());

  // An existing target is only opened, never truncated, so it stays exactly as it was.
  const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return true;
  }
  return errno == ENOENT;
}

}  // namespace lumo
