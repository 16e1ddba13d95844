#include <gtest/gtest.h>

#include <set>

#include "messages/catalogue.h"

namespace lumo {
namespace {

struct Expected {
  const Message* message;
  const char* caption;
  const char* text;
  uint16_t flags;
};

// The texts as the users of the device know them, typed once here so that a slip in the
// catalogue shows.
const Expected kExpected[] = {
    {&msg::port_not_found, "接続エラー",
     "ZORVELが接続されているポートが見つかりません。\r\n\r\nケーブルが正しく接続されているかどうか、\r\n"
     "ZORVELの電源が入っているかどうか、\r\n他のソフトがZORVELを使用していないかどうか\r\nをご確認ください。",
     16},
    {&msg::connection_lost, "エラー", "ZORVELとの接続が切れました。\r\n　もう一度はじめからやり直してください。", 16},
    {&msg::transfer_error_1, "エラー", "ファイル転送エラー。#1#\r\n設定ファイルを取得できませんでした。", 16},
    {&msg::transfer_error_2, "エラー", "ファイル転送エラー。#2#\r\n　もう一度はじめからやり直してください。", 16},
    {&msg::transfer_error_3, "エラー", "ファイル転送エラー。#3#\r\n設定ファイルの送信ができませんでした。", 16},
    {&msg::transfer_error_7, "エラー", "ファイル転送エラー。#7#\r\n設定ファイルを取得できませんでした。", 16},
    {&msg::transfer_error_8, "エラー", "ファイル転送エラー。#8#\r\nもう一度はじめからやり直してください。", 16},
    {&msg::transfer_error_9, "エラー",
     "ファイル転送エラー。#9#\r\n10分待った後、再びユーティリティを起動させてログインしてください。\r\n"
     "ZORVELの電源をOFF,ONする場合はローディングモードになります。",
     16},
    {&msg::transfer_error_10, "エラー", "ファイル転送エラー。#10#\r\nもう一度はじめからやり直してください。", 16},
    {&msg::transfer_error_11, "エラー", "ファイル転送エラー。#11#\r\n設定ファイルの送信ができませんでした。", 16},
    {&msg::transfer_error_12, "エラー", "ファイル転送エラー。#12#\r\n設定ファイルの送信ができませんでした。", 16},
    {&msg::transfer_error_16, "エラー", "ファイル転送エラー。#16#\r\n設定ファイルを取得できませんでした。", 16},
    {&msg::config_broken_no_usr, "エラー", "設定ファイルがこわれており取得できませんでした。", 64},
    {&msg::device_busy, "エラー",
     "設定ファイルがこわれているか、\r\n他のポートで使用中です。\r\nまず、バージョンアップをしてください。", 16},
    {&msg::download_refused, "エラー",
     "設定ファイルがこわれているか、他のポートでバージョンアップ中です。\r\n"
     "他のポートが使用中でなければバージョンアップ可能です。",
     16},
    {&msg::exit_confirm, "ルモバージョンアップ", "ルモバージョンアップを終了します。よろしいですか？", 36},
    {&msg::login_failed, "エラー",
     "ケーブルが正しく接続されているかどうか、\r\nIPアドレスやパスワードに間違いがないかどうか、\r\n"
     "ネットワークの設定に間違いがないかどうか\r\nをご確認下さい。",
     16},
    {&msg::network_backup_saved, "バックアップ終了", "\r\nこのファイルに設定ファイルのバックアップを行いました。", 64},
    {&msg::serial_backup_saved, "バックアップ終了", "設定ファイルのバックアップが終了しました。", 64},
    {&msg::backup_folder_refused, "エラー",
     "このフォルダにはバックアップファイルは作成できません。\r\n他のフォルダを選択してください。", 16},
    {&msg::firmware_incomplete, "ファイルチェックエラー",
     "選択されたファームウェア・ファイルが完全ではありません。\r\nもう一度ダウンロードを行ってください。", 16},
    {&msg::not_firmware, "ファイルチェックエラー",
     "選択されたファイルはZORVELのファームウェア・ファイルではありません。\r\nもう一度ご確認ください。", 16},
    {&msg::not_config, "ファイルチェックエラー",
     "選択されたファイルはZORVELの設定ファイルではありません。\r\nもう一度ご確認ください。", 16},
};

TEST(MessageCatalogue, EveryMessageHasItsCaptionTextAndStyle) {
  for (const Expected& e : kExpected) {
    SCOPED_TRACE(e.message->id);
    EXPECT_EQ(e.message->caption_text(), QString::fromUtf8(e.caption));
    EXPECT_EQ(e.message->body(), QString::fromUtf8(e.text));
    EXPECT_EQ(e.message->flags, e.flags);
  }
}

TEST(MessageCatalogue, ListsEveryMessageOnceWithAUniqueName) {
  std::set<const Message*> expected;
  for (const Expected& e : kExpected) expected.insert(e.message);
  std::set<const Message*> listed;
  std::set<std::string> ids;
  for (const Message* m : message_catalogue()) {
    EXPECT_TRUE(listed.insert(m).second) << m->id;
    EXPECT_TRUE(ids.insert(m->id).second) << m->id;
  }
  EXPECT_EQ(listed, expected);
}

TEST(MessageCatalogue, IdeographicSpaceOnlyWhereTheTextsHaveIt) {
  const QChar ideographic(0x3000);
  EXPECT_TRUE(msg::transfer_error_2.body().contains(ideographic));
  EXPECT_TRUE(msg::connection_lost.body().contains(ideographic));
  for (const Message* m : {&msg::transfer_error_8, &msg::transfer_error_10})
    EXPECT_FALSE(m->body().contains(ideographic)) << m->id;
}

}  // namespace
}  // namespace lumo
