#pragma once
#include <QByteArray>
#include <QString>

// Files for trying the wizard against the simulator without a real device or firmware.

namespace lumo::sim {

inline constexpr const char* kSampleFirmware = "sample-firmware.bin";
inline constexpr const char* kSampleConfig = "sample-config.bin";

// A firmware image the wizard's check accepts: the version text `version` (7 bytes, "V" first
// and "." fourth) at offset 17, a patterned body and, as its last 16 bytes, the MD5 digest of
// everything before them. `size` is at least 40.
QByteArray sample_firmware(int size = 64 * 1024, const QByteArray& version = "V01.10 ");

// A configuration file: the marker "<ZNX27KQ>" at offsets 1 to 9, then text lines up to `size`
// bytes (at least 10).
QByteArray sample_config(int size = 3000);

// Writes sample-firmware.bin and sample-config.bin into `dir`, and the same configuration as
// the device's own cfg27kq.bin unless the folder already holds one (an earlier upload).
bool write_sample_files(const QString& dir, QString* error = nullptr);

}  // namespace lumo::sim
