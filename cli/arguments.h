#pragma once
#include <QString>
#include <QStringList>

namespace lumo::cli {

struct Arguments {
  enum Command { None, Detect, Version, Check, Backup, Upgrade, Restore };
  Command command = None;
  QString file;         // check, backup, upgrade, restore
  QString backup_file;  // upgrade --backup
  bool ftp = false;
  QString port;  // --port COMn; empty: the scan
  QString host;  // --ftp HOST[:PORT]
  QString password_file;
  bool log = false;
  int speedup = 0;  // 0: the real clock
  bool help = false;
};

// Parses the arguments after the program name. False with `error` for a usage error.
bool parse_arguments(const QStringList& args, Arguments& out, QString* error);

// The --help text: subcommands, options, exit codes.
QString usage_text();

}  // namespace lumo::cli
