#pragma once
#include "messages/window.h"
#include "wizard/tform1.h"

class QWidget;

namespace lumo {

// Modal message boxes owned by the main window, with the icon and buttons of the style.
class QtMessagePresenter : public MessagePresenter {
 public:
  explicit QtMessagePresenter(QWidget* owner) : owner_(owner) {}
  int present(const QString& caption, const QString& text, uint16_t flags) override;

 private:
  QWidget* owner_;
};

// The platform's file dialogs.
class QtFileChooser : public FileChooser {
 public:
  explicit QtFileChooser(QWidget* owner) : owner_(owner) {}
  bool open_file(FileDialog& dialog) override;
  bool save_file(FileDialog& dialog) override;

 private:
  QWidget* owner_;
};

// "(*.bin)|*.bin|すべて(*.*)|*.*" in the form the platform's dialogs take.
QString qt_name_filters(const QString& filter);

}  // namespace lumo
