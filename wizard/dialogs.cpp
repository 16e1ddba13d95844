#include "wizard/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace lumo {

int QtMessagePresenter::present(const QString& caption, const QString& text, uint16_t flags) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox box(owner_);
  box.setWindowTitle(caption);
  box.setText(shown);
  box.setWindowModality(Qt::ApplicationModal);
  switch (flags) {
    case kStyleQuestion:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case kStyleInfo:
      box.setIcon(QMessageBox::Information);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case kStylePlain:
      box.setIcon(QMessageBox::NoIcon);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    default:
      box.setIcon(QMessageBox::Critical);
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  const int r = box.exec();
  if (r == QMessageBox::Yes) return kAnswerYes;
  if (r == QMessageBox::No) return kAnswerNo;
  return kAnswerOk;
}

QString qt_name_filters(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString& desc = parts[i];
    const QString& pattern = parts[i + 1];
    out << (desc.contains(QLatin1Char('(')) ? desc : desc + QStringLiteral(" (") + pattern + QLatin1Char(')'));
  }
  return out.join(QStringLiteral(";;"));
}

bool QtFileChooser::open_file(FileDialog& dialog) {
  const QString path =
      QFileDialog::getOpenFileName(owner_, dialog.Title, dialog.FileName, qt_name_filters(dialog.Filter));
  if (path.isEmpty()) return false;
  dialog.FileName = path;
  return true;
}

bool QtFileChooser::save_file(FileDialog& dialog) {
  QFileDialog::Options opts;
  if (!dialog.OverwritePrompt) opts |= QFileDialog::DontConfirmOverwrite;
  const QString path = QFileDialog::getSaveFileName(owner_, dialog.Title, dialog.FileName,
                                                    qt_name_filters(dialog.Filter), nullptr, opts);
  if (path.isEmpty()) return false;
  dialog.FileName = path;
  return true;
}

}  // namespace lumo
