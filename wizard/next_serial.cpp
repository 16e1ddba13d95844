#include <QPushButton>

#include "serial/detect.h"
#include "serial/port.h"
#include "wizard/page_design.h"
#include "wizard/tform1.h"

namespace lumo {

namespace {
const QString kTransferring = QStringLiteral("転送中");
}

// The transfer page with every button off, and the job that runs behind it.
void TForm1::start_serial_job(int job, bool status_line) {
  if (status_line) set_status(kTransferring);
  tbsheet = 8;
  show_page();
  Button1->setEnabled(false);
  Button2->setEnabled(false);
  Button3->setEnabled(false);
  if (job == 3) set_status(QString());
  start_worker(job);
}

// The serial (RS-232C or USB) branches of the Next handler.
void TForm1::next_serial(int page) {
  switch (page) {
    case 11: {
      Button1->setEnabled(false);
      Button2->setEnabled(false);
      Button3->setEnabled(false);
      set_status(QStringLiteral("ZORVEL検出中"));
      // After the watchdog gave the buttons back, the first scan may still hold a port: a
      // second scan would share its port session, so the running one reports instead.
      if (scan_running == 1 || detection_running()) return;
      scan_running = 1;
      start_worker(5);
      start_watchdog();
      break;
    }
    case 12:
      tbsheet = 15;
      show_page();
      Button2->setText(QString::fromUtf8(captions::next));
      Button1->setEnabled(false);
      break;
    case 15:
      if (RadioGroup1->itemIndex() == 0) {
        if (rom_mode == 1) {
          log_line(QStringLiteral("ROM mode"));
          control("Panel1")->hide();
          label("Label26")->setStyleSheet(QStringLiteral("color: red;"));
          set_label("Label26", QString::fromUtf8(texts::rom_mode_warning));
          set_label("Label39", QString());
        } else {
          set_label("Label26", QString::fromUtf8(texts::version_frame));
          if (query_version(*this, *this) == 0) {
            message(msg::port_not_found);
            // The device no longer answers on its port: start again rather than leave the
            // user on a menu whose only way out is Exit.
            close_port(*this);
            restart_wizard();
            return;
          }
        }
        set_label("Label47", QString());
        tbsheet = 3;
        show_page();
        set_label("Label46", QString());
        Button1->setEnabled(true);
        Button2->setEnabled(false);
        control("Panel3")->hide();
        Button2->setText(QString::fromUtf8(captions::next));
      } else {
        config_menu = 1;
        tbsheet = 5;
        show_page();
        Button2->setEnabled(true);
        Button1->setEnabled(true);
        Button2->setText(QString::fromUtf8(captions::next));
      }
      break;
    case 13:
      start_serial_job(4, false);
      break;
    case 7:
      start_serial_job(2, true);
      break;
    case 14:
      start_serial_job(3, true);
      break;
    default:
      break;
  }
}

}  // namespace lumo
