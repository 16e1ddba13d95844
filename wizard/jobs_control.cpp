#include <QThread>

#include <algorithm>

#include "ftp/ftp_client.h"
#include "jobs/progress_monitor.h"
#include "jobs/ttransmit.h"
#include "wizard/tform1.h"

namespace lumo {

void TForm1::prune_threads() {
  std::erase_if(threads_, [this](const std::unique_ptr<QThread>& t) {
    if (!t->isFinished()) return false;
    if (t.get() == static_cast<QThread*>(transmit_thread)) transmit_thread = nullptr;
    if (t.get() == static_cast<QThread*>(comport_thread)) comport_thread = nullptr;
    return true;
  });
}

void TForm1::start_worker(int job) {
  prune_threads();
  job_mode = uint8_t(job);
  auto worker = std::make_unique<Ttransmit>(*this, *this);
  transmit_thread = worker.get();
  worker->start();
  threads_.push_back(std::move(worker));
}

void TForm1::start_watchdog() {
  auto watchdog = std::make_unique<Tcomport>(*this, *this);
  comport_thread = watchdog.get();
  watchdog->start();
  threads_.push_back(std::move(watchdog));
}

void TForm1::stop_worker() {
  if (transmit_thread) transmit_thread->requestInterruption();
}

bool TForm1::jobs_running() const {
  return std::any_of(threads_.begin(), threads_.end(),
                     [](const std::unique_ptr<QThread>& t) { return !t->isFinished(); });
}

bool TForm1::detection_running() const {
  return std::any_of(threads_.begin(), threads_.end(), [](const std::unique_ptr<QThread>& t) {
    auto* w = qobject_cast<Ttransmit*>(t.get());
    return w && w->job() == 5 && !w->isFinished();
  });
}

TForm1::~TForm1() {
  {
    std::lock_guard<std::mutex> g(handover_mu_);
    closing_ = true;
    handover_cv_.notify_all();
  }
  // A job in a serial wait fails at once on a closed port.
  hComm.close();
  if (NMFTP) NMFTP->close_at_once();
  for (auto& t : threads_) t->requestInterruption();
  for (auto& t : threads_) t->wait();
}

}  // namespace lumo
