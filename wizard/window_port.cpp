#include <QListWidget>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include "wizard/controls.h"

#include "wizard/tform1.h"

namespace lumo {

void TForm1::run_on_ui(const std::function<void()>& step) {
  if (QThread::currentThread() == thread()) {
    step();
    return;
  }
  // Queued to the user-interface thread, which serves it also while a message box is open. The
  // caller waits until it has run, or until the window goes away: a blocking hand-over could
  // then never return.
  auto done = std::make_shared<bool>(false);
  {
    std::lock_guard<std::mutex> g(handover_mu_);
    if (closing_) return;
  }
  QMetaObject::invokeMethod(
      this,
      [this, &step, done] {
        step();
        std::lock_guard<std::mutex> g(handover_mu_);
        *done = true;
        handover_cv_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(handover_mu_);
  handover_cv_.wait(lock, [&] { return *done || closing_; });
}

QPushButton* TForm1::button(int n) const { return n == 1 ? Button1 : n == 2 ? Button2 : Button3; }

void TForm1::enable_button(int n, bool enabled) {
  run_on_ui([&] { button(n)->setEnabled(enabled); });
}

void TForm1::set_button_caption(int n, const QString& caption) {
  run_on_ui([&] { button(n)->setText(caption); });
}

void TForm1::animate(bool running) {
  run_on_ui([&] { Animate1->setActive(running); });
}

void TForm1::set_presenter(MessagePresenter* p) { presenter_ = p ? p : own_presenter_.get(); }
void TForm1::set_chooser(FileChooser* c) { chooser_ = c ? c : own_chooser_.get(); }

int TForm1::show_message() {
  Q_ASSERT(QThread::currentThread() == thread());
  return presenter_->present(msg_caption, msg_text, msg_flags);
}

void TForm1::log_line(const QString& line) {
  run_on_ui([&] { ListBox1->addItem(line); });
}

int TForm1::message(const QString& caption, const QString& text, uint16_t flags) {
  int answer = 0;
  // The three fields and the box form one step, so two threads never mix them.
  run_on_ui([&] {
    msg_caption = caption;
    msg_text = text;
    msg_flags = flags;
    answer = show_message();
  });
  return answer;
}

void TForm1::set_text(const char* control_name, const QString& text) {
  run_on_ui([&] { set_label(control_name, text); });
}

void TForm1::set_progress_max(int maximum) {
  run_on_ui([&] { ProgressBar1->setMaximum(maximum); });
}

void TForm1::set_progress(int position) {
  run_on_ui([&] { ProgressBar1->setValue(qBound(ProgressBar1->minimum(), position, ProgressBar1->maximum())); });
}

int TForm1::progress_maximum() {
  int m = 0;
  run_on_ui([&] { m = ProgressBar1->maximum(); });
  return m;
}

void TForm1::system_error_box(const QString& text) {
  run_on_ui([&] { QMessageBox::information(nullptr, QStringLiteral("GetLastError"), text); });
}

void TForm1::set_label(const char* name, const QString& text) {
  if (TLabel* l = label(name)) l->setCaption(text);
}

void TForm1::set_status(const QString& text) { Label16->setCaption(text); }

}  // namespace lumo
