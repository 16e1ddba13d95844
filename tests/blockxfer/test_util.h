#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace lumo::test {

inline std::vector<uint8_t> ascii(const std::string& s) { return {s.begin(), s.end()}; }

inline std::vector<uint8_t> pattern_bytes(size_t n) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7 + 3);
  return b;
}

inline std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

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
