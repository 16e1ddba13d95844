#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// The framing of the block transfer: HDLC-like frames of RFC 1662 (flag, control escape, address,
// control, FCS-16) with the device's own four fixed bytes and layer-5 header. Plain functions on
// buffers owned by the caller; nothing here logs or keeps hidden state.

namespace lumo {

inline constexpr uint8_t kFlag = 0x7E;
inline constexpr uint8_t kEscape = 0x7D;
inline constexpr uint8_t kFrameData = 0x01;
inline constexpr uint8_t kFrameAck = 0x81;
inline constexpr uint8_t kFrameNak = 0x82;

inline constexpr uint16_t kFcsInit = 0xFFFF;
// FCS run over content and its own two FCS bytes gives this for an undamaged frame.
inline constexpr uint16_t kFcsGood = 0xF0B8;

inline constexpr uint16_t kMaxBlock = 1024;       // data bytes in one frame, at most
inline constexpr size_t kDataHeaderEnd = 17;      // offset of the first data byte
inline constexpr size_t kReplyFrameLength = 14;   // unescaped reply, flags included
inline constexpr size_t kDataFrameBuffer = 2088;  // twice the largest unescaped data frame
inline constexpr size_t kReplyFrameBuffer = 17;   // the longest reply on the wire
inline constexpr size_t kUnescapeScratch = 2092;

// RFC 1662 C.2, reflected polynomial 0x8408.
extern const uint16_t fcs16_table[256];

// Running FCS over `count` bytes; start at kFcsInit, send the ones' complement low byte first.
uint16_t fcs16_update(uint16_t fcs, const uint8_t* p, int count);

// Offsets 1 to 6 are FF 03 FF FF 00 00; offset 0 is not looked at. `frame` holds at least 7 bytes.
bool link_header_ok(const uint8_t* frame);

// Rewrites the unescaped frame in offsets 0..`last` (opening flag to the last FCS byte) into its
// wire form and appends the closing flag. Returns the wire length, or 0 if the wire form would
// not fit `frame` (which then is left as it was).
size_t frame_escape(std::span<uint8_t> frame, size_t last);

// Un-escapes the frame whose closing flag is at `closing`, in place from offset 1, and writes a
// flag behind the content. Returns the number of content bytes (0 if `closing` is outside the
// buffer). Offset 0 is left as received.
uint16_t frame_unescape(std::span<uint8_t> buf, size_t closing);

// Builds the wire form of a data frame (1 <= n <= kMaxBlock) into `frame`, which must hold
// kDataFrameBuffer bytes. Returns the wire length, 0 for a bad n or a short buffer.
size_t build_data_frame(std::span<uint8_t> frame, uint8_t seq_ban, uint32_t total,
                        const uint8_t* data, uint16_t n);

// Builds the wire form of an Ack (kFrameAck) or a Nak (kFrameNak) into `frame` (at least
// kReplyFrameBuffer bytes). Returns the wire length, 0 for a short buffer.
size_t build_reply_frame(std::span<uint8_t> frame, uint8_t kind, uint8_t seq_ban);

// Checks of an un-escaped reply, always over the fixed offsets of the buffer, whatever the number
// of content bytes received (so a short reply is judged with older buffer bytes). `buf` holds at
// least 13 bytes.
bool reply_fcs_ok(const uint8_t* buf);
bool reply_is_ack(const uint8_t* buf, uint8_t seq_ban);
bool reply_is_nak(const uint8_t* buf);

// Checks of an un-escaped data frame with `count` content bytes (the result of frame_unescape).
bool data_fcs_ok(const uint8_t* buf, uint16_t count);
bool data_header_ok(const uint8_t* buf);
uint8_t data_seq(const uint8_t* buf);
uint32_t data_total(const uint8_t* buf);
uint16_t data_length(const uint8_t* buf);
// The length field is 1..kMaxBlock and equals the data bytes the content carries.
bool data_length_fits(const uint8_t* buf, uint16_t count);

// Collects received bytes into frames, one byte at a time. Bytes outside a frame stay in front of
// the next opening flag (such a frame then fails its checks). A frame that outgrows the buffer is
// dropped up to its closing flag, and collection starts over; nothing is written past capacity.
class frame_assembler {
 public:
  // `capacity` is at most kDataFrameBuffer: kDataFrameBuffer for data frames, at least
  // kReplyFrameBuffer for replies.
  explicit frame_assembler(size_t capacity);

  // Returns the index of the closing flag when `b` completes a frame.
  std::optional<size_t> feed(uint8_t b);
  // Outside a frame, at position 0. The buffer keeps its old bytes.
  void reset();

  std::span<uint8_t> buffer() { return {buf_, capacity_}; }
  bool in_frame() const { return in_frame_; }
  size_t position() const { return pos_; }
  unsigned dropped() const { return dropped_; }

 private:
  uint8_t buf_[kDataFrameBuffer] = {};
  size_t capacity_;
  size_t pos_ = 0;
  bool in_frame_ = false;
  bool discarding_ = false;
  unsigned dropped_ = 0;
};

}  // namespace lumo
