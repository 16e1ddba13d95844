#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "blockxfer/frame.h"
#include "test_util.h"

namespace lumo {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes data_frame(uint8_t seq, uint32_t total, const Bytes& data) {
  Bytes f(kDataFrameBuffer);
  size_t n = build_data_frame(f, seq, total, data.data(), uint16_t(data.size()));
  f.resize(n);
  return f;
}

Bytes reply_frame(uint8_t kind, uint8_t seq) {
  Bytes f(kReplyFrameBuffer);
  f.resize(build_reply_frame(f, kind, seq));
  return f;
}

uint16_t fcs_sent(const Bytes& b) {
  return fcs16_update(kFcsInit, b.data(), int(b.size())) ^ 0xFFFF;
}

TEST(Fcs16, CheckValueOfTheNineDigits) { EXPECT_EQ(fcs_sent(test::ascii("123456789")), 0x906E); }

TEST(Fcs16, TableIsTheReflectedCcittPolynomial) {
  EXPECT_EQ(fcs16_table[0], 0x0000);
  EXPECT_EQ(fcs16_table[1], 0x1189);
  EXPECT_EQ(fcs16_table[2], 0x2312);
  EXPECT_EQ(fcs16_table[3], 0x329B);
  for (unsigned b = 0; b < 256; ++b) {
    uint16_t v = uint16_t(b);
    for (int i = 0; i < 8; ++i) v = (v & 1) ? uint16_t((v >> 1) ^ 0x8408) : uint16_t(v >> 1);
    ASSERT_EQ(fcs16_table[b], v) << "entry " << b;
  }
}

struct WireCase {
  const char* name;
  Bytes built;
  const char* wire;
};

TEST(FrameWire, KnownFramesAreByteExact) {
  const WireCase cases[] = {
      {"Ack 1", reply_frame(kFrameAck, 1), "7E FF 03 FF FF 00 00 04 10 81 01 A1 9A 7E"},
      {"Nak 1", reply_frame(kFrameNak, 1), "7E FF 03 FF FF 00 00 04 10 82 01 C9 B0 7E"},
      {"Ack 0x7E", reply_frame(kFrameAck, 0x7E), "7E FF 03 FF FF 00 00 04 10 81 7D 5E D1 11 7E"},
      {"data abc", data_frame(1, 3, test::ascii("abc")),
       "7E FF 03 FF FF 00 00 0A 10 01 01 00 00 00 03 00 03 61 62 63 79 AA 7E"},
  };
  for (const auto& c : cases) EXPECT_EQ(test::hex(c.built), c.wire) << c.name;
}

// Receiving side of a wire form: assembles, un-escapes, returns the content count.
struct Received {
  frame_assembler asm_{kDataFrameBuffer};
  std::optional<size_t> closing;
  uint16_t count = 0;
  explicit Received(const Bytes& wire) {
    for (uint8_t b : wire) {
      auto c = asm_.feed(b);
      if (c) closing = c;
    }
    if (closing) count = frame_unescape(asm_.buffer(), *closing);
  }
  const uint8_t* buf() { return asm_.buffer().data(); }
};

TEST(FrameWire, ContentWithItsFcsGivesTheGoodResidue) {
  Bytes every_byte(256);
  for (int i = 0; i < 256; ++i) every_byte[i] = uint8_t(i);
  const Bytes wires[] = {reply_frame(kFrameAck, 1),
                         reply_frame(kFrameNak, 0x7D),
                         reply_frame(kFrameAck, 0x7E),
                         data_frame(1, 3, test::ascii("abc")),
                         data_frame(0x7E, 0x7E7D7E7D, every_byte),
                         data_frame(9, 1024, Bytes(1024, 0x7E))};
  for (const auto& w : wires) {
    Received r(w);
    ASSERT_TRUE(r.closing) << test::hex(w);
    EXPECT_EQ(fcs16_update(kFcsInit, r.buf() + 1, r.count), kFcsGood) << test::hex(w);
    EXPECT_EQ(r.buf()[r.count + 1], kFlag);
  }
}

TEST(FrameWire, OnlyFlagAndEscapeBytesAreStuffed) {
  Bytes data;
  for (int i = 0; i < 0x20; ++i) data.push_back(uint8_t(i));
  data.push_back(0x7D);
  data.push_back(0x7E);
  Bytes w = data_frame(2, 34, data);
  // Header, FCS and flags never contain 7D/7E here; the 32 control bytes go out unchanged.
  Bytes expected_data = data;
  expected_data.resize(32);
  for (uint8_t b : {0x7D, 0x5D, 0x7D, 0x5E}) expected_data.push_back(b);
  ASSERT_EQ(w.size(), 20u + 34u + 2u);
  EXPECT_EQ(Bytes(w.begin() + 17, w.begin() + 17 + 36), expected_data);

  Bytes worst = data_frame(1, 1024, Bytes(1024, 0x7D));
  EXPECT_LE(worst.size(), 2u * 1024 + 29);
}

TEST(FrameWire, DataFrameFieldsReadBack) {
  Received r(data_frame(0xFE, 70000, Bytes(1000, 0x11)));
  ASSERT_TRUE(r.closing);
  EXPECT_TRUE(data_fcs_ok(r.buf(), r.count));
  EXPECT_TRUE(data_header_ok(r.buf()));
  EXPECT_TRUE(data_length_fits(r.buf(), r.count));
  EXPECT_EQ(data_seq(r.buf()), 0xFE);
  EXPECT_EQ(data_total(r.buf()), 70000u);
  EXPECT_EQ(data_length(r.buf()), 1000u);
}

TEST(FrameWire, BuildersRefuseWhatCannotBeAFrame) {
  Bytes f(kDataFrameBuffer);
  uint8_t d[1025] = {};
  EXPECT_EQ(build_data_frame(f, 1, 1, d, 0), 0u);
  EXPECT_EQ(build_data_frame(f, 1, 1, d, 1025), 0u);
  Bytes small(kReplyFrameBuffer - 1);
  EXPECT_EQ(build_reply_frame(small, kFrameAck, 1), 0u);
  Bytes esc = {kFlag, 0x7E, 0x7E, 0x7E};
  EXPECT_EQ(frame_escape(esc, 3), 0u) << "wire form would not fit";
}

// A data frame whose length field disagrees with what it carries, with a correct FCS.
Bytes data_frame_with_length(uint16_t field, size_t carried) {
  Bytes f(kDataFrameBuffer);
  build_data_frame(f, 1, 5000, Bytes(1024, 1).data(), 1);  // header bytes 0..14
  f[15] = uint8_t(field >> 8);
  f[16] = uint8_t(field);
  std::memset(f.data() + 17, 0x41, carried);
  uint16_t fcs = fcs16_update(kFcsInit, f.data() + 1, int(16 + carried)) ^ 0xFFFF;
  f[17 + carried] = uint8_t(fcs);
  f[18 + carried] = uint8_t(fcs >> 8);
  f.resize(kDataFrameBuffer);
  size_t n = frame_escape(f, 18 + carried);
  f.resize(n);
  return f;
}

TEST(FrameWire, LengthFieldMustMatchTheContent) {
  struct {
    uint16_t field;
    size_t carried;
    bool fits;
  } cases[] = {{3, 3, true},  {1024, 1024, true}, {4, 3, false},       {2, 3, false},
               {0, 0, false}, {0, 3, false},      {1025, 1025, false}, {0xFFFF, 10, false}};
  for (const auto& c : cases) {
    Received r(data_frame_with_length(c.field, c.carried));
    ASSERT_TRUE(r.closing);
    ASSERT_TRUE(data_fcs_ok(r.buf(), r.count));
    EXPECT_EQ(data_length_fits(r.buf(), r.count), c.fits) << c.field << " / " << c.carried;
  }
}

TEST(FrameUnescape, EscapeBeforeClosingFlagPairsWithTheFlag) {
  Bytes b = {0x7E, 0x41, 0x7D, 0x7E};
  EXPECT_EQ(frame_unescape(b, 3), 2);
  EXPECT_EQ(b[1], 0x41);
  EXPECT_EQ(b[2], 0x5E);
  EXPECT_EQ(b[3], 0x7E);
}

TEST(FrameUnescape, AnyByteAfterEscapeIsXoredAndOutOfRangeIsRefused) {
  Bytes b = {0x7E, 0x7D, 0x31, 0x7D, 0x5D, 0x42, 0x7E};
  EXPECT_EQ(frame_unescape(b, 6), 3);
  EXPECT_EQ(test::hex(Bytes(b.begin(), b.begin() + 5)), "7E 11 7D 42 7E");
  EXPECT_EQ(frame_unescape(b, b.size()), 0);
  EXPECT_EQ(frame_unescape(b, 0), 0);
}

TEST(FrameAssembler, BytesBeforeTheOpeningFlagStayInFrontAndFailTheChecks) {
  Bytes wire = test::ascii("XY");
  Bytes ack = reply_frame(kFrameAck, 1);
  wire.insert(wire.end(), ack.begin(), ack.end());
  frame_assembler a(kReplyFrameBuffer);
  std::optional<size_t> closing;
  for (uint8_t b : wire) closing = a.feed(b);
  ASSERT_TRUE(closing);
  EXPECT_EQ(*closing, 15u);
  frame_unescape(a.buffer(), *closing);
  EXPECT_EQ(a.buffer()[0], 'X');
  EXPECT_FALSE(reply_fcs_ok(a.buffer().data()) && reply_is_ack(a.buffer().data(), 1));

  // The next reply, alone, is good again.
  for (uint8_t b : ack) closing = a.feed(b);
  ASSERT_TRUE(closing);
  frame_unescape(a.buffer(), *closing);
  EXPECT_TRUE(reply_fcs_ok(a.buffer().data()));
  EXPECT_TRUE(reply_is_ack(a.buffer().data(), 1));
}

TEST(FrameAssembler, ReplyShorterThanFourteenIsJudgedOverTheFixedOffsets) {
  frame_assembler a(kReplyFrameBuffer);
  std::optional<size_t> closing;
  for (uint8_t b : reply_frame(kFrameAck, 1)) closing = a.feed(b);
  // The same reply without its second FCS byte: offset 12 is now the written flag.
  Bytes cut = reply_frame(kFrameAck, 1);
  cut.erase(cut.begin() + 12);
  for (uint8_t b : cut) closing = a.feed(b);
  ASSERT_TRUE(closing);
  EXPECT_EQ(frame_unescape(a.buffer(), *closing), 11);
  EXPECT_FALSE(reply_fcs_ok(a.buffer().data()));
}

TEST(FrameAssembler, OverlongFrameIsDroppedWithoutWritingPastTheBuffer) {
  for (size_t cap : {kReplyFrameBuffer, kDataFrameBuffer}) {
    frame_assembler a(cap);
    Bytes wire = {kFlag};
    wire.insert(wire.end(), cap + 50, 0x33);
    wire.push_back(kFlag);
    Bytes ack = reply_frame(kFrameAck, 5);
    wire.insert(wire.end(), ack.begin(), ack.end());
    std::vector<size_t> frames;
    for (uint8_t b : wire) {
      auto c = a.feed(b);
      ASSERT_LE(a.position(), cap);
      if (c) frames.push_back(*c);
    }
    ASSERT_EQ(frames.size(), 1u) << cap;
    EXPECT_EQ(a.dropped(), 1u);
    frame_unescape(a.buffer(), frames[0]);
    EXPECT_TRUE(reply_is_ack(a.buffer().data(), 5));
  }
}

TEST(FrameAssembler, FrameFillingTheBufferExactlyIsDroppedAtItsFlag) {
  frame_assembler a(kReplyFrameBuffer);
  Bytes wire = {kFlag};
  wire.insert(wire.end(), kReplyFrameBuffer - 1, 0x33);  // buffer full, no room for the flag
  wire.push_back(kFlag);
  for (uint8_t b : wire) EXPECT_FALSE(a.feed(b));
  EXPECT_EQ(a.dropped(), 1u);
  EXPECT_FALSE(a.in_frame());
  std::optional<size_t> closing;
  for (uint8_t b : reply_frame(kFrameNak, 2)) closing = a.feed(b);
  ASSERT_TRUE(closing);
  EXPECT_EQ(*closing, 13u);
}

TEST(FrameAssembler, LongStrayRunStartsOverAndLaterFramesGetThrough) {
  frame_assembler a(kReplyFrameBuffer);
  for (int i = 0; i < 100; ++i) {
    EXPECT_FALSE(a.feed(0x55));
    ASSERT_LE(a.position(), kReplyFrameBuffer);
  }
  // The first reply does not fit behind the stray bytes that are left and is dropped whole.
  for (uint8_t b : reply_frame(kFrameAck, 1)) EXPECT_FALSE(a.feed(b));
  std::optional<size_t> closing;
  for (uint8_t b : reply_frame(kFrameAck, 2)) closing = a.feed(b);
  ASSERT_TRUE(closing);
  frame_unescape(a.buffer(), *closing);
  EXPECT_TRUE(reply_fcs_ok(a.buffer().data()));
  EXPECT_TRUE(reply_is_ack(a.buffer().data(), 2));
}

}  // namespace
}  // namespace lumo
