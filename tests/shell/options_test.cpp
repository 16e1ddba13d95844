#include <gtest/gtest.h>

#include "app/options.h"

namespace lumo {
namespace {

struct OptionsCase {
  const char* name;
  bool present;
  QByteArray bytes;
  bool ok;
  bool diagnostic;
  uint32_t baud;
  int32_t wait_count;
  QStringList log;
};

class OptionsFile : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(OptionsFile, GivesTheSettingsAndLogLines) {
  const OptionsCase& c = GetParam();
  const StartOptions o = parse_options(c.present, c.bytes);
  EXPECT_EQ(o.ok, c.ok);
  EXPECT_EQ(o.log_lines, c.log);
  if (!c.ok) {
    EXPECT_FALSE(o.error.isEmpty());
    return;
  }
  EXPECT_EQ(o.opt_bytes[0] == '1', c.diagnostic);
  EXPECT_EQ(o.BaudRate, c.baud);
  EXPECT_EQ(o.wait_count, c.wait_count);
}

QByteArray bytes(std::initializer_list<int> b) {
  QByteArray out;
  for (int v : b) out.append(char(v));
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionsFile,
    ::testing::Values(
        OptionsCase{"missing", false, {}, true, false, 115200, 100, {"no input"}},
        OptionsCase{"empty", true, "", true, false, 115200, 100, {}},
        OptionsCase{"only_diagnostic", true, "1", true, true, 115200, 100, {}},
        OptionsCase{"full", true, "119050", true, true, 57600, 50, {"57600", "050", "50"}},
        OptionsCase{"speed_38400_no_number", true, "02", true, false, 38400, 100, {"38400"}},
        OptionsCase{"speed_115200_logged", true, "00", true, false, 115200, 100, {"115200"}},
        OptionsCase{"marker_8_no_number", true, "108100", true, true, 115200, 100, {"115200"}},
        OptionsCase{"unknown_speed_silent", true, "07", true, false, 115200, 100, {}},
        OptionsCase{"longer_file", true, "119050\r\n777", true, true, 57600, 50,
                    {"57600", "050", "50"}},
        OptionsCase{"two_digits", true, "11905", true, true, 57600, 5, {"57600", "05", "5"}},
        OptionsCase{"zero_byte_ends_number", true, bytes({'0', '2', '9', '7', 0, '5'}), true,
                    false, 38400, 7, {"38400", "7", "7"}},
        OptionsCase{"three_nines", true, "009999", true, false, 115200, 999,
                    {"115200", "999", "999"}},
        // The sender divides by this value and pauses for it: below 1 the default stays.
        OptionsCase{"zero_keeps_default", true, "009000", true, false, 115200, 100,
                    {"115200", "000", "100"}},
        OptionsCase{"negative_keeps_default", true, "009-50", true, false, 115200, 100,
                    {"115200", "-50", "100"}},
        OptionsCase{"not_a_number", true, "0099x9", false, false, 0, 0, {"115200", "9x9"}},
        OptionsCase{"empty_number", true, "119", false, false, 0, 0, {"57600", ""}},
        OptionsCase{"empty_number_zero_byte", true, bytes({'1', '1', '9', 0, '5', '0'}), false,
                    false, 0, 0, {"57600", ""}}),
    [](const ::testing::TestParamInfo<OptionsCase>& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace lumo
