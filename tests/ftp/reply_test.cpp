#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "ftp/ftp_reply.h"

namespace lumo {
namespace {

struct ReplyCase {
  const char* name;
  std::string bytes;
  std::vector<int> codes;  // replies expected, in order
  std::string first_line;  // of the first reply
  size_t lines;            // of the first reply
  bool malformed;          // after the replies
};

std::ostream& operator<<(std::ostream& o, const ReplyCase& c) { return o << c.name; }

class ReplyReaderTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyReaderTest, SplitsRepliesAsRfc959Says) {
  const ReplyCase& c = GetParam();
  // Byte by byte and all at once must give the same replies.
  for (bool bytewise : {false, true}) {
    FtpReplyReader r;
    std::vector<FtpReply> got;
    FtpReplyReader::Result res = FtpReplyReader::Result::NeedMore;
    auto drain = [&] {
      FtpReply out;
      while ((res = r.next(out)) == FtpReplyReader::Result::Reply) got.push_back(out);
    };
    if (bytewise) {
      for (char ch : c.bytes) {
        r.feed(&ch, 1);
        drain();
      }
    } else {
      r.feed(c.bytes.data(), c.bytes.size());
      drain();
    }
    ASSERT_EQ(got.size(), c.codes.size()) << c.name << (bytewise ? " bytewise" : "");
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].code, c.codes[i]) << c.name;
    if (!got.empty()) {
      EXPECT_EQ(got[0].first_line, c.first_line) << c.name;
      EXPECT_EQ(got[0].lines.size(), c.lines) << c.name;
    }
    EXPECT_EQ(res == FtpReplyReader::Result::Malformed, c.malformed) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyReaderTest,
    ::testing::Values(
        ReplyCase{"single", "220 Ready\r\n", {220}, "220 Ready", 1, false},
        ReplyCase{"bare LF", "200 ok\n331 pw\n", {200, 331}, "200 ok", 1, false},
        ReplyCase{"code only", "200\r\n", {200}, "200", 1, false},
        ReplyCase{"no line end yet", "220 Rea", {}, "", 0, false},
        ReplyCase{"multi-line",
                  "215-UNIX Type: L8   V01.00A\r\n200 not the end\r\n 215 indented\r\n"
                  "2150 also not\r\n215 End\r\n",
                  {215},
                  "215-UNIX Type: L8   V01.00A",
                  5,
                  false},
        ReplyCase{"multi-line then single",
                  "230-Hi\r\n230 ok\r\n250 done\r\n",
                  {230, 250},
                  "230-Hi",
                  2,
                  false},
        ReplyCase{"multi-line unfinished", "220-a\r\n220-b\r\n", {}, "", 0, false},
        ReplyCase{"no code", "hello\r\n", {}, "", 0, true},
        ReplyCase{"code out of range", "600 x\r\n", {}, "", 0, true},
        ReplyCase{"code glued to text", "200ok\r\n", {}, "", 0, true},
        ReplyCase{"garbage after a reply", "200 ok\r\nxx\r\n", {200}, "200 ok", 1, true}),
    [](const ::testing::TestParamInfo<ReplyCase>& i) {
      std::string n = i.param.name;
      for (char& ch : n) {
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return n;
    });

TEST(ReplyReader, KeepsLongLinesAndLongRepliesBounded) {
  FtpReplyReader r;
  std::string big = "220-" + std::string(3 * FtpReplyReader::kMaxLine, 'x') + "\r\n";
  r.feed(big.data(), big.size());
  for (size_t i = 0; i < FtpReplyReader::kMaxLines * 2; ++i) r.feed("line\r\n", 6);
  r.feed("220 end\r\n", 9);
  FtpReply out;
  ASSERT_EQ(r.next(out), FtpReplyReader::Result::Reply);
  EXPECT_EQ(out.code, 220);
  EXPECT_EQ(out.first_line.size(), FtpReplyReader::kMaxLine);
  EXPECT_EQ(out.lines.size(), FtpReplyReader::kMaxLines);
}

TEST(ReplyReader, TooManyWaitingLinesBreakTheReaderUntilReset) {
  FtpReplyReader r;
  for (size_t i = 0; i <= FtpReplyReader::kMaxPending; ++i) r.feed("200 x\r\n", 7);
  FtpReply out;
  EXPECT_EQ(r.next(out), FtpReplyReader::Result::Malformed);
  r.reset();
  r.feed("220 ok\r\n", 8);
  EXPECT_EQ(r.next(out), FtpReplyReader::Result::Reply);
}

}  // namespace
}  // namespace lumo
