#include "messages/catalogue.h"

namespace lumo::msg {

#define PORT_NOT_FOUND_TEXT                                                         \
  "ZORVELが接続されているポートが見つかりません。\r\n\r\n"                          \
  "ケーブルが正しく接続されているかどうか、\r\nZORVELの電源が入っているかどうか、" \
  "\r\n他のソフトがZORVELを使用していないかどうか\r\nをご確認ください。"

const Message port_not_found{"port_not_found", "接続エラー", PORT_NOT_FOUND_TEXT, kStyleError};
const Message connection_lost{"connection_lost", "エラー",
                              "ZORVELとの接続が切れました。\r\n　もう一度はじめからやり直してください。",
                              kStyleError};
const Message transfer_error_1{"transfer_error_1", "エラー",
                               "ファイル転送エラー。#1#\r\n設定ファイルを取得できませんでした。",
                               kStyleError};
const Message transfer_error_2{"transfer_error_2", "エラー",
                               "ファイル転送エラー。#2#\r\n　もう一度はじめからやり直してください。",
                               kStyleError};
const Message transfer_error_3{"transfer_error_3", "エラー",
                               "ファイル転送エラー。#3#\r\n設定ファイルの送信ができませんでした。",
                               kStyleError};
const Message transfer_error_7{"transfer_error_7", "エラー",
                               "ファイル転送エラー。#7#\r\n設定ファイルを取得できませんでした。",
                               kStyleError};
const Message transfer_error_8{"transfer_error_8", "エラー",
                               "ファイル転送エラー。#8#\r\nもう一度はじめからやり直してください。",
                               kStyleError};
const Message transfer_error_9{
    "transfer_error_9", "エラー",
    "ファイル転送エラー。#9#\r\n10分待った後、再びユーティリティを起動させてログインしてください。"
    "\r\nZORVELの電源をOFF,ONする場合はローディングモードになります。",
    kStyleError};
const Message transfer_error_10{"transfer_error_10", "エラー",
                                "ファイル転送エラー。#10#\r\nもう一度はじめからやり直してください。",
                                kStyleError};
const Message transfer_error_11{"transfer_error_11", "エラー",
                                "ファイル転送エラー。#11#\r\n設定ファイルの送信ができませんでした。",
                                kStyleError};
const Message transfer_error_12{"transfer_error_12", "エラー",
                                "ファイル転送エラー。#12#\r\n設定ファイルの送信ができませんでした。",
                                kStyleError};
const Message transfer_error_16{"transfer_error_16", "エラー",
                                "ファイル転送エラー。#16#\r\n設定ファイルを取得できませんでした。",
                                kStyleError};
const Message config_broken_no_usr{"config_broken_no_usr", "エラー",
                                   "設定ファイルがこわれており取得できませんでした。", kStyleInfo};
const Message device_busy{"device_busy", "エラー",
                          "設定ファイルがこわれているか、\r\n他のポートで使用中です。\r\n"
                          "まず、バージョンアップをしてください。",
                          kStyleError};
const Message download_refused{"download_refused", "エラー",
                               "設定ファイルがこわれているか、他のポートでバージョンアップ中です。"
                               "\r\n他のポートが使用中でなければバージョンアップ可能です。",
                               kStyleError};
const Message exit_confirm{"exit_confirm", "ルモバージョンアップ",
                           "ルモバージョンアップを終了します。よろしいですか？", kStyleQuestion};
const Message login_failed{"login_failed", "エラー",
                           "ケーブルが正しく接続されているかどうか、\r\n"
                           "IPアドレスやパスワードに間違いがないかどうか、\r\n"
                           "ネットワークの設定に間違いがないかどうか\r\nをご確認下さい。",
                           kStyleError};
const Message network_backup_saved{"network_backup_saved", "バックアップ終了",
                                   "\r\nこのファイルに設定ファイルのバックアップを行いました。",
                                   kStyleInfo};
const Message serial_backup_saved{"serial_backup_saved", "バックアップ終了",
                                  "設定ファイルのバックアップが終了しました。", kStyleInfo};
const Message backup_folder_refused{"backup_folder_refused", "エラー",
                                    "このフォルダにはバックアップファイルは作成できません。\r\n"
                                    "他のフォルダを選択してください。",
                                    kStyleError};
const Message firmware_incomplete{"firmware_incomplete", "ファイルチェックエラー",
                                  "選択されたファームウェア・ファイルが完全ではありません。\r\n"
                                  "もう一度ダウンロードを行ってください。",
                                  kStyleError};
const Message not_firmware{"not_firmware", "ファイルチェックエラー",
                           "選択されたファイルはZORVELのファームウェア・ファイルではありません。"
                           "\r\nもう一度ご確認ください。",
                           kStyleError};
const Message not_config{"not_config", "ファイルチェックエラー",
                         "選択されたファイルはZORVELの設定ファイルではありません。\r\n"
                         "もう一度ご確認ください。",
                         kStyleError};

}  // namespace lumo::msg

namespace lumo {

std::span<const Message* const> message_catalogue() {
  using namespace msg;
  static const Message* const all[] = {
      &port_not_found,      &connection_lost,      &transfer_error_1,      &transfer_error_2,
      &transfer_error_3,    &transfer_error_7,     &transfer_error_8,      &transfer_error_9,
      &transfer_error_10,   &transfer_error_11,    &transfer_error_12,     &transfer_error_16,
      &config_broken_no_usr, &device_busy,         &download_refused,      &exit_confirm,
      &login_failed,        &network_backup_saved, &serial_backup_saved,   &backup_folder_refused,
      &firmware_incomplete, &not_firmware,         &not_config};
  return all;
}

}  // namespace lumo
