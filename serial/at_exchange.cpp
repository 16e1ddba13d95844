#include "serial/at_exchange.h"

#include <algorithm>
#include <cstring>

#include "serial/port.h"

namespace lumo {

void CollectedReply::store(uint8_t c) {
  if (size_t(stored_) >= kCapacity) return;
  bytes_[stored_] = c;
  ++stored_;
  // A trigger overwrites whatever an earlier block left at its position.
  size_ = stored_;
}

void CollectedReply::append(const uint8_t* data, uint32_t n, uint32_t at_most) {
  const size_t room = kCapacity - stored_;
  const size_t count = std::min<size_t>({n, at_most, room});
  if (count > 0) std::memcpy(bytes_.data() + stored_, data, count);
  size_ = stored_ + count;
}

bool CollectedReply::starts_with(std::string_view expected) const {
  if (expected.size() > size_) return false;
  return std::memcmp(bytes_.data(), expected.data(), expected.size()) == 0;
}

QString CollectedReply::text() const {
  const auto* end = std::find(bytes_.begin(), bytes_.begin() + size_, uint8_t(0));
  return QString::fromLatin1(reinterpret_cast<const char*>(bytes_.data()), end - bytes_.begin());
}

ExchangeOutcome run_exchange(Session& s, Window& w, const Exchange& x, const Recognise& recognise) {
  Clock& clock = *s.clock;
  const auto* cmd = reinterpret_cast<const uint8_t*>(x.command.data());
  if (!port_write(s, cmd, uint32_t(x.command.size()), nullptr)) {
    w.log_line(QString::fromUtf8(x.texts.write_failed));
    return {ExchangeEnd::WriteFailed};
  }
  if (x.drain) port_drain(s);

  Scanner scan;
  // The largest read of any exchange is 27 bytes; the block is sized with room to spare.
  std::array<uint8_t, 64> block{};
  for (;;) {
    int counter = x.data_wait;
    do {
      if (port_queued(s) >= 1) break;
      clock.pause(x.interval_ms);
      counter -= 1;
    } while (counter >= 0);
    if (counter <= 0) {
      w.log_line(QString::fromUtf8(x.texts.no_data));
      return {ExchangeEnd::NoData};
    }

    s.poll_count = 0;
    for (;;) {
      s.poll_count += 1;
      if (s.poll_count >= x.read_wait_limit) {
        w.log_line(QString::fromUtf8(x.texts.read_wait));
        return {ExchangeEnd::ReadWait};
      }
      if (port_queued(s) >= x.read_wait_bytes) break;
      clock.pause(100);
    }

    const int state = std::clamp(scan.state, 0, 2);
    const uint32_t want = std::min<uint32_t>(x.read_size[size_t(state)], uint32_t(block.size()));
    uint32_t got = 0;
    if (!port_read(s, block.data(), want, &got)) {
      w.log_line(QString::fromUtf8(x.texts.read_failed));
      return {ExchangeEnd::ReadFailed};
    }
    if (std::optional<int> r = recognise(scan, block.data(), got)) {
      return {ExchangeEnd::Completed, *r};
    }
  }
}

namespace {

constexpr ExchangeTexts kConnectTexts = {"COMMに書込み失敗", "データこないタイムアウト(CONNECT)",
                                         "タイムアウト。", "読み込みに失敗しました。"};

Exchange transfer_exchange(TransferCommand cmd) {
  Exchange x;
  x.read_size = {1, 8, 5};
  x.texts = kConnectTexts;
  switch (cmd) {
    case TransferCommand::FirmwareUpload:
      x.command = "AT#!W0\r";
      x.data_wait = 250;
      x.interval_ms = 200;
      break;
    case TransferCommand::ConfigUpload:
      x.command = "AT#!W1\r";
      x.data_wait = 250;
      x.interval_ms = 200;
      break;
    case TransferCommand::ConfigDownload:
      x.command = "AT#!R1\r";
      x.data_wait = 50;
      x.interval_ms = 100;
      break;
  }
  return x;
}

}  // namespace

ConnectResult transfer_command(Session& s, Window& w, TransferCommand cmd) {
  static constexpr std::string_view kConnect = "CONNECT\r\n";
  static constexpr std::string_view kBusy = "BUSY\r\n";
  const ExchangeOutcome out = run_exchange(
      s, w, transfer_exchange(cmd),
      [&w](Scanner& sc, const uint8_t* d, uint32_t got) -> std::optional<int> {
        if (got == 0) return std::nullopt;
        const uint8_t c = d[0];
        if (c == 'C') {
          sc.reply.store(c);
          sc.state = 1;
        } else if (c == 'O' && sc.state == 1) {
          sc.reply.append(d, got, 8);
          const bool ok = sc.reply.starts_with(kConnect);
          w.log_line(ok ? QStringLiteral("CONNECT受信") : QStringLiteral("CONNECT受信せず"));
          return int(ok ? ConnectResult::Connected : ConnectResult::Failed);
        } else if (c == 'B') {
          sc.reply.store(c);
          sc.state = 2;
        } else if (c == 'U' && sc.state == 2) {
          sc.reply.append(d, got, 5);
          const bool ok = sc.reply.starts_with(kBusy);
          w.log_line(ok ? QStringLiteral("BUSY受信") : QStringLiteral("BUSY受信せず"));
          return int(ok ? ConnectResult::Busy : ConnectResult::Failed);
        }
        return std::nullopt;
      });
  return out.end == ExchangeEnd::Completed ? ConnectResult(out.result) : ConnectResult::Failed;
}

}  // namespace lumo
