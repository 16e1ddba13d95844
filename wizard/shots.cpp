#include "wizard/shots.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>

#include "wizard/tform1.h"

namespace lumo {

namespace {

void add_text(QJsonObject& o, QWidget* w) {
  const QString name = w->objectName();
  if (name.isEmpty()) return;
  if (auto* l = qobject_cast<TLabel*>(w)) {
    o.insert(name, l->caption());
  } else if (auto* b = qobject_cast<QPushButton*>(w)) {
    o.insert(name, b->text());
  } else if (auto* g = qobject_cast<RadioGroup*>(w)) {
    o.insert(name, g->items().join(QLatin1Char('\n')));
  } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
    o.insert(name, e->echoMode() == QLineEdit::Password ? e->displayText() : e->text());
  }
}

}  // namespace

QJsonObject page_texts(TForm1& form, int number) {
  QJsonObject o;
  for (QWidget* w : form.page(number)->findChildren<QWidget*>()) add_text(o, w);
  for (const char* n : {"Button1", "Button2", "Button3", "Label16"}) add_text(o, form.control(n));
  return o;
}

QJsonObject render_pages(TForm1& form, const QString& dir) {
  QJsonObject all;
  const int before = form.tbsheet;
  for (int n : kShownPages) {
    form.tbsheet = n;
    form.show_page();
    QApplication::processEvents();
    form.grab().save(QStringLiteral("%1/page-%2.png").arg(dir).arg(n));
    all.insert(QString::number(n), page_texts(form, n));
  }
  form.tbsheet = before;
  form.show_page();
  return all;
}

}  // namespace lumo
