// lumo27kq-shots OUTDIR: renders every wizard page of the real window to OUTDIR/page-N.png and
// writes OUTDIR/texts.json with the text of every control as each page shows it.
#include <QApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstdio>

#include "app/app.h"
#include "app/options.h"
#include "wizard/shots.h"
#include "wizard/tform1.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: lumo27kq-shots OUTDIR\n");
    return 1;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  lumo::prepare_application();
  const QString out = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(out)) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  lumo::TForm1 form(lumo::parse_options(false, {}));
  form.show();
  const QJsonObject texts = lumo::render_pages(form, out);
  QFile f(out + QStringLiteral("/texts.json"));
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
  f.write(QJsonDocument(texts).toJson(QJsonDocument::Indented));
  return 0;
}
