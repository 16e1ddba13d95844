#pragma once

namespace lumo {

// Texts the Next handler and the job endings write again.
namespace texts {
extern const char* const version_frame;       // Label26, normal
extern const char* const rom_mode_warning;    // Label26, ROM mode (red)
extern const char* const file_version_frame;  // Label47
extern const char* const done_page1;          // Label36 as page-1 Next sets it
extern const char* const done_network_fw;     // Label36 after a network firmware upgrade
extern const char* const done_serial_fw;      // Label36 after a serial firmware upgrade
extern const char* const transfer_running;    // Label44 while a transfer runs
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
