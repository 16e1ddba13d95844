#pragma once
#include <QHash>
#include <QThread>
#include <QWidget>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "jobs/job_host.h"
#include "session/options.h"
#include "session/session.h"
#include "wizard/controls.h"

class QListWidget;
class QPushButton;
class QStackedWidget;
class QLineEdit;
class QProgressBar;

namespace lumo {

class FtpClient;
class UploadProgress;

// A file dialog of the window: it keeps its last file name, as the transfers read it again.
struct FileDialog {
  QString Title;
  QString Filter;  // "description|pattern|description|pattern"
  QString FileName;
  bool OverwritePrompt = false;
};

// How the file dialogs reach the user; tests script the choice.
class FileChooser {
 public:
  virtual ~FileChooser() = default;
  // Returns false when the user cancels; on true `dialog.FileName` holds the choice.
  virtual bool open_file(FileDialog& dialog) = 0;
  virtual bool save_file(FileDialog& dialog) = 0;
};

// The main window: the wizard pages, the three buttons, the status line and the diagnostic log,
// with the session record of the run.
class TForm1 : public QWidget, public Session, public JobHost {
  Q_OBJECT

 public:
  explicit TForm1(const StartOptions& options, QWidget* parent = nullptr);
  ~TForm1() override;

  // The presenter and chooser default to real dialogs; tests replace them (not owned).
  void set_presenter(MessagePresenter* p);
  void set_chooser(FileChooser* c);

  // Window, callable from any thread: each call runs on the user-interface thread and the
  // caller waits until it has run.
  void log_line(const QString& line) override;
  using Window::message;
  int message(const QString& caption, const QString& text, uint16_t flags) override;
  void set_text(const char* control, const QString& text) override;
  void set_progress_max(int maximum) override;
  void set_progress(int position) override;
  int progress_maximum() override;
  void system_error_box(const QString& text) override;

  // Shows msg_caption / msg_text / msg_flags; the answer. User-interface thread only.
  int show_message();

  // JobHost, callable from any thread.
  void run_on_ui(const std::function<void()>& step) override;
  void show_page() override;
  void restart_wizard() override;
  void enable_button(int button, bool enabled) override;
  void set_button_caption(int button, const QString& caption) override;
  void animate(bool running) override;
  UploadProgress* upload_progress() override;
  void end_program() override;

  // Whether a worker or watchdog thread of this window is still running.
  bool jobs_running() const;
  // Whether a detection worker is still scanning the ports.
  bool detection_running() const;

  // Handlers.
  void Button1Click();  // Back
  void Button2Click();  // Next
  void Button3Click();  // Exit
  void Button4Click();  // backup target, pages 6 and 13
  void Button23Click();  // firmware file, page 3
  void Button24Click();  // configuration upload source, page 14
  void RadioGroup2Click();
  void FormCloseQuery();

  // Controls by design name.
  TLabel* label(const char* name) const;
  QWidget* control(const char* name) const;
  QWidget* page(int number) const;

  QStackedWidget* PageControl1 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QListWidget* ListBox1 = nullptr;
  TLabel* Label16 = nullptr;
  RadioGroup* RadioGroup1 = nullptr;
  RadioGroup* RadioGroup2 = nullptr;
  RadioGroup* RadioGroup3 = nullptr;
  QLineEdit* HostnameEdit = nullptr;
  QLineEdit* PasswordEdit = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  FileCopyAnimation* Animate1 = nullptr;

  // The FTP client of the network path.
  std::unique_ptr<FtpClient> NMFTP;

  FileDialog OpenDialog1;  // firmware file
  FileDialog OpenDialog2;  // configuration upload source
  FileDialog SaveDialog2;  // backup target

  static constexpr int kClientWidth = 580;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void build_window();
  void put_start_texts();
  void assign_pictures();
  void set_status(const QString& text);
  void set_label(const char* name, const QString& text);

  // Next handler steps shared by both transports.
  void transport_branch(int page);
  void next_page1();
  void next_page3();
  void next_page5();
  void next_page6();
  void next_page7();
  void next_page9();
  void next_page13();
  void next_page14();
  void next_page15();
  // Transport branches.
  void next_serial(int page);
  void next_network(int page);
  bool ftp_connected() const;
  void ftp_disconnect();

  // The network path.
  void wire_ftp_events();
  void connection_lost();
  uint8_t ftp_backup_config();
  uint8_t ftp_upload_firmware();
  uint8_t ftp_upload_config();
  void next_network_login();
  void next_network_menu();
  void next_network_backup();
  void next_network_firmware();
  void next_network_config_upload();
  void finished_page();
  void start_serial_job(int job, bool status_line);

  // Background jobs. The window keeps every thread object until that thread has finished.
  void start_worker(int job);
  void start_watchdog();
  void stop_worker();
  void prune_threads();
  QPushButton* button(int n) const;

  QHash<QString, QWidget*> controls_;
  std::vector<std::unique_ptr<QThread>> threads_;
  // Hand-overs wait on this until their step has run or the window is going away.
  std::mutex handover_mu_;
  std::condition_variable handover_cv_;
  bool closing_ = false;
  MessagePresenter* presenter_ = nullptr;
  FileChooser* chooser_ = nullptr;
  std::unique_ptr<MessagePresenter> own_presenter_;
  std::unique_ptr<FileChooser> own_chooser_;
  std::unique_ptr<Clock> ftp_clock_;
  std::unique_ptr<UploadProgress> ftp_progress_;
};

}  // namespace lumo
