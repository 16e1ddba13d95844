#include "sim/options.h"

#include <QCommandLineParser>

namespace lumo::sim {

std::string unescape(const QString& text) {
  const QByteArray in = text.toUtf8();
  std::string out;
  for (int i = 0; i < in.size(); ++i) {
    const char c = in[i];
    if (c != '\\' || i + 1 >= in.size()) {
      out.push_back(c);
      continue;
    }
    const char e = in[++i];
    switch (e) {
      case 'r':
        out.push_back('\r');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 't':
        out.push_back('\t');
        break;
      case '0':
        out.push_back('\0');
        break;
      case 'x': {
        bool ok = false;
        const int v = in.mid(i + 1, 2).toInt(&ok, 16);
        if (ok && i + 2 < in.size()) {
          out.push_back(char(v));
          i += 2;
        } else {
          out.push_back('x');
        }
        break;
      }
      default:
        out.push_back(e);
        break;
    }
  }
  return out;
}

bool parse_options(const QStringList& arguments, SimOptions& out, QString* error) {
  QCommandLineParser p;
  p.setApplicationDescription(QStringLiteral(
      "Simulated ZORVEL 2700KQ on a pseudo-terminal. Publishes the line as the symlink DIR/COMn\n"
      "and answers AT, ATI0, ATI1, AT&F, +++ and ATH as the device does, until SIGINT/SIGTERM.\n"
      "Delays are device milliseconds, divided by --speedup."));
  p.addHelpOption();
  const QCommandLineOption dir(
      {QStringLiteral("dir")},
      QStringLiteral("Folder in which to publish the port link (required)."),
      QStringLiteral("DIR"));
  const QCommandLineOption port({QStringLiteral("port")},
                                QStringLiteral("Name of the link: COM1 ... COM9 (default COM1)."),
                                QStringLiteral("COMn"), QStringLiteral("COM1"));
  const QCommandLineOption speedup({QStringLiteral("speedup")},
                                   QStringLiteral("Device time runs F times faster (default 1)."),
                                   QStringLiteral("F"), QStringLiteral("1"));
  const QCommandLineOption rom({QStringLiteral("rom")},
                               QStringLiteral("ROM mode: the boot loader answers ATI0 and ATI1 "
                                              "with its \"ROM ...\" line."));
  const QCommandLineOption rom_version(
      {QStringLiteral("rom-at-version")},
      QStringLiteral("ROM mode seen only by ATI1: ATI0 still gives the model line."));
  const QCommandLineOption no_echo({QStringLiteral("no-echo")},
                                   QStringLiteral("Do not echo commands."));
  const QCommandLineOption no_crlf({QStringLiteral("no-crlf")},
                                   QStringLiteral("No CR LF before answer lines."));
  const QCommandLineOption model({QStringLiteral("model")},
                                 QStringLiteral("Model line without CR LF (default ZNX27KQ)."),
                                 QStringLiteral("TEXT"), QStringLiteral("ZNX27KQ"));
  const QCommandLineOption version(
      {QStringLiteral("version-line")},
      QStringLiteral("Version line without CR LF (default \"V01.00  ROM V0.00.05\")."),
      QStringLiteral("TEXT"), QStringLiteral("V01.00  ROM V0.00.05"));
  const QCommandLineOption silent({QStringLiteral("silent")},
                                  QStringLiteral("Fault: never answer anything."));
  const QCommandLineOption mismatch(
      {QStringLiteral("model-mismatch")},
      QStringLiteral("Fault: model line ZNX28KQ (differs after its third character)."));
  const QCommandLineOption truncate(
      {QStringLiteral("truncate")},
      QStringLiteral("Fault: send only the first N bytes of every answer, never completing it."),
      QStringLiteral("N"));
  const QCommandLineOption noise(
      {QStringLiteral("noise")},
      QStringLiteral("Fault: answer every command with bytes no reply wait looks for."));
  const QCommandLineOption escape_error({QStringLiteral("escape-error")},
                                        QStringLiteral("Fault: answer +++ with ERROR."));
  const QCommandLineOption hangup_ok({QStringLiteral("hangup-ok")},
                                     QStringLiteral("Fault: answer ATH with OK, not NO CARRIER."));
  const QCommandLineOption busy({QStringLiteral("busy")},
                                QStringLiteral("Answer AT#!W0, AT#!W1 and AT#!R1 with BUSY "
                                               "(otherwise ERROR)."));
  const QCommandLineOption delay({QStringLiteral("delay")},
                                 QStringLiteral("Fault: wait MS device milliseconds before every "
                                                "answer (the echo is not delayed)."),
                                 QStringLiteral("MS"));
  const QCommandLineOption reply(
      {QStringLiteral("reply")},
      QStringLiteral("Answer CMD (without its CR; +++ for the escape) with exactly TEXT; "
                     "\\r, \\n, \\t, \\0, \\xHH allowed. Repeatable."),
      QStringLiteral("CMD=TEXT"));
  const QCommandLineOption sample_files(
      {QStringLiteral("sample-files")},
      QStringLiteral("Accepted for the run-with-sim script; has no effect on the serial side."));
  for (const auto* o : {&dir, &port, &speedup, &rom, &rom_version, &no_echo, &no_crlf, &model,
                        &version, &silent, &mismatch, &truncate, &noise, &escape_error, &hangup_ok,
                        &busy, &delay, &reply, &sample_files})
    p.addOption(*o);

  p.process(arguments);  // --help prints and exits; unknown options print and exit
  auto bad = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  if (!p.isSet(dir)) return bad(QStringLiteral("--dir DIR is required"));
  out.dir = p.value(dir);
  out.port = p.value(port);
  if (out.port.size() != 4 || !out.port.startsWith(QLatin1String("COM")) ||
      out.port[3] < QLatin1Char('1') || out.port[3] > QLatin1Char('9'))
    return bad(QStringLiteral("--port must be COM1 ... COM9"));
  bool ok = false;
  out.speedup = p.value(speedup).toInt(&ok);
  if (!ok || out.speedup < 1) return bad(QStringLiteral("--speedup must be a whole number >= 1"));

  DeviceConfig& d = out.device;
  d.mode = p.isSet(rom)           ? BootMode::Rom
           : p.isSet(rom_version) ? BootMode::RomAtVersion
                                  : BootMode::Normal;
  d.echo = !p.isSet(no_echo);
  d.crlf = !p.isSet(no_crlf);
  d.model = p.value(model).toStdString();
  d.version = p.value(version).toStdString();
  Faults& f = d.faults;
  f.silent = p.isSet(silent);
  f.model_mismatch = p.isSet(mismatch);
  if (p.isSet(truncate)) {
    f.truncate = p.value(truncate).toInt(&ok);
    if (!ok || f.truncate < 0) return bad(QStringLiteral("--truncate must be a number >= 0"));
  }
  f.noise = p.isSet(noise);
  f.escape_error = p.isSet(escape_error);
  f.hangup_ok = p.isSet(hangup_ok);
  f.busy = p.isSet(busy);
  if (p.isSet(delay)) {
    f.delay_ms = p.value(delay).toInt(&ok);
    if (!ok || f.delay_ms < 0) return bad(QStringLiteral("--delay must be a number >= 0"));
  }
  for (const QString& r : p.values(reply)) {
    const int eq = r.indexOf(QLatin1Char('='));
    if (eq <= 0) return bad(QStringLiteral("--reply needs CMD=TEXT"));
    f.replies[r.left(eq).toStdString()] = unescape(r.mid(eq + 1));
  }
  return true;
}

}  // namespace lumo::sim
