#pragma once
#include <QString>

#include <functional>

#include "messages/window.h"

namespace lumo {

class UploadProgress;

// What the background jobs need of the main window. Every call may come from any thread; it is
// carried out on the user-interface thread while the caller waits until it has run.
class JobHost : public Window {
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
  // The FTP client as the upload progress monitor sees it; null without a network session.
  virtual UploadProgress* upload_progress() = 0;
  // Asks the main window to close (its close query runs), then ends the process with status 3.
  virtual void end_program() = 0;
};

}  // namespace lumo
