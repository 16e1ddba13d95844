#pragma once
#include <QString>

#include <cstdint>
#include <span>

namespace lumo {

// Message styles.
enum : uint16_t {
  kStylePlain = 0,      // no icon, OK: the plain box of a socket error
  kStyleError = 16,     // error icon, OK
  kStyleQuestion = 36,  // question icon, Yes and No
  kStyleInfo = 64,      // information icon, OK
};

// Answers.
enum : int { kAnswerOk = 1, kAnswerYes = 6, kAnswerNo = 7 };

struct Message {
  const char* id;       // stable name, for tests and the command line
  const char* caption;  // UTF-8
  const char* text;     // UTF-8; for network_backup_saved the text follows the path
  uint16_t flags;

  QString caption_text() const { return QString::fromUtf8(caption); }
  QString body() const { return QString::fromUtf8(text); }
};

// Every message box of the system, in one place.
namespace msg {
extern const Message port_not_found;
extern const Message connection_lost;
extern const Message transfer_error_1;
extern const Message transfer_error_2;
extern const Message transfer_error_3;
extern const Message transfer_error_7;
extern const Message transfer_error_8;
extern const Message transfer_error_9;
extern const Message transfer_error_10;
extern const Message transfer_error_11;
extern const Message transfer_error_12;
extern const Message transfer_error_16;
extern const Message config_broken_no_usr;
extern const Message device_busy;
extern const Message download_refused;
extern const Message exit_confirm;
extern const Message login_failed;
extern const Message network_backup_saved;  // text: config_path followed by this
extern const Message serial_backup_saved;
extern const Message backup_folder_refused;
extern const Message firmware_incomplete;
extern const Message not_firmware;
extern const Message not_config;
}  // namespace msg

std::span<const Message* const> message_catalogue();

}  // namespace lumo
