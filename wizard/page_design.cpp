#include "wizard/page_design.h"

namespace lumo {

namespace {

using C = ControlDef;
constexpr unsigned W = C::Wrap;

// Content starts right of the 150-pixel picture column.
constexpr int X = 172;
constexpr int TW = 400;

const ControlDef kDesign[] = {
    // Page 1: welcome, choice of the transport.
    {1, C::Image, "Image1", "", 8, 34, 150, 300, 0, "", 0},
    {1, C::Title, "Label5", "", X, 10, TW, 36, 27, "ルモバージョンアップ", 0},
    {1, C::Text, "Label71", "", 500, 2, 74, 16, 12, "V01.00", C::Right},
    {1, C::Text, "Label21", "", X, 50, TW, 22, 16, "ようこそルモバージョンアップへ!", 0},
    {1, C::Text, "Label23", "", X, 74, TW, 34, 12,
     "ルモバージョンアップはZORVEL2700KQ（以降ZORVELと記す）のファームウェアをバージョンアップします。",
     W},
    {1, C::Text, "Label24", "", X, 112, TW, 18, 13, "", 0},
    {1, C::Radio, "RadioGroup3", "", X, 132, 330, 58, 13,
     "10BASE-Tを用いたバージョンアップ\nRS-232CまたはUSBを用いたバージョンアップ", 0},
    {1, C::Text, "Label35", "", X, 198, TW, 160, 12, "", 0},

    // Page 2: check-list before a network upgrade.
    {2, C::Image, "Image2", "", 8, 34, 150, 300, 0, "", 0},
    {2, C::Title, "Label22", "", X, 10, TW, 36, 27, "バージョンアップ(10BASE-T)", 0},
    {2, C::Text, "Label31", "", X, 52, TW, 28, 21, "10BASE-Tを用いたバージョンアップ", 0},
    {2, C::Text, "Label37", "", X, 86, TW, 36, 13,
     "10BASE-Tケーブル接続によりZORVELのファームウェアをバージョンアップします。", W},
    {2, C::Text, "Label32", "", X, 130, TW, 200, 13, "", 0},

    // Page 3: the device's version; the firmware file.
    {3, C::Steps, "Panel5", "", 8, 34, 150, 300, 12, "1", 0},
    {3, C::Title, "Label1", "", X, 10, TW, 36, 27, "バージョン確認", 0},
    {3, C::Text, "Label26", "", X, 52, TW, 90, 15, "", 0},
    {3, C::Panel, "Panel1", "", X + 24, 72, 220, 46, 0, "", 0},
    {3, C::Text, "Label39", "Panel1", 10, 6, 200, 34, 18, "", C::Bold},
    {3, C::Text, "Label45", "", X, 146, TW, 50, 13,
     "お手元のファームウェア・ファイルのバージョンを調べるには、[ファイル選択]ボタンを押してファームウェア・ファイルを選択してください。",
     W},
    {3, C::Button, "Button23", "", X, 198, 130, 26, 12, "ファイル選択(&S)", 0},
    {3, C::Text, "Label47", "", X, 232, TW, 90, 15, "", 0},
    {3, C::Panel, "Panel3", "", X + 24, 252, 220, 46, 0, "", 0},
    {3, C::Text, "Label46", "Panel3", 10, 6, 200, 34, 18, "", C::Bold},

    // Page 4: address and password.
    {4, C::Image, "Image4", "", 8, 34, 150, 300, 0, "", 0},
    {4, C::Title, "Label2", "", X, 10, TW, 36, 27, "ログイン設定", 0},
    {4, C::Text, "Label14", "", X, 52, TW, 20, 15, "ZORVELと接続します。", 0},
    {4, C::Text, "Label15", "", X, 76, TW, 40, 13, "", 0},
    {4, C::Text, "Label6", "", X, 128, 110, 20, 13, "・ ＩＰアドレス", 0},
    {4, C::Edit, "HostnameEdit", "", X + 112, 126, 170, 24, 13, "192.168.1.1", 0},
    {4, C::Text, "Label7", "", X + 16, 152, 380, 18, 12, "（ローディングモード時は 192.168.1.1 を入力）", 0},
    {4, C::Text, "Label8", "", X, 184, 110, 20, 13, "・ パスワード", 0},
    {4, C::Password, "PasswordEdit", "", X + 112, 182, 170, 24, 13, "", 0},
    {4, C::Text, "Label38", "", X + 16, 208, 380, 18, 12, "（ローディングモード時は kelnup を入力）", 0},
    {4, C::Text, "Label74", "", X, 244, TW, 40, 13, "", 0},

    // Page 5: direction of the configuration transfer; two pictures on one spot.
    {5, C::Image, "Image10", "", 8, 34, 150, 300, 0, "", 0},
    {5, C::Image, "Image15", "", 8, 34, 150, 300, 0, "", 0},
    {5, C::Title, "Label3", "", X, 10, TW, 36, 27, "設定ファイルの転送", 0},
    {5, C::Text, "Label42", "", X, 56, TW, 40, 14, "", 0},
    {5, C::Radio, "RadioGroup2", "", X, 108, 340, 64, 13,
     "設定ファイルをZORVELからパソコンに転送\n設定ファイルをパソコンからZORVELに転送", 0},

    // Page 6: optional backup before the firmware.
    {6, C::Steps, "Panel6", "", 8, 34, 150, 300, 12, "2", 0},
    {6, C::Title, "Label4", "", X, 10, TW, 36, 27, "設定ファイルのバックアップ", 0},
    {6, C::Text, "Label10", "", X, 52, TW, 130, 13, "", 0},
    {6, C::Button, "Button4", "", X, 190, 130, 26, 12, "ファイル選択(&S)", 0},
    {6, C::Text, "Label11", "", X, 226, TW, 60, 13, "", W},

    // Page 7: the firmware transfer.
    {7, C::Steps, "Panel7", "", 8, 34, 150, 300, 12, "3", 0},
    {7, C::Title, "Label13", "", X, 10, TW, 36, 27, "バージョンアップ", 0},
    {7, C::Text, "Label17", "", X, 52, TW, 80, 14, "", 0},
    {7, C::Text, "Label19", "", X + 16, 70, TW - 16, 32, 12, "", W},
    {7, C::Text, "Label75", "", X, 200, TW, 40, 13, "", C::Red},

    // Page 8: a transfer is running.
    {8, C::Image, "Image8", "", 8, 34, 150, 300, 0, "", 0},
    {8, C::Title, "Label43", "", X, 10, TW, 36, 27, "ファイル転送中", 0},
    {8, C::Text, "Label44", "", X, 56, TW, 22, 14, texts::transfer_running, 0},
    {8, C::Progress, "ProgressBar1", "", X, 92, 313, 25, 0, "", 0},
    {8, C::Animate, "Animate1", "", X, 128, 272, 64, 0, "", 0},
    {8, C::Text, "Label73", "", X, 200, TW, 20, 13, "", 0},
    {8, C::Text, "Label76", "", X, 240, TW, 40, 13, "", C::Red},

    // Page 9: a transfer has finished.
    {9, C::Image, "Image9", "", 8, 34, 150, 300, 0, "", 0},
    {9, C::Title, "Label33", "", X, 10, TW, 36, 27, "ファイル転送終了", 0},
    {9, C::Text, "Label36", "", X, 60, TW, 70, 15, "", 0},
    {9, C::Text, "Label72", "", X, 150, TW, 22, 15, "ZORVELの電源を入れ直してください。", C::Red},

    // Page 11: check-list before a serial upgrade.
    {11, C::Image, "Image11p", "", 8, 34, 150, 300, 0, "", 0},
    {11, C::Title, "Label28", "", X, 10, TW, 36, 27, "バージョンアップ(RS-232C/USB)", 0},
    {11, C::Text, "Label40", "", X, 52, TW, 28, 21, "RS-232C, USBを用いたバージョンアップ", 0},
    {11, C::Text, "Label34", "", X, 90, TW, 220, 13, "", 0},

    // Page 12: the port and the device found.
    {12, C::Image, "Image12p", "", 8, 34, 150, 300, 0, "", 0},
    {12, C::Title, "Label29", "", X, 10, TW, 36, 27, "ZORVELの確認", 0},
    {12, C::Text, "Label30", "", X, 60, TW, 20, 14, "接続COMポート、接続機器の確認です。", 0},
    {12, C::Panel, "Panel2", "", X, 96, 340, 84, 0, "", 0},
    {12, C::Text, "Label9", "Panel2", 12, 14, 110, 22, 14, "・使用ポート", 0},
    {12, C::Text, "Label20", "Panel2", 130, 14, 200, 22, 14, "", C::Bold},
    {12, C::Text, "Label18", "Panel2", 12, 48, 110, 22, 14, "・接続機器", 0},
    {12, C::Text, "Label27", "Panel2", 130, 48, 200, 22, 14, "", C::Bold},

    // Page 13: configuration backup from the menu.
    {13, C::Image, "Image11", "", 8, 34, 150, 300, 0, "", 0},
    {13, C::Title, "Label48", "", X, 10, TW, 36, 27, "設定ファイルのバックアップ", 0},
    {13, C::Text, "Label49", "", X, 52, TW, 110, 13, "", 0},
    {13, C::Button, "Button21", "", X, 170, 130, 26, 12, "ファイル選択(&S)", 0},
    {13, C::Text, "Label53", "", X, 206, TW, 60, 13, "", W},

    // Page 14: configuration upload from the menu.
    {14, C::Image, "Image12", "", 8, 34, 150, 300, 0, "", 0},
    {14, C::Title, "Label50", "", X, 10, TW, 36, 27, "設定ファイルのアップロード", 0},
    {14, C::Text, "Label51", "", X, 52, TW, 60, 13, "", 0},
    {14, C::Button, "Button24", "", X, 122, 130, 26, 12, "ファイル選択(&S)", 0},
    {14, C::Text, "Label54", "", X, 158, TW, 60, 13, "", W},

    // Page 15: main menu.
    {15, C::Image, "Image15p", "", 8, 34, 150, 300, 0, "", 0},
    {15, C::Title, "Label25", "", X, 10, TW, 36, 27, "メインメニュー", 0},
    {15, C::Text, "Label41", "", X, 56, TW, 40, 14, "", 0},
    {15, C::Radio, "RadioGroup1", "", X, 108, 260, 64, 14, "バージョンアップ\n設定ファイルの転送", 0},
    {15, C::Text, "Label52", "", X, 190, TW, 20, 14, "[終了]ボタンを押すと終了します。", 0},
};

const StartText kStartTexts[] = {
    {"Label24", "バージョンアップを行うには以下の方法があります。"},
    {"Label35",
     "ご利用のポートを選択のうえ、[次へ(N)>]ボタンを押して\r\n下さい。\r\n（USBポートで簡易LAN接続時は「10BASE-Tを用いた\r\n"
     "バージョンアップ」を選択してください。なお、ローディング\r\nモード時はUSBポートはご利用できません。）   \r\n\r\n"
     "[終了]ボタンを押すと終了します。"},
    {"Label32",
     "以下の項目をご確認のうえ開始して下さい。\r\n\r\n・バージョンアップされたファームウェアファイルが\r\n　お手元にある。\r\n"
     "・パソコンのTCP/IP設定が正確に行われている。\r\n・ブラウザを使用したパスワードの設定が行われ\r\n　ている。 \r\n\r\n"
     "バージョンアップを始めるには[次へ(N)>]ボタンを\r\n押して下さい。"},
    {"Label26", "現在のZORVELのファームウェアのバージョンは\r\n\r\n\r\n\r\nです。"},
    {"Label15", "ZORVELのIPアドレス、パスワードを入力した後、\r\n接続ボタンを押して下さい。"},
    {"Label74", "重要：ZORVELにパスワードが設定されていないと\r\n　　　　ログインできません。"},
    {"Label42", "設定ファイルの操作を選択して[次へ(N)>]ボタンを\r\n押して下さい。"},
    {"Label10",
     "現在の設定が保存されている設定ファイル(cfg27kq.bin)を\r\nZORVELからパソコンに転送し、バックアップ作業を行います。\r\n"
     "ここで保存した設定ファイルはファームウェア・ファイルを\r\n転送後、自動的にZORVELに送信されます。\r\n\r\n"
     "[ファイル選択]ボタンを押してバックアップファイル名を指定\r\nしてください。"},
    {"Label17", "選択したファームウェアをZORVELに転送します。\r\n\r\n\r\n[実行]ボタンを押すと開始します。"},
    {"Label75", "重要：転送中はZORVELおよびパソコンの電源を\r\n　　　 切ったり、ケーブルを抜いたりしないで下さい。"},
    {"Label76", "重要：転送中はZORVELおよびパソコンの電源を\r\n　　　 切ったり、ケーブルを抜いたりしないで下さい。"},
    {"Label36", "ファイルは正常に転送されました。\r\n新しい設定を有効にするためには\r\nZORVELを再起動する必要があります。"},
    {"Label34",
     "以下の項目をご確認のうえ開始して下さい。\r\n\r\n・バージョンアップされたファームウェアファイルが\r\n　お手元にある。\r\n"
     "・ZORVELとパソコンがRS-232Cケーブル、または\r\n　USBケーブルで接続されている。\r\n・他のソフトがZORVELを使用していない。\r\n\r\n"
     "バージョンアップを始めるには[次へ(N)>]ボタンを\r\n押して下さい。"},
    {"Label49",
     "バックアップ作業を行います。\r\n\r\n[ファイル選択]ボタンを押してバックアップファイル名を\r\n指定してください。\r\n"
     "次に[実行(N)>]ボタンを押すと、ダウンロードが実行\r\nされ、設定ファイルが保存されます。"},
    {"Label51", "パソコンに保存されている設定ファイルをZORVEL\r\nに転送します。\r\n設定ファイルを選択した後、実行ボタンを押してください。"},
    {"Label41", "ZORVELに対する操作を選択して[次へ(N)>]ボタンを\r\n押して下さい。"},
};

}  // namespace

std::span<const ControlDef> page_design() { return kDesign; }
std::span<const StartText> start_texts() { return kStartTexts; }

}  // namespace lumo
