#pragma once
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace lumo {

// What start-up takes from the options file "VerUp_in.txt".
struct StartOptions {
  bool ok = true;               // false: the number text did not convert; start-up ends
  QString error;                // the conversion error, for the start-up box
  std::array<uint8_t, 6> opt_bytes{};
  uint32_t BaudRate = 115200;
  int32_t wait_count = 100;
  QStringList log_lines;        // in the order they are appended at start-up
};

}  // namespace lumo
