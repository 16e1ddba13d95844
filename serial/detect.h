#pragma once
#include "messages/window.h"
#include "session/session.h"

namespace lumo {

// Tries COM1 ... COM9: opens each port, probes it with "AT\r", identifies the model ("ATI0\r") and
// the version or boot loader ("ATI1\r"), then sends "AT&F\r". 1 when the device was found: the
// port stays open, Label20 shows the port and Label27 the device; rom_mode is set to 1 when the
// boot loader answered. 0 otherwise (the port is left open only when "AT&F\r" failed after a good
// identification). Worker thread; takes about 5.2 s per silent port.
int detect_device(Session& s, Window& w);

// "AT\r" awaiting its echo and "\r\nOK\r\n" in one read of 9 bytes; only logs the outcome.
void at_probe(Session& s, Window& w);

// "ATI1\r" on the open port: 1 when the version line was read; its first 6 characters are logged
// and shown in Label39. 0 otherwise; the port stays open. User-interface thread, up to about 5 s.
int query_version(Session& s, Window& w);

}  // namespace lumo
