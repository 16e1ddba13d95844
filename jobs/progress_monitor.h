#pragma once
#include <cstdint>
#include <functional>

#include "jobs/job_host.h"
#include "session/session.h"

namespace lumo {

// What the progress monitor reads of the FTP client while an upload runs on the user-interface
// thread; every call is safe from the worker thread.
class UploadProgress {
 public:
  virtual ~UploadProgress() = default;
  virtual bool connected() const = 0;
  // Size of the file being uploaded; below 0 while no upload has started.
  virtual int64_t bytes_total() const = 0;
  // File bytes handed to the data connection so far by the current upload.
  virtual int64_t bytes_sent() const = 0;
  // The stall-time calls.
  virtual void close_at_once() = 0;
  virtual void abort_transfer() = 0;
  virtual void disconnect() = 0;
};

struct MonitorTiming {
  int start_delay_ms = 12000;  // normal mode only; the log line says ten seconds
  int connected_step_ms = 500;
  int poll_ms = 1000;
  int stall_polls = 180;
};

// Watches a network firmware upload: moves the progress bar and, when the byte count has not
// changed for `stall_polls` polls, tells the user, drops the connection and ends the program
// with status 3 through `end_program`. Returns when the upload is done, the count reached the
// completion mark, or `stop()` returned true.
void monitor_upload(Session& s, JobHost& h, UploadProgress& ftp, const std::function<bool()>& stop,
                    const std::function<void()>& end_program, const MonitorTiming& t = {});

}  // namespace lumo
