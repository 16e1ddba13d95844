#pragma once
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

#include "messages/window.h"
#include "session/session.h"

// The serial port of the session, over POSIX termios. Each call stands for one Win32 result the
// protocol relies on; every call takes the session, works on `hComm` and never throws.
//
// Threads: the port is used by one thread at a time (the worker or the user-interface thread).
// close_port() may come from any thread: a write, read, poll or drain pending on the closed port
// then fails at once, and the descriptor is released only when that call has returned, so a
// pending call never reaches a port opened later under the same name.
//
// Time: the 3000 ms total time-outs are device milliseconds, turned into real time through
// `Session::clock->real_ms()`, so a fast test clock shrinks them as well.

namespace lumo {

inline constexpr uint32_t kQueueBytes = 2560;  // driver queue sizes, input and output
inline constexpr uint32_t kRecoveryBaudRate = 57600;

// The port table: entry n-1 is the device behind "COMn" ("" when there is none). If `dir` (the
// working directory when empty) holds entries named COM1 ... COM9, the table is exactly those;
// otherwise COMn is the n-th of /dev/ttyUSB*, /dev/ttyACM*, /dev/ttyS*, numeric order in each.
QStringList port_table(const QString& dir = QString());

// True for "COM1" ... "COM9" exactly; no other name is ever opened.
bool is_port_name(const QString& name);

// Opens a tty for this process alone (flock LOCK_EX|LOCK_NB and TIOCEXCL), non-blocking, no
// controlling terminal, close-on-exec. nullptr when the device is missing or in use (Win32: the
// invalid handle of CreateFileA).
std::shared_ptr<PortDevice> open_tty(const QString& path, std::shared_ptr<Clock> clock);

// CreateFileA + SetupComm + Get/SetCommState (the session BaudRate, 8N1, RTS on) +
// Get/SetCommTimeouts (read total 3000, interval 5000, write total 3000) + PurgeComm(15).
// Opens `port_name` through `Session::port_opener` when set, else through the port table.
// Logs one line per step; on failure the port is closed again. True on success.
bool open_port(Session& s, Window& w);

// SetupComm + PurgeComm + the recovery profile (57600 bit/s, read interval 3000, read total 3000,
// write total 3000) + PurgeComm on the port already open, without re-opening it. On failure the
// port is closed. True on success.
bool reconfigure_port(Session& s, Window& w);

// CloseHandle when a port is open; `hComm` is empty afterwards. Closing with none open does
// nothing. Any thread.
void close_port(Session& s);

// WriteFile: writes n bytes within the write total time-out (3000 ms). False when no port, the
// port was closed or the line failed, or nothing could be written in time; a partial write is a
// success with *written < n. `written` may be null.
bool port_write(Session& s, const uint8_t* buf, uint32_t n, uint32_t* written);

// ClearCommError: the number of received bytes waiting (ComStat.cbInQue). `dwErrorFlags` is set
// to 0 before the call and gets the line error flags; `stat` the line status. With no port, or a
// port that fails, returns 0 with the flags 0 and the status cleared. Never waits.
uint32_t port_queued(Session& s, uint32_t* dwErrorFlags = nullptr, ComStat* stat = nullptr);

// ReadFile: returns when n bytes have arrived or 3000 ms after the call with what arrived by
// then; a short count (even 0) is still a success. False when no port, the port was closed or
// the line failed (a dropped line). `got` may be null.
bool port_read(Session& s, uint8_t* buf, uint32_t n, uint32_t* got);

// FlushFileBuffers: returns when the output has been handed to the line, at most the write total
// time-out later, or at once when there is no port or it was closed.
void port_drain(Session& s);

}  // namespace lumo
