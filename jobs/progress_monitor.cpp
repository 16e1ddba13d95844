#include "jobs/progress_monitor.h"

#include "messages/catalogue.h"
#include "messages/ui_texts.h"

namespace lumo {

namespace {

// Pauses `ms` in steps, so a stop request or the upload's end is seen within one step.
bool pause_unless(Session& s, int ms, int step, const std::function<bool()>& stop) {
  for (int left = ms; left > 0; left -= step) {
    if (stop() || s.upload_done == 1) return false;
    s.clock->pause(left < step ? left : step);
  }
  return !stop() && s.upload_done != 1;
}

}  // namespace

void monitor_upload(Session& s, JobHost& h, UploadProgress& ftp, const std::function<bool()>& stop,
                    const std::function<void()>& end_program, const MonitorTiming& t) {
  const bool normal = s.xfer_page == 7 && s.rom_mode == 0;
  if (normal) {
    h.log_line(QStringLiteral("１０秒待ち"));
    if (!pause_unless(s, t.start_delay_ms, t.connected_step_ms, stop)) return;
  }
  // Wait for the client to be connected and for this upload to have set its size, so a total
  // left from an earlier transfer is never taken for this one.
  while (!ftp.connected() || ftp.bytes_total() < 0) {
    if (!pause_unless(s, t.connected_step_ms, t.connected_step_ms, stop)) return;
  }
  const int64_t total = ftp.bytes_total();
  h.set_progress_max(int(total));
  s.progress_max = int32_t(total);
  if (normal) s.progress_max = s.progress_max - 1000;

  int stall = 0;
  int64_t last = 0;
  bool shown = false;
  while (s.upload_done != 1) {
    if (stop()) return;
    const int64_t count = ftp.bytes_sent();
    if (count == last) {
      if (++stall >= t.stall_polls) {
        // An upload that has just returned is finished, not stalled.
        if (s.upload_done == 1 || stop()) return;
        h.log_line(QStringLiteral("progress data stop"));
        h.animate(false);
        h.message(msg::transfer_error_9);
        s.hFile.close();
        h.log_line(QStringLiteral("FileClose"));
        ftp.close_at_once();
        ftp.abort_transfer();
        ftp.disconnect();
        end_program();
        return;
      }
    } else {
      stall = 0;
    }
    if (count > 0 && !shown) {
      h.set_text("Label16", QStringLiteral("転送中"));
      h.set_text("Label44", QString::fromUtf8(texts::transfer_running));
      shown = true;
    }
    last = count;
    h.set_progress(int(count));
    if (count >= int64_t(s.progress_max) - 10) return;
    if (!pause_unless(s, t.poll_ms, t.poll_ms, stop)) return;
  }
}

}  // namespace lumo
