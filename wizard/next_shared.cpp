#include <QPushButton>

#include "wizard/page_design.h"
#include "wizard/tform1.h"

namespace lumo {

void TForm1::Button2Click() {
  log_line(QStringLiteral("tbsheet=") + QString::number(tbsheet));
  switch (tbsheet) {
    case 1: next_page1(); break;
    case 2:
    case 4: next_network(tbsheet); break;
    case 3: next_page3(); break;
    case 5: next_page5(); break;
    case 6: next_page6(); break;
    case 7: next_page7(); break;
    case 9: next_page9(); break;
    case 11:
    case 12: next_serial(tbsheet); break;
    case 13: next_page13(); break;
    case 14: next_page14(); break;
    case 15: next_page15(); break;
    default: break;  // 8, 10 and anything else
  }
}

void TForm1::transport_branch(int page) {
  if (link_mode == 1)
    next_network(page);
  else if (link_mode == 2)
    next_serial(page);
}

void TForm1::next_page1() {
  set_label("Label36", QString::fromUtf8(texts::done_page1));
  rom_mode = 0;
  label("Label26")->setStyleSheet(QStringLiteral("color: black;"));
  set_label("Label26", QString::fromUtf8(texts::version_frame));
  control("Panel1")->show();
  set_label("Label39", QString());
  if (RadioGroup3->itemIndex() == 0) {
    link_mode = 1;
    tbsheet = 2;
  } else {
    link_mode = 2;
    tbsheet = 11;
  }
  show_page();
  Button1->setEnabled(true);
  Button1->setText(QString::fromUtf8(captions::back));
  Button2->setText(QString::fromUtf8(captions::next));
}

void TForm1::next_page15() {
  Button2->setEnabled(false);
  set_status(QString());
  set_label("Label26", QString());
  set_label("Label73", QString());
  config_menu = 0;
  backup_done = 0;
  job_mode = 0;
  transport_branch(15);
}

void TForm1::next_page3() {
  Button2->setEnabled(false);
  set_status(QString());
  set_label("Label11", QString());
  backup_chosen = 0;
  tbsheet = 6;
  show_page();
  // A device in ROM mode may skip the backup.
  if (rom_mode == 1) Button2->setEnabled(true);
  Button3->setEnabled(true);
  Button2->setText(QString::fromUtf8(captions::next_page6));
}

void TForm1::next_page5() {
  set_status(QString());
  if (RadioGroup2->itemIndex() == 0) {
    set_label("Label53", QString());
    tbsheet = 13;
  } else {
    tbsheet = 14;
  }
  show_page();
  Button1->setText(QString::fromUtf8(captions::back));
  Button2->setText(QString::fromUtf8(captions::run));
  Button2->setEnabled(false);
}

void TForm1::next_page6() {
  if (backup_chosen == 1) {
    next_page13();
    return;
  }
  set_status(QString());
  set_label("Label19", firmware_path);
  tbsheet = 7;
  show_page();
  Button2->setEnabled(true);
  Button3->setEnabled(true);
  Button2->setText(QString::fromUtf8(captions::run));
}

void TForm1::next_page13() {
  set_status(QStringLiteral("転送中"));
  transport_branch(13);
}

void TForm1::next_page7() {
  xfer_page = 7;
  transport_branch(7);
}

void TForm1::next_page14() {
  set_label("Label54", QString());
  transport_branch(14);
}

void TForm1::next_page9() {
  if (link_mode == 1 && ftp_connected()) ftp_disconnect();
  set_status(QString());
  backup_chosen = 0;
  config_resend = 0;
  link_mode = 0;
  rom_mode = 0;
  Button1->setText(QString::fromUtf8(captions::back));
  Button2->setText(QString::fromUtf8(captions::next));
  Button2->setEnabled(true);
  Button3->setEnabled(true);
  tbsheet = 1;
  show_page();
}

}  // namespace lumo
