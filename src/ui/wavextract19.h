#pragma once
// The main window: a borderless window of four panels (source, TTI files,
// status and samples, target) with its own title strip. It owns every
// control, the jobs' shared state and all event handlers; the conversions
// themselves run in the core, which reports back through JobListener.

#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <string>

#include "jobs/job_context.h"
#include "jobs/listener.h"
#include "ui/controls.h"
#include "ui/drive_combo.h"
#include "ui/folder_list.h"
#include "ui/imgbtn.h"

class QMouseEvent;

namespace vantrel {

class AuditionControl;
class TAbout;

class TForm1 : public QWidget, public JobListener {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The about box the about button shows.
  void setAboutBox(TAbout* about) { About = about; }
  // Where the drive boxes take their drives from (the mounted volumes unless
  // set otherwise).
  void setDriveSource(const DriveSource& source);

  // The controls, named as in the window description.
  FilledRect* Shape1;
  QLabel* Label1;
  QLabel* Image2;
  TImgBtn2* aboutbt;
  TImgBtn2* minim;
  QLabel* Image3;
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
  QComboBox* into;
  GaugeBar* gauge1;
  TImgBtn* wavextr;
  FolderList* destin;
  DriveComboBox* DriveComboBox2;
  TAbout* About = nullptr;

  // The folder that holds vantrel.ini. Unless set before the first
  // activation, it is the process's current folder at that moment.
  void setStartFolder(const QString& folder) { startFolder_ = folder; }

  JobContext& context() noexcept { return ctx_; }
  bool startupDone() const noexcept { return startupDone_; }
  QString startFolder() const { return startFolder_; }
  QString lastSourceDrive() const { return lastSourceDrive_; }
  QString lastTargetDrive() const { return lastTargetDrive_; }
  bool dragging() const noexcept { return dragging_; }
  // Whether a job (or a bank's loading) is running: the busy cursor shows.
  bool jobRunning() const noexcept { return busyDepth_ > 0; }
  // Listening to and looking at samples in the sample list.
  AuditionControl* audition() const noexcept { return audition_; }

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
  void logClear() override;
  void logLine(std::string_view text) override;
  void gaugeChanged(GaugeId id, std::int64_t min, std::int64_t max, std::int64_t progress) override;
  void buttonChanged(ButtonId id, bool on) override;
  void sampleListSet(const std::vector<std::string>& names) override;
  void sampleListVisible(bool visible) override;
  void sampleListSelect(int index, bool selected) override;
  void busy(bool on) override;
  void destinationChanged() override;

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

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void createControls();
  void applyPalettes();
  void showActiveLook();
  void openStartFolder(const QString& line, DriveComboBox* box, FolderList* list, QString& lastDrive,
                       void (TForm1::*change)());
  void driveChange(DriveComboBox* box, FolderList* list, QString& lastDrive);
  void followDrive(DriveComboBox* box, FolderList* list, QString& lastDrive);
  std::string targetBase() const;
  TImgBtn* button(ButtonId id) const;
  GaugeBar* gauge(GaugeId id) const;
  // Runs a handler; a run-time error that ends it shows the error box.
  template <class Handler>
  void guarded(Handler&& handler);
  void showError(const QString& text);

  JobContext ctx_;
  bool startupDone_ = false;
  bool settingsTried_ = false;
  QString startFolder_;
  QString lastSourceDrive_;
  QString lastTargetDrive_;
  bool dragging_ = false;
  QPoint lastPointer_;
  bool centred_ = false;
  int busyDepth_ = 0;
  AuditionControl* audition_ = nullptr;
};

}  // namespace vantrel
