#include "serial/line_control.h"

#include "serial/at_exchange.h"

namespace lumo {

namespace {

constexpr ExchangeTexts kHangUpTexts = {"COMMに書込み失敗", "データこないタイムアウトATH",
                                        "タイムアウト。", "読み込みに失敗しました。"};
constexpr ExchangeTexts kDefaultTexts = {"COMMに書込み失敗", "データこないタイムアウト",
                                         "タイムアウト。", "読み込みに失敗しました。"};

enum Reply { kMatched = 1, kNotMatched = 0, kError = 2 };

// A result-code reply E: its first character is the trigger, its second starts the block that
// completes it. `error_on_e` adds the escape's own rule: a reply starting "E" is an error.
Recognise result_code(std::string_view expected, uint32_t at_most, bool error_on_e) {
  return [=](Scanner& sc, const uint8_t* d, uint32_t got) -> std::optional<int> {
    if (got == 0) return std::nullopt;
    const uint8_t c = d[0];
    if (c == uint8_t(expected[0])) {
      sc.reply.store(c);
      sc.state = 1;
    } else if (c == uint8_t(expected[1]) && sc.state == 1) {
      sc.reply.append(d, got, at_most);
      return sc.reply.starts_with(expected) ? kMatched : kNotMatched;
    } else if (error_on_e && c == 'E') {
      return kError;
    }
    return std::nullopt;
  };
}

Exchange line_exchange(std::string_view command, int data_wait, uint32_t block,
                       const ExchangeTexts& texts) {
  Exchange x;
  x.command = command;
  x.data_wait = data_wait;
  x.interval_ms = 100;
  x.read_size = {1, block, 1};
  x.texts = texts;
  return x;
}

}  // namespace

int hang_up(Session& s, Window& w) {
  const int wait = s.rom_mode.load() == 1 ? 1000 : 50;

  ExchangeOutcome esc = run_exchange(s, w, line_exchange("+++", wait, 3, kHangUpTexts),
                                     result_code("OK\r\n", 3, true));
  if (esc.end != ExchangeEnd::Completed) return 0;
  if (esc.result == kError) {
    w.log_line(QStringLiteral("ERROR受信"));
    return 0;
  }
  if (esc.result != kMatched) {
    w.log_line(QStringLiteral("一致せず"));
    return 0;
  }
  w.log_line(QStringLiteral("一致"));

  ExchangeOutcome ath = run_exchange(s, w, line_exchange("ATH\r", wait, 11, kHangUpTexts),
                                     result_code("NO CARRIER\r\n", 11, false));
  if (ath.end != ExchangeEnd::Completed) return 0;
  if (ath.result != kMatched) {
    w.log_line(QStringLiteral("一致せず"));
    return 0;
  }
  w.log_line(QStringLiteral("一致"));
  return 1;
}

int factory_default(Session& s, Window& w) {
  ExchangeOutcome out = run_exchange(s, w, line_exchange("AT&F\r", 50, 3, kDefaultTexts),
                                     result_code("OK\r\n", 3, false));
  if (out.end != ExchangeEnd::Completed) return 0;
  if (out.result != kMatched) {
    w.log_line(QStringLiteral("AT&F NG"));
    return 0;
  }
  w.log_line(QStringLiteral("AT&F OK"));
  return 1;
}

}  // namespace lumo
