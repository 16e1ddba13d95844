#include "cli/arguments.h"

#include "serial/port.h"

namespace lumo::cli {

namespace {

struct CommandName {
  const char* name;
  Arguments::Command command;
  bool takes_file;
};
constexpr CommandName kCommands[] = {
    {"detect", Arguments::Detect, false},  {"version", Arguments::Version, false},
    {"check", Arguments::Check, true},     {"backup", Arguments::Backup, true},
    {"upgrade", Arguments::Upgrade, true}, {"restore", Arguments::Restore, true},
};

}  // namespace

bool parse_arguments(const QStringList& args, Arguments& out, QString* error) {
  const auto fail = [error](const QString& why) {
    if (error) *error = why;
    return false;
  };
  bool serial_asked = false;
  QStringList positional;
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    const auto value = [&](QString& into) {
      if (i + 1 >= args.size()) return false;
      into = args[++i];
      return true;
    };
    if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      out.help = true;
    } else if (a == QLatin1String("--serial")) {
      serial_asked = true;
    } else if (a == QLatin1String("--log")) {
      out.log = true;
    } else if (a == QLatin1String("--port")) {
      if (!value(out.port)) return fail(QStringLiteral("--port needs a port name"));
      if (!is_port_name(out.port)) return fail(QStringLiteral("--port takes COM1 ... COM9"));
    } else if (a == QLatin1String("--ftp")) {
      if (!value(out.host) || out.host.isEmpty())
        return fail(QStringLiteral("--ftp needs HOST[:PORT]"));
      out.ftp = true;
    } else if (a == QLatin1String("--password-file")) {
      if (!value(out.password_file)) return fail(QStringLiteral("--password-file needs a file"));
    } else if (a == QLatin1String("--backup")) {
      if (!value(out.backup_file) || out.backup_file.isEmpty())
        return fail(QStringLiteral("--backup needs a file"));
    } else if (a == QLatin1String("--speedup")) {
      QString n;
      bool ok = false;
      if (!value(n) || (out.speedup = n.toInt(&ok)) < 1 || !ok)
        return fail(QStringLiteral("--speedup takes a whole number of at least 1"));
    } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
      return fail(QStringLiteral("unknown option ") + a);
    } else {
      positional << a;
    }
  }
  if (out.help) return true;
  if (positional.isEmpty()) return fail(QStringLiteral("no command given"));
  const CommandName* found = nullptr;
  for (const CommandName& c : kCommands)
    if (positional[0] == QLatin1String(c.name)) found = &c;
  if (!found) return fail(QStringLiteral("unknown command ") + positional[0]);
  out.command = found->command;
  const int files = found->takes_file ? 1 : 0;
  if (positional.size() != 1 + files)
    return fail(found->takes_file ? QStringLiteral("%1 takes one FILE").arg(found->name)
                                  : QStringLiteral("%1 takes no FILE").arg(found->name));
  if (files) out.file = positional[1];
  if (out.ftp && serial_asked) return fail(QStringLiteral("--serial and --ftp exclude each other"));
  if (out.ftp && !out.port.isEmpty()) return fail(QStringLiteral("--port is for --serial"));
  if (!out.ftp && !out.password_file.isEmpty())
    return fail(QStringLiteral("--password-file is for --ftp"));
  if (!out.backup_file.isEmpty() && out.command != Arguments::Upgrade)
    return fail(QStringLiteral("--backup is for upgrade"));
  return true;
}

QString usage_text() {
  return QStringLiteral(
      "Usage: lumo27kq-cli COMMAND [FILE] [OPTIONS]\n"
      "\n"
      "The version-up utility of the ZORVEL 2700KQ, for scripts.\n"
      "\n"
      "Commands:\n"
      "  detect                    find the device; prints its port (or host), its name and\n"
      "                            whether it runs in ROM mode\n"
      "  version                   the firmware version the device runs (\"ROM mode\" in ROM "
      "mode)\n"
      "  check FILE                check a firmware file; prints its version\n"
      "  backup FILE               copy the device's configuration into FILE\n"
      "  upgrade FIRMWARE [--backup FILE]\n"
      "                            check FIRMWARE, back the configuration up into FILE when\n"
      "                            asked, send FIRMWARE, then send the backup back\n"
      "  restore FILE              send the configuration file FILE to the device\n"
      "\n"
      "Transport:\n"
      "  --serial                  serial line (the default): scan COM1 ... COM9\n"
      "  --port COMn               serial line: use this port of the table only\n"
      "  --ftp HOST[:PORT]         network: log in to the device's FTP server as \"admin\"\n"
      "  --password-file FILE      the FTP password is the first line of FILE; without it the\n"
      "                            password is asked for on the terminal, not echoed\n"
      "\n"
      "Other options:\n"
      "  --log                     print the diagnostic log lines as they come (also when the\n"
      "                            options file VerUp_in.txt switches diagnostic mode on)\n"
      "  --speedup N               run the device's waits N times faster (for testing against\n"
      "                            the simulator, which must run with the same speedup)\n"
      "  --help                    this text\n"
      "\n"
      "Results go to the standard output; messages, log lines and the progress go to the\n"
      "standard error (a line redrawn in place on a terminal, plain lines otherwise).\n"
      "\n"
      "Exit codes:\n"
      "  0  done\n"
      "  1  usage error (bad command line, options file or password file)\n"
      "  2  device not found or connection failed\n"
      "  3  file check failed (firmware, configuration file or backup target)\n"
      "  4  transfer failed\n"
      "  5  device busy or refusing\n");
}

}  // namespace lumo::cli
