#pragma once
#include <cstdint>

#include "messages/window.h"
#include "session/session.h"

// The two-stage wait for every received byte of a block transfer: a data wait polling the input
// queue with a fixed pause, then a read wait that reads the byte. Pauses go through s.clock.

namespace lumo {

enum class WaitRule {
  Strict,     // a byte first seen at the last poll (countdown 0) is a time-out
  Inclusive,  // a byte first seen at the last poll still counts
};

// Polls the queue from `countdown` down to 0, pausing `pause_ms` after each empty poll; a wait
// that times out has polled and paused countdown + 1 times. With `log_errors`, every poll that
// returns line error flags logs the port state. True when input is ready.
bool wait_for_input(Session& s, Window& w, int countdown, int pause_ms, WaitRule rule,
                    bool log_errors);

enum class ReadResult { Read, TimedOut, Failed };

// Reads k bytes once the queue shows one waiting: at most 49 polls 100 ms apart, counted in
// s.poll_count. A read that succeeds without a byte counts as nothing waiting.
ReadResult read_when_ready(Session& s, uint8_t* buf, uint32_t k);

}  // namespace lumo
