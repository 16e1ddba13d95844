#include "serial/detect.h"

#include <cstring>

#include "serial/at_exchange.h"
#include "serial/line_control.h"
#include "serial/port.h"

namespace lumo {

namespace {

constexpr std::string_view kModel = "ZNX27KQ\r\n";
constexpr std::string_view kVersionTemplate = "V01.00  ROM V0.00.05\r\n";
constexpr std::string_view kRom = "ROM";
const QString kDeviceName = QStringLiteral("ZORVEL 2700KQ");

constexpr ExchangeTexts kProbeTexts = {"COMMに書込み失敗", "タイムアウト。OK来ない(at)",
                                       "タイムアウト。end", "読み込みに失敗しました。"};
constexpr ExchangeTexts kModelTexts = {"COMMに書込み失敗(ATI0)", "データこないタイムアウト(ATI0)",
                                       "タイムアウト。(ATI0)", "読み込みに失敗しました。"};
constexpr ExchangeTexts kScanVersionTexts = {"COMMに書込み失敗(ATI1)",
                                             "データこないタイムアウト(ATI1)", "タイムアウト(ATI1)",
                                             "読み込みに失敗しました。"};
constexpr ExchangeTexts kVersionTexts = {"COMMに書込み失敗", "データこないタイムアウト",
                                         "タイムアウト。", "読み込みに失敗しました。"};

enum Identified { kMismatch = 0, kModelOk = 1, kVersionOk = 2, kRomMode = 3 };

Exchange exchange(std::string_view command, bool drain, int data_wait,
                  std::array<uint32_t, 3> sizes, const ExchangeTexts& texts) {
  Exchange x;
  x.command = command;
  x.drain = drain;
  x.data_wait = data_wait;
  x.interval_ms = 100;
  x.read_size = sizes;
  x.texts = texts;
  return x;
}

// The boot loader's branch shared by both scanners: "R" stored, then a block starting "O".
std::optional<int> rom_branch(Window& w, Scanner& sc, const uint8_t* d, uint32_t got) {
  sc.reply.append(d, got, 4);
  w.log_line(sc.reply.text());
  if (!sc.reply.starts_with(kRom)) {
    w.log_line(QStringLiteral("ROM一致せず"));
    return kMismatch;
  }
  return kRomMode;
}

Recognise model_scanner(Window& w) {
  return [&w](Scanner& sc, const uint8_t* d, uint32_t got) -> std::optional<int> {
    if (got == 0) return std::nullopt;
    const uint8_t c = d[0];
    if (c == uint8_t(kModel[1]) && sc.state == 0) {
      sc.reply.store(c);
      sc.state = 1;
      w.log_line(QStringLiteral("P受信"));
    } else if (c == uint8_t(kModel[2]) && sc.state == 1) {
      w.log_line(QStringLiteral("I0fLen=") + QString::number(got));
      sc.reply.append(d, got, 13);
      w.log_line(sc.reply.text());
      if (sc.reply.starts_with(kModel.substr(1, 5))) return kModelOk;
      w.log_line(QStringLiteral("ZORVEL一致せず"));
      return kMismatch;
    } else if (c == 'R') {
      sc.reply.store(c);
      sc.state = 2;
    } else if (c == 'O' && sc.state == 2) {
      return rom_branch(w, sc, d, got);
    }
    return std::nullopt;
  };
}

Recognise scan_version_scanner(Window& w) {
  return [&w](Scanner& sc, const uint8_t* d, uint32_t got) -> std::optional<int> {
    if (got == 0) return std::nullopt;
    const uint8_t c = d[0];
    if (c == uint8_t(kVersionTemplate[0])) {
      sc.reply.store(c);
      sc.state = 1;
    } else if (got >= 3 && d[2] == uint8_t(kVersionTemplate[3]) && sc.state == 1) {
      sc.reply.append(d, got, 25);
      const QString text = sc.reply.text();
      w.log_line(text);
      w.log_line(text.left(6));
      if (sc.reply.at(0) == uint8_t(kVersionTemplate[0]) &&
          sc.reply.at(3) == uint8_t(kVersionTemplate[3]))
        return kVersionOk;
      w.log_line(QStringLiteral("一致せず"));
      return kMismatch;
    } else if (c == 'R') {
      sc.reply.store(c);
      sc.state = 2;
    } else if (c == 'O' && sc.state == 2) {
      return rom_branch(w, sc, d, got);
    }
    return std::nullopt;
  };
}

void show_found(Session& s, Window& w) {
  w.log_line(s.port_name);
  w.set_text("Label20", s.port_name);
  w.set_text("Label27", kDeviceName);
}

// The boot loader answered: no factory default, the port stays open.
void rom_found(Session& s, Window& w) {
  show_found(s, w);
  s.rom_mode = 1;
}

enum class PortVerdict { NextPort, Found, NotFound };

PortVerdict try_port(Session& s, Window& w) {
  w.log_line(s.port_name);
  s.clock->pause(1000);
  at_probe(s, w);

  const ExchangeOutcome model =
      run_exchange(s, w, exchange("ATI0\r", true, 30, {1, 14, 10}, kModelTexts), model_scanner(w));
  switch (model.end) {
    case ExchangeEnd::WriteFailed:
    case ExchangeEnd::NoData:
      close_port(s);
      return PortVerdict::NextPort;
    case ExchangeEnd::ReadWait:
    case ExchangeEnd::ReadFailed:
      close_port(s);
      return PortVerdict::NotFound;
    case ExchangeEnd::Completed:
      break;
  }
  if (model.result == kRomMode) {
    rom_found(s, w);
    return PortVerdict::Found;
  }
  if (model.result != kModelOk) {
    close_port(s);
    return PortVerdict::NotFound;
  }

  const ExchangeOutcome version = run_exchange(
      s, w, exchange("ATI1\r", true, 30, {1, 25, 10}, kScanVersionTexts), scan_version_scanner(w));
  if (version.end == ExchangeEnd::Completed && version.result == kRomMode) {
    rom_found(s, w);
    return PortVerdict::Found;
  }
  if (version.end != ExchangeEnd::Completed || version.result != kVersionOk) {
    close_port(s);
    return PortVerdict::NotFound;
  }
  show_found(s, w);
  // A failed factory default leaves the port open; the worker closes it.
  return factory_default(s, w) == 1 ? PortVerdict::Found : PortVerdict::NotFound;
}

}  // namespace

void at_probe(Session& s, Window& w) {
  Exchange x = exchange("AT\r", false, 10, {9, 9, 9}, kProbeTexts);
  x.read_wait_limit = 10;
  x.read_wait_bytes = 9;
  run_exchange(s, w, x, [&w](Scanner& sc, const uint8_t* d, uint32_t got) -> std::optional<int> {
    w.log_line(QString::number(got));
    sc.reply.append(d, got, 9);
    w.log_line(sc.reply.text());
    constexpr std::string_view kOk = "\r\nOK\r\n";
    const bool ok = got >= 9 && std::memcmp(d + 3, kOk.data(), kOk.size()) == 0;
    w.log_line(ok ? QStringLiteral("OK") : QStringLiteral("OKではない"));
    return ok ? 1 : 0;
  });
}

int detect_device(Session& s, Window& w) {
  s.port_index = 0;
  for (;;) {
    s.port_index += 1;
    if (s.port_index > 9) return 0;
    s.port_name = QStringLiteral("COM") + QString::number(s.port_index);
    if (!open_port(s, w)) continue;
    switch (try_port(s, w)) {
      case PortVerdict::NextPort:
        continue;
      case PortVerdict::Found:
        return 1;
      case PortVerdict::NotFound:
        return 0;
    }
  }
}

int query_version(Session& s, Window& w) {
  const ExchangeOutcome out =
      run_exchange(s, w, exchange("ATI1\r", false, 50, {1, 27, 1}, kVersionTexts),
                   [&w](Scanner& sc, const uint8_t* d, uint32_t got) -> std::optional<int> {
                     if (got == 0) return std::nullopt;
                     if (d[0] == uint8_t(kVersionTemplate[0])) {
                       sc.reply.store(d[0]);
                       sc.state = 1;
                     } else if (got >= 3 && d[2] == uint8_t(kVersionTemplate[3]) && sc.state == 1) {
                       sc.reply.append(d, got, 21);
                       const QString text = sc.reply.text();
                       w.log_line(text);
                       w.log_line(text.left(6));
                       w.set_text("Label39", text.left(6));
                       return 1;
                     }
                     return std::nullopt;
                   });
  return out.end == ExchangeEnd::Completed ? out.result : 0;
}

}  // namespace lumo
