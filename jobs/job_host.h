#pragma once
#include <QString>

#include <functional>

#include "messages/window.h"

namespace lumo {

class UploadProgress;

// What the background jobs need of the main window, beyond the wizard steps.
class JobHost : public WizardWindow {
 public:
  // The FTP client as the upload progress monitor sees it; null without a network session.
  virtual UploadProgress* upload_progress() = 0;
  // Asks the main window to close (its close query runs), then ends the process with status 3.
  virtual void end_program() = 0;
};

}  // namespace lumo
