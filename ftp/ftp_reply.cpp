#include "ftp/ftp_reply.h"

namespace lumo {

int reply_code(const std::string& line) {
  if (line.size() < 3) return -1;
  for (int i = 0; i < 3; ++i) {
    if (line[i] < '0' || line[i] > '9') return -1;
  }
  if (line[0] < '1' || line[0] > '5') return -1;
  if (line.size() > 3 && line[3] != ' ' && line[3] != '-') return -1;
  return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

void FtpReplyReader::feed(const char* data, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    char c = data[i];
    if (c == '\n') {
      end_line();
      continue;
    }
    if (line_.size() < kMaxLine) {
      line_.push_back(c);
    } else {
      line_cut_ = true;
    }
  }
}

void FtpReplyReader::end_line() {
  if (!line_cut_ && !line_.empty() && line_.back() == '\r') line_.pop_back();
  if (pending_.size() < kMaxPending) {
    pending_.push_back(std::move(line_));
  } else {
    broken_ = true;
  }
  line_.clear();
  line_cut_ = false;
}

FtpReplyReader::Result FtpReplyReader::next(FtpReply& out) {
  while (!broken_ && !pending_.empty()) {
    std::string line = std::move(pending_.front());
    pending_.pop_front();
    if (!in_multi_) {
      int code = reply_code(line);
      if (code < 0) {
        broken_ = true;
        break;
      }
      partial_ = FtpReply{};
      partial_.code = code;
      partial_.first_line = line;
      partial_.lines.push_back(line);
      if (line.size() > 3 && line[3] == '-') {
        in_multi_ = true;
        continue;
      }
      out = std::move(partial_);
      partial_ = FtpReply{};
      return Result::Reply;
    }
    bool last = reply_code(line) == partial_.code && (line.size() == 3 || line[3] == ' ');
    if (partial_.lines.size() < kMaxLines) partial_.lines.push_back(line);
    if (last) {
      in_multi_ = false;
      out = std::move(partial_);
      partial_ = FtpReply{};
      return Result::Reply;
    }
  }
  return broken_ ? Result::Malformed : Result::NeedMore;
}

void FtpReplyReader::reset() {
  line_.clear();
  line_cut_ = false;
  pending_.clear();
  broken_ = false;
  in_multi_ = false;
  partial_ = FtpReply{};
}

}  // namespace lumo
