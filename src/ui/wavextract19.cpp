// SPDX-License-Identifier: MIT
#include "ui/wavextract19.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDesktopServices>
#include <QDropEvent>
#include <QInputDialog>
#include <QLineEdit>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSizeGrip>
#include <QSettings>
#include <QThread>
#include <QWindow>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>

#include "jobs/drive_job.h"
#include "jobs/folder_jobs.h"
#include "jobs/selection.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "jobs/bank_reading.h"
#include "tti/archive_banks.h"
#include "tti/stereo_pairs.h"
#include "ui/about2.h"
#include "ui/app_icon.h"
#include "ui/artwork.h"
#include "ui/audition_control.h"
#include "ui/layout.h"
#include "ui/loaded_bank.h"
#include "ui/local_path.h"
#include "ui/screen_place.h"
#include "ui/settings.h"

namespace vantrel {
namespace {

const QString kRoot = QStringLiteral("/");
constexpr int kJobNiceness = 5;

template <class Widget>
Widget* placeAt(Widget* w, const char* name, const QRect& r) {
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(r);
  return w;
}

QPalette listPalette(const QPalette& base, const QColor& background) {
  QPalette p(base);
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    p.setColor(group, QPalette::Base, background);
    p.setColor(group, QPalette::Window, background);
    p.setColor(group, QPalette::Text, Qt::black);
    p.setColor(group, QPalette::Highlight, layout::kBoxColour);
    p.setColor(group, QPalette::HighlightedText, Qt::white);
    p.setColor(group, QPalette::Button, background.darker(125));
  }
  return p;
}

QPalette boxPalette(const QPalette& base) {
  QPalette p(base);
  const QColor teal = layout::kBoxColour;
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    p.setColor(group, QPalette::Button, teal);
    p.setColor(group, QPalette::Base, teal);
    p.setColor(group, QPalette::Window, teal);
    p.setColor(group, QPalette::ButtonText, Qt::white);
    p.setColor(group, QPalette::Text, Qt::white);
    p.setColor(group, QPalette::WindowText, Qt::white);
    p.setColor(group, QPalette::Highlight, layout::kTreeColour);
    p.setColor(group, QPalette::HighlightedText, Qt::black);
    p.setColor(group, QPalette::PlaceholderText, QColor(214, 238, 240));
  }
  return p;
}

}  // namespace

QPalette darkDialogPalette(const QPalette& base) {
  QPalette p(base);
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(group, QPalette::Window, layout::kWindowColour);
    p.setColor(group, QPalette::WindowText, Qt::white);
    p.setColor(group, QPalette::Base, QColor(30, 30, 30));
    p.setColor(group, QPalette::Text, Qt::white);
    p.setColor(group, QPalette::Button, QColor(80, 80, 80));
    p.setColor(group, QPalette::ButtonText, Qt::white);
    p.setColor(group, QPalette::Highlight, layout::kBoxColour);
    p.setColor(group, QPalette::HighlightedText, Qt::white);
  }
  p.setColor(QPalette::Disabled, QPalette::Window, layout::kWindowColour);
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(170, 170, 170));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(170, 170, 170));
  return p;
}

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  // The title names the version CMake's project gives, as --version does.
  setWindowTitle(QStringLiteral("Vantrel " VANTREL_VERSION));
  // The default size is the smallest; a larger window gives its lists the
  // room (see layout::Placement).
  setMinimumSize(layout::kWindowWidth, layout::kWindowHeight);
  resize(layout::kWindowWidth, layout::kWindowHeight);
  setFont(art::windowFont());
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, layout::kWindowColour);
  p.setColor(QPalette::WindowText, Qt::white);
  setPalette(p);
  setAcceptDrops(true);
  createControls();
  applyPalettes();
  DeactivateLook();
  FormCreate();
}

TForm1::~TForm1() {
  if (job_.joinable()) {
    cancel_ = true;
    job_.join();
  }
  // Before the controls it watches go.
  delete audition_;
}

template <class Widget>
Widget* TForm1::place(Widget* w, const char* name, const QRect& r) {
  defaultPlaces_.insert(w, r);
  return placeAt(w, name, r);
}

void TForm1::createControls() {
  // Background first: everything else lies on top of it.
  Image1 = place(new QLabel(this), "Image1", layout::kImage1);
  Image1->setPixmap(art::background());

  Shape1 = place(new FilledRect(this), "Shape1", layout::kShape1);
  Image2 = place(new QLabel(this), "Image2", layout::kImage2);
  Image2->setPixmap(QPixmap::fromImage(art::appIconImage(16)));
  Label1 = place(new QLabel(QStringLiteral("Vantrel " VANTREL_VERSION), this), "Label1", layout::kLabel1);
  QFont bold = font();
  bold.setBold(true);
  Label1->setFont(bold);
  Label1->setAttribute(Qt::WA_TranslucentBackground);

  const art::TitlePictures about = art::titleButton(art::TitleGlyph::About, layout::kAboutbt.size());
  aboutbt = place(new TImgBtn2(this), "aboutbt", layout::kAboutbt);
  aboutbt->setPicOnUp(about.up);
  aboutbt->setPicOnDown(about.down);
  const art::TitlePictures mini = art::titleButton(art::TitleGlyph::Minimise, layout::kMinim.size());
  minim = place(new TImgBtn2(this), "minim", layout::kMinim);
  minim->setPicOnUp(mini.up);
  minim->setPicOnDown(mini.down);
  const art::TitlePictures maxi = art::titleButton(art::TitleGlyph::Maximise, layout::kImage3.size());
  Image3 = place(new TImgBtn2(this), "Image3", layout::kImage3);
  Image3->setPicOnUp(maxi.up);
  Image3->setPicOnDown(maxi.down);
  const art::TitlePictures close = art::titleButton(art::TitleGlyph::Close, layout::kImgBtn21.size());
  ImgBtn21 = place(new TImgBtn2(this), "ImgBtn21", layout::kImgBtn21);
  ImgBtn21->setPicOnUp(close.up);
  ImgBtn21->setPicOnDown(close.down);

  auto action = [this](const char* name, const QRect& r, art::ActionGlyph glyph) {
    const art::ActionPictures pics = art::actionButton(glyph);
    TImgBtn* b = place(new TImgBtn(this), name, r);
    b->setPicOffUp(pics.offUp);
    b->setPicOffDown(pics.offDown);
    b->setPicOnUp(pics.onUp);
    b->setPicOnDown(pics.onDown);
    b->setCursor(Qt::PointingHandCursor);
    return b;
  };

  dir1 = place(new FolderList(this), "dir1", layout::kDir1);
  dir1->setOpensOnDoubleClick(false);
  dir1->setShowsImages(true);
  DriveComboBox1 = place(new DriveComboBox(this), "DriveComboBox1", layout::kDriveComboBox1);
  complete = action("complete", layout::kComplete, art::ActionGlyph::Folder);
  extrdrive = action("extrdrive", layout::kExtrdrive, art::ActionGlyph::Drive);
  Gauge3 = place(new GaugeBar(this), "Gauge3", layout::kGauge3);

  file1 = place(new FileList(this), "file1", layout::kFile1);
  FilterComboBox1 = place(new FilterComboBox(this), "FilterComboBox1", layout::kFilterComboBox1);
  FilterComboBox1->setFilter(QStringLiteral("TTI files|*.tti|All files (*.*)|*.*"));
  FilterComboBox1->setFileList(file1);
  extract = action("extract", layout::kExtract, art::ActionGlyph::File);
  Gauge2 = place(new GaugeBar(this), "Gauge2", layout::kGauge2);

  headl = place(new TextBox(TextBox::Kind::StatusLine, this), "headl", layout::kHeadl);
  test = place(new TextBox(TextBox::Kind::Log, this), "test", layout::kTest);
  wavlist = place(new SampleList(this), "wavlist", layout::kWavlist);
  into = place(new ComboBox(this), "into", layout::kInto);
  // The output formats in their settings order: the item index is what
  // vantrel.ini stores.
  for (const OutputFormat& f : outputFormats()) {
    into->insertItem(f.settingsIndex, QString::fromUtf8(f.label.data(), static_cast<qsizetype>(f.label.size())));
  }
  into->setCurrentIndex(-1);
  into->setPlaceholderText(QStringLiteral("choose the output"));
  faithful = new QAction(QStringLiteral("Faithful to the bank"), into);
  faithful->setObjectName(QStringLiteral("faithful"));
  faithful->setCheckable(true);
  into->addAction(faithful);
  into->setContextMenuPolicy(Qt::ActionsContextMenu);
  gauge1 = place(new GaugeBar(this), "gauge1", layout::kGauge1);
  wavextr = action("wavextr", layout::kWavextr, art::ActionGlyph::Samples);

  destin = place(new FolderList(this), "destin", layout::kDestin);
  DriveComboBox2 = place(new DriveComboBox(this), "DriveComboBox2", layout::kDriveComboBox2);

  // The lower right corner resizes the window.
  grip_ = new QSizeGrip(this);
  grip_->setObjectName(QStringLiteral("grip"));
  grip_->resize(grip_->sizeHint());

  // Every control but the background is painted above it.
  Image1->lower();

  // Event wiring.
  for (QWidget* w : {static_cast<QWidget*>(Shape1), static_cast<QWidget*>(Label1),
                     static_cast<QWidget*>(Image1)})
    w->installEventFilter(this);
  connect(file1, &FileList::fileClicked, this, &TForm1::file1Click);
  connect(file1, &FileList::fileDoubleClicked, this, &TForm1::file1DblClick);
  connect(extract, &TImgBtn::clicked, this, &TForm1::extractClick);
  connect(complete, &TImgBtn::clicked, this, &TForm1::completeClick);
  connect(extrdrive, &TImgBtn::clicked, this, &TForm1::extrdriveClick);
  connect(wavextr, &TImgBtn::clicked, this, &TForm1::wavextrClick);
  connect(wavlist, &SampleList::mouseDown, this, &TForm1::wavlistMouseDown);
  connect(wavlist, &SampleList::doubleClicked, this, &TForm1::wavlistDblClick);
  connect(wavlist, &SampleList::enterPressed, this, &TForm1::wavlistEnter);
  // The log lies under the sample list: a Tab stop only while it shows.
  wavlist->installEventFilter(this);
  // The output mode is into's item index, however it changes; the list's
  // selection follows only the user's choice.
  connect(into, &QComboBox::currentIndexChanged, this, [this](int index) {
    const OutputFormat* format = formatBySettingsIndex(index);
    state_.format = format ? format : &noOutputFormat();
  });
  connect(into, &QComboBox::activated, this, &TForm1::intoChange);
  connect(faithful, &QAction::toggled, this, [this](bool on) {
    state_.faithful = on;
    into->setNote(on ? QStringLiteral(" \u00b7 faithful") : QString());
    if (startupDone_) headl->setText(outputSummary());
    // Remembered at once, apart from vantrel.ini's three lines.
    if (startupDone_) windowSettings().setValue(QStringLiteral("output/faithful"), on);
  });
  connect(dir1, &FolderList::changed, this, &TForm1::dir1Change);
  connect(dir1, &FolderList::itemDoubleClicked, this, &TForm1::dir1DblClick);
  connect(destin, &FolderList::changed, this, [this] {
    followDrive(DriveComboBox2, destin, lastTargetDrive_);
    // Another target folder chosen: the status line says where output goes.
    if (startupDone_ && destin->folder() != summarisedTarget_) headl->setText(outputSummary());
  });
  connect(DriveComboBox1, &DriveComboBox::driveChanged, this, &TForm1::DriveComboBox1Change);
  connect(DriveComboBox2, &DriveComboBox::driveChanged, this, &TForm1::DriveComboBox2Change);
  connect(ImgBtn21, &TImgBtn2::mouseUp, this, &TForm1::ImgBtn21MouseUp);
  connect(minim, &TImgBtn2::mouseUp, this, &TForm1::minimMouseUp);
  connect(ImgBtn21, &TImgBtn2::keyActivated, this, [this] {
    writeSettings();
    endApplication();
  });
  connect(minim, &TImgBtn2::keyActivated, this, &QWidget::showMinimized);
  connect(Image3, &TImgBtn2::mouseUp, this, [this] {
    if (Image3->ReleasedInside()) toggleMaximised();
  });
  connect(Image3, &TImgBtn2::keyActivated, this, &TForm1::toggleMaximised);
  connect(aboutbt, &TImgBtn2::clicked, this, &TForm1::aboutbtClick);

  setDriveSource(mountedDrives);
  dir1->setFolder(kRoot);
  destin->setFolder(kRoot);

  // The target list's context menu, and its key, open the folder in the
  // desktop's file manager.
  auto* openTarget = new QAction(QStringLiteral("Open target folder"), destin);
  openTarget->setObjectName(QStringLiteral("openTarget"));
  openTarget->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
  openTarget->setShortcutContext(Qt::WindowShortcut);
  connect(openTarget, &QAction::triggered, this, &TForm1::openTargetFolder);
  destin->addAction(openTarget);
  destin->setContextMenuPolicy(Qt::ActionsContextMenu);
  // Ctrl+L types a folder, as in a file manager's location bar.
  auto* typeAction = new QAction(QStringLiteral("Type a folder"), this);
  typeAction->setObjectName(QStringLiteral("typeFolder"));
  typeAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  typeAction->setShortcutContext(Qt::WindowShortcut);
  connect(typeAction, &QAction::triggered, this, [this] {
    if (!jobRunning_) typeFolder();
  });
  addAction(typeAction);
  setHelpTexts();

  // Audition and preview in the sample list (Space, middle click, hover, P).
  audition_ = new AuditionControl(*this);
  setTabOrder();
}

void TForm1::setTabOrder() {
  // Panel by panel from left to right, each list before its buttons, then
  // the title strip's buttons.
  const std::initializer_list<QWidget*> chain = {
      dir1, DriveComboBox1, complete, extrdrive, file1, FilterComboBox1, extract, test, wavlist, into,
      wavextr, destin, DriveComboBox2, aboutbt, minim, Image3, ImgBtn21};
  QWidget* previous = nullptr;
  for (QWidget* w : chain) {
    if (previous) QWidget::setTabOrder(previous, w);
    previous = w;
  }
}

void TForm1::setAboutBox(TAbout* about) {
  About = about;
  if (!About) return;
  connect(About, &TAbout::hidden, this, [this] {
    if (!isVisible()) return;
    activateWindow();
    showActiveLook();
  });
}

void TForm1::applyPalettes() {
  const QPalette base = palette();
  for (QWidget* w : {static_cast<QWidget*>(dir1), static_cast<QWidget*>(destin),
                     static_cast<QWidget*>(wavlist)})
    w->setPalette(listPalette(base, layout::kTreeColour));
  for (QWidget* w : {static_cast<QWidget*>(file1), static_cast<QWidget*>(test)})
    w->setPalette(listPalette(base, layout::kListColour));
  for (QWidget* w : {static_cast<QWidget*>(DriveComboBox1), static_cast<QWidget*>(DriveComboBox2),
                     static_cast<QWidget*>(FilterComboBox1), static_cast<QWidget*>(headl),
                     static_cast<QWidget*>(into)})
    w->setPalette(boxPalette(base));
  // The status line is no selection: a darker ground than the boxes'.
  QPalette status = headl->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    status.setColor(group, QPalette::Base, layout::kStatusColour);
    status.setColor(group, QPalette::Window, layout::kStatusColour);
  }
  headl->setPalette(status);
  QPalette title = Label1->palette();
  title.setColor(QPalette::WindowText, layout::kTitleTeal);
  Label1->setPalette(title);
}

void TForm1::setDriveSource(const DriveSource& source) {
  DriveComboBox1->setDriveSource(source);
  DriveComboBox2->setDriveSource(source);
  followDrive(DriveComboBox1, dir1, lastSourceDrive_);
  followDrive(DriveComboBox2, destin, lastTargetDrive_);
}

std::string TForm1::localPath(const QString& path) { return pathBytes(path); }

QString TForm1::fromLocalPath(const std::string& path) { return pathString(path); }

bool TForm1::canEnter(const QString& path) {
  return !path.isEmpty() && isEnterableFolder(localPath(path));
}

std::vector<DriveInfo> TForm1::mountedDrives() {
  std::vector<DriveInfo> drives;
  for (const Volume& v : mountedVolumes())
    if (isUserDrive(fromLocalPath(v.root), fromLocalPath(homeFolder())))
      drives.push_back({fromLocalPath(v.name), fromLocalPath(v.root)});
  return drives;
}

template <class Handler>
void TForm1::guarded(Handler&& handler, const std::string& subject) {
  try {
    handler();
  } catch (...) {
    showFailure(std::current_exception(), subject);
  }
}

std::pair<QString, std::string> TForm1::failureText(std::exception_ptr failure, const std::string& subject) {
  try {
    std::rethrow_exception(failure);
  } catch (const RunError& e) {
    return {QString::fromStdString(e.message()), e.path().empty() ? subject : e.path()};
  } catch (const std::bad_alloc&) {
    return {QStringLiteral("Out of memory"), subject};
  } catch (const std::exception& e) {
    return {QString::fromLocal8Bit(e.what()), subject};
  }
}

void TForm1::showFailure(std::exception_ptr failure, const std::string& subject) {
  const auto [text, path] = failureText(failure, subject);
  showError(text, path);
}

void TForm1::showError(const QString& text, const std::string& path) {
  // The error's text, then the file or folder it concerns on a line of its
  // own, as the command line reports it.
  QString message = text;
  if (!path.empty()) message += QLatin1Char('\n') + shownText(fromLocalPath(path));
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Vantrel"), message, QMessageBox::Ok, this);
  box.setPalette(darkDialogPalette(palette()));
  alignWindowPlace(this);
  box.exec();
}

// ---- The job thread ----

void TForm1::startJob(std::string subject, std::function<void()> job) {
  if (jobRunning_) return;
  jobRunning_ = true;
  cancel_ = false;
  focusBeforeJob_ = QApplication::focusWidget();
  setJobControlsEnabled(false);
  try {
    job_ = std::thread([this, subject, job = std::move(job)] {
      // When the cores are busy the window's events come first: the job and
      // the writer threads it starts (which inherit this) run a little
      // nicer than the window's thread.
      ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kJobNiceness);
      std::exception_ptr failure;
      try {
        job();
      } catch (...) {
        failure = std::current_exception();
      }
      // Queued behind every report the job sent.
      QMetaObject::invokeMethod(
          this, [this, failure, subject] { finishJob(failure, subject); }, Qt::QueuedConnection);
    });
  } catch (const std::system_error&) {
    jobRunning_ = false;
    setJobControlsEnabled(true);
    showError(QStringLiteral("Out of memory"), subject);
  }
}

void TForm1::finishJob(std::exception_ptr failure, const std::string& subject) {
  if (job_.joinable()) job_.join();
  jobRunning_ = false;
  // A folder or drive run ends its log with what it did.
  if (runLog_) test->appendLine(runSummary());
  runLog_ = false;
  setJobControlsEnabled(true);
  if (focusBeforeJob_ && focusBeforeJob_->isVisible() && focusBeforeJob_->isEnabled())
    focusBeforeJob_->setFocus();
  const AfterJob after = afterJob_;
  afterJob_ = AfterJob::Nothing;
  bool wasCancelled = false;
  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const RunError& e) {
      wasCancelled = e.code() == kCancelled;
    } catch (...) {
    }
  }
  // A stop asked for applies to the job that has ended, not to what the
  // window does next.
  cancel_ = false;
  // However the job ended, the status line says how, no gauge keeps a
  // value of it, and the target list shows what it wrote.
  if (failure) {
    for (GaugeBar* g : {gauge1, Gauge2, Gauge3}) g->setProgress(0);
    headl->setText(wasCancelled ? QString::fromStdString(errorText(kCancelled)) : failureText(failure, subject).first);
  }
  destin->reread();
  // A run stopped from its error box has shown the error already.
  if (failure && !wasCancelled && after == AfterJob::Nothing && !stoppedInBox_) showFailure(failure, subject);
  stoppedInBox_ = false;
  emit jobFinished();
  if (after == AfterJob::EndApplication) emit applicationEnding();
  else if (after == AfterJob::CloseWindow) close();
}

void TForm1::setJobControlsEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{
           dir1, DriveComboBox1, complete, extrdrive, file1, FilterComboBox1, extract, wavlist, into,
           wavextr, destin, DriveComboBox2})
    w->setEnabled(enabled);
}

void TForm1::cancelJob() noexcept {
  if (jobRunning_) cancel_ = true;
}

bool TForm1::cancelled() const { return cancel_.load(std::memory_order_relaxed); }

void TForm1::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && jobRunning_) {
    cancelJob();
    return;
  }

  QWidget::keyPressEvent(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
  // The desktop's close: the job is stopped first, then the window closes.
  if (jobRunning_) {
    event->ignore();
    afterJob_ = AfterJob::CloseWindow;
    cancelJob();
    return;
  }
  writeWindowPlace();
  QWidget::closeEvent(event);
}

template <class Apply>
void TForm1::onWindowThread(Apply&& apply) {
  if (QThread::currentThread() == thread())
    apply();
  else
    QMetaObject::invokeMethod(this, std::forward<Apply>(apply), Qt::QueuedConnection);
}

// ---- Window creation, activation and the look of the title strip ----

void TForm1::FormCreate() {
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive)
      ActivateLook();
    else if (state == Qt::ApplicationInactive)
      DeactivateLook();
  });
}

void TForm1::showActiveLook() {
  const QPalette system = QGuiApplication::palette();
  Shape1->setFillColour(system.color(QPalette::Active, QPalette::Highlight));
  QPalette p = Label1->palette();
  p.setColor(QPalette::WindowText, system.color(QPalette::Active, QPalette::HighlightedText));
  Label1->setPalette(p);
}

void TForm1::ActivateLook() {
  guarded([&] {
    showActiveLook();
    // Files and folders written while the program was in the background.
    dir1->reread();
    file1->reread();
    destin->reread();
  });
}

void TForm1::DeactivateLook() {
  const QPalette system = QGuiApplication::palette();
  Shape1->setFillColour(system.color(QPalette::Inactive, QPalette::Mid));
  QPalette p = Label1->palette();
  p.setColor(QPalette::WindowText, system.color(QPalette::Inactive, QPalette::Light));
  Label1->setPalette(p);
}

void TForm1::typeFolder() {
  const QWidget* focus = QApplication::focusWidget();
  const bool target = focus == destin || focus == DriveComboBox2;
  FolderList* list = target ? destin : dir1;
  alignWindowPlace(this);
  // Dark like the window, its field like the boxes.
  QInputDialog dialog(this);
  dialog.setObjectName(QStringLiteral("typeFolderDialog"));
  dialog.setWindowTitle(QStringLiteral("Vantrel"));
  dialog.setLabelText(target ? QStringLiteral("Target folder:") : QStringLiteral("Source folder:"));
  dialog.setTextValue(shownText(list->folder()));
  dialog.setPalette(darkDialogPalette(palette()));
  dialog.resize(std::max(dialog.sizeHint().width(), 420), dialog.sizeHint().height());
  if (dialog.exec() != QDialog::Accepted) return;
  const QString typed = dialog.textValue();
  if (typed.trimmed().isEmpty()) return;
  QString folder = typed.trimmed();
  if (folder.startsWith(QStringLiteral("~/")) || folder == QStringLiteral("~"))
    folder = fromLocalPath(homeFolder()) + folder.mid(1);
  if (!target) {
    // The source side takes what a drop or the command line takes.
    if (const auto spot = sourceSpotOf(localPath(folder))) {
      openSourceSpot(*spot);
      return;
    }
  } else if (canEnter(folder)) {
    destin->setFolder(folder);
    return;
  }
  showError(QStringLiteral("cannot open %1: no such folder").arg(folder), {});
}

void TForm1::openTargetFolder() {
  const std::string folder = localPath(destin->folder());
  // The folder's bytes as they are, whatever their encoding.
  const QUrl url = QUrl::fromEncoded("file://" + QByteArray::fromStdString(folder).toPercentEncoding("/"));
  if (!QDesktopServices::openUrl(url))
    showError(QStringLiteral("cannot open the target folder in the file manager"), folder);
}

void TForm1::setHelpTexts() {
  complete->setToolTip(QStringLiteral("Convert every bank of the source folder"));
  extrdrive->setToolTip(QStringLiteral("Convert every bank on the source drive"));
  extract->setToolTip(QStringLiteral("Convert the highlighted bank (Enter)"));
  wavextr->setToolTip(QStringLiteral("Write the chosen samples (Ctrl- and Shift-click choose several in WAV Mono)"));
  aboutbt->setToolTip(QStringLiteral("About Vantrel"));
  minim->setToolTip(QStringLiteral("Minimise"));
  Image3->setToolTip(QStringLiteral("Maximise"));
  ImgBtn21->setToolTip(QStringLiteral("Close"));
  DriveComboBox1->setPurpose(QStringLiteral("The source drive"));
  DriveComboBox2->setPurpose(QStringLiteral("The target drive"));
  FilterComboBox1->setPurpose(QStringLiteral("Which files the list shows"));
  into->setPurpose(QStringLiteral("The output (right click: Faithful to the bank)"));
}

void TForm1::toggleMaximised() {
  if (isMaximized()) showNormal();
  else showMaximized();
}

void TForm1::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  // Maximised, the button shows the restore glyph.
  const bool maximised = isMaximized();
  const art::TitlePictures pictures =
      art::titleButton(maximised ? art::TitleGlyph::Restore : art::TitleGlyph::Maximise, layout::kImage3.size());
  Image3->setPicOnUp(pictures.up);
  Image3->setPicOnDown(pictures.down);
  Image3->setToolTip(maximised ? QStringLiteral("Restore") : QStringLiteral("Maximise"));
  Image3->setAccessibleName(Image3->toolTip());
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  using Grow = layout::Placement::Grow;
  const layout::Placement at(size());
  const std::pair<QWidget*, Grow> grown[] = {
      {dir1, Grow::WideTall},       {DriveComboBox1, Grow::Wide}, {complete, Grow::None},
      {extrdrive, Grow::None},      {Gauge3, Grow::Wide},         {file1, Grow::WideTall},
      {FilterComboBox1, Grow::Wide}, {extract, Grow::None},       {Gauge2, Grow::Wide},
      {headl, Grow::Wide},          {wavlist, Grow::WideTall},    {test, Grow::WideTall},
      {into, Grow::Wide},           {gauge1, Grow::Wide},         {wavextr, Grow::None},
      {destin, Grow::WideTall},     {DriveComboBox2, Grow::Wide}};
  for (const auto& [widget, grow] : grown) widget->setGeometry(at.place(defaultPlaces_.value(widget), grow));
  for (QWidget* w : {static_cast<QWidget*>(aboutbt), static_cast<QWidget*>(minim), static_cast<QWidget*>(Image3),
                     static_cast<QWidget*>(ImgBtn21)})
    w->setGeometry(at.placeRight(defaultPlaces_.value(w)));
  Shape1->setGeometry(layout::kShape1.adjusted(0, 0, at.extraWidth(), 0));
  Image1->setGeometry(layout::kImage1.adjusted(0, 0, at.extraWidth(), at.extraHeight()));
  if (Image1->pixmap().size() != Image1->size()) Image1->setPixmap(art::background(at));
  grip_->move(width() - grip_->width(), height() - grip_->height());
  grip_->raise();
}

bool TForm1::event(QEvent* event) {
  const bool result = QWidget::event(event);
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return result;
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (centred_) return;
  centred_ = true;
  // The size and place the window had when it last closed, else the
  // default size in the middle of the screen.
  if (!restoreWindowPlace()) {
    if (QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
  }
  // A window without a frame is not always given the focus on its own; the
  // first activation is what opens the remembered folders.
  activateWindow();
}

// ---- Start-up and settings ----

QSettings TForm1::windowSettings() {
  return QSettings(QString::fromStdString(joinPath(userSettingsFolder(), "window.ini")), QSettings::IniFormat);
}

void TForm1::writeWindowPlace() {
  // A window manager may have moved the window without the toolkit
  // learning of it: the place kept is the one the display server knows.
  const QPoint believed = mapToGlobal(QPoint(0, 0));
  const QPoint off = alignWindowPlace(this);
  const bool maximised = isMaximized();
  const QRect normal = maximised ? normalGeometry() : QRect(believed + off, size());
  QSettings ini = windowSettings();
  ini.setValue(QStringLiteral("window/x"), normal.x());
  ini.setValue(QStringLiteral("window/y"), normal.y());
  ini.setValue(QStringLiteral("window/width"), normal.width());
  ini.setValue(QStringLiteral("window/height"), normal.height());
  ini.setValue(QStringLiteral("window/maximised"), maximised);
}

bool TForm1::restoreWindowPlace() {
  const QSettings ini = windowSettings();
  bool sized = false, wide = false, high = false;
  const int width = ini.value(QStringLiteral("window/width")).toInt(&wide);
  const int height = ini.value(QStringLiteral("window/height")).toInt(&high);
  if (wide && high) {
    resize(std::max(width, minimumWidth()), std::max(height, minimumHeight()));
    sized = true;
  }
  bool hasX = false, hasY = false;
  const QPoint at(ini.value(QStringLiteral("window/x")).toInt(&hasX), ini.value(QStringLiteral("window/y")).toInt(&hasY));
  // The title strip has to lie on a screen to be dragged.
  const QRect strip(at, QSize(width, layout::kShape1.height()));
  bool onScreen = false;
  for (const QScreen* screen : QGuiApplication::screens())
    onScreen = onScreen || screen->availableGeometry().intersected(strip).width() >= 100;
  if (hasX && hasY && onScreen) {
    move(at);
    // The toolkit may take the window to be at `at` already (a window
    // manager placed it without telling): the display server is told too.
    if (windowHandle()) windowHandle()->setPosition(at);
  }
  else if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  if (ini.value(QStringLiteral("window/maximised"), false).toBool()) setWindowState(windowState() | Qt::WindowMaximized);
  return sized;
}

void TForm1::FormActivate() {
  guarded([&] {
    if (startupDone_) return;
    if (startFolder_.isEmpty()) startFolder_ = QDir::currentPath();

    // A first start has no settings: both folders at the home folder, the
    // output "WAV  Mono". A settings file that failed to read is not read
    // again.
    const QString home = fromLocalPath(homeFolder());
    QString source = home, target = home;
    if (!settingsTried_) {
      settingsTried_ = true;
      // The start folder's file first; one that could not be written there
      // went into the user's configuration folder.
      auto lines = readSettingsFile(localPath(startFolder_));
      if (!lines) lines = readSettingsFile(userSettingsFolder());
      if (lines) {
        source = fromLocalPath(lines->source);
        target = fromLocalPath(lines->target);
        const int item = settingsItemIndex(lines->choice);
        into->setCurrentIndex(item < into->count() ? item : -1);
      } else {
        into->setCurrentIndex(outputFormat(FormatId::Mono).settingsIndex);
      }
      faithful->setChecked(windowSettings().value(QStringLiteral("output/faithful"), false).toBool());
    }
    if (startSpot_) source = startSpot_->folder;
    openStartFolder(source, DriveComboBox1, dir1, lastSourceDrive_, &TForm1::DriveComboBox1Change);
    openStartFolder(target, DriveComboBox2, destin, lastTargetDrive_, &TForm1::DriveComboBox2Change);
    test->clearLines();
    JobContext click = windowJob();
    checkfortti(click, localPath(dir1->folder()));
    showActiveLook();
    wavlist->setVisible(false);
    wavlist->setMultiSelect(false);
    wavlist->setSeveralSelect(state_.format->id == FormatId::Mono);
    state_.picks.clear();
    startupDone_ = true;
    buttonChanged(ButtonId::ExtrDrive, true);
    dir1Change();
    activateWindow();
    if (startSpot_ && !startSpot_->bank.isEmpty() && file1->selectFile(startSpot_->bank)) {
      file1->setFocus();
      file1Click();
    } else {
      // The keyboard starts in the source list, so that Tab goes on panel
      // by panel (the bank list would load its first bank on taking it).
      dir1->setFocus();
    }
    startSpot_.reset();
    summarisedTarget_ = destin->folder();
  });
}

void TForm1::openStartFolder(const QString& line, DriveComboBox* box, FolderList* list,
                             QString& lastDrive, void (TForm1::*change)()) {
  // A relative path is taken from the start folder; a folder that is gone
  // or cannot be entered gives way to the root.
  // A folder inside an image ("IMAGE//...") is opened as it is.
  QString folder = line;
  if (!(line.startsWith(QLatin1Char('/')) && line.contains(QStringLiteral("//")) && imageSource(localPath(line)))) {
    folder = line.isEmpty() ? QString() : QDir::cleanPath(QDir(startFolder_).absoluteFilePath(line));
    if (!canEnter(folder)) folder = kRoot;
  }
  const QString drive = box->driveOf(folder);
  if (box->setDrive(drive)) (this->*change)();
  lastDrive = drive;
  list->setFolder(folder);
}

void TForm1::DriveComboBox1Change() {
  guarded([&] { driveChange(DriveComboBox1, dir1, lastSourceDrive_); });
}

void TForm1::DriveComboBox2Change() {
  guarded([&] { driveChange(DriveComboBox2, destin, lastTargetDrive_); });
}

void TForm1::driveChange(DriveComboBox* box, FolderList* list, QString& lastDrive) {
  const QString remembered = list->folder();
  const QString root = box->drive();
  if (canEnter(root)) {
    list->setFolder(root);
    lastDrive = root;
    return;
  }
  // Not ready: back to the drive and folder shown before, silently.
  if (list->folder() != remembered) list->setFolder(remembered);
  box->setDrive(lastDrive);
}

void TForm1::followDrive(DriveComboBox* box, FolderList* list, QString& lastDrive) {
  // A folder on another volume, reached through the folder list, makes
  // that volume the drive shown.
  const QString drive = box->driveOf(list->folder());
  if (drive.isEmpty()) return;
  box->setDrive(drive);
  lastDrive = drive;
}

void TForm1::ImgBtn21MouseUp() {
  // Every release on the button writes the settings; only one that was
  // pressed and released over it ends the program.
  writeSettings();
  if (ImgBtn21->ReleasedInside()) endApplication();
}

void TForm1::writeSettings() {
  writeWindowPlace();
  const std::string source = localPath(dir1->folder());
  const std::string target = localPath(destin->folder());
  const int item = into->currentIndex();
  const QString folder = startFolder_.isEmpty() ? QDir::currentPath() : startFolder_;
  try {
    writeSettingsFile(localPath(folder), source, target, item);
    return;
  } catch (const RunError&) {
    // A start folder that cannot take the file (read-only, full): the
    // user's configuration folder takes it instead.
  }
  const std::string fallback = userSettingsFolder();
  try {
    createFolders(fallback);
    writeSettingsFile(fallback, source, target, item);
  } catch (const RunError& e) {
    const std::string path = e.path().empty() ? joinPath(fallback, "vantrel.ini") : e.path();
    showError(QStringLiteral("settings not saved: %1 (%2)")
                  .arg(QString::fromStdString(e.message()), shownText(fromLocalPath(path))),
              {});
  }
}

void TForm1::endApplication() {
  if (jobRunning_) {
    afterJob_ = AfterJob::EndApplication;
    cancelJob();
    return;
  }
  emit applicationEnding();
}

void TForm1::minimMouseUp() {
  if (minim->ReleasedInside()) showMinimized();
}

void TForm1::aboutbtClick() {
  if (About) About->showCentred();
  // Coming back from the about box is no first activation.
  startupDone_ = true;
}

// ---- Folder and file lists ----

void TForm1::dir1Change() {
  guarded([&] {
    file1->setFolder(dir1->folder());
    followDrive(DriveComboBox1, dir1, lastSourceDrive_);
  });
}

void TForm1::dir1DblClick(int index) { openSourceFolder(dir1->itemPath(index)); }

void TForm1::openSourceFolder(const QString& shown) {
  if (jobRunning_) return;
  const std::string folder = localPath(shown);
  guarded([&] {
    buttonChanged(ButtonId::WavExtr, false);
    test->clearLines();
    wavlist->clear();
    state_.picks.clear();
    dir1->setFolder(shown);
    JobContext click = windowJob();
    checkfortti(click, localPath(dir1->folder()));
  }, folder);
}

std::optional<TForm1::SourceSpot> TForm1::sourceSpotOf(const std::string& given) {
  if (given.empty()) return std::nullopt;
  std::string path = given;
  if (path[0] != '/') {
    char here[4096];
    if (!::getcwd(here, sizeof here)) return std::nullopt;
    path = joinPath(here, path);
  }
  if (const auto image = imageSource(path); image && fileExists(image->archive)) {
    return SourceSpot{fromLocalPath(image->inside.empty() && path.find("//") == std::string::npos ? path + "//" : path),
                      {}};
  }
  if (isEnterableFolder(path)) return SourceSpot{fromLocalPath(path), {}};
  if (!fileExists(path)) return std::nullopt;
  const std::string name = fileNamePart(path);
  return SourceSpot{fromLocalPath(path.substr(0, path.size() - name.size())), fromLocalPath(name)};
}

std::string TForm1::setStartPath(const std::string& path) {
  startSpot_ = sourceSpotOf(path);
  if (!startSpot_) return path + ": no such file or folder";
  return {};
}

std::optional<TForm1::SourceSpot> TForm1::droppedSpot(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().front().isLocalFile())
    return std::nullopt;
  // The path's bytes as the file manager gave them, whatever their encoding.
  const QByteArray bytes = QByteArray::fromPercentEncoding(data->urls().front().path(QUrl::FullyEncoded).toLatin1());
  return sourceSpotOf(bytes.toStdString());
}

void TForm1::openSourceSpot(const SourceSpot& spot) {
  openSourceFolder(spot.folder);
  if (spot.bank.isEmpty() || !file1->selectFile(spot.bank)) return;
  file1Click();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (!jobRunning_ && droppedSpot(event->mimeData())) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const auto spot = droppedSpot(event->mimeData());
  if (jobRunning_ || !spot) return;
  event->acceptProposedAction();
  openSourceSpot(*spot);
}

void TForm1::file1Click() {
  if (jobRunning_) return;
  const std::string bank = localPath(file1->selectedPath());
  try {
    // Another bank's list: picks made before do not count.
    state_.picks.clear();
    JobContext click = windowJob();
    // The bank clicked is the bank shown, also when reading it failed.
    struct Shown {
      JobContext& click;
      SampleBank& shown;
      ~Shown() { shown = std::move(click.bank); }
    } shown{click, state_.shown};
    file1->setLoadedFile(file1->currentItem() ? file1->selectedPath().section(QLatin1Char('/'), -1) : QString());
    vantrel::file1Click(click, bank);
    showSampleDetails(click.bank.ttiPath);
  } catch (...) {
    // The status line says why the bank shows no samples, also once the
    // error box is gone.
    const std::exception_ptr failure = std::current_exception();
    headl->setText(failureText(failure, bank).first);
    showFailure(failure, bank);
  }
}

void TForm1::showSampleDetails(const std::string& ttiPath) {
  if (ttiPath.empty() || !wavlist->count()) return;
  std::shared_ptr<const LoadedBank> loaded;
  try {
    loaded = LoadedBank::load(ttiPath);
  } catch (const std::exception&) {
    return;  // the list shows names only
  }
  for (int row = 0; row < wavlist->count(); ++row) {
    const auto sample = static_cast<std::uint16_t>(row);
    const std::vector<ZonePlay> zones = loaded->zonesOf(sample);
    if (zones.empty()) {
      wavlist->setDetails(row, QStringLiteral("no zone"));
      continue;
    }
    int low = 127, high = 0;
    for (const ZonePlay& z : zones) {
      low = std::min(low, z.keyLow);
      high = std::max(high, z.keyHigh);
    }
    QString text = QStringLiteral("keys %1\u2013%2 \u00b7 root %3").arg(low).arg(high).arg(zones.front().rootKey);
    if (loaded->playsLooped(sample)) text += QStringLiteral(" \u00b7 loop");
    wavlist->setDetails(row, text);
  }
  std::vector<std::pair<int, int>> pairs;
  for (const auto& [left, right] : stereoPairs(loaded->bank())) pairs.emplace_back(left, right);
  wavlist->setPairs(pairs);
}

void TForm1::file1DblClick() {
  const std::string bank = localPath(file1->selectedPath());
  const std::string target = localPath(destin->folder());
  const JobOptions options = state_.jobOptions();
  startJob(bank, [this, bank, target, options] {
    JobContext ctx(*this, options);
    vantrel::file1DblClick(ctx, bank, target);
  });
}

QString TForm1::outputSummary() {
  summarisedTarget_ = destin->folder();
  QString mode = into->currentIndex() < 0 ? QStringLiteral("no output chosen") : into->currentText().simplified();
  if (state_.faithful) mode += QStringLiteral(", faithful");
  return mode + QStringLiteral(" \u2192 ") + shownText(destin->folder());
}

void TForm1::intoChange() {
  headl->setText(outputSummary());
  wavlist->setMultiSelect(state_.stereo());
  // Mono files can be written of several samples at once.
  wavlist->setSeveralSelect(state_.format->id == FormatId::Mono);
}

// ---- Conversions ----

// Each handler reads what it needs from the widgets here, on the window's
// thread, and hands the values to the job.

void TForm1::extractClick() {
  // The bank the file list highlights, whatever a run before loaded.
  if (jobRunning_) return;
  file1DblClick();
}

void TForm1::startRunLog(GaugeBar* runGauge) {
  test->clearLines();
  runLog_ = true;
  runTally_ = {};
  runGauge_ = runGauge;
}

QString TForm1::runSummary() const {
  const RunTally& t = runTally_;
  QString line = QStringLiteral("Summary: %1 written, %2 already there").arg(t.written).arg(t.already);
  if (t.differs > 0) line += QStringLiteral(", %1 there but different").arg(t.differs);
  line += QStringLiteral(", %1 failed").arg(t.failedBanks);
  return line + QStringLiteral(" \u00b7 Ctrl+Shift+O opens the target folder");
}

void TForm1::completeClick() {
  if (jobRunning_) return;
  startRunLog(Gauge2);
  const std::string source = localPath(dir1->folder());
  const std::string target = localPath(destin->folder());
  JobOptions options = state_.jobOptions();
  // The banks go in the order the bank list shows them.
  options.bankOrder = [](const std::string& a, const std::string& b) {
    return listsBefore(fromLocalPath(a), fromLocalPath(b));
  };
  startJob(source, [this, source, target, options] {
    JobContext ctx(*this, options);
    vantrel::convertFolder(ctx, source, target);
  });
}

void TForm1::extrdriveClick() {
  if (jobRunning_) return;
  // The drives shown; a box without one stands for the drive of its folder.
  const std::string sourceRoot = DriveComboBox1->drive().isEmpty()
                                     ? volumeOf(localPath(dir1->folder())).root
                                     : localPath(DriveComboBox1->drive());
  const std::string targetName = DriveComboBox2->drive().isEmpty()
                                     ? volumeOf(localPath(destin->folder())).name
                                     : localPath(DriveComboBox2->driveName());
  const std::string target = localPath(destin->folder());
  const JobOptions options = state_.jobOptions();
  startRunLog(Gauge3);
  startJob(sourceRoot, [this, sourceRoot, target, targetName, options] {
    JobContext ctx(*this, options);
    vantrel::extrdriveClick(ctx, sourceRoot, target, targetName);
  });
}

void TForm1::wavextrClick() {
  if (jobRunning_) return;
  // Several samples chosen in mono, or a row that stands for a stereo pair
  // outside stereo: each sample as a mono file.
  QList<int> chosen;
  if (state_.format->id == FormatId::Mono) chosen = wavlist->withPartners(wavlist->selectedRows());
  else if (!state_.stereo()) chosen = wavlist->withPartners({wavlist->currentRow()});
  if (chosen.size() > 1 && wavextr->On()) {
    const std::vector<int> rows(chosen.begin(), chosen.end());
    const std::string target = localPath(destin->folder());
    const std::string bank = state_.shown.ttiPath;
    const JobOptions options = state_.jobOptions();
    startJob(bank, [this, rows, target, bank, options] {
      JobContext ctx(*this, options);
      extractSamples(ctx, fileSystemBanks().bankAt(bank), rows, target);
    });
    return;
  }
  const int row = wavlist->currentRow();
  const std::string target = localPath(destin->folder());
  const std::string bank = state_.shown.ttiPath;
  const bool on = wavextr->On();
  const StereoPicks picks = state_.picks;
  const JobOptions options = state_.jobOptions();
  startJob(bank, [this, row, target, bank, on, picks, options] {
    JobContext ctx(*this, options);
    vantrel::wavextrClick(ctx, fileSystemBanks().bankAt(bank), on, picks, row, target);
  });
}

void TForm1::wavlistMouseDown() {
  if (jobRunning_) return;
  guarded([&] {
    const int row = wavlist->currentRow();
    const bool multi = wavlist->multiSelect();
    // In stereo mode a row that stands for a stereo pair picks both of its
    // samples, also before the output was chosen (one selection): there
    // only such a row picks.
    const int partner = state_.stereo() ? wavlist->pairedRow(row) : -1;
    if (state_.stereo() && partner < 0 && !multi) state_.picks.clear();
    vantrel::wavlistMouseDown(*this, state_.shown, state_.picks, row, multi || partner >= 0);
    if (partner >= 0) vantrel::wavlistMouseDown(*this, state_.shown, state_.picks, partner, true);
  });
}

void TForm1::wavlistEnter() {
  // Enter picks the current entry as a press does, then extracts: the
  // picked pair in stereo mode, else the entry as a double click does. The
  // entry picked last (a click on R, then Enter) is not picked again: that
  // would leave one entry picked twice in place of the pair.
  if (jobRunning_) return;
  const int row = wavlist->currentRow();
  const bool pickedLast = state_.stereo() && row >= 0 && row == state_.picks.current;
  if (!pickedLast) wavlistMouseDown();
  if (state_.stereo()) wavextrClick();
  else wavlistDblClick();
}

void TForm1::wavlistDblClick() {
  if (jobRunning_) return;
  const int row = wavlist->currentRow();
  const std::string target = localPath(destin->folder());
  const std::string bank = state_.shown.ttiPath;
  const JobOptions options = state_.jobOptions();
  // A row that stands for a stereo pair: both samples as mono files.
  if (const QList<int> pair = wavlist->withPartners({row}); pair.size() > 1 && !state_.stereo()) {
    const std::vector<int> rows(pair.begin(), pair.end());
    startJob(bank, [this, rows, target, bank, options] {
      JobContext ctx(*this, options);
      extractSamples(ctx, fileSystemBanks().bankAt(bank), rows, target);
    });
    return;
  }
  startJob(bank, [this, row, target, bank, options] {
    JobContext ctx(*this, options);
    vantrel::wavlistDblClick(ctx, fileSystemBanks().bankAt(bank), row, target);
  });
}

// ---- The window drag ----

void TForm1::Shape1MouseDown(QMouseEvent* event) {
  dragging_ = true;
  lastPointer_ = event->globalPosition().toPoint();
}

void TForm1::Shape1MouseMove(QMouseEvent* event) {
  if (!dragging_) return;
  const QPoint now = event->globalPosition().toPoint();
  const int dx = lastPointer_.x() - now.x();
  const int dy = lastPointer_.y() - now.y();
  lastPointer_ = now;
  move(x() - dx, y() - dy);
}

void TForm1::Shape1MouseUp(QMouseEvent*) { dragging_ = false; }

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == wavlist && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
    test->setFocusPolicy(event->type() == QEvent::Show ? Qt::NoFocus : Qt::StrongFocus);
    return false;
  }
  if (watched == Shape1 || watched == Label1 || watched == Image1) {
    switch (event->type()) {
      case QEvent::MouseButtonDblClick:
        // A double click on the title strip maximises, or gives the size
        // back, as on the desktop's own title bars.
        if (watched != Image1 && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
          dragging_ = false;
          toggleMaximised();
          return true;
        }
        Shape1MouseDown(static_cast<QMouseEvent*>(event));
        return true;
      case QEvent::MouseButtonPress:
        Shape1MouseDown(static_cast<QMouseEvent*>(event));
        return true;
      case QEvent::MouseMove:
        Shape1MouseMove(static_cast<QMouseEvent*>(event));
        return true;
      case QEvent::MouseButtonRelease:
        Shape1MouseUp(static_cast<QMouseEvent*>(event));
        return true;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

// ---- What the core reports ----

TImgBtn* TForm1::button(ButtonId id) const {
  switch (id) {
    case ButtonId::Extract: return extract;
    case ButtonId::Complete: return complete;
    case ButtonId::WavExtr: return wavextr;
    case ButtonId::ExtrDrive: return extrdrive;
  }
  return nullptr;
}

GaugeBar* TForm1::gauge(GaugeId id) const {
  switch (id) {
    case GaugeId::Bank: return gauge1;
    case GaugeId::Folder: return Gauge2;
    case GaugeId::Drive: return Gauge3;
  }
  return nullptr;
}

// Each report copies what it carries before it may be queued.

namespace {

// Texts of the core are UTF-8; the names of files in them may not be, and
// are shown by their bytes taken as Latin-1.
QString fromUtf8(std::string_view text) {
  if (isUtf8(text)) return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  return QString::fromStdString(latin1ToUtf8(text));
}

}  // namespace

void TForm1::status(std::string_view text) {
  onWindowThread([this, t = fromUtf8(text)] { headl->setText(t); });
}

void TForm1::warning(std::string_view text) { logLine(text); }

void TForm1::walkFailed(const RunError& error) { logLine(error.path() + ": " + error.message()); }

void TForm1::logClear() {
  // A folder or drive run keeps every bank's lines.
  onWindowThread([this] {
    if (!runLog_) test->clearLines();
  });
}

bool TForm1::askSkipBank(const QString& text, const std::string& path) {
  QString message = text;
  if (!path.empty()) message += QLatin1Char('\n') + shownText(fromLocalPath(path));
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Vantrel"), message, QMessageBox::NoButton, this);
  QPushButton* skip = box.addButton(QStringLiteral("Skip this bank"), QMessageBox::AcceptRole);
  QPushButton* stop = box.addButton(QStringLiteral("Stop"), QMessageBox::RejectRole);
  box.setDefaultButton(stop);
  box.setEscapeButton(stop);
  box.setPalette(darkDialogPalette(palette()));
  alignWindowPlace(this);
  box.exec();
  return box.clickedButton() == skip;
}

bool TForm1::bankFailed(const std::string& bankPath, const RunError& error) {
  const QString text = QString::fromStdString(error.message());
  const std::string path = error.path().empty() ? bankPath : error.path();
  if (QThread::currentThread() == thread()) return askSkipBank(text, path);  // not from a job
  // The job waits for the answer, and gives up waiting when it is stopped
  // (the window closing meanwhile).
  struct Answer {
    std::mutex lock;
    std::condition_variable given;
    int skip = -1;
  };
  auto answer = std::make_shared<Answer>();
  QMetaObject::invokeMethod(
      this,
      [this, answer, text, path] {
        // The run's gauge counts the bank at hand from its start: while the
        // box asks, it shows the banks finished before it.
        if (runGauge_ && runGauge_->progress() > runGauge_->minimum())
          runGauge_->setProgress(runGauge_->progress() - 1);
        const bool skip = askSkipBank(text, path);
        stoppedInBox_ = !skip;
        if (skip) {
          test->appendLine(shownText(fromLocalPath(path)) + QStringLiteral(": ") + text);
          ++runTally_.failedBanks;
        }
        const std::lock_guard<std::mutex> hold(answer->lock);
        answer->skip = skip ? 1 : 0;
        answer->given.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> hold(answer->lock);
  while (answer->skip < 0) {
    if (cancelled()) return false;
    answer->given.wait_for(hold, std::chrono::milliseconds(50));
  }
  return answer->skip == 1;
}

void TForm1::logLine(std::string_view text) {
  onWindowThread([this, t = fromUtf8(text)] {
    test->appendLine(t);
    if (!runLog_) return;
    if (t.endsWith(QStringLiteral(" already extracted"))) ++runTally_.already;
    else if (t.endsWith(QStringLiteral(" exists and differs"))) ++runTally_.differs;
    else if (t.endsWith(QStringLiteral(" extracted")) || t.endsWith(QStringLiteral(" written"))) ++runTally_.written;
  });
}

void TForm1::gaugeChanged(GaugeId id, std::int64_t min, std::int64_t max, std::int64_t progress) {
  onWindowThread([this, id, min, max, progress] {
    GaugeBar* g = gauge(id);
    g->setRange(min, max);
    g->setProgress(progress);
  });
}

void TForm1::buttonChanged(ButtonId id, bool on) {
  onWindowThread([this, id, on] { button(id)->SetOn(on); });
}

void TForm1::sampleListSet(const std::vector<std::string>& names) {
  QStringList items;
  items.reserve(static_cast<qsizetype>(names.size()));
  for (const std::string& n : names) items << fromUtf8(n);
  onWindowThread([this, items] {
    wavlist->clear();
    wavlist->addItems(items);
  });
}

void TForm1::sampleListVisible(bool visible) {
  onWindowThread([this, visible] { wavlist->setVisible(visible); });
}

void TForm1::sampleListSelect(int index, bool selected) {
  onWindowThread([this, index, selected] {
    if (QListWidgetItem* it = wavlist->item(index)) it->setSelected(selected);
  });
}

void TForm1::busy(bool on) {
  onWindowThread([this, on] {
    busyDepth_ += on ? 1 : -1;
    // A job stops the sound and closes the preview.
    if (on && audition_) audition_->stopAll();
    if (on)
      QApplication::setOverrideCursor(Qt::WaitCursor);
    else
      QApplication::restoreOverrideCursor();
  });
}

void TForm1::destinationChanged() {
  onWindowThread([this] { destin->reread(); });
}

}  // namespace vantrel
