#include "app/app.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

#include <exception>
#include <memory>
#include <optional>

#include "app/options.h"
#include "wizard/tform1.h"

namespace lumo {

void prepare_application() {
  QApplication::setApplicationName(QStringLiteral("lumo27kq"));
  // fontconfig knows no substitute for the design's type, so name the ones the set-up installs.
  QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"),
                             {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
  auto* tr = new QTranslator(qApp);
  if (tr->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(tr);
}

int run_app(int argc, char** argv, MessagePresenter* presenter, void (*on_window)(TForm1&)) {
  // A test may already have made the application object of the process.
  std::optional<QApplication> own;
  if (!QCoreApplication::instance()) own.emplace(argc, argv);
  try {
    prepare_application();
    const StartOptions options = read_options_file(QString::fromLatin1(kOptionsFileName));
    if (!options.ok) {
      // A number that does not convert ends start-up before the window exists.
      if (presenter)
        presenter->present(QStringLiteral("lumo27kq"), options.error, kStyleError);
      else
        QMessageBox::critical(nullptr, QStringLiteral("lumo27kq"), options.error);
      return 0;
    }
    TForm1 form(options);
    if (presenter) form.set_presenter(presenter);
    if (on_window) on_window(form);
    form.show();
    QApplication::exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, QStringLiteral("lumo27kq"), QString::fromLocal8Bit(e.what()));
  }
  return 0;
}

}  // namespace lumo
