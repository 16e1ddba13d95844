#include <QCoreApplication>

#include <csignal>
#include <cstdio>

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

  int sig = 0;
  sigwait(&stop, &sig);
  line.stop();
  return 0;
}
