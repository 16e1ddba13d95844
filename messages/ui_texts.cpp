#include "messages/ui_texts.h"

namespace lumo {

namespace captions {
const char* const back = "< 戻る (&B)";
const char* const back_finished = "< 戻る (&P)";
const char* const next = "次へ (&N) >";
const char* const next_page6 = "次へ (&N)";
const char* const connect = "接続 (&N)";
const char* const run = "実行(&N) >";
const char* const run_backup = "実行 (&N) >";
const char* const first_page = "初期画面";
const char* const exit = "終了 (&E)";
const char* const select_file = "ファイル選択(&S)";
}  // namespace captions

namespace texts {
const char* const version_frame = "現在のZORVELのファームウェアのバージョンは\r\n\r\n\r\n\r\nです。";
const char* const rom_mode_warning =
    "\r\n現在のZORVELのファームウェアはこわれている\r\n可能性があります。\r\n"
    "ZORVELにファームウェア・ファイルを転送して下さい。";
const char* const file_version_frame = "お手元のファームウェアのバージョンは\r\n\r\n\r\n\r\nです。";
const char* const done_page1 =
    "ファイルは正常に転送されました。\r\n新しい設定を有効にするためにはZORVELを\r\n"
    "再起動する必要があります。";
const char* const done_network_fw =
    "ファイルは正常に転送されました。\r\n更新を有効にするためにはZORVELを再起動\r\n"
    "する必要があります。";
const char* const done_serial_fw =
    "ファイルは正常に転送されました。\r\n更新を有効にするためにはZORVELを\r\n"
    "再起動する必要があります。";
const char* const transfer_running = "ファイルの転送中です。しばらくお待ちください。";
}  // namespace texts

}  // namespace lumo
