#pragma once
#include <QString>

#include <cstdint>
#include <functional>

#include "messages/catalogue.h"

namespace lumo {

// What the protocol folders need of the window. The wizard implements it so that every call is
// carried out on the user-interface thread, the calling thread waiting until it has run; the
// command line and the tests implement it without widgets.
class Window {
 public:
  virtual ~Window() = default;

  // Appends one line to the diagnostic log.
  virtual void log_line(const QString& line) = 0;
  // One message step: stages caption, text and style in the session and shows them; the answer
  // (1 OK, 6 Yes, 7 No).
  virtual int message(const QString& caption, const QString& text, uint16_t flags) = 0;
  int message(const Message& m) { return message(m.caption_text(), m.body(), m.flags); }
  // Sets the text of a named control: "Label16" (status line), "Label20", "Label27", "Label39",
  // "Label44", "Label73", ...
  virtual void set_text(const char* control, const QString& text) = 0;
  virtual void set_progress_max(int maximum) = 0;
  virtual void set_progress(int position) = 0;
  virtual int progress_maximum() = 0;
  // The plain box of diagnostic mode that shows the system's text for the last error.
  virtual void system_error_box(const QString& text) = 0;
};

// The wizard's window as the transfer steps drive it. Every call may come from any thread; it is
// carried out on the user-interface thread while the caller waits until it has run.
class WizardWindow : public Window {
 public:
  // Runs `step` on the user-interface thread and waits for it (inline when already there).
  virtual void run_on_ui(const std::function<void()>& step) = 0;
  // Makes page `tbsheet` the visible page.
  virtual void show_page() = 0;
  // Sends the wizard back to page 1 through the page-9 step of the Next handler.
  virtual void restart_wizard() = 0;
  // Buttons: 1 Back, 2 Next, 3 Exit.
  virtual void enable_button(int button, bool enabled) = 0;
  virtual void set_button_caption(int button, const QString& caption) = 0;
  // The file-copy animation of the transfer page.
  virtual void animate(bool running) = 0;
};

// How a message box reaches the user: the wizard shows a modal box, tests script the answer.
class MessagePresenter {
 public:
  virtual ~MessagePresenter() = default;
  virtual int present(const QString& caption, const QString& text, uint16_t flags) = 0;
};

}  // namespace lumo
