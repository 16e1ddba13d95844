#pragma once
#include <QString>

#include <cstdint>

namespace lumo {

// Firmware file: a version text at offsets 17..23 ("V" at 17, "." at 20) and, in its last 16
// bytes, the MD5 digest of everything before them.
struct FirmwareCheck {
  enum Outcome {
    CannotOpen,   // nothing to say to the user
    NotFirmware,  // the version test failed; no digest pass was made
    Incomplete,   // the digest differs
    Good,
  };
  Outcome outcome = CannotOpen;
  QString version;     // the version text, up to its first zero byte
  bool digest_pass = false;  // the whole file was read for the digest
  uint64_t total = 0;  // bytes read by the digest pass
};

// Streams the file through a 4096-byte buffer; never holds it whole.
FirmwareCheck check_firmware_file(const QString& path);

// Configuration file: the marker "<ZNX27KQ>" at offsets 1..9.
enum class ConfigCheck { CannotOpen, NoMarker, Good };
ConfigCheck check_config_file(const QString& path);

// Whether a backup can be written to `path`: a file can be created in its folder, and an
// existing file there can be opened for writing. Leaves an existing file exactly as it was and
// removes whatever it created for the test.
bool backup_target_writable(const QString& path);

}  // namespace lumo
