#pragma once
#include <QString>

#include <cstdint>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ftp/ftp_client.h"

namespace lumo::test {

inline std::string random_bytes(size_t n, uint32_t seed = 27) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (size_t i = 0; i < n; i += 4) {
    uint32_t v = gen();
    for (size_t k = 0; k < 4 && i + k < n; ++k) s[i + k] = char((v >> (8 * k)) & 0xff);
  }
  return s;
}

inline void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline QString q(const std::string& s) { return QString::fromStdString(s); }

// Every event of a client, in order; the texts it carried (status and error) kept apart.
struct Recorder {
  std::mutex mu;
  std::vector<std::string> events;
  std::vector<QString> texts;

  void add(std::string e) {
    std::lock_guard<std::mutex> l(mu);
    events.push_back(std::move(e));
  }
  void text(const QString& t) {
    std::lock_guard<std::mutex> l(mu);
    texts.push_back(t);
  }
  std::vector<std::string> take() {
    std::lock_guard<std::mutex> l(mu);
    std::vector<std::string> e;
    e.swap(events);
    return e;
  }
  void install(FtpClient& c) {
    c.events.OnConnect = [this] { add("Connect"); };
    c.events.OnDisconnect = [this] { add("Disconnect"); };
    c.events.OnStatus = [this](const QString& t) { text(t); };
    c.events.OnConnectionFailed = [this] { add("ConnectionFailed"); };
    c.events.OnError = [this](int n, const QString& t) {
      add("Error " + std::to_string(n));
      text(t);
    };
    c.events.OnSuccess = [this](int kind) { add("Success " + std::to_string(kind)); };
    c.events.OnFailure = [this](bool& handled, int kind) {
      add("Failure " + std::to_string(kind) + (handled ? " handled" : ""));
    };
  }
};

}  // namespace lumo::test
