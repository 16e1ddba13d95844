#include "sim/options.h"

#include <QFile>

#include <QCommandLineParser>

#include <vector>

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

namespace {

// A fault by block number: "N" hits block N once, "NxK" K times.
bool parse_block(const QString& v, uint32_t& block, int& times) {
  const QStringList parts = v.split(QLatin1Char('x'));
  if (parts.size() > 2) return false;
  bool ok = false;
  block = parts[0].toUInt(&ok);
  times = 1;
  if (ok && parts.size() == 2) times = parts[1].toInt(&ok);
  return ok && block >= 1 && times >= 1;
}

struct BlockFaultOption {
  const char* name;
  const char* help;
  BlockFaults::PerBlock BlockFaults::*faults;
};

const BlockFaultOption kBlockFaults[] = {
    {"nak-at", "Upload: answer good block N with a Nak and do not store it.", &BlockFaults::nak},
    {"damage-reply-at", "Upload: the Ack of block N goes out with a damaged byte.",
     &BlockFaults::damage_reply},
    {"lose-ack-at",
     "Upload: store block N but lose its Ack. Backup: lose the PC's Ack, so the block comes "
     "again.",
     &BlockFaults::lose_ack},
    {"wrong-ack-at", "Upload: acknowledge block N with the next sequence number.",
     &BlockFaults::wrong_ack},
    {"silence-at", "Upload: lose frame N (no reply). Backup: do not send block N.",
     &BlockFaults::silence},
    {"stray-after", "Stray bytes behind the closing flag of the reply to / the frame of block N.",
     &BlockFaults::stray_after},
    {"damage-frame-at", "Backup: send block N with a damaged byte.", &BlockFaults::damage_frame},
    {"repeat-at", "Backup: send the previous block once more before block N.",
     &BlockFaults::repeat_previous},
    {"bad-seq-at", "Backup: send block N with a wrong sequence number.", &BlockFaults::bad_seq},
    {"bad-header-at", "Backup: send block N with a wrong frame type (FCS good).",
     &BlockFaults::bad_header},
    {"bad-length-at", "Backup: send block N with a length field one too large (FCS good).",
     &BlockFaults::bad_length},
};

}  // namespace

bool parse_options(const QStringList& arguments, SimOptions& out, QString* error) {
  QCommandLineParser p;
  p.setApplicationDescription(QStringLiteral(
      "Simulated ZORVEL 2700KQ on a pseudo-terminal. Publishes the line as the symlink DIR/COMn\n"
      "and answers AT, ATI0, ATI1, AT&F, +++ and ATH as the device does, until SIGINT/SIGTERM.\n"
      "AT#!W0 and AT#!W1 receive a file into DIR (znx27kq.bin, cfg27kq.bin); AT#!R1 sends\n"
      "DIR/cfg27kq.bin (BUSY when there is none). Block faults take N (block N of the file,\n"
      "1 = the first, counting on past sequence number 255) or NxK (K times); each is\n"
      "repeatable. Delays are device milliseconds, divided by --speedup."));
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
                                QStringLiteral("Answer AT#!W0, AT#!W1 and AT#!R1 with BUSY."));
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
      QStringLiteral("Write sample-firmware.bin (passes the firmware check) and "
                     "sample-config.bin into DIR, and the same configuration as the device's "
                     "cfg27kq.bin unless DIR has one."));
  const QCommandLineOption line_speed(
      {QStringLiteral("line-speed")},
      QStringLiteral("Bit/s of the line, 10 bits a byte: 115200 (default), 57600 or 38400; "
                     "0 for as fast as the pseudo-terminal."),
      QStringLiteral("BPS"), QStringLiteral("115200"));
  const QCommandLineOption reply_delay(
      {QStringLiteral("reply-delay-at")},
      QStringLiteral("Upload: hold the reply to block N for MS device milliseconds."),
      QStringLiteral("N=MS"));
  const QCommandLineOption drop_line(
      {QStringLiteral("drop-line-at")},
      QStringLiteral("Close the line when block N is received (upload) or due (backup)."),
      QStringLiteral("N"));
  const QCommandLineOption resend_after(
      {QStringLiteral("resend-after")},
      QStringLiteral("Backup: send a block again after MS device milliseconds without a reply "
                     "(default 3000)."),
      QStringLiteral("MS"), QStringLiteral("3000"));
  const QCommandLineOption max_sends(
      {QStringLiteral("max-sends")},
      QStringLiteral("Backup: sends of one block before the device gives up (default 10)."),
      QStringLiteral("N"), QStringLiteral("10"));
  for (const auto* o :
       {&dir,       &port,    &speedup, &rom,      &rom_version,  &no_echo,   &no_crlf,
        &model,     &version, &silent,  &mismatch, &truncate,     &noise,     &escape_error,
        &hangup_ok, &busy,    &delay,   &reply,    &sample_files, &line_speed})
    p.addOption(*o);
  std::vector<QCommandLineOption> block_options;
  for (const BlockFaultOption& b : kBlockFaults)
    block_options.emplace_back(QStringList{QLatin1String(b.name)}, QLatin1String(b.help),
                               QStringLiteral("N"));
  for (const auto& o : block_options) p.addOption(o);
  for (const auto* o : {&reply_delay, &drop_line, &resend_after, &max_sends}) p.addOption(*o);
  const QCommandLineOption ftp_port(
      {QStringLiteral("ftp-port")},
      QStringLiteral("Also serve the device's FTP server on 127.0.0.1:PORT (0 picks a free one; "
                     "printed): user admin, \"/\" is DIR, \"/usr\" is DIR/usr; --rom gives the "
                     "ROM-mode \"syst\" reply."),
      QStringLiteral("PORT"));
  const QCommandLineOption ftp_password({QStringLiteral("ftp-password")},
                                        QStringLiteral("Password of admin (default admin)."),
                                        QStringLiteral("TEXT"), QStringLiteral("admin"));
  const QCommandLineOption ftp_no_usr({QStringLiteral("ftp-no-usr")},
                                      QStringLiteral("FTP fault: the device has no \"/usr\"."));
  const QCommandLineOption ftp_refuse_login(
      {QStringLiteral("ftp-refuse-login")},
      QStringLiteral("FTP fault: refuse every login."));
  const QCommandLineOption ftp_stall(
      {QStringLiteral("ftp-stall-after")},
      QStringLiteral("FTP fault: an upload stops being read after N bytes."),
      QStringLiteral("N"));
  for (const auto* o : {&ftp_port, &ftp_password, &ftp_no_usr, &ftp_refuse_login, &ftp_stall})
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

  if (p.isSet(ftp_port)) {
    out.ftp_port = p.value(ftp_port).toInt(&ok);
    if (!ok || out.ftp_port < 0 || out.ftp_port > 65535)
      return bad(QStringLiteral("--ftp-port must be a port number, or 0"));
  }
  out.ftp.port = uint16_t(out.ftp_port > 0 ? out.ftp_port : 0);
  out.ftp.dir = QFile::encodeName(out.dir).toStdString();
  out.ftp.password = p.value(ftp_password).toStdString();
  out.ftp.usr_absent = p.isSet(ftp_no_usr);
  out.ftp.refuse_login = p.isSet(ftp_refuse_login);
  out.ftp.rom_mode = p.isSet(rom);
  if (p.isSet(ftp_stall)) {
    out.ftp.stall_after = p.value(ftp_stall).toLongLong(&ok);
    if (!ok || out.ftp.stall_after < 0) return bad(QStringLiteral("--ftp-stall-after must be a number >= 0"));
  }

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

  out.sample_files = p.isSet(sample_files);
  d.line_speed = p.value(line_speed).toUInt(&ok);
  if (!ok) return bad(QStringLiteral("--line-speed must be a number of bit/s"));
  BlockOptions& b = d.block;
  for (size_t i = 0; i < block_options.size(); ++i) {
    for (const QString& v : p.values(block_options[i])) {
      uint32_t block = 0;
      int times = 0;
      if (!parse_block(v, block, times))
        return bad(QStringLiteral("--%1 needs N or NxK").arg(QLatin1String(kBlockFaults[i].name)));
      (b.faults.*kBlockFaults[i].faults)[block] += times;
    }
  }
  for (const QString& v : p.values(reply_delay)) {
    const QStringList parts = v.split(QLatin1Char('='));
    bool ok_ms = false;
    const uint32_t block = parts[0].toUInt(&ok);
    const int ms = parts.size() == 2 ? parts[1].toInt(&ok_ms) : -1;
    if (!ok || !ok_ms || block < 1 || ms < 0)
      return bad(QStringLiteral("--reply-delay-at needs N=MS"));
    b.faults.reply_delay_ms[block] = ms;
  }
  if (p.isSet(drop_line)) {
    b.faults.drop_line_at = p.value(drop_line).toUInt(&ok);
    if (!ok || b.faults.drop_line_at < 1)
      return bad(QStringLiteral("--drop-line-at must be a block number >= 1"));
  }
  b.resend_after_ms = p.value(resend_after).toInt(&ok);
  if (!ok || b.resend_after_ms < 1) return bad(QStringLiteral("--resend-after must be >= 1"));
  b.max_sends = p.value(max_sends).toInt(&ok);
  if (!ok || b.max_sends < 1) return bad(QStringLiteral("--max-sends must be >= 1"));
  return true;
}

}  // namespace lumo::sim
