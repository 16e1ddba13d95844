// Upload and download of a 64 MiB file by our client and by curl, against one vsftpd on
// 127.0.0.1 in active mode, in the same run. Prints one line per direction:
//   upload client_rate=<bytes/s> curl_rate=<bytes/s> ratio=<client/curl>
// Each figure is the best of a few rounds; a round times a whole session (connect, login,
// transfer, quit) for both, so curl's process start counts against it as the login does for us.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ftp/ftp_client.h"
#include "session/clock.h"
#include "sim/ftp/peers.h"

namespace {

constexpr int64_t kSize = 64LL * 1024 * 1024;
constexpr int kRounds = 3;

double seconds_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

bool make_file(const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::mt19937 gen(64);
  std::vector<uint32_t> block(1 << 16);
  for (int64_t done = 0; done < kSize; done += int64_t(block.size() * 4)) {
    for (uint32_t& v : block) v = gen();
    out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(block.size() * 4));
  }
  return bool(out);
}

int64_t file_size(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return in ? int64_t(in.tellg()) : -1;
}

// One session of our client: upload (or download) of one file. Seconds, or -1 on failure.
double client_round(uint16_t port, bool upload, const std::string& local,
                    const std::string& remote) {
  lumo::RealClock clock;
  lumo::FtpClient c(clock);
  c.Host = QString::fromStdString("127.0.0.1:" + std::to_string(port));
  c.UserID = "anonymous";
  c.TimeOut = 10000;
  auto t0 = std::chrono::steady_clock::now();
  bool ok = c.connect() && c.change_dir("/up") && c.image_type() &&
            (upload ? c.upload(QString::fromStdString(local), QString::fromStdString(remote))
                    : c.download(QString::fromStdString(remote), QString::fromStdString(local)));
  c.disconnect();
  double s = seconds_since(t0);
  if (!ok) {
    std::fprintf(stderr, "client %s failed: %s\n", upload ? "upload" : "download",
                 c.last_error().text.toLocal8Bit().constData());
    return -1;
  }
  return s;
}

double curl_round(uint16_t port, bool upload, const std::string& local, const std::string& remote) {
  std::string url = "ftp://127.0.0.1:" + std::to_string(port) + "/up/" + remote;
  std::vector<std::string> argv = {"curl",      "-sS", "--disable-eprt", "--ftp-port",
                                   "127.0.0.1", "-u",  "anonymous:"};
  if (upload) {
    argv.insert(argv.end(), {"-T", local, url});
  } else {
    argv.insert(argv.end(), {"-o", local, url});
  }
  std::string out;
  auto t0 = std::chrono::steady_clock::now();
  int rc = lumo::sim::run_program(argv, &out, 120000);
  double s = seconds_since(t0);
  if (rc != 0) {
    std::fprintf(stderr, "curl %s failed (%d): %s\n", upload ? "upload" : "download", rc,
                 out.c_str());
    return -1;
  }
  return s;
}

}  // namespace

int main() {
  if (lumo::sim::find_program("curl").empty()) {
    std::fprintf(stderr, "bench-ftp: curl is not installed\n");
    return 1;
  }
  lumo::sim::TempDir dir;
  lumo::sim::TempDir pc;
  lumo::sim::Vsftpd server;
  std::string error;
  if (!server.start(dir.path(), &error)) {
    std::fprintf(stderr, "bench-ftp: %s\n", error.c_str());
    return 1;
  }
  std::string source = pc.path() + "/source.bin";
  if (!make_file(source)) {
    std::fprintf(stderr, "bench-ftp: cannot write %s\n", source.c_str());
    return 1;
  }
  for (bool upload : {true, false}) {
    double best_client = -1, best_curl = -1;
    for (int round = 0; round < kRounds; ++round) {
      const std::string client_local = upload ? source : pc.path() + "/client.bin";
      const std::string curl_local = upload ? source : pc.path() + "/curl.bin";
      double a = client_round(server.port(), upload, client_local, "client.bin");
      double b = curl_round(server.port(), upload, curl_local, "curl.bin");
      if (a < 0 || b < 0) return 1;
      for (const std::string& check :
           upload ? std::vector<std::string>{server.upload_dir() + "/client.bin",
                                             server.upload_dir() + "/curl.bin"}
                  : std::vector<std::string>{client_local, curl_local}) {
        if (file_size(check) != kSize) {
          std::fprintf(stderr, "bench-ftp: %s has the wrong size\n", check.c_str());
          return 1;
        }
      }
      if (best_client < 0 || a < best_client) best_client = a;
      if (best_curl < 0 || b < best_curl) best_curl = b;
    }
    double client_rate = double(kSize) / best_client;
    double curl_rate = double(kSize) / best_curl;
    std::printf("%s client_rate=%.0f curl_rate=%.0f ratio=%.3f\n", upload ? "upload" : "download",
                client_rate, curl_rate, client_rate / curl_rate);
    std::fflush(stdout);
  }
  return 0;
}
