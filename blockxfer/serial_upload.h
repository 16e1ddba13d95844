#pragma once
#include <cstdint>

#include "messages/window.h"
#include "session/session.h"

namespace lumo {

// Sends the local file `firmware_path` to the device over the open port `hComm`: the transfer
// command ("AT#!W0\r" for xfer_page 7, "AT#!W1\r" for 14), then data frames of up to 1024 bytes,
// stop-and-wait, each block sent at most four times, then the hang-up. Runs on the worker
// thread; logs and moves the progress bar (not while config_resend is 1).
// Result: 0 failed, 1 sent and hung up, 2 the device answered "BUSY". `hFile` is left open on
// failure and busy; the caller closes it.
uint8_t serial_upload(Session& s, Window& w);

}  // namespace lumo
