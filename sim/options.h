#pragma once
#include <QString>
#include <QStringList>

#include "sim/device.h"
#include "sim/ftp/ftp_server.h"

namespace lumo::sim {

struct SimOptions {
  QString dir;
  QString port = QStringLiteral("COM1");
  int speedup = 1;
  bool sample_files = false;  // write the sample firmware and configuration into dir
  DeviceConfig device;        // its block transfer and line speed included
  // The device's FTP server on 127.0.0.1: -1 none, 0 a free port, else that port.
  int ftp_port = -1;
  FtpServerOptions ftp;
};

// Parses zorvel-sim's command line (arguments[0] is the program). --help and --version print
// and exit. False with `error` on a bad option.
bool parse_options(const QStringList& arguments, SimOptions& out, QString* error);

// "\r", "\n", "\t", "\\" and "\xHH" in a reply given on the command line.
std::string unescape(const QString& text);

}  // namespace lumo::sim
