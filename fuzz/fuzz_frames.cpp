// Arbitrary received bytes through the frame assembler, un-escape and every check, for both
// buffer sizes; and the data the sender frames comes back unchanged.
#include <cstdlib>
#include <cstring>

#include "blockxfer/frame.h"

using namespace lumo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (size_t cap : {kReplyFrameBuffer, kDataFrameBuffer}) {
    frame_assembler a(cap);
    for (size_t i = 0; i < size; ++i) {
      auto closing = a.feed(data[i]);
      if (a.position() > cap) std::abort();
      if (!closing) continue;
      if (*closing >= cap) std::abort();
      const uint16_t count = frame_unescape(a.buffer(), *closing);
      if (count >= *closing + 1 && *closing > 0) std::abort();
      const uint8_t* f = a.buffer().data();
      volatile bool sink = reply_fcs_ok(f) && reply_is_ack(f, data[0]);
      sink = reply_is_nak(f);
      if (cap == kDataFrameBuffer) {
        sink = data_fcs_ok(f, count) && data_header_ok(f);
        if (data_length_fits(f, count)) {
          const uint16_t n = data_length(f);
          if (kDataHeaderEnd + n > count + 1u) std::abort();
        }
        sink = data_total(f) == 0 && data_seq(f) == 0;
      }
      (void)sink;
    }
  }

  if (size >= 1) {
    const uint16_t n = uint16_t(std::min<size_t>(size, kMaxBlock));
    uint8_t wire[kDataFrameBuffer];
    const size_t len = build_data_frame(wire, data[0], uint32_t(size), data, n);
    if (len == 0 || len > 2u * n + 29) std::abort();
    frame_assembler a(kDataFrameBuffer);
    std::optional<size_t> closing;
    for (size_t i = 0; i < len; ++i) closing = a.feed(wire[i]);
    if (!closing) std::abort();
    const uint16_t count = frame_unescape(a.buffer(), *closing);
    const uint8_t* f = a.buffer().data();
    if (!data_fcs_ok(f, count) || !data_header_ok(f) || !data_length_fits(f, count) ||
        data_seq(f) != data[0] || std::memcmp(f + kDataHeaderEnd, data, n) != 0)
      std::abort();
  }
  return 0;
}
