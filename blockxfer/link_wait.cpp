#include "blockxfer/link_wait.h"

#include "serial/port.h"

namespace lumo {

namespace {

void log_port_state(Window& w, uint32_t flags, const ComStat& st) {
  auto line = [&w](const char* label, qulonglong v) {
    w.log_line(QString::fromUtf8(label) + QString::number(v));
  };
  line("dwErrorFlags=", flags);
  line("ComStat.fCtsHold=", st.fCtsHold);
  line("ComStat.fDsrHold=", st.fDsrHold);
  line("ComStat.fRlsdHold=", st.fRlsdHold);
  line("ComStat.fXoffHold=", st.fXoffHold);
  line("ComStat.fXoffSent=", st.fXoffSent);
  line("ComStat.fEof=", st.fEof);
  line("ComStat.fTxim=", st.fTxim);
  line("ComStat.fReserved=", st.fReserved);
  line("ComStat.cbInQue=", st.cbInQue);
  line("ComStat.cbOutQue=", st.cbOutQue);
}

}  // namespace

bool wait_for_input(Session& s, Window& w, int countdown, int pause_ms, WaitRule rule,
                    bool log_errors) {
  int left = countdown;
  for (;;) {
    uint32_t flags = 0;
    ComStat st;
    uint32_t waiting = port_queued(s, &flags, &st);
    if (log_errors && flags != 0) log_port_state(w, flags, st);
    if (waiting >= 1) break;
    s.clock->pause(pause_ms);
    if (--left < 0) break;
  }
  return rule == WaitRule::Strict ? left > 0 : left >= 0;
}

ReadResult read_when_ready(Session& s, uint8_t* buf, uint32_t k) {
  s.poll_count = 0;
  for (;;) {
    if (++s.poll_count >= 50) return ReadResult::TimedOut;
    if (port_queued(s) >= 1) {
      uint32_t got = 0;
      if (!port_read(s, buf, k, &got)) return ReadResult::Failed;
      if (got == k) return ReadResult::Read;
    }
    s.clock->pause(100);
  }
}

}  // namespace lumo
