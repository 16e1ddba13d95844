#pragma once
#include <QByteArray>
#include <QString>

#include "session/options.h"

namespace lumo {

inline constexpr char kOptionsFileName[] = "VerUp_in.txt";

// Reads the options file at `path` (normally "VerUp_in.txt" in the working directory).
StartOptions read_options_file(const QString& path);

// Interprets the first bytes of an options file; `present` is false when the file could not be
// opened.
StartOptions parse_options(bool present, const QByteArray& head);

}  // namespace lumo
