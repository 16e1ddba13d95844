#include "wizard/controls.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lumo {

void TLabel::setCaption(const QString& text) {
  caption_ = text;
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  setText(shown);
}

RadioGroup::RadioGroup(const QStringList& items, int font_px, QWidget* parent)
    : QFrame(parent), items_(items) {
  setFrameShape(QFrame::Box);
  setFrameShadow(QFrame::Sunken);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 6, 6, 6);
  for (int i = 0; i < items.size(); ++i) {
    auto* b = new QRadioButton(items[i], this);
    QFont f = b->font();
    f.setPixelSize(font_px);
    b->setFont(f);
    layout->addWidget(b);
    buttons_ << b;
    connect(b, &QRadioButton::clicked, this, &RadioGroup::clicked);
  }
  if (!buttons_.isEmpty()) buttons_[0]->setChecked(true);
}

int RadioGroup::itemIndex() const {
  for (int i = 0; i < buttons_.size(); ++i)
    if (buttons_[i]->isChecked()) return i;
  return -1;
}

void RadioGroup::setItemIndex(int index) {
  if (index >= 0 && index < buttons_.size()) buttons_[index]->setChecked(true);
}

QRadioButton* RadioGroup::item(int index) const {
  return index >= 0 && index < buttons_.size() ? buttons_[index] : nullptr;
}

FileCopyAnimation::FileCopyAnimation(QWidget* parent) : QWidget(parent) {
  timer_.setInterval(80);
  connect(&timer_, &QTimer::timeout, this, [this] {
    frame_ = (frame_ + 1) % 16;
    update();
  });
}

void FileCopyAnimation::setActive(bool on) {
  if (on == timer_.isActive()) return;
  if (on) {
    timer_.start();
  } else {
    timer_.stop();
    frame_ = 0;
  }
  update();
}

namespace {

void draw_folder(QPainter& p, QRectF r) {
  QPainterPath path;
  path.moveTo(r.left(), r.top() + r.height() * 0.2);
  path.lineTo(r.left() + r.width() * 0.35, r.top() + r.height() * 0.2);
  path.lineTo(r.left() + r.width() * 0.45, r.top());
  path.lineTo(r.right(), r.top());
  path.lineTo(r.right(), r.bottom());
  path.lineTo(r.left(), r.bottom());
  path.closeSubpath();
  p.setPen(QPen(QColor(150, 110, 20), 1.5));
  p.setBrush(QColor(250, 205, 90));
  p.drawPath(path);
}

void draw_sheet(QPainter& p, QRectF r) {
  p.setPen(QPen(QColor(60, 60, 60), 1));
  p.setBrush(Qt::white);
  p.drawRect(r);
  p.setPen(QPen(QColor(120, 120, 200), 1));
  for (int i = 1; i < 4; ++i) {
    const qreal y = r.top() + r.height() * i / 4.0;
    p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
  }
}

// The device: a flat box with status lamps.
void draw_device(QPainter& p, QRectF r) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, QColor(235, 238, 245));
  g.setColorAt(1, QColor(160, 168, 185));
  p.setPen(QPen(QColor(70, 75, 90), 1.5));
  p.setBrush(g);
  p.drawRoundedRect(r, 4, 4);
  const QColor lamps[] = {QColor(40, 200, 60), QColor(40, 200, 60), QColor(250, 170, 30),
                          QColor(40, 200, 60)};
  for (int i = 0; i < 4; ++i) {
    p.setPen(Qt::NoPen);
    p.setBrush(lamps[i]);
    p.drawEllipse(QPointF(r.left() + 12 + i * 10, r.center().y()), 2.5, 2.5);
  }
  p.setPen(QColor(60, 60, 80));
  QFont f = p.font();
  f.setPixelSize(9);
  f.setBold(true);
  p.setFont(f);
  p.drawText(r.adjusted(0, 0, -6, 0), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("ZORVEL"));
}

// A personal computer: monitor, stand and keyboard.
void draw_computer(QPainter& p, QRectF r) {
  const QRectF screen(r.left(), r.top(), r.width(), r.height() * 0.62);
  p.setPen(QPen(QColor(60, 60, 70), 1.5));
  p.setBrush(QColor(225, 225, 230));
  p.drawRoundedRect(screen, 3, 3);
  QLinearGradient g(screen.topLeft(), screen.bottomRight());
  g.setColorAt(0, QColor(70, 130, 210));
  g.setColorAt(1, QColor(20, 50, 120));
  p.setBrush(g);
  p.drawRect(screen.adjusted(5, 5, -5, -5));
  p.setBrush(QColor(200, 200, 205));
  p.drawRect(QRectF(r.center().x() - 8, screen.bottom(), 16, r.height() * 0.1));
  p.drawRoundedRect(QRectF(r.left() - 4, r.bottom() - r.height() * 0.2, r.width() + 8,
                           r.height() * 0.2),
                    2, 2);
}

void draw_arrow(QPainter& p, QPointF from, QPointF to) {
  p.setPen(QPen(QColor(220, 30, 30), 7, Qt::SolidLine, Qt::FlatCap));
  const QPointF dir = (to - from) / std::hypot(to.x() - from.x(), to.y() - from.y());
  const QPointF tip_base = to - dir * 16;
  p.drawLine(from, tip_base);
  const QPointF n(-dir.y(), dir.x());
  QPolygonF head;
  head << to << tip_base + n * 12 << tip_base - n * 12;
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(220, 30, 30));
  p.drawPolygon(head);
}

QPixmap canvas(QColor top, QColor bottom) {
  QPixmap pm(150, 300);
  QPainter p(&pm);
  QLinearGradient g(0, 0, 0, 300);
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  p.fillRect(pm.rect(), g);
  return pm;
}

}  // namespace

void FileCopyAnimation::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal w = width(), h = height();
  draw_folder(p, QRectF(4, h * 0.35, w * 0.22, h * 0.5));
  draw_folder(p, QRectF(w * 0.74, h * 0.35, w * 0.22, h * 0.5));
  if (!active()) return;
  const qreal t = frame_ / 15.0;
  const qreal x = w * 0.12 + t * w * 0.62;
  const qreal y = h * 0.35 - std::sin(t * 3.14159) * h * 0.3;
  draw_sheet(p, QRectF(x, y, w * 0.1, h * 0.4));
}

namespace artwork {

QPixmap side_picture() {
  QPixmap pm = canvas(QColor(205, 225, 250), QColor(250, 252, 255));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  // The globe.
  const QPointF c(75, 78);
  QRadialGradient sea(c - QPointF(18, 18), 70);
  sea.setColorAt(0, QColor(120, 190, 255));
  sea.setColorAt(1, QColor(20, 80, 170));
  p.setPen(QPen(QColor(20, 60, 130), 1.5));
  p.setBrush(sea);
  p.drawEllipse(c, 52, 52);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(70, 170, 80));
  QPainterPath land;
  land.moveTo(c + QPointF(-40, -18));
  land.cubicTo(c + QPointF(-20, -44), c + QPointF(8, -30), c + QPointF(2, -8));
  land.cubicTo(c + QPointF(-6, 8), c + QPointF(-30, 6), c + QPointF(-40, -18));
  p.drawPath(land);
  QPainterPath land2;
  land2.moveTo(c + QPointF(14, 6));
  land2.cubicTo(c + QPointF(40, -6), c + QPointF(50, 22), c + QPointF(30, 38));
  land2.cubicTo(c + QPointF(18, 46), c + QPointF(6, 24), c + QPointF(14, 6));
  p.drawPath(land2);
  p.setPen(QPen(QColor(255, 255, 255, 110), 1));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(c, 52, 20);
  p.drawEllipse(c, 20, 52);
  // The device, the computer and the cable between them.
  draw_device(p, QRectF(22, 160, 106, 30));
  draw_computer(p, QRectF(38, 214, 74, 66));
  p.setPen(QPen(QColor(80, 80, 80), 2));
  p.drawLine(QPointF(75, 190), QPointF(75, 214));
  p.setPen(QPen(QColor(80, 80, 80), 1, Qt::DotLine));
  p.drawLine(QPointF(75, 130), QPointF(75, 160));
  return pm;
}

QPixmap steps_background() {
  QPixmap pm = canvas(QColor(190, 210, 240), QColor(235, 242, 252));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(255, 255, 255, 140), 10));
  for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(120, 260), 30 + i * 28, 30 + i * 28);
  return pm;
}

namespace {

// The device above the computer, the red arrow from `from` to `to`.
QPixmap transfer_picture(QPointF from, QPointF to) {
  QPixmap pm = canvas(QColor(230, 240, 250), QColor(250, 252, 255));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  draw_device(p, QRectF(22, 40, 106, 30));
  draw_computer(p, QRectF(38, 200, 74, 66));
  draw_arrow(p, from, to);
  return pm;
}

}  // namespace

QPixmap download_picture() { return transfer_picture(QPointF(75, 84), QPointF(75, 188)); }

QPixmap upload_picture() { return transfer_picture(QPointF(75, 188), QPointF(75, 84)); }

}  // namespace artwork

}  // namespace lumo
