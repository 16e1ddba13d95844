#pragma once
#include <span>

namespace lumo {

// The window design: every control of every page with its place, type size and fixed text.
struct ControlDef {
  enum Kind { Title, Text, Panel, Button, Radio, Edit, Password, Image, Progress, Animate, Steps };
  enum Style : unsigned { Plain = 0, Red = 1, Wrap = 2, Right = 4, Center = 8, Bold = 16 };
  int page;
  Kind kind;
  const char* name;
  const char* parent;  // "" = the page itself, else a panel of the same page
  int x, y, w, h;
  int px;              // type size in pixels
  const char* text;    // fixed text; radio groups: items separated by "\n"; steps: the step lit
  unsigned style;
};

std::span<const ControlDef> page_design();

struct StartText {
  const char* name;
  const char* text;
};
// The texts the constructor puts on the pages.
std::span<const StartText> start_texts();

// Texts the Next handler and the job endings write again.
namespace texts {
extern const char* const version_frame;       // Label26, normal
extern const char* const rom_mode_warning;    // Label26, ROM mode (red)
extern const char* const file_version_frame;  // Label47
extern const char* const done_page1;          // Label36 as page-1 Next sets it
extern const char* const done_network_fw;     // Label36 after a network firmware upgrade
extern const char* const done_serial_fw;      // Label36 after a serial firmware upgrade
}  // namespace texts

// Captions of the buttons.
namespace captions {
extern const char* const back;           // "< 戻る (&B)"
extern const char* const back_finished;  // "< 戻る (&P)"
extern const char* const next;           // "次へ (&N) >"
extern const char* const next_page6;     // "次へ (&N)"
extern const char* const connect;        // "接続 (&N)"
extern const char* const run;            // "実行(&N) >"
extern const char* const run_backup;     // "実行 (&N) >"
extern const char* const first_page;     // "初期画面"
extern const char* const exit;           // "終了 (&E)"
extern const char* const select_file;    // "ファイル選択(&S)"
}  // namespace captions

}  // namespace lumo
