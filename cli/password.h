#pragma once
#include <QString>

namespace lumo::cli {

// The first line of `path`, without its line break. False with `error` when it cannot be read.
bool read_password_file(const QString& path, QString& password, QString* error);

// Asks on the controlling terminal with echo off and restores the terminal afterwards. False
// when there is no terminal to ask on.
bool read_password_terminal(QString& password);

}  // namespace lumo::cli
