#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace lumo::test {

inline std::vector<uint8_t> ascii(const std::string& s) { return {s.begin(), s.end()}; }

inline std::string hex(const std::vector<uint8_t>& b) {
  std::string out;
  char tmp[4];
  for (size_t i = 0; i < b.size(); ++i) {
    std::snprintf(tmp, sizeof tmp, i ? " %02X" : "%02X", b[i]);
    out += tmp;
  }
  return out;
}

}  // namespace lumo::test
