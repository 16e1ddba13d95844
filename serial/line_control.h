#pragma once
#include "messages/window.h"
#include "session/session.h"

// The AT dialogues that frame the device's data connection. Both run on the caller's thread, use
// the open port and never close it or repeat a command.

namespace lumo {

// "+++" awaiting "OK\r\n", then "ATH\r" awaiting "NO CARRIER\r\n"; each reply wait is 50 polls
// 100 ms apart, 1000 when rom_mode is 1. 1 when both were answered as expected, else 0 (an
// escape answered "E..." logs "ERROR受信" and sends no "ATH\r").
int hang_up(Session& s, Window& w);

// "AT&F\r" awaiting "OK\r\n" (50 polls 100 ms apart). 1 on "AT&F OK", else 0.
int factory_default(Session& s, Window& w);

}  // namespace lumo
