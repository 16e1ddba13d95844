#pragma once
#include <cstdint>

#include "messages/window.h"
#include "session/session.h"

namespace lumo {

// Fetches the device's configuration file into the backup file `config_path` (the backup-target
// dialog's file name): "AT#!R1\r", data frames each answered by one Ack or Nak, then the
// hang-up. The file is received into a temporary beside the target (held in hSaveFile) and moved
// into place only once the whole announced size arrived and the hang-up succeeded, so a failed or
// refused backup leaves an earlier backup exactly as it was. Runs on the user-interface thread;
// shows #7#, #8# or the completion box itself.
// Result: 0 failed, 1 received and hung up, 2 the device answered "BUSY".
uint8_t serial_backup(Session& s, Window& w);

}  // namespace lumo
