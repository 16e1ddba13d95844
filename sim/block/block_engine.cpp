#include "sim/block/block_engine.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace lumo::sim {

using namespace lumo;

namespace {

// Flips one wire byte between the flags without creating a flag or an escape there.
void damage(std::vector<uint8_t>& wire) {
  size_t i = wire.size() - 2;
  uint8_t b = wire[i] ^ 0x01;
  if (b == kFlag || b == kEscape) b = wire[i] ^ 0x02;
  wire[i] = b;
}

std::vector<uint8_t> reply_wire(uint8_t kind, uint8_t seq) {
  std::vector<uint8_t> f(kReplyFrameBuffer);
  f.resize(build_reply_frame(f, kind, seq));
  return f;
}

const uint8_t kStray[] = {0x55, 0x00, 0xAA};

}  // namespace

BlockEngine::BlockEngine(BlockOptions o) : o_(std::move(o)) {}

BlockEngine::~BlockEngine() { end_data_mode(); }

void BlockEngine::push_out(const uint8_t* p, size_t n, int64_t at_ms) {
  for (size_t i = 0; i < n; ++i) out_.push_back({p[i], at_ms});
}

void BlockEngine::push_out(std::string_view s, int64_t at_ms) {
  push_out(reinterpret_cast<const uint8_t*>(s.data()), s.size(), at_ms);
}

void BlockEngine::note(const char* what, uint32_t v) {
  events_.push_back(std::string(what) + " " + std::to_string(v));
}

bool BlockEngine::take_fault(BlockFaults::PerBlock& m, uint32_t block) {
  auto it = m.find(block);
  if (it == m.end() || it->second <= 0) return false;
  --it->second;
  return true;
}

bool BlockEngine::start(std::string_view command, int64_t now_ms) {
  const bool upload = command == "AT#!W0\r" || command == "AT#!W1\r";
  const bool download = command == "AT#!R1\r";
  if (!upload && !download) return false;
  escaped_ = false;
  frames_.reset();
  plus_run_ = 0;
  if (download) {
    config_.clear();
    if (std::FILE* f = std::fopen((o_.folder + "/" + kConfigFile).c_str(), "rb")) {
      uint8_t buf[4096];
      size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        config_.insert(config_.end(), buf, buf + n);
      std::fclose(f);
    }
  }
  // No configuration to give is what the device reports as busy, too.
  if (o_.faults.busy || (download && config_.empty())) {
    events_.push_back("busy");
    push_out("BUSY\r\n", now_ms);
    mode_ = Mode::Idle;
    return true;
  }
  push_out("CONNECT\r\n", now_ms);
  events_.push_back("connect");
  if (upload) {
    mode_ = Mode::Upload;
    name_ = command == "AT#!W0\r" ? kFirmwareFile : kConfigFile;
    expected_block_ = 1;
    announced_ = 0;
    stored_ = 0;
    stored_path_.clear();
  } else {
    mode_ = Mode::Download;
    block_ = 1;
    in_flight_ = 0;
    acked_ = 0;
    download_send(now_ms);
  }
  return true;
}

void BlockEngine::end_data_mode() {
  if (part_) {
    std::fclose(part_);
    part_ = nullptr;
    ::unlink(part_path_.c_str());
  }
  mode_ = Mode::Idle;
}

void BlockEngine::leave_data_mode() {
  if (!active()) return;
  events_.push_back("idle");
  out_.clear();
  end_data_mode();
}

size_t BlockEngine::input(const uint8_t* p, size_t n, int64_t now_ms) {
  size_t i = 0;
  while (i < n && active() && !dropped_) {
    const uint8_t b = p[i++];
    // The escape is only recognised between frames.
    if (!frames_.in_frame() && b == '+') {
      if (++plus_run_ == 3) {
        events_.push_back("escape");
        escaped_ = true;
        end_data_mode();
        break;
      }
    } else {
      plus_run_ = 0;
    }
    auto closing = frames_.feed(b);
    if (!closing) continue;
    if (mode_ == Mode::Upload)
      upload_frame(*closing, now_ms);
    else if (mode_ == Mode::Download)
      download_reply(*closing, now_ms);
  }
  return dropped_ ? n : i;
}

void BlockEngine::tick(int64_t now_ms) {
  if (mode_ != Mode::Download || dropped_) return;
  if (in_flight_ && now_ms - sent_at_ >= o_.resend_after_ms) {
    if (sends_ >= o_.max_sends) {
      events_.push_back("give up");
      in_flight_ = 0;
      mode_ = Mode::Finished;
      return;
    }
    note("timeout", in_flight_);
    download_send(now_ms);
  }
}

size_t BlockEngine::pending(int64_t now_ms) const {
  size_t n = 0;
  for (const Out& o : out_) {
    if (o.at_ms > now_ms) break;
    ++n;
  }
  return n;
}

size_t BlockEngine::take(uint8_t* buf, size_t max, int64_t now_ms) {
  size_t n = 0;
  while (n < max && !out_.empty() && out_.front().at_ms <= now_ms) {
    buf[n++] = out_.front().byte;
    out_.pop_front();
  }
  return n;
}

// ---- upload: the PC sends, the device checks and answers ----

void BlockEngine::upload_frame(size_t closing, int64_t now_ms) {
  const uint16_t count = frame_unescape(frames_.buffer(), closing);
  const uint8_t* f = frames_.buffer().data();
  const uint8_t expected_seq = uint8_t(expected_block_);
  if (!data_fcs_ok(f, count) || !data_header_ok(f) || !data_length_fits(f, count) ||
      (announced_ && data_total(f) != announced_)) {
    note("bad", expected_block_);
    upload_reply(kFrameNak, expected_seq, expected_block_, now_ms);
    return;
  }
  const uint8_t seq = data_seq(f);
  if (seq == expected_seq) {
    const uint32_t block = expected_block_;
    if (o_.faults.drop_line_at == block) {
      events_.push_back("drop " + std::to_string(block));
      dropped_ = true;
      end_data_mode();
      return;
    }
    if (take_fault(o_.faults.silence, block)) {
      note("lost", block);
      return;
    }
    if (take_fault(o_.faults.nak, block)) {
      note("refuse", block);
      upload_reply(kFrameNak, seq, block, now_ms);
      return;
    }
    note("rx", block);
    upload_store(f + kDataHeaderEnd, data_length(f), data_total(f));
    ++expected_block_;
    upload_reply(kFrameAck, seq, block, now_ms);
  } else if (expected_block_ > 1 && seq == uint8_t(expected_seq - 1)) {
    // The PC did not get the last Ack: acknowledge again, store nothing.
    note("dup", expected_block_ - 1);
    upload_reply(kFrameAck, seq, expected_block_ - 1, now_ms);
  } else {
    note("wrong seq", seq);
    upload_reply(kFrameNak, expected_seq, expected_block_, now_ms);
  }
}

void BlockEngine::upload_reply(uint8_t kind, uint8_t seq, uint32_t block, int64_t now_ms) {
  BlockFaults& fl = o_.faults;
  if (kind == kFrameAck) {
    if (take_fault(fl.lose_ack, block)) {
      note("ack lost", block);
      return;
    }
    if (take_fault(fl.wrong_ack, block)) seq = uint8_t(seq + 1);
  }
  std::vector<uint8_t> w = reply_wire(kind, seq);
  if (kind == kFrameAck && take_fault(fl.damage_reply, block)) damage(w);
  if (take_fault(fl.stray_after, block)) w.insert(w.end(), std::begin(kStray), std::end(kStray));
  auto delay = fl.reply_delay_ms.find(block);
  const int64_t at = now_ms + (delay == fl.reply_delay_ms.end() ? 0 : delay->second);
  push_out(w.data(), w.size(), at);
  note(kind == kFrameAck ? "ack" : "nak", seq);
}

void BlockEngine::upload_store(const uint8_t* data, uint16_t n, uint32_t total) {
  if (expected_block_ == 1) {
    announced_ = total;
    part_path_ = o_.folder + "/" + name_ + ".part";
    part_ = std::fopen(part_path_.c_str(), "wb");
  }
  if (!part_) return;
  std::fwrite(data, 1, n, part_);
  stored_ += n;
  if (stored_ >= announced_) {
    std::fclose(part_);
    part_ = nullptr;
    stored_path_ = o_.folder + "/" + name_;
    std::rename(part_path_.c_str(), stored_path_.c_str());
    events_.push_back("stored " + std::to_string(stored_));
  }
}

// ---- download: the device sends its configuration, the PC answers ----

void BlockEngine::download_send(int64_t now_ms) {
  BlockFaults& fl = o_.faults;
  if (!in_flight_) {
    if (uint64_t(block_ - 1) * kMaxBlock >= config_.size()) {
      mode_ = Mode::Finished;  // everything acknowledged; the PC escapes next
      return;
    }
    in_flight_ = block_;
    sends_ = 0;
    if (block_ > 1 && take_fault(fl.repeat_previous, block_)) in_flight_ = block_ - 1;
  }
  const uint32_t b = in_flight_;
  sent_at_ = now_ms;
  ++sends_;
  if (fl.drop_line_at == b) {
    events_.push_back("drop " + std::to_string(b));
    dropped_ = true;
    return;
  }
  if (take_fault(fl.silence, b)) {
    note("silent", b);
    return;
  }
  const size_t off = size_t(b - 1) * kMaxBlock;
  const uint16_t n = uint16_t(std::min<size_t>(kMaxBlock, config_.size() - off));
  std::vector<uint8_t> w(kDataFrameBuffer);
  uint8_t seq = uint8_t(b);
  if (take_fault(fl.bad_seq, b)) seq = uint8_t(seq ^ 0x80);
  w.resize(build_data_frame(w, seq, uint32_t(config_.size()), config_.data() + off, n));
  const bool bad_header = take_fault(fl.bad_header, b);
  const bool bad_length = take_fault(fl.bad_length, b);
  if (bad_header || bad_length) {
    // A wrong frame type or length field under a correct FCS.
    frame_unescape(w, w.size() - 1);
    w.resize(kDataFrameBuffer);
    if (bad_header) w[9] = 0x02;
    if (bad_length) w[16] = uint8_t(w[16] + 1);
    const uint16_t fcs = fcs16_update(kFcsInit, w.data() + 1, int(16 + n)) ^ 0xFFFF;
    w[17 + n] = uint8_t(fcs);
    w[18 + n] = uint8_t(fcs >> 8);
    w.resize(frame_escape(w, 18 + n));
  }
  if (take_fault(fl.damage_frame, b)) damage(w);
  if (take_fault(fl.stray_after, b)) w.insert(w.end(), std::begin(kStray), std::end(kStray));
  push_out(w.data(), w.size(), now_ms);
  note(sends_ > 1 ? "resend" : "tx", b);
}

void BlockEngine::download_reply(size_t closing, int64_t now_ms) {
  if (mode_ != Mode::Download) return;
  frame_unescape(frames_.buffer(), closing);
  const uint8_t* r = frames_.buffer().data();
  if (!in_flight_) return;
  if (!reply_fcs_ok(r)) {
    note("bad reply", in_flight_);
    return;  // the resend after silence covers it
  }
  const uint8_t seq = uint8_t(in_flight_);
  if (reply_is_ack(r, seq)) {
    if (take_fault(o_.faults.lose_ack, in_flight_)) {
      note("ack lost", in_flight_);
      return;
    }
    note("acked", in_flight_);
    if (in_flight_ == block_) {
      ++block_;
      ++acked_;
    }
    in_flight_ = 0;
    download_send(now_ms);
  } else if (reply_is_nak(r)) {
    note("naked", in_flight_);
    if (sends_ >= o_.max_sends) {
      events_.push_back("give up");
      in_flight_ = 0;
      mode_ = Mode::Finished;
      return;
    }
    download_send(now_ms);
  } else {
    note("other reply", r[10]);
  }
}

// ---- pacing ----

LinePacer::LinePacer(uint32_t bit_per_s, int speedup)
    : us_per_byte_(10.0 * 1e6 / double(bit_per_s ? bit_per_s : 115200) /
                   double(speedup < 1 ? 1 : speedup)) {}

size_t LinePacer::allowance(int64_t real_us) const {
  if (double(real_us) < free_at_us_) return 0;
  // A small burst, so that a fast line is not held to one write per byte.
  return 1 + size_t(2000.0 / us_per_byte_);
}

void LinePacer::sent(size_t n, int64_t real_us) {
  free_at_us_ = std::max(free_at_us_, double(real_us)) + double(n) * us_per_byte_;
}

int64_t LinePacer::wait_us(int64_t real_us) const {
  double d = free_at_us_ - double(real_us);
  return d > 0 ? int64_t(d) + 1 : 0;
}

}  // namespace lumo::sim
