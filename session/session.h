#pragma once
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "session/clock.h"
#include "session/handles.h"

namespace lumo {

class Ttransmit;
class Tcomport;

// All state of one run of the wizard, in the order the record declares it. Fields that cross
// threads are single bytes or 32-bit words written whole (atomics here).
struct Session {
  Ttransmit* transmit_thread = nullptr;   // worker started last; never used to free it
  Tcomport* comport_thread = nullptr;     // watchdog started last
  uint8_t link_mode = 0;                  // 0 none, 1 network, 2 serial
  uint8_t config_menu = 0;                // 1 = the menu chose the configuration transfer
  uint8_t job_mode = 0;                   // job of the next worker: 1..5, 0 none
  std::atomic<uint8_t> rom_mode{0};       // 1 = the device runs its boot loader
  uint8_t backup_chosen = 0;              // 1 = a backup target passed its test
  std::atomic<uint8_t> config_resend{0};  // 1 while job 2 sends the backup back
  std::atomic<uint8_t> send_result{0};    // last result of the serial sender
  std::atomic<uint8_t> upload_done{0};    // network firmware upload returned successfully
  std::atomic<uint8_t> scan_running{0};   // serial detection in progress
  std::array<uint8_t, 6> opt_bytes{};     // first six bytes of the options file
  uint8_t backup_result = 0;              // network backup: 1 saved, 2 no /usr, 0 failed
  std::atomic<uint8_t> backup_done{0};    // configuration backed up since the last menu choice
  std::atomic<int32_t> tbsheet{0};        // visible wizard page
  std::atomic<int32_t> xfer_page{0};      // 7 = send firmware, 14 = send configuration
  FileHandle hSaveFile;                   // backup file while the receiver writes it
  int32_t msg_answer = 0;                 // answer of the exit confirmation; 6 = Yes
  int32_t poll_count = 0;                 // scratch: reply-wait counter
  int32_t esc_pos = 0;                    // scratch
  int32_t port_index = 0;                 // number of the port detection tries
  FileHandle hFile;                       // local file the serial sender reads
  std::atomic<int32_t> progress_max{0};   // byte count at which a network upload is complete
  int32_t wait_count = 0;                 // poll interval (ms) of the sender's reply wait
  uint32_t F_size = 0;                    // total size of the file in transfer
  uint32_t wire_bytes = 0;                // bytes written to the port in this transfer
  uint32_t BaudRate = 0;                  // serial speed in bit/s
  QString config_path;
  QString firmware_path;
  QString config_name;
  QString firmware_name;
  QString syst_reply;
  QString fw_version;
  uint8_t ftp_error = 0;
  QString port_name;
  PortSlot hComm;  // the open serial port; empty when closed
  Dcb dcb;
  CommTimeouts timeouts;
  QString msg_caption;
  QString msg_text;
  uint16_t msg_flags = 0;
  uint32_t file_size = 0;

  // Not part of the run's state: the one clock every pause goes through, and how a port name
  // becomes an open line (empty: the system's port table).
  std::shared_ptr<Clock> clock = std::make_shared<RealClock>();
  std::function<OpenedPort(const QString& port_name)> port_opener;

  bool diagnostic_mode() const { return opt_bytes[0] == '1'; }
};

}  // namespace lumo
