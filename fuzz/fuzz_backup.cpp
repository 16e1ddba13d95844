// The backup receiver fed by a device that answers "CONNECT" and then plays the fuzzer's input:
// raw bytes, data frames built from it (so the fuzzer gets past the FCS), and result codes for
// the hang-up. Waits cost nothing on the virtual clock.
#include <stdlib.h>
#include <unistd.h>

#include <deque>
#include <memory>
#include <string>

#include "blockxfer/frame.h"
#include "blockxfer/serial_backup.h"
#include "messages/recording_window.h"
#include "session/session.h"
#include "tests/common/settings_free_port.h"

using namespace lumo;

namespace {

class PlayedLine : public test::SettingsFreePort {
 public:
  std::deque<uint8_t> out;
  bool clear_error(uint32_t& f, ComStat& st) override {
    f = 0;
    st = ComStat{};
    st.cbInQue = uint32_t(out.size());
    return true;
  }
  bool write(const uint8_t*, uint32_t n, uint32_t& w) override {
    w = n;
    return true;
  }
  bool read(uint8_t* buf, uint32_t n, uint32_t& got) override {
    got = 0;
    while (got < n && !out.empty()) {
      buf[got++] = out.front();
      out.pop_front();
    }
    return true;
  }
  void close() override {}
  void say(const char* s) {
    while (*s) out.push_back(uint8_t(*s++));
  }
};

std::string folder;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char tmpl[] = "/tmp/lumo-fuzz-backup.XXXXXX";
  if (!mkdtemp(tmpl)) abort();
  folder = tmpl;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto line = std::make_shared<PlayedLine>();
  line->say("CONNECT\r\n");
  size_t i = 0;
  while (i + 2 <= size) {
    const uint8_t op = data[i];
    const size_t len = std::min<size_t>(data[i + 1] * 8u + 1, size - i - 2);
    const uint8_t* p = data + i + 2;
    i += 2 + len;
    switch (op % 4) {
      case 0:
        line->out.insert(line->out.end(), p, p + len);
        break;
      case 1: {
        // A well-formed frame: sequence number and total size from the input.
        uint8_t wire[kDataFrameBuffer];
        const uint32_t total = len >= 5 ? uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3] : 0;
        const size_t n = std::min<size_t>(len, kMaxBlock);
        if (n == 0) break;
        const size_t w = build_data_frame(wire, p[0], total, p, uint16_t(n));
        line->out.insert(line->out.end(), wire, wire + w);
        break;
      }
      case 2:
        line->say("\r\nOK\r\n");
        break;
      case 3:
        line->say("\r\nNO CARRIER\r\n");
        break;
    }
  }

  Session s;
  auto clock = std::make_shared<CountingClock>();
  s.clock = clock;
  s.hComm.set(line);
  s.config_path = QString::fromStdString(folder + "/cfg27kq.bin");
  RecordingWindow w;
  const uint8_t r = serial_backup(s, w);
  if (r > 2 || s.hSaveFile.is_open()) abort();
  return 0;
}
