#include "cli_runner.h"

#include <QProcess>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

namespace lumo::cli::test {

namespace {
constexpr int kLimitMs = 60000;
}

Outcome run_piped(const QString& dir, const QStringList& args) {
  QProcess p;
  p.setWorkingDirectory(dir);
  // No controlling terminal: a password prompt would otherwise wait on the tester's terminal.
  p.setChildProcessModifier([] { ::setsid(); });
  p.start(QStringLiteral(LUMO_CLI_BINARY), args);
  p.closeWriteChannel();
  Outcome o;
  if (!p.waitForFinished(kLimitMs)) {
    p.kill();
    p.waitForFinished();
    return o;
  }
  o.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  o.out = p.readAllStandardOutput();
  o.err = p.readAllStandardError();
  return o;
}

Outcome run_on_pty(const QString& dir, const QStringList& args,
                   const std::function<QByteArray(const QByteArray&)>& reply) {
  const std::string bin = LUMO_CLI_BINARY;
  const std::string cwd = dir.toStdString();
  std::vector<std::string> store{bin};
  for (const QString& a : args) store.push_back(a.toStdString());
  std::vector<char*> argv;
  for (std::string& s : store) argv.push_back(s.data());
  argv.push_back(nullptr);

  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return {};
  if (pid == 0) {
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::execv(bin.c_str(), argv.data());
    ::_exit(127);
  }
  Outcome o;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLimitMs);
  for (;;) {
    pollfd pf{master, POLLIN, 0};
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      break;
    }
    const int n = ::poll(&pf, 1, 100);
    if (n < 0 && errno != EINTR) break;
    if (n <= 0) continue;
    char buf[4096];
    const ssize_t r = ::read(master, buf, sizeof buf);
    if (r <= 0) break;  // EIO: the program has ended and closed the terminal
    o.err.append(buf, int(r));
    if (reply) {
      const QByteArray typed = reply(o.err);
      if (!typed.isEmpty() && ::write(master, typed.constData(), size_t(typed.size())) < 0) break;
    }
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(master);
  o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return o;
}

}  // namespace lumo::cli::test
