#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <memory>

#include "sim/options.h"
#include "sim/samples.h"
#include "sim/serial_line.h"

namespace {

int fail(const QString& error, int status) {
  std::fprintf(stderr, "zorvel-sim: %s\n", qPrintable(error));
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // Block the stop signals before any thread starts, so only sigwait below sees them.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("zorvel-sim"));
  lumo::sim::SimOptions opts;
  QString error;
  if (!lumo::sim::parse_options(app.arguments(), opts, &error)) return fail(error, 2);

  if (opts.sample_files && !lumo::sim::write_sample_files(opts.dir, &error)) return fail(error, 1);

  // Each side of the device starts here and is stopped after the signal.
  lumo::sim::SerialLine line(opts.device, opts.speedup);
  if (!line.start(opts.dir, opts.port, &error)) return fail(error, 1);
  std::printf("%s -> %s\n", qPrintable(line.link_path()), qPrintable(line.tty_path()));
  std::fflush(stdout);

  std::unique_ptr<lumo::sim::FtpServer> ftp;
  if (opts.ftp_port >= 0) {
    // The FTP side keeps the configuration in "/usr"; give it the sample one too.
    const QString usr = opts.dir + QStringLiteral("/usr");
    if (opts.sample_files && !opts.ftp.usr_absent && QDir().mkpath(usr) &&
        !QFile::exists(usr + QStringLiteral("/cfg27kq.bin")))
      QFile::copy(opts.dir + QStringLiteral("/cfg27kq.bin"), usr + QStringLiteral("/cfg27kq.bin"));
    ftp = std::make_unique<lumo::sim::FtpServer>(opts.ftp);
    const uint16_t port = ftp->start();
    if (port == 0) return fail(QStringLiteral("cannot serve FTP on 127.0.0.1"), 1);
    std::printf("ftp 127.0.0.1:%u\n", unsigned(port));
    std::fflush(stdout);
  }

  int sig = 0;
  sigwait(&stop, &sig);
  if (ftp) ftp->stop();
  line.stop();
  return 0;
}
