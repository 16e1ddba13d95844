#pragma once
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include <netdb.h>
#include <netinet/in.h>

#include "ftp/ftp_reply.h"
#include "session/clock.h"

// The FTP client of the network path, over POSIX sockets: the settings, operations, values and
// events the wizard relies on of its FTP component, in active mode (PORT) only.
//
// Results are values: every operation returns true on success, false on failure, and keeps the
// reason in last_error(). Nothing throws.
//
// Threads: operations run on one thread at a time, normally the user-interface thread. From any
// other thread, while an operation runs, only connected(), bytes_total(), bytes_sent(),
// upload_running(), uploads_started(), close_at_once(), abort_transfer() and disconnect() may be
// called. An operation called while another is in progress (say, from the pump) fails with
// EBUSY. Events are raised on the thread that causes them: close_at_once() from the worker raises
// OnDisconnect on the worker.
//
// Time: every time-out is in device milliseconds, turned into real time by Clock::real_ms(), so
// a fast test clock shrinks them. Every wait is a poll() in slices of at most kSliceMs real
// milliseconds, and `pump` runs between slices, so the window keeps repainting.
//
// The password is never part of any status text, error text or reply line this client reports.

namespace lumo {

// Operation kinds carried by OnSuccess and OnFailure.
enum FtpKind : int {
  kFtpChangeDir = 0,
  kFtpList = 4,
  kFtpDownload = 8,
  kFtpUpload = 9,
  kFtpNameList = 13,
  kFtpCommand = 14,  // image type and raw commands
};

// Why the last operation failed. `number` is an errno value for socket and local-file failures
// (ETIMEDOUT for a time-out, ECONNRESET when the server dropped the control connection,
// ECANCELED after close_at_once() or abort_transfer(), EBUSY, ENOTCONN, EINVAL) or the
// server's reply code (400 ... 599) when it refused; `text` is the reason or the reply line.
struct FtpError {
  int number = 0;
  QString text;
};

// The component's events; each may be left empty.
struct FtpEvents {
  std::function<void()> OnConnect;     // logged in
  std::function<void()> OnDisconnect;  // control connection closed (QUIT, at once, or dropped)
  std::function<void(const QString& text)> OnStatus;  // progress text; never the password
  std::function<void()> OnConnectionFailed;           // before a failing connect() returns
  std::function<void()> OnPacketRecvd;                // a block of data arrived (download)
  std::function<void(int number, const QString& text)> OnError;  // socket error (errno)
  std::function<void(int kind)> OnSuccess;                       // after a successful operation
  // Before a failing change directory, image type, raw command, download or upload returns;
  // `handled` starts false and does not change what follows.
  std::function<void(bool& handled, int kind)> OnFailure;
};

class FtpClient {
 public:
  static constexpr int kSliceMs = 20;           // longest real wait between two pumps
  static constexpr size_t kChunk = 256 * 1024;  // bytes moved per send or receive at most

  // `clock` converts the device time-outs into real waits; it must outlive the client.
  explicit FtpClient(Clock& clock);
  // Closes at once. No operation may still run on another thread.
  ~FtpClient();
  FtpClient(const FtpClient&) = delete;
  FtpClient& operator=(const FtpClient&) = delete;

  // Settings: set on the operating thread before connect(); read by connect().
  QString Host;  // address or name; "host:port" or "[v6]:port" overrides Port
  uint16_t Port = 21;
  QString UserID;
  QString Password;    // sent with PASS only; never reported
  int TimeOut = 5000;  // ms: connect, each reply, opening a data connection, download progress
  // ms without progress while the file of an upload is sent, and for the reply after it. Long,
  // because the device may stop reading while it writes its flash memory; a stall is the upload
  // monitor's to judge, which gives up after 180 s.
  int UploadTimeOut = 300000;

  FtpEvents events;
  // Runs between wait slices on the operating thread (the window passes processEvents).
  std::function<void()> pump;

  // Opens the control connection within TimeOut, reads the greeting, sends "USER" with UserID
  // and, when the server answers 331, "PASS" with Password. True when logged in (raises
  // OnConnect). Fails (after OnConnectionFailed) when the host cannot be reached in time, the
  // server refuses the login or already connected (EISCONN).
  bool connect();

  // True while the control connection is logged in and not known to be closed by the server.
  // Any thread; never waits.
  bool connected() const;

  // Sends "QUIT", waits for its reply (TimeOut at most) and closes the control connection; raises
  // OnDisconnect. Does nothing when not connected. Called while an operation runs (from another
  // thread or the pump), QUIT cannot be sent in between: it acts as close_at_once(). True when
  // the connection is closed afterwards.
  bool disconnect();

  // Closes the control and data connections at once, without "QUIT", and prepares a fresh
  // connection for the next connect(). An operation in progress on another thread fails with
  // ECANCELED within one wait slice. connected() is false at once. Raises OnDisconnect. Any
  // thread.
  void close_at_once();

  // "CWD path". Fails on a 4xx or 5xx reply. Kind kFtpChangeDir.
  bool change_dir(const QString& path);

  // "TYPE I" (8-bit image transfers). Fails on a 4xx or 5xx reply. Kind kFtpCommand.
  bool image_type();

  // Sends `command` character for character (UTF-8, so ASCII as it is) with CR LF and reads its
  // reply, whose first line becomes last_reply_line(). Fails on a 4xx or 5xx reply, or when the
  // text is empty or holds CR, LF or NUL (EINVAL; nothing is sent). Kind kFtpCommand. Names,
  // paths and the login values are refused the same way, so no text can smuggle in a command.
  bool raw_command(const QString& command);

  // First line of the reply to the last command sent, as received (reply code included, without
  // CR LF; Latin-1, one character per byte, so positions count bytes).
  QString last_reply_line() const;

  // "RETR remote_name" from the current remote directory into `local_path`. The bytes go into a
  // temporary file in the same folder that replaces `local_path` only when the transfer
  // succeeded, so a failure leaves an older file there untouched. bytes_total() counts the bytes
  // received. Kind kFtpDownload.
  bool download(const QString& remote_name, const QString& local_path);

  // "STOR remote_name" of the local file `local_path` into the current remote directory, sent in
  // chunks of kChunk bytes at most (the file is never held in memory). Sets bytes_total() to the
  // file's size and bytes_sent() to 0 as it starts. Kind kFtpUpload.
  bool upload(const QString& local_path, const QString& remote_name);

  // Upload: the local file's size, set as the upload starts. Download: bytes received. Before
  // the first transfer, 0. Any thread.
  int64_t bytes_total() const { return bytes_total_.load(); }
  // Upload: file bytes handed to the data connection so far. Any thread.
  int64_t bytes_sent() const { return bytes_sent_.load(); }
  // True from the moment an upload has set bytes_total() until it returns. Any thread.
  bool upload_running() const { return upload_running_.load(); }
  // How many uploads have started since the client was made. Any thread.
  uint32_t uploads_started() const { return uploads_started_.load(); }

  // Stops the data transfer in progress: its data connection closes, "ABOR" is sent, and the
  // transfer fails with ECANCELED. Without a transfer in progress it does nothing. Any thread.
  void abort_transfer();

  // Reason of the last failure (number 0 after a success).
  FtpError last_error() const;

 private:
  enum class Wait { Ready, TimedOut, Cancelled, Aborted, Failed };
  struct Op;
  struct Quiet;

  bool begin_op();
  void end_op();
  bool require_connected();
  int64_t deadline(int device_ms) const;
  void maybe_pump();
  Wait wait_fd(int fd, short events, int64_t deadline_ms, int fd2 = -1, short* revents = nullptr,
               short* revents2 = nullptr);
  bool wait_ok(Wait w, const QString& what);

  bool resolve(const std::string& host, uint16_t port, int64_t deadline_ms, addrinfo** out);
  bool open_connection(const std::string& host, uint16_t port);
  bool login();
  bool send_line(const std::string& line, const QString& shown);
  bool receive_control();
  FtpReplyReader::Result take_reply(FtpReply& reply);
  bool read_reply(FtpReply& reply, int timeout_ms);
  bool command(const std::string& line, FtpReply& reply, int timeout_ms = -1);
  bool simple_command(const std::string& line, int kind);

  bool open_data(const std::string& line, FtpReply& final_reply, bool& have_final);
  bool end_transfer(FtpReply& final_reply, bool have_final, int timeout_ms);
  void abort_data(bool have_final);
  void keep_send_error(FtpReply& final_reply, bool have_final);

  void fail_socket(int err, const QString& what);
  void fail_quiet(int err, const QString& what);
  void fail_reply(const FtpReply& reply);
  bool fail_op(int kind);
  bool succeed(int kind);
  void lost_control();
  void status(const QString& text);
  QString scrub(const QString& text) const;
  void close_all_locked();

  Clock& clock_;

  // The descriptors' lifetime: an operation uses them without the lock while busy_, and only it
  // closes them then; other threads may only shut them down, so no descriptor is reused while in
  // use.
  mutable std::mutex mu_;
  int ctl_fd_ = -1;
  int data_fd_ = -1;
  int listen_fd_ = -1;
  bool busy_ = false;
  bool drop_pending_ = false;
  int wake_fd_ = -1;  // eventfd: makes a waiting poll() return at once

  mutable std::atomic<bool> connected_{false};
  std::atomic<bool> cancel_{false};  // close_at_once() while busy
  std::atomic<bool> abort_{false};
  std::atomic<bool> transferring_{false};
  std::atomic<int64_t> bytes_total_{0};
  std::atomic<int64_t> bytes_sent_{0};
  std::atomic<bool> upload_running_{false};
  std::atomic<uint32_t> uploads_started_{0};

  FtpReplyReader reader_;
  QString last_reply_line_;
  FtpError error_;
  int64_t last_pump_ms_ = 0;
  int quiet_ = 0;           // > 0: socket errors of a best-effort exchange raise no OnError
  sockaddr_in ctl_peer_{};  // the server's address: the only peer a data connection may have
};

}  // namespace lumo
