#include "blockxfer/frame.h"

#include <cstring>

namespace lumo {

const uint16_t fcs16_table[256] = {
    0x0000, 0x1189, 0x2312, 0x329B, 0x4624, 0x57AD, 0x6536, 0x74BF, 0x8C48, 0x9DC1, 0xAF5A, 0xBED3,
    0xCA6C, 0xDBE5, 0xE97E, 0xF8F7, 0x1081, 0x0108, 0x3393, 0x221A, 0x56A5, 0x472C, 0x75B7, 0x643E,
    0x9CC9, 0x8D40, 0xBFDB, 0xAE52, 0xDAED, 0xCB64, 0xF9FF, 0xE876, 0x2102, 0x308B, 0x0210, 0x1399,
    0x6726, 0x76AF, 0x4434, 0x55BD, 0xAD4A, 0xBCC3, 0x8E58, 0x9FD1, 0xEB6E, 0xFAE7, 0xC87C, 0xD9F5,
    0x3183, 0x200A, 0x1291, 0x0318, 0x77A7, 0x662E, 0x54B5, 0x453C, 0xBDCB, 0xAC42, 0x9ED9, 0x8F50,
    0xFBEF, 0xEA66, 0xD8FD, 0xC974, 0x4204, 0x538D, 0x6116, 0x709F, 0x0420, 0x15A9, 0x2732, 0x36BB,
    0xCE4C, 0xDFC5, 0xED5E, 0xFCD7, 0x8868, 0x99E1, 0xAB7A, 0xBAF3, 0x5285, 0x430C, 0x7197, 0x601E,
    0x14A1, 0x0528, 0x37B3, 0x263A, 0xDECD, 0xCF44, 0xFDDF, 0xEC56, 0x98E9, 0x8960, 0xBBFB, 0xAA72,
    0x6306, 0x728F, 0x4014, 0x519D, 0x2522, 0x34AB, 0x0630, 0x17B9, 0xEF4E, 0xFEC7, 0xCC5C, 0xDDD5,
    0xA96A, 0xB8E3, 0x8A78, 0x9BF1, 0x7387, 0x620E, 0x5095, 0x411C, 0x35A3, 0x242A, 0x16B1, 0x0738,
    0xFFCF, 0xEE46, 0xDCDD, 0xCD54, 0xB9EB, 0xA862, 0x9AF9, 0x8B70, 0x8408, 0x9581, 0xA71A, 0xB693,
    0xC22C, 0xD3A5, 0xE13E, 0xF0B7, 0x0840, 0x19C9, 0x2B52, 0x3ADB, 0x4E64, 0x5FED, 0x6D76, 0x7CFF,
    0x9489, 0x8500, 0xB79B, 0xA612, 0xD2AD, 0xC324, 0xF1BF, 0xE036, 0x18C1, 0x0948, 0x3BD3, 0x2A5A,
    0x5EE5, 0x4F6C, 0x7DF7, 0x6C7E, 0xA50A, 0xB483, 0x8618, 0x9791, 0xE32E, 0xF2A7, 0xC03C, 0xD1B5,
    0x2942, 0x38CB, 0x0A50, 0x1BD9, 0x6F66, 0x7EEF, 0x4C74, 0x5DFD, 0xB58B, 0xA402, 0x9699, 0x8710,
    0xF3AF, 0xE226, 0xD0BD, 0xC134, 0x39C3, 0x284A, 0x1AD1, 0x0B58, 0x7FE7, 0x6E6E, 0x5CF5, 0x4D7C,
    0xC60C, 0xD785, 0xE51E, 0xF497, 0x8028, 0x91A1, 0xA33A, 0xB2B3, 0x4A44, 0x5BCD, 0x6956, 0x78DF,
    0x0C60, 0x1DE9, 0x2F72, 0x3EFB, 0xD68D, 0xC704, 0xF59F, 0xE416, 0x90A9, 0x8120, 0xB3BB, 0xA232,
    0x5AC5, 0x4B4C, 0x79D7, 0x685E, 0x1CE1, 0x0D68, 0x3FF3, 0x2E7A, 0xE70E, 0xF687, 0xC41C, 0xD595,
    0xA12A, 0xB0A3, 0x8238, 0x93B1, 0x6B46, 0x7ACF, 0x4854, 0x59DD, 0x2D62, 0x3CEB, 0x0E70, 0x1FF9,
    0xF78F, 0xE606, 0xD49D, 0xC514, 0xB1AB, 0xA022, 0x92B9, 0x8330, 0x7BC7, 0x6A4E, 0x58D5, 0x495C,
    0x3DE3, 0x2C6A, 0x1EF1, 0x0F78,
};

uint16_t fcs16_update(uint16_t fcs, const uint8_t* p, int count) {
  while (count-- > 0) fcs = uint16_t((fcs >> 8) ^ fcs16_table[(fcs ^ *p++) & 0xFF]);
  return fcs;
}

bool link_header_ok(const uint8_t* frame) {
  static const uint8_t header[6] = {0xFF, 0x03, 0xFF, 0xFF, 0x00, 0x00};
  return std::memcmp(frame + 1, header, sizeof header) == 0;
}

size_t frame_escape(std::span<uint8_t> frame, size_t last) {
  if (last == 0 || last >= frame.size() || last >= kUnescapeScratch) return 0;
  size_t escaped = 0;
  for (size_t i = 1; i <= last; ++i) escaped += (frame[i] == kFlag || frame[i] == kEscape);
  if (last + escaped + 2 > frame.size()) return 0;

  uint8_t src[kUnescapeScratch];
  std::memcpy(src, frame.data(), last + 1);
  size_t o = 1;
  for (size_t i = 1; i <= last; ++i) {
    if (src[i] == kFlag || src[i] == kEscape) {
      frame[o++] = kEscape;
      frame[o++] = src[i] ^ 0x20;
    } else {
      frame[o++] = src[i];
    }
  }
  frame[o] = kFlag;
  return o + 1;
}

uint16_t frame_unescape(std::span<uint8_t> buf, size_t closing) {
  if (closing == 0 || closing >= buf.size() || closing >= kUnescapeScratch) return 0;
  uint8_t in[kUnescapeScratch];
  std::memcpy(in, buf.data(), closing + 1);
  size_t i = 1;
  size_t o = 1;
  while (i < closing) {
    buf[o] = in[i];
    // An escape right before the closing flag pairs with the flag itself.
    if (in[i] == kEscape) buf[o] = in[++i] ^ 0x20;
    ++i;
    ++o;
  }
  buf[o] = kFlag;
  return uint16_t(o - 1);
}

namespace {

void put_fcs(std::span<uint8_t> frame, size_t end) {
  uint16_t fcs = fcs16_update(kFcsInit, frame.data() + 1, int(end - 1)) ^ 0xFFFF;
  frame[end] = uint8_t(fcs & 0xFF);
  frame[end + 1] = uint8_t(fcs >> 8);
}

void put_link_header(std::span<uint8_t> frame) {
  static const uint8_t head[7] = {kFlag, 0xFF, 0x03, 0xFF, 0xFF, 0x00, 0x00};
  std::memcpy(frame.data(), head, sizeof head);
}

}  // namespace

size_t build_data_frame(std::span<uint8_t> frame, uint8_t seq_ban, uint32_t total,
                        const uint8_t* data, uint16_t n) {
  if (n < 1 || n > kMaxBlock || frame.size() < kDataFrameBuffer) return 0;
  put_link_header(frame);
  frame[7] = 0x0A;
  frame[8] = 0x10;
  frame[9] = kFrameData;
  frame[10] = seq_ban;
  frame[11] = uint8_t(total >> 24);
  frame[12] = uint8_t(total >> 16);
  frame[13] = uint8_t(total >> 8);
  frame[14] = uint8_t(total);
  frame[15] = uint8_t(n >> 8);
  frame[16] = uint8_t(n);
  std::memcpy(frame.data() + kDataHeaderEnd, data, n);
  put_fcs(frame, kDataHeaderEnd + n);
  return frame_escape(frame, kDataHeaderEnd + n + 1);
}

size_t build_reply_frame(std::span<uint8_t> frame, uint8_t kind, uint8_t seq_ban) {
  if (frame.size() < kReplyFrameBuffer) return 0;
  put_link_header(frame);
  frame[7] = 0x04;
  frame[8] = 0x10;
  frame[9] = kind;
  frame[10] = seq_ban;
  put_fcs(frame, 11);
  return frame_escape(frame, 12);
}

bool reply_fcs_ok(const uint8_t* buf) { return fcs16_update(kFcsInit, buf + 1, 12) == kFcsGood; }

bool reply_is_ack(const uint8_t* buf, uint8_t seq_ban) {
  return buf[0] == kFlag && link_header_ok(buf) && buf[7] == 0x04 && buf[8] == 0x10 &&
         buf[9] == kFrameAck && buf[10] == seq_ban;
}

bool reply_is_nak(const uint8_t* buf) { return buf[0] == kFlag && buf[9] == kFrameNak; }

bool data_fcs_ok(const uint8_t* buf, uint16_t count) {
  return fcs16_update(kFcsInit, buf + 1, count) == kFcsGood;
}

bool data_header_ok(const uint8_t* buf) {
  return buf[0] == kFlag && link_header_ok(buf) && buf[7] == 0x0A && buf[8] == 0x10 &&
         buf[9] == kFrameData;
}

uint8_t data_seq(const uint8_t* buf) { return buf[10]; }

uint32_t data_total(const uint8_t* buf) {
  return uint32_t(buf[11]) << 24 | uint32_t(buf[12]) << 16 | uint32_t(buf[13]) << 8 | buf[14];
}

uint16_t data_length(const uint8_t* buf) { return uint16_t(buf[15] << 8 | buf[16]); }

bool data_length_fits(const uint8_t* buf, uint16_t count) {
  // Content: 16 header bytes (offsets 1..16), the data, two FCS bytes.
  uint16_t n = data_length(buf);
  return n >= 1 && n <= kMaxBlock && count >= 18 && n == count - 18;
}

frame_assembler::frame_assembler(size_t capacity)
    : capacity_(capacity > kDataFrameBuffer ? kDataFrameBuffer : capacity) {}

std::optional<size_t> frame_assembler::feed(uint8_t b) {
  if (discarding_) {
    if (b == kFlag) reset();
    return std::nullopt;
  }
  if (pos_ >= capacity_) {
    ++dropped_;
    if (in_frame_) {
      // Resynchronise on the closing flag rather than taking it for an opening one.
      pos_ = 0;
      in_frame_ = false;
      discarding_ = b != kFlag;
      return std::nullopt;
    }
    // Stray bytes that filled the buffer: only the newest still stand before the next frame.
    pos_ = 0;
  }
  buf_[pos_] = b;
  if (b == kFlag) {
    if (!in_frame_) {
      in_frame_ = true;
      ++pos_;
      return std::nullopt;
    }
    size_t closing = pos_;
    in_frame_ = false;
    pos_ = 0;
    return closing;
  }
  ++pos_;
  return std::nullopt;
}

void frame_assembler::reset() {
  pos_ = 0;
  in_frame_ = false;
  discarding_ = false;
}

}  // namespace lumo
