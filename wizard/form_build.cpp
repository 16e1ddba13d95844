#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include "ftp/ftp_client.h"
#include "jobs/progress_monitor.h"
#include "wizard/dialogs.h"
#include "wizard/page_design.h"
#include "wizard/tform1.h"

namespace lumo {

namespace {

constexpr char kFontFamily[] = "ＭＳ Ｐゴシック";

QFont font_px(const QFont& base, int px, bool bold = false) {
  QFont f = base;
  if (px > 0) f.setPixelSize(px);
  f.setBold(bold);
  return f;
}

const char* const kStepTexts[5] = {
    "バージョンアップは以下の流れで進みます。", "１．バージョンの確認",
    "２．現在の.設定ファイル     のバックアップ", "３．ZORVELにﾌｧｰﾑｳｪｱ・　　ﾌｧｲﾙを転送",
    "４．再起動"};

class SessionClock : public Clock {
 public:
  explicit SessionClock(Session& s) : s_(s) {}
  void pause(int ms) override { s_.clock->pause(ms); }
  int real_ms(int ms) const override { return s_.clock->real_ms(ms); }
  int64_t now_ms() const override { return s_.clock->now_ms(); }

 private:
  Session& s_;
};

}  // namespace

TForm1::TForm1(const StartOptions& options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("バージョンアップユーティリティ"));
  QFont base(QString::fromUtf8(kFontFamily));
  base.setPixelSize(12);
  setFont(base);
  build_window();

  // 1. The log list is shown only in diagnostic mode.
  ListBox1->hide();
  // 2.
  BaudRate = 115200;
  wait_count = 100;
  // 3., 4. The options file, read before the window was built.
  opt_bytes = options.opt_bytes;
  for (const QString& line : options.log_lines) log_line(line);
  if (opt_bytes[0] == '1') ListBox1->show();
  BaudRate = options.BaudRate;
  wait_count = options.wait_count;
  // 5.
  config_name = QStringLiteral("cfg27kq.bin");
  firmware_name = QStringLiteral("znx27kq.bin");
  // 6.
  PageControl1->setCurrentIndex(0);
  Button1->setText(QString::fromUtf8(captions::back));
  Button2->setText(QString::fromUtf8(captions::next));
  Button1->setEnabled(false);
  control("Panel3")->hide();
  // 7.
  tbsheet = 1;
  link_mode = 0;
  config_menu = 0;
  rom_mode = 0;
  // 8., 9.
  put_start_texts();
  assign_pictures();

  setFixedSize(kClientWidth, ListBox1->isVisibleTo(this) ? 466 : 402);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  // The client keeps its clock for life, while tests may replace the session's: it asks the
  // session's current one each time.
  ftp_clock_ = std::make_unique<SessionClock>(*this);
  NMFTP = std::make_unique<FtpClient>(*ftp_clock_);
  NMFTP->Port = 21;
  NMFTP->TimeOut = 5000;
  wire_ftp_events();

  own_presenter_ = std::make_unique<QtMessagePresenter>(this);
  own_chooser_ = std::make_unique<QtFileChooser>(this);
  presenter_ = own_presenter_.get();
  chooser_ = own_chooser_.get();
}

void TForm1::build_window() {
  PageControl1 = new QStackedWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  PageControl1->setGeometry(0, 0, 580, 369);
  for (int n = 1; n <= 15; ++n) {
    auto* p = new QWidget(PageControl1);
    p->setObjectName(QStringLiteral("TabSheet%1").arg(n));
    PageControl1->addWidget(p);
  }

  const QFont base = font();
  for (const ControlDef& d : page_design()) {
    QWidget* parent = *d.parent ? controls_.value(QString::fromLatin1(d.parent)) : page(d.page);
    const QString name = QString::fromLatin1(d.name);
    const QString text = QString::fromUtf8(d.text);
    QWidget* w = nullptr;
    switch (d.kind) {
      case ControlDef::Title:
      case ControlDef::Text: {
        auto* l = new TLabel(parent);
        const bool title = d.kind == ControlDef::Title;
        l->setFont(font_px(base, d.px, title || (d.style & ControlDef::Bold)));
        l->setWordWrap(d.style & ControlDef::Wrap);
        l->setAlignment((d.style & ControlDef::Right ? Qt::AlignRight : Qt::AlignLeft) |
                        Qt::AlignTop);
        if (title) l->setStyleSheet(QStringLiteral("color: #1a3a8a;"));
        if (d.style & ControlDef::Red) l->setStyleSheet(QStringLiteral("color: red;"));
        l->setCaption(text);
        w = l;
        break;
      }
      case ControlDef::Panel: {
        auto* f = new QFrame(parent);
        f->setFrameShape(QFrame::Panel);
        f->setFrameShadow(QFrame::Sunken);
        w = f;
        break;
      }
      case ControlDef::Button: {
        auto* b = new QPushButton(text, parent);
        b->setFont(font_px(base, d.px));
        w = b;
        break;
      }
      case ControlDef::Radio: {
        auto* g = new RadioGroup(text.split(QLatin1Char('\n')), d.px, parent);
        for (int i = 0; i < g->items().size(); ++i)
          g->item(i)->setObjectName(QStringLiteral("%1_item%2").arg(name).arg(i));
        w = g;
        break;
      }
      case ControlDef::Edit:
      case ControlDef::Password: {
        auto* e = new QLineEdit(text, parent);
        e->setFont(font_px(base, d.px));
        if (d.kind == ControlDef::Password) e->setEchoMode(QLineEdit::Password);
        w = e;
        break;
      }
      case ControlDef::Image: {
        auto* l = new QLabel(parent);
        l->setScaledContents(false);
        w = l;
        break;
      }
      case ControlDef::Progress: {
        auto* b = new QProgressBar(parent);
        b->setTextVisible(false);
        b->setRange(0, 100);
        b->setValue(0);
        w = b;
        break;
      }
      case ControlDef::Animate:
        w = new FileCopyAnimation(parent);
        break;
      case ControlDef::Steps: {
        auto* panel = new QFrame(parent);
        auto* bg = new QLabel(panel);
        bg->setObjectName(QStringLiteral("Image7_%1").arg(d.page));
        bg->setGeometry(0, 0, d.w, d.h);
        const int lit = QString::fromLatin1(d.text).toInt();
        const int first = 55 + (d.page == 3 ? 0 : d.page == 6 ? 5 : 10);
        const int tops[5] = {10, 62, 112, 178, 244};
        const int heights[5] = {40, 36, 52, 52, 36};
        for (int i = 0; i < 5; ++i) {
          auto* l = new TLabel(panel);
          const QString lname = QStringLiteral("Label%1").arg(first + i);
          l->setObjectName(lname);
          l->setFont(font_px(base, d.px, i == 0));
          l->setWordWrap(true);
          l->setMargin(3);
          l->setGeometry(8, tops[i], d.w - 16, heights[i]);
          l->setAutoFillBackground(true);
          QPalette pal = l->palette();
          pal.setColor(QPalette::Window, i == lit ? QColor(255, 255, 0) : QColor(255, 255, 255));
          pal.setColor(QPalette::WindowText, Qt::black);
          l->setPalette(pal);
          l->setCaption(QString::fromUtf8(kStepTexts[i]));
          controls_.insert(lname, l);
        }
        w = panel;
        break;
      }
    }
    w->setObjectName(name);
    w->setGeometry(d.x, d.y, d.w, d.h);
    controls_.insert(name, w);
  }

  RadioGroup1 = qobject_cast<RadioGroup*>(control("RadioGroup1"));
  RadioGroup2 = qobject_cast<RadioGroup*>(control("RadioGroup2"));
  RadioGroup3 = qobject_cast<RadioGroup*>(control("RadioGroup3"));
  HostnameEdit = qobject_cast<QLineEdit*>(control("HostnameEdit"));
  PasswordEdit = qobject_cast<QLineEdit*>(control("PasswordEdit"));
  ProgressBar1 = qobject_cast<QProgressBar*>(control("ProgressBar1"));
  Animate1 = qobject_cast<FileCopyAnimation*>(control("Animate1"));

  // Status line, buttons and the diagnostic log under the pages.
  auto* panel4 = new QFrame(this);
  panel4->setObjectName(QStringLiteral("Panel4"));
  panel4->setGeometry(0, 370, 200, 30);
  panel4->setFrameShape(QFrame::Panel);
  panel4->setFrameShadow(QFrame::Sunken);
  Label16 = new TLabel(panel4);
  Label16->setObjectName(QStringLiteral("Label16"));
  Label16->setGeometry(6, 6, 188, 18);
  controls_.insert(QStringLiteral("Panel4"), panel4);
  controls_.insert(QStringLiteral("Label16"), Label16);

  auto make_button = [this](const char* name, const char* caption, int x) {
    auto* b = new QPushButton(QString::fromUtf8(caption), this);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, 368, 100, 32);
    controls_.insert(QString::fromLatin1(name), b);
    return b;
  };
  Button1 = make_button("Button1", captions::back, 200);
  Button2 = make_button("Button2", captions::next, 312);
  Button3 = make_button("Button3", captions::exit, 456);
  Button2->setDefault(true);

  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setGeometry(16, 408, 241, 50);
  controls_.insert(QStringLiteral("ListBox1"), ListBox1);

  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
  for (const char* b : {"Button4", "Button21"})
    connect(qobject_cast<QPushButton*>(control(b)), &QPushButton::clicked, this,
            &TForm1::Button4Click);
  connect(qobject_cast<QPushButton*>(control("Button23")), &QPushButton::clicked, this,
          &TForm1::Button23Click);
  connect(qobject_cast<QPushButton*>(control("Button24")), &QPushButton::clicked, this,
          &TForm1::Button24Click);
  connect(RadioGroup2, &RadioGroup::clicked, this, &TForm1::RadioGroup2Click);

  const QString filter = QStringLiteral("(*.bin)|*.bin|すべて(*.*)|*.*");
  OpenDialog1.Title = QStringLiteral("ﾌｧｰﾑｳｪｱ･ﾌｧｲﾙの指定");
  OpenDialog1.Filter = filter;
  OpenDialog2.Title = QStringLiteral("設定ファイルの指定");
  OpenDialog2.Filter = filter;
  SaveDialog2.Title = QStringLiteral("バックアップファイルの指定");
  SaveDialog2.Filter = filter;
  SaveDialog2.FileName = QStringLiteral("cfg27kq.bin");
  SaveDialog2.OverwritePrompt = true;
}

void TForm1::put_start_texts() {
  for (const StartText& t : start_texts()) label(t.name)->setCaption(QString::fromUtf8(t.text));
}

void TForm1::assign_pictures() {
  // Each picture exists once and is shown on every page that carries it.
  const QPixmap side = artwork::side_picture();
  for (const char* n : {"Image1", "Image2", "Image4", "Image8", "Image9", "Image11p", "Image12p",
                        "Image15p"})
    qobject_cast<QLabel*>(control(n))->setPixmap(side);
  const QPixmap steps = artwork::steps_background();
  for (int p : {3, 6, 7})
    page(p)->findChild<QLabel*>(QStringLiteral("Image7_%1").arg(p))->setPixmap(steps);
  const QPixmap down = artwork::download_picture();
  const QPixmap up = artwork::upload_picture();
  qobject_cast<QLabel*>(control("Image11"))->setPixmap(down);
  qobject_cast<QLabel*>(control("Image12"))->setPixmap(up);
  qobject_cast<QLabel*>(control("Image10"))->setPixmap(down);
  qobject_cast<QLabel*>(control("Image15"))->setPixmap(up);
  control("Image15")->hide();
}

TLabel* TForm1::label(const char* name) const {
  return qobject_cast<TLabel*>(controls_.value(QString::fromLatin1(name)));
}

QWidget* TForm1::control(const char* name) const {
  return controls_.value(QString::fromLatin1(name));
}

QWidget* TForm1::page(int number) const { return PageControl1->widget(number - 1); }

}  // namespace lumo
