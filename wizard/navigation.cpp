#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QStackedWidget>

#include <cstdlib>

#include "wizard/page_design.h"
#include "wizard/tform1.h"

namespace lumo {

void TForm1::show_page() {
  run_on_ui([this] {
    const int n = tbsheet;
    if (n >= 1 && n <= 15 && n != 10) PageControl1->setCurrentIndex(n - 1);
  });
}

void TForm1::restart_wizard() {
  run_on_ui([this] {
    tbsheet = 9;
    Button2Click();
  });
}

void TForm1::Button1Click() {
  const QString next = QString::fromUtf8(captions::next);
  switch (tbsheet) {
    case 2:
      tbsheet = 1;
      show_page();
      Button1->setEnabled(false);
      break;
    case 3:
      set_label("Label39", QString());
      tbsheet = 15;
      show_page();
      Button1->setEnabled(false);
      Button2->setEnabled(true);
      break;
    case 4:
      tbsheet = 2;
      show_page();
      Button2->setText(next);
      break;
    case 5:
      tbsheet = 15;
      show_page();
      Button1->setEnabled(false);
      Button2->setEnabled(true);
      break;
    case 6:
      tbsheet = 3;
      show_page();
      set_status(QString());
      Button2->setText(next);
      Button2->setEnabled(true);
      break;
    case 7:
      tbsheet = 6;
      show_page();
      Button2->setEnabled(true);
      Button2->setText(next);
      break;
    case 11:
      set_status(QString());
      tbsheet = 1;
      show_page();
      Button1->setEnabled(false);
      break;
    case 12:
      hComm.close();
      set_status(QString());
      tbsheet = 11;
      show_page();
      break;
    case 13:
      tbsheet = 5;
      show_page();
      Button1->setEnabled(true);
      Button2->setEnabled(true);
      Button2->setText(next);
      set_status(QString());
      set_label("Label53", QString());
      break;
    case 14:
      tbsheet = 5;
      show_page();
      Button1->setEnabled(true);
      Button2->setEnabled(true);
      Button2->setText(next);
      set_label("Label54", QString());
      set_status(QString());
      break;
    default:  // 1, 8, 9, 15
      break;
  }
}

void TForm1::Button3Click() {
  msg_answer = message(msg::exit_confirm);
  if (msg_answer != kAnswerYes) return;
  if (ftp_connected()) ftp_disconnect();
  end_program();
}

void TForm1::end_program() {
  run_on_ui([this] { close(); });
  std::_Exit(3);
}

void TForm1::FormCloseQuery() {
  if (ftp_connected()) ftp_disconnect();
  hComm.close();
}

void TForm1::closeEvent(QCloseEvent* event) {
  FormCloseQuery();
  event->accept();
}

void TForm1::keyPressEvent(QKeyEvent* event) {
  // Next is the default button: Enter presses it wherever the focus is.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && Button2->isEnabled()) {
    Button2->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TForm1::RadioGroup2Click() {
  const bool download = RadioGroup2->itemIndex() == 0;
  control("Image10")->setVisible(download);
  control("Image15")->setVisible(!download);
}

}  // namespace lumo
