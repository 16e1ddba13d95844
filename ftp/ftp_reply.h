#pragma once
#include <cstddef>
#include <deque>
#include <string>
#include <vector>

// The one reader of FTP replies (RFC 959, 4.2): bytes from the control connection go in, whole
// replies come out. A multi-line reply opens with "123-" and ends with the first line that begins
// with the same code and a space ("123 "); lines between may hold anything, other codes included.
//
// Bounded whatever the server sends: a line is kept up to kMaxLine bytes (the rest of it is
// dropped), a reply keeps at most kMaxLines lines, and at most kMaxPending unread lines wait.

namespace lumo {

struct FtpReply {
  int code = 0;                    // 100 ... 599
  std::string first_line;          // as received, code included, without CR LF
  std::vector<std::string> lines;  // every kept line, the first included

  bool preliminary() const { return code >= 100 && code < 200; }
  bool positive() const { return code >= 200 && code < 400; }  // 2xx or 3xx
  bool refused() const { return code >= 400; }                 // 4xx or 5xx
};

class FtpReplyReader {
 public:
  static constexpr size_t kMaxLine = 4096;
  static constexpr size_t kMaxLines = 256;
  static constexpr size_t kMaxPending = 4096;

  enum class Result {
    NeedMore,   // no whole reply yet
    Reply,      // `out` holds the next reply
    Malformed,  // the server broke the reply format (no code, or too many lines waiting)
  };

  // Bytes as read from the control connection; a line ends at LF, a CR before it is dropped.
  void feed(const char* data, size_t n);
  // Takes the next whole reply. After Malformed the reader stays broken until reset().
  Result next(FtpReply& out);
  // Forgets every byte and line (a fresh control connection).
  void reset();

 private:
  void end_line();

  std::string line_;                 // the line being received
  bool line_cut_ = false;            // line_ reached kMaxLine; the rest of it is dropped
  std::deque<std::string> pending_;  // whole lines not yet taken
  bool broken_ = false;
  // A multi-line reply being assembled across feeds.
  bool in_multi_ = false;
  FtpReply partial_;
};

// Parses a reply code from the start of a line: three digits, 1 ... 5 first, followed by the end
// of the line, a space or a hyphen. -1 otherwise.
int reply_code(const std::string& line);

}  // namespace lumo
