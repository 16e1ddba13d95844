#pragma once
#include "session/handles.h"

namespace lumo::test {

// A line for tests that play its bytes: every setting is taken as given, so a fake says only
// how it polls, reads, writes and closes.
class SettingsFreePort : public PortDevice {
 public:
  void setup_queues(uint32_t, uint32_t) override {}
  void get_state(Dcb&) override {}
  bool set_state(const Dcb&) override { return true; }
  void get_timeouts(CommTimeouts&) override {}
  bool set_timeouts(const CommTimeouts&) override { return true; }
  bool purge() override { return true; }
  void drain() override {}
};

}  // namespace lumo::test
