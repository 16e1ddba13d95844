#include "cli/console.h"

#include <algorithm>

namespace lumo::cli {

namespace {

QString rate_text(double bytes_per_s) {
  if (bytes_per_s >= 1024.0 * 1024.0)
    return QString::number(bytes_per_s / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MiB/s");
  if (bytes_per_s >= 1024.0)
    return QString::number(bytes_per_s / 1024.0, 'f', 1) + QStringLiteral(" KiB/s");
  return QString::number(qint64(bytes_per_s)) + QStringLiteral(" B/s");
}

QString duration_text(int64_t seconds) {
  return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

Console::Console(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

QString Console::format(const QString& what, int64_t done, int64_t total, double elapsed_s,
                        bool terminal) {
  QString t = what + QStringLiteral(": ") + QString::number(done);
  if (total > 0) {
    t += QStringLiteral(" / ") + QString::number(total) + QStringLiteral(" bytes (") +
         QString::number(std::min<int64_t>(100, done * 100 / total)) + QStringLiteral("%)");
  } else {
    t += QStringLiteral(" bytes");
  }
  if (!terminal) return t;
  // Rate and time left only mean something once some time has passed.
  if (elapsed_s > 0.0 && done > 0) {
    const double rate = double(done) / elapsed_s;
    t += QStringLiteral("  ") + rate_text(rate);
    if (total > done) {
      t += QStringLiteral("  ") + duration_text(int64_t(double(total - done) / rate + 0.5)) +
           QStringLiteral(" left");
    }
  }
  return t;
}

void Console::write_locked(const QByteArray& bytes) {
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out_);
  std::fflush(out_);
}

void Console::line(const QString& text) {
  std::lock_guard<std::mutex> g(mu_);
  QByteArray b;
  if (on_screen_) b += "\r\x1b[K";
  on_screen_ = false;
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  b += shown.toUtf8() + '\n';
  write_locked(b);
}

void Console::begin(const QString& what, int64_t total) {
  std::lock_guard<std::mutex> g(mu_);
  active_ = true;
  what_ = what;
  total_ = total;
  done_ = 0;
  shown_done_ = -1;
  last_tenth_ = 0;
  started_.start();
  last_draw_.invalidate();
}

bool Console::active() const {
  std::lock_guard<std::mutex> g(mu_);
  return active_;
}

void Console::progress(int64_t done) {
  std::lock_guard<std::mutex> g(mu_);
  if (!active_ || done <= done_) return;
  done_ = done;
  draw_locked(false);
}

void Console::draw_locked(bool force) {
  if (terminal_) {
    if (!force && last_draw_.isValid() && last_draw_.elapsed() < kRedrawMs) return;
    if (force && done_ == shown_done_ && on_screen_) return;
    last_draw_.start();
    shown_done_ = done_;
    on_screen_ = true;
    const double s = double(started_.nsecsElapsed()) / 1e9;
    write_locked("\r" + format(what_, done_, total_, s, true).toUtf8() + "\x1b[K");
    return;
  }
  const int tenth = total_ > 0 ? int(std::min<int64_t>(10, done_ * 10 / total_)) : 0;
  if (!force && tenth <= last_tenth_) return;
  if (force && done_ == shown_done_) return;
  last_tenth_ = tenth;
  shown_done_ = done_;
  write_locked(format(what_, done_, total_, 0.0, false).toUtf8() + '\n');
}

void Console::end() {
  std::lock_guard<std::mutex> g(mu_);
  if (!active_) return;
  if (done_ > 0) draw_locked(true);
  if (on_screen_) write_locked("\n");
  on_screen_ = false;
  active_ = false;
}

}  // namespace lumo::cli
