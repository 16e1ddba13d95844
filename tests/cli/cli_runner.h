#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace lumo::cli::test {

struct Outcome {
  int code = -1;
  QByteArray out;
  QByteArray err;  // on a pseudo-terminal: everything the program wrote
  QString text() const { return QString::fromUtf8(out + err); }
};

// Runs lumo27kq-cli in `dir` with its output into pipes, without a controlling terminal.
Outcome run_piped(const QString& dir, const QStringList& args);

// Runs lumo27kq-cli in `dir` on a pseudo-terminal (its controlling terminal, standard input,
// output and error). `reply` sees everything written so far and may return bytes to type.
Outcome run_on_pty(const QString& dir, const QStringList& args,
                   const std::function<QByteArray(const QByteArray& seen)>& reply = {});

}  // namespace lumo::cli::test
