// SPDX-License-Identifier: MIT
#pragma once
// The main window: a borderless window of four panels (source, TTI files,
// status and samples, target) with its own title strip. It owns every
// control, the jobs' shared state and all event handlers; the conversions
// themselves run in the core, which reports back through JobListener.
//
// Conversions run on a job thread of their own, so the window stays alive:
// it moves, repaints and opens the about box while a job runs, and Esc
// stops the job. What the job reports reaches the widgets on the window's
// thread, in the order sent. Each job has a job context of its own; the
// window's own state (WindowState) stays with the window.

#include <QAction>
#include <QColor>
#include <QComboBox>
#include <QHash>
#include <QLabel>
#include <QPoint>
#include <QPointer>
#include <QSettings>
#include <QString>
#include <QWidget>

#include <atomic>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "jobs/job_context.h"
#include "ui/window_state.h"
#include "jobs/listener.h"
#include "ui/controls.h"
#include "ui/drive_combo.h"
#include "ui/folder_list.h"
#include "ui/imgbtn.h"

class QMouseEvent;
class QSizeGrip;

namespace vantrel {

class AuditionControl;
class TAbout;

// The palette of the window's dialogs (Ctrl+L, the error boxes): dark like
// the window, with light text.
QPalette darkDialogPalette(const QPalette& base);

class TForm1 : public QWidget, public JobListener {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);
  // A job still running is cancelled and waited for.
  ~TForm1() override;

  // The about box the about button shows. When it hides, the window takes
  // the focus back and shows its active look.
  void setAboutBox(TAbout* about);
  // Where the drive boxes take their drives from (the mounted volumes unless
  // set otherwise).
  void setDriveSource(const DriveSource& source);

  // The controls, named as in the window description.
  FilledRect* Shape1;
  QLabel* Label1;
  QLabel* Image2;
  TImgBtn2* aboutbt;
  TImgBtn2* minim;
  // Maximises the window, and gives it its size back.
  TImgBtn2* Image3;
  TImgBtn2* ImgBtn21;
  QLabel* Image1;
  FolderList* dir1;
  DriveComboBox* DriveComboBox1;
  TImgBtn* complete;
  TImgBtn* extrdrive;
  GaugeBar* Gauge3;
  FileList* file1;
  FilterComboBox* FilterComboBox1;
  TImgBtn* extract;
  GaugeBar* Gauge2;
  TextBox* headl;
  TextBox* test;
  SampleList* wavlist;
  ComboBox* into;
  // The output box's context menu item: output faithful to the bank
  // (JobOptions::faithful), remembered in the user's configuration folder.
  QAction* faithful;
  GaugeBar* gauge1;
  TImgBtn* wavextr;
  FolderList* destin;
  DriveComboBox* DriveComboBox2;
  TAbout* About = nullptr;

  // A path to start on, before the first activation: a folder opens as the
  // source folder (instead of the remembered one), a bank opens its folder
  // and is highlighted and shown, an image or archive opens inside. A
  // relative path is taken from the current folder. Returns why a path
  // cannot be opened ("<path>: no such file or folder"), else empty.
  std::string setStartPath(const std::string& path);

  // The folder that holds vantrel.ini. Unless set before the first
  // activation, it is the process's current folder at that moment.
  void setStartFolder(const QString& folder) { startFolder_ = folder; }

  const WindowState& state() const noexcept { return state_; }
  bool startupDone() const noexcept { return startupDone_; }
  QString startFolder() const { return startFolder_; }
  QString lastSourceDrive() const { return lastSourceDrive_; }
  QString lastTargetDrive() const { return lastTargetDrive_; }
  bool dragging() const noexcept { return dragging_; }
  // Listening to and looking at samples in the sample list.
  AuditionControl* audition() const noexcept { return audition_; }

  // Whether a conversion runs on the job thread, or the busy cursor shows
  // (a bank loading). While a conversion runs, the controls that would
  // start another or change its folders are disabled.
  bool jobRunning() const noexcept { return jobRunning_ || busyDepth_ > 0; }
  // Asks the running job to stop (Esc): it ends at the next block or file,
  // discarding the file being written, and the status line says
  // "cancelled".
  void cancelJob() noexcept;

  // The error box: `text`, then the file it concerns on a line of its own.
  void showError(const QString& text, const std::string& path);

  // Event handlers.
  void FormCreate();
  void FormActivate();
  void ActivateLook();
  void DeactivateLook();
  void file1Click();
  void file1DblClick();
  void extractClick();
  void completeClick();
  void extrdriveClick();
  void wavextrClick();
  void wavlistMouseDown();
  void wavlistDblClick();
  void wavlistEnter();
  void intoChange();
  void dir1Change();
  void dir1DblClick(int index);
  void DriveComboBox1Change();
  void DriveComboBox2Change();
  void ImgBtn21MouseUp();
  void minimMouseUp();
  void aboutbtClick();
  // The window drag, shared by Shape1, Label1 and Image1.
  void Shape1MouseDown(QMouseEvent* event);
  void Shape1MouseMove(QMouseEvent* event);
  void Shape1MouseUp(QMouseEvent* event);

  // JobListener: the core's reports, shown at once.
  void status(std::string_view text) override;
  // Warnings and folders a run cannot read go into the log.
  void warning(std::string_view text) override;
  void walkFailed(const RunError& error) override;
  void logClear() override;
  // A bank of a folder or drive run that failed: the error box offers
  // "Skip this bank" (logged, and the run goes on) and "Stop" (the run
  // ends with the error), Stop being the default.
  bool bankFailed(const std::string& bankPath, const RunError& error) override;
  void logLine(std::string_view text) override;
  void gaugeChanged(GaugeId id, std::int64_t min, std::int64_t max, std::int64_t progress) override;
  void buttonChanged(ButtonId id, bool on) override;
  void sampleListSet(const std::vector<std::string>& names) override;
  void sampleListVisible(bool visible) override;
  void sampleListSelect(int index, bool selected) override;
  void busy(bool on) override;
  void destinationChanged() override;
  bool cancelled() const override;

  // Conversions between the widgets' paths and the file system's bytes.
  static std::string localPath(const QString& path);
  static QString fromLocalPath(const std::string& path);
  // Whether `path` is a folder that can be entered.
  static bool canEnter(const QString& path);
  // The mounted volumes as drives.
  static std::vector<DriveInfo> mountedDrives();

 signals:
  // The close button ends the application: the program quits on this.
  void applicationEnding();
  // A job has ended (done, failed or cancelled) and the controls are back.
  void jobFinished();

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Maximised, the maximise button shows the restore glyph.
  void changeEvent(QEvent* event) override;
  // The lists grow with the window (layout::Placement).
  void resizeEvent(QResizeEvent* event) override;
  // An image or archive dropped on the window opens in the source list.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Where a path opens in the source lists: the folder shown and the bank
  // (file name) highlighted, empty for a folder, image or archive.
  struct SourceSpot {
    QString folder;
    QString bank;
  };
  static std::optional<SourceSpot> sourceSpotOf(const std::string& path);
  // The bank, folder, image or archive an event's data names.
  static std::optional<SourceSpot> droppedSpot(const QMimeData* data);
  // Opens a spot in the source lists: its folder, then its bank clicked.
  void openSourceSpot(const SourceSpot& spot);
  // Opens `folder` in the source list as a double click on it does.
  void openSourceFolder(const QString& folder);
  void createControls();
  template <class Widget>
  Widget* place(Widget* w, const char* name, const QRect& r);
  void toggleMaximised();
  // Ctrl+L: a folder typed for the source list, or for the target list
  // when the focus is on the target side.
  void typeFolder();
  // Opens the target folder in the desktop's file manager.
  void openTargetFolder();
  void setHelpTexts();
  void applyPalettes();
  void showActiveLook();
  void openStartFolder(const QString& line, DriveComboBox* box, FolderList* list, QString& lastDrive,
                       void (TForm1::*change)());
  void driveChange(DriveComboBox* box, FolderList* list, QString& lastDrive);
  void followDrive(DriveComboBox* box, FolderList* list, QString& lastDrive);
  std::string targetBase() const;
  TImgBtn* button(ButtonId id) const;
  GaugeBar* gauge(GaugeId id) const;
  // Runs a handler; a run-time error that ends it shows the error box,
  // naming the error's file or else `subject`.
  template <class Handler>
  void guarded(Handler&& handler, const std::string& subject = {});
  void showFailure(std::exception_ptr failure, const std::string& subject);
  // A failure's text and the file it names (else `subject`).
  static std::pair<QString, std::string> failureText(std::exception_ptr failure, const std::string& subject);
  bool askSkipBank(const QString& text, const std::string& path);
  // The log of a folder or drive run: cleared once, then kept whole (up
  // to the log's line limit) while the run lasts. `runGauge` counts the
  // run's banks.
  void startRunLog(GaugeBar* runGauge);

  // Runs `job` on the job thread; `subject` is the file or folder an error
  // box names when the error itself names none. Nothing starts while a job
  // runs.
  void startJob(std::string subject, std::function<void()> job);
  void finishJob(std::exception_ptr failure, const std::string& subject);
  void setJobControlsEnabled(bool enabled);
  // Applies a report of the core on the window's thread: at once when made
  // there, else queued behind the reports sent before it.
  template <class Apply>
  void onWindowThread(Apply&& apply);

  // The close button's work: the settings file, then the end (after the
  // running job has been cancelled).
  void writeSettings();
  // window.ini in the user's configuration folder: what the window keeps
  // besides vantrel.ini (the output box's "Faithful to the bank", the
  // window's size and place).
  static QSettings windowSettings();
  // The window's size and place (the size it has when not maximised, and
  // whether it is), kept in window.ini when the window closes.
  void writeWindowPlace();
  // Gives the window its kept size, its place where that still lies on a
  // screen (else centred), and maximises it when it was; false when none
  // is kept.
  bool restoreWindowPlace();
  void endApplication();
  void setTabOrder();
  // Each sample's keys, root and loop, for the sample list's wide look.
  void showSampleDetails(const std::string& ttiPath);
  // The status line's summary of where output goes: the output mode,
  // "faithful" when chosen, and the target folder.
  QString outputSummary();

  // A context for work the window does on its own thread (a click).
  JobContext windowJob() { return JobContext(*this, state_.jobOptions()); }

  WindowState state_;
  bool startupDone_ = false;
  bool settingsTried_ = false;
  QString startFolder_;
  std::optional<SourceSpot> startSpot_;
  QString lastSourceDrive_;
  QString lastTargetDrive_;
  bool dragging_ = false;
  QPoint lastPointer_;
  bool centred_ = false;
  QString summarisedTarget_;
  // Each control's place in the window at its default size.
  QHash<QWidget*, QRect> defaultPlaces_;
  QSizeGrip* grip_ = nullptr;

  std::thread job_;
  bool jobRunning_ = false;
  bool runLog_ = false;
  GaugeBar* runGauge_ = nullptr;
  // What the log of a folder or drive run told: files written, files found
  // already there, files found there but different, banks passed over.
  struct RunTally {
    int written = 0, already = 0, differs = 0, failedBanks = 0;
  } runTally_;
  // The run's last log line: what it wrote, found and failed, and where
  // the target folder opens.
  QString runSummary() const;
  bool stoppedInBox_ = false;  // the running job's error box was answered "Stop"
  std::atomic<bool> cancel_{false};
  // What happens once the running job has ended: nothing, the end of the
  // application (close button) or the window's close (the desktop's).
  enum class AfterJob { Nothing, EndApplication, CloseWindow };
  AfterJob afterJob_ = AfterJob::Nothing;
  QPointer<QWidget> focusBeforeJob_;
  int busyDepth_ = 0;
  AuditionControl* audition_ = nullptr;
};

}  // namespace vantrel
