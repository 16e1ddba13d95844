#pragma once
#include <QThread>

#include "jobs/job_host.h"
#include "session/session.h"

namespace lumo {

// The transfer worker: runs the one job named by `job_mode` when it starts, then ends.
//   1 network upload progress monitor, 2 serial firmware upload and configuration re-send,
//   3 serial configuration upload, 4 serial configuration download, 5 serial detection.
// The window keeps the object until the thread has finished, so no reference to it dangles.
class Ttransmit : public QThread {
  Q_OBJECT
 public:
  Ttransmit(Session& s, JobHost& host);

  // The thread body.
  void Execute();
  // Page `tbsheet` made visible on the user-interface thread.
  void SyncShowPage();
  // The configuration download and its ending; runs on the user-interface thread.
  void SyncReceiveConfig();

  // The job this worker was started for.
  int job() const { return job_; }

 protected:
  void run() override { Execute(); }

 private:
  void firmware_upload();
  void config_upload();
  void detection();
  void finished_page(bool firmware);

  Session& s_;
  JobHost& h_;
  const int job_;
};

// The port-scan watchdog: after 51 s of scanning it tells the user that no device was found and
// gives the buttons back; the scan goes on. It ends as soon as `scan_running` is 0.
class Tcomport : public QThread {
  Q_OBJECT
 public:
  Tcomport(Session& s, JobHost& host) : s_(s), h_(host) {}
  void Execute();

 protected:
  void run() override { Execute(); }

 private:
  Session& s_;
  JobHost& h_;
};

}  // namespace lumo
