#pragma once
#include <QFrame>
#include <QLabel>
#include <QStringList>
#include <QTimer>

class QRadioButton;

namespace lumo {

// A label that keeps the system's text exactly as given ("\r\n" line breaks included) and shows
// it with plain line breaks.
class TLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;
  void setCaption(const QString& text);
  const QString& caption() const { return caption_; }

 private:
  QString caption_;
};

// A framed group of radio buttons with a selected index, as the pages use them.
class RadioGroup : public QFrame {
  Q_OBJECT
 public:
  RadioGroup(const QStringList& items, int font_px, QWidget* parent);
  int itemIndex() const;
  void setItemIndex(int index);
  QRadioButton* item(int index) const;
  QStringList items() const { return items_; }

 signals:
  void clicked();

 private:
  QStringList items_;
  QList<QRadioButton*> buttons_;
};

// The file-copy animation shown while a transfer runs: a sheet moving from one folder to
// another.
class FileCopyAnimation : public QWidget {
  Q_OBJECT
 public:
  explicit FileCopyAnimation(QWidget* parent);
  void setActive(bool on);
  bool active() const { return timer_.isActive(); }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QTimer timer_;
  int frame_ = 0;
};

// The window's own artwork.
namespace artwork {
QPixmap side_picture();        // globe, device and personal computer, 150 x 300
QPixmap steps_background();    // background of the step indicator, 150 x 300
QPixmap download_picture();    // device above the computer, red arrow down
QPixmap upload_picture();      // red arrow up
}  // namespace artwork

}  // namespace lumo
