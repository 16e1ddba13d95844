#pragma once
#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <mutex>

namespace lumo::cli {

// The command line's one writer of messages, log lines and the progress of a transfer. On a
// terminal the progress is one line redrawn in place (carriage return) at most ten times a
// second; elsewhere it is plain lines, one each time another tenth of the file has gone.
// Any thread.
class Console {
 public:
  static constexpr int kRedrawMs = 100;

  Console(std::FILE* out, bool terminal);

  // A line of its own (CR LF inside becomes a line break); a progress line on screen is
  // cleared first and comes back at its next redraw.
  void line(const QString& text);

  // A transfer starts: `what` names it, `total` its size in bytes (0 when unknown).
  void begin(const QString& what, int64_t total);
  bool active() const;
  // Bytes done so far; never moves backwards within one transfer.
  void progress(int64_t done);
  // The transfer is over: the last state is shown once more and the line ends.
  void end();

  // Formats one progress state; exposed for the tests.
  static QString format(const QString& what, int64_t done, int64_t total, double elapsed_s,
                        bool terminal);

 private:
  void draw_locked(bool force);
  void write_locked(const QByteArray& bytes);

  mutable std::mutex mu_;
  std::FILE* out_;
  const bool terminal_;
  bool active_ = false;
  bool on_screen_ = false;
  QString what_;
  int64_t total_ = 0;
  int64_t done_ = 0;
  int64_t shown_done_ = -1;
  int last_tenth_ = 0;
  QElapsedTimer started_;
  QElapsedTimer last_draw_;
};

}  // namespace lumo::cli
