#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace lumo {

// A local file descriptor owned by the session. -1 means no handle, which is never closed.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(int fd) : fd_(fd) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  FileHandle(FileHandle&& o) noexcept : fd_(o.release()) {}
  FileHandle& operator=(FileHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~FileHandle() { close(); }

  bool is_open() const { return fd_ >= 0; }
  int get() const { return fd_; }
  void reset(int fd = -1);
  int release() {
    int f = fd_;
    fd_ = -1;
    return f;
  }
  // Closes the file if one is open; closing with none open does nothing.
  void close() { reset(-1); }

 private:
  int fd_ = -1;
};

// The settings record of a serial port: the fields the system sets. Every other line setting
// keeps what the port reported.
struct Dcb {
  uint32_t BaudRate = 0;
  uint8_t ByteSize = 8;
  uint8_t Parity = 0;    // 0 = none
  uint8_t StopBits = 0;  // 0 = one stop bit
  bool fParity = false;
  uint8_t fRtsControl = 0;  // 1 = RTS held on
};

// The time-out record of a serial port, in milliseconds of device time.
struct CommTimeouts {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
};

// The line status of a queue poll.
struct ComStat {
  bool fCtsHold = false;
  bool fDsrHold = false;
  bool fRlsdHold = false;
  bool fXoffHold = false;
  bool fXoffSent = false;
  bool fEof = false;
  bool fTxim = false;
  uint32_t fReserved = 0;
  uint32_t cbInQue = 0;
  uint32_t cbOutQue = 0;
};

// One open serial line. The termios implementation lives in serial/; unit tests may script one.
// Every call may come from the worker or the user-interface thread, one at a time; close() may
// come from another thread and makes a pending or later call fail without blocking.
class PortDevice {
 public:
  virtual ~PortDevice() = default;
  virtual void setup_queues(uint32_t in_bytes, uint32_t out_bytes) = 0;
  virtual void get_state(Dcb& dcb) = 0;
  virtual bool set_state(const Dcb& dcb) = 0;
  virtual void get_timeouts(CommTimeouts& t) = 0;
  virtual bool set_timeouts(const CommTimeouts& t) = 0;
  // Drops pending input and output.
  virtual bool purge() = 0;
  // Queue poll: fills the error flags and the status; false when the port is unusable.
  virtual bool clear_error(uint32_t& dwErrorFlags, ComStat& stat) = 0;
  // Bounded by the write total time-out; false on failure (a partial write is not a failure).
  virtual bool write(const uint8_t* buf, uint32_t n, uint32_t& written) = 0;
  // Returns when the output has been handed to the line.
  virtual void drain() = 0;
  // Returns what arrived within the read total time-out; a short count is still a success.
  virtual bool read(uint8_t* buf, uint32_t n, uint32_t& got) = 0;
  virtual void close() = 0;
};

// What opening a port yielded: a device, the invalid handle (no device), or a null handle, which
// the system also treats as a failure but logs differently.
struct OpenedPort {
  OpenedPort() = default;
  OpenedPort(std::nullptr_t) {}
  template <class D>
  OpenedPort(std::shared_ptr<D> d) : device(std::move(d)) {}
  static OpenedPort null_handle() {
    OpenedPort p;
    p.null = true;
    return p;
  }
  std::shared_ptr<PortDevice> device;
  bool null = false;
};

// The session's port handle: empty means no port. Safe to use from two threads: close() makes
// the device fail its pending call, and the descriptor is released only when no call uses it,
// so an operation never reaches a port opened later under the same number.
class PortSlot {
 public:
  std::shared_ptr<PortDevice> get() const {
    std::lock_guard<std::mutex> g(mu_);
    return dev_;
  }
  void set(std::shared_ptr<PortDevice> d) {
    std::shared_ptr<PortDevice> old;
    {
      std::lock_guard<std::mutex> g(mu_);
      old = std::move(dev_);
      dev_ = std::move(d);
    }
    if (old) old->close();
  }
  bool is_open() const { return get() != nullptr; }
  // Closes the port if one is open; closing with none open does nothing.
  void close() { set(nullptr); }

 private:
  mutable std::mutex mu_;
  std::shared_ptr<PortDevice> dev_;
};

}  // namespace lumo
