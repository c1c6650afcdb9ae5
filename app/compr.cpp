#include "app/compr.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QPrinter>
#include <QScreen>
#include <QStandardPaths>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/about.h"
#include "app/fileservice.h"
#include "app/help.h"
#include "app/icons.h"
#include "app/jquality.h"
#include "app/preload.h"
#include "app/quickbrowse.h"
#include "app/slide.h"
#include "app/trace.h"

namespace app {

namespace {

// Names of the zoom and zoom-mode items by index.
constexpr const char* kZoomItems[] = {"ShrinktoFit1", "GrowtoFit1", "Stretchtofit1", "N252",
                                      "N502",         "N1002",      "N2002",         "N3002"};
constexpr const char* kZoomModeItems[] = {"Fast1", "Medium1", "Precise1"};

// Shows the wait cursor for the lifetime of the object.
struct TWaitCursor {
  TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};

void ProcessMessages() {
  QCoreApplication::processEvents();
}

QString DefaultConfigDir() {
  return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

}  // namespace

// ---- Construction ------------------------------------------------------------------

TForm1::TForm1(const TStartOptions& options, QWidget* parent) : QMainWindow(parent) {
  setObjectName("Form1");
  setWindowTitle(ProgramCaption);
  setWindowIcon(ApplicationIcon());
  resize(Settings.Width, Settings.Height);

  // Top pane (toolbar) above the browser / view splitter.
  PTSplitter2 = new widgets::TPTSplitter(Qt::Vertical, this);
  PTSplitter2->setObjectName("PTSplitter2");
  PTSplitter2->SetMinimum(50);
  PTSplitter2->setHandleWidth(1);
  Panel3 = new QWidget(PTSplitter2);
  Panel3->setObjectName("Panel3");
  PTSplitter1 = new widgets::TPTSplitter(Qt::Horizontal, PTSplitter2);
  PTSplitter1->setObjectName("PTSplitter1");
  PTSplitter1->setHandleWidth(2);
  PTSplitter2->setStretchFactor(0, 0);
  PTSplitter2->setStretchFactor(1, 1);
  Pane = new widgets::TBrowserPane({}, PTSplitter1);
  Pane->setObjectName("BrowserPane");
  Panel1 = new QWidget(PTSplitter1);
  Panel1->setObjectName("Panel1");
  PTSplitter1->setStretchFactor(0, 0);
  PTSplitter1->setStretchFactor(1, 1);
  setCentralWidget(PTSplitter2);

  auto* panelLayout = new QGridLayout(Panel1);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  Panel1Caption = new QLabel(CannotViewText, Panel1);
  Panel1Caption->setAlignment(Qt::AlignCenter);
  Panel1Caption->setVisible(false);
  PGImage1 = new TImagePane(Panel1);
  PGImage1->setObjectName("PGImage1");
  PGImage1->SetCenter(true);
  PGImage1->SetPalette8BitSys24BitGraphic(pgraphic::pSpecial252);
  PGImage1->SetSelectionColor2(QColor(0, 128, 0));  // white and green stripes
  Panel1->setAcceptDrops(true);
  Panel1->installEventFilter(this);
  PGImage1->PicBoxOnDragOver = [this](pgraphic::TPGImage&, QDropEvent& event, bool& accept) {
    accept = CanOpenDrop(event.mimeData());
  };
  PGImage1->PicBoxOnDragDrop = [this](pgraphic::TPGImage&, QDropEvent& event) {
    TakeDrop(event.mimeData());
  };
  panelLayout->addWidget(Panel1Caption, 0, 0);
  panelLayout->addWidget(PGImage1, 0, 0);
  PGImage2 = new TImagePane(this);
  PGImage2->setObjectName("PGImage2");
  PGImage2->hide();
  connect(PGImage1, &TImagePane::SelectionMade, this, &TForm1::PGImage1SelectionMade);
  connect(PGImage1, &TImagePane::WheelZoom, this, &TForm1::WheelZoom);

  statusBar_ = statusBar();
  statusBar_->setObjectName("SBar1");
  SBar1Panel = new QLabel(statusBar_);
  SBar1Panel->setObjectName("SBar1Panel");
  statusBar_->addWidget(SBar1Panel, 1);

  Timer1 = new QTimer(this);
  Timer1->setInterval(Settings.SlideInterval * 1000);
  connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

  TraceStartup("window frame built");
  BuildMenus();
  TraceStartup("menus built");
  BuildToolbar();
  TraceStartup("toolbar icons drawn");
  BuildBrowser();
  TraceStartup("browser built");
  preload_ = new TPreloader(*PTSList1, *PGImage1, this);
  quick_ = new TQuickBrowse(*PTSList1, *PGImage1, this);
  quick_->Ready = [this](std::unique_ptr<TStandIn> standIn) {
    PGImage1->ShowStandIn(std::move(standIn->Picture), standIn->ImageSize, standIn->For);
    setWindowTitle(QString(ProgramCaption) + " - " + standIn->Path);
    SBar1Panel->setText(standIn->InfoText);
  };
  connect(preload_, &TPreloader::SelectedRead, this, &TForm1::SelectedReadAhead);
  quickEnd_ = new QTimer(this);
  quickEnd_->setSingleShot(true);
  connect(quickEnd_, &QTimer::timeout, this, [this] { EndQuickBrowse(true); });
  PGImage1->PicBox()->installEventFilter(this);
  PGImage1->viewport()->installEventFilter(this);
  PTSplitter2->SetPosition(50);
  PTSplitter1->SetPosition(Settings.SplitterPosition);

  FormCreate(options);

  // The dialogs are made on first use and then live for the whole run.
  Form2.MakeWith([this] { return new TForm2(this); });
  Form4.MakeWith([this] { return new TForm4(this); });
  Form6.MakeWith([this] {
    const TFileDialogState dialogState{
        DialogMode,
        Shown.FileName,
        SaveFileName,
        LastFileName,
        Shown.InfoText,
        PreviewTaken,
        {&Settings.OpenPath, &Settings.SavePath, &Settings.CompressPath},
        DialogListIndex,
        DialogPreview,
        DialogFilterIndex};
    return new TForm6(this, dialogState,
                      {[this] {
                         LoadTarget = TLoadTarget::DialogPreview;
                         PreviewTaken = false;
                         return Load1();
                       },
                       [this](const QString& path, bool withPreview) {
                         return Load_Wavelet(path, withPreview
                                                       ? fileservice::LoadMode::DialogPreview
                                                       : fileservice::LoadMode::DialogInfo) == 1;
                       }});
  });
  TraceStartup("dialogs built");
}

TForm1::~TForm1() = default;

void TForm1::BuildBrowser() {
  widgets::TPTShellList::MessageTitle = ApplicationTitle;
  Pane->Grid()->setContentsMargins(2, 2, 2, 2);
  Pane->Grid()->setSpacing(3);
  Pane->setMinimumWidth(120);
  PTShellCombo1 = Pane->Combo;
  SpeedButton1 = Pane->UpButton;
  SpeedButton1->setIcon(ToolIcon("up", palette()));
  PTSList1 = Pane->List;
  FilterComboBox1 = Pane->Filter;

  connect(SpeedButton1, &QToolButton::clicked, this, &TForm1::SpeedButton1Click);
  connect(PTSList1, &widgets::TPTShellList::Change, this, &TForm1::PTSList1Change);
  connect(PTSList1, &widgets::TPTShellList::ItemClicked, this, &TForm1::PTSList1Click);
  connect(PTSList1, &widgets::TPTShellList::MouseDown, this, &TForm1::PTSList1MouseDown);
  connect(PTSList1, &widgets::TPTShellList::MouseUp, this, &TForm1::PTSList1MouseUp);
  connect(PTSList1, &widgets::TPTShellList::DblClickOpen, this, &TForm1::PTSList1DblClickOpen);
  connect(PTSList1, &widgets::TPTShellList::KeyReleased, this, &TForm1::PTSList1KeyUp);
  connect(PTSList1, &widgets::TPTShellList::KeyRepeated, this, [this](int key) {
    if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right ||
        key == Qt::Key_PageUp || key == Qt::Key_PageDown)
      BrowseStep(true);
  });
  connect(PTSList1, &widgets::TPTShellList::Editing, this, &TForm1::PTSList1Editing);
  connect(PTSList1, &widgets::TPTShellList::Edited, this, &TForm1::PTSList1Edited);
  connect(PTSList1, &widgets::TPTShellList::DeleteItem, this, &TForm1::PTSList1DeleteItem);
  connect(
      PTSList1, &widgets::TPTShellList::RenameFailed, this,
      [this](const QString& message) { QMessageBox::warning(this, ApplicationTitle, message); },
      Qt::QueuedConnection);
  connect(Pane, &widgets::TBrowserPane::FolderChosen, this, &TForm1::PTShellCombo1Change);
  connect(FilterComboBox1, &widgets::TFilterComboBox::Change, this, &TForm1::FilterComboBox1Change);
  connect(PTSplitter1, &widgets::TPTSplitter::Change, this, &TForm1::PTSplitter1Change);
}

void TForm1::FormCreate(const TStartOptions& options) {
  Busy = true;
  const QString startDir = options.StartDir.isEmpty() ? QDir::currentPath() : options.StartDir;
  // The "drive root" of the program is the user's home folder.
  RootDir = QDir::homePath();
  QString settingsDir =
      (options.ConfigDir.isEmpty() ? DefaultConfigDir() : options.ConfigDir).trimmed();
  if (settingsDir.isEmpty()) settingsDir = RootDir;
  IniFileName = QDir(settingsDir).absoluteFilePath("tesslora.ini");
  TIniFile ini(IniFileName);
  ReadPathSettings(ini, RootDir, Settings);
  HelpFileName = FindHelpFile();

  PGImage1->SetGraphic(std::make_unique<pgraphic::TPixelGraphic>());
  PGImage1->SetStretchMode(static_cast<pgraphic::TStretchMode>(Settings.ZoomModeIndex));

  DialogListIndex = {-1, -1, -1};
  DialogPreview = {false, false, false};
  DialogFilterIndex = {0, 0, 0};

  if (!options.Arguments.isEmpty()) {
    const QString arg = options.Arguments.first();
    const QFileInfo info(QDir(startDir), arg);
    const QString path = StartFilePath(startDir, arg);
    if (info.isDir()) {
      // A folder is opened in the browser, with nothing shown.
      Settings.OpenPath = path;
    } else if (!info.exists()) {
      // Said in the status bar; the browser shows its folder when there is one.
      startMessage_ = QString("File not found: \"%1\"").arg(path);
      if (info.absoluteDir().exists()) Settings.OpenPath = QDir::cleanPath(info.absolutePath());
    } else {
      StartFileGiven = true;
      Shown.FileName = path;
      Settings.OpenPath = QDir::cleanPath(info.absolutePath()).trimmed();
      if (Settings.OpenPath.isEmpty()) Settings.OpenPath = startDir;
      preload_->Adopt(options.StartRead);
    }
  }
}

QString StartFilePath(const QString& startDir, const QString& argument) {
  return QDir::cleanPath(QFileInfo(QDir(startDir), argument).absoluteFilePath());
}

// ---- Showing, resizing, closing ----------------------------------------------------

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!firstShowDone_) {
    firstShowDone_ = true;
    FormShow();
  }
}

void TForm1::FormShow() {
  // Values missing from the file keep the window's bounds and splitter position.
  const QRect current = geometry();
  StoreWindowState(current);
  ReadWindowSettings(TIniFile(IniFileName), Settings);
  Item("AskSave1")->setChecked(Settings.AskToSaveEdits);
  TraceStartup("settings read");
  // Bounds that would put the window out of reach are not applied.
  const QRect wanted(Settings.Left, Settings.Top, Settings.Width, Settings.Height);
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (wanted != current && wanted.width() >= 200 && wanted.height() >= 150 &&
      (!screen || screen->virtualGeometry().intersects(wanted)))
    setGeometry(wanted);
  if (Settings.SplitterPosition > 0) PTSplitter1->SetPosition(Settings.SplitterPosition);

  ApplyZoom(Settings.ZoomIndex);
  ApplyZoomMode(Settings.ZoomModeIndex);
  ApplyAutoOrient();

  // The mask is set first, so that the folder is listed once, with it.
  FilterComboBox1->SetFilters(ImageFileFilters());
  FilterComboBox1->SetItemIndex(DialogFilterIndex[0]);
  PTSList1->SetMask(AllImagesMask());
  const QString keep = Shown.FileName;
  Pane->ShowFolder(Settings.OpenPath);
  Shown.FileName = keep;
  FormResize();
  TraceStartup("folder listed");

  if (StartFileGiven) {
    const QString wantedPath = Shown.FileName.toLower();
    for (int i = 0; i < PTSList1->Count(); ++i) {
      if (PTSList1->ItemPath(i).toLower() == wantedPath) {
        PTSList1->SetFocusedIndex(i);
        PTSList1->SelectItem(i);
        break;
      }
    }
    Open1Click();
    StartFileGiven = false;
  }
  if (!startMessage_.isEmpty()) SBar1Panel->setText(startMessage_);
  FocusList();
  Busy = false;
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void TForm1::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) FormResize();
}

void TForm1::FormResize() {
  if (statusBar_) statusBar_->setSizeGripEnabled(!isMaximized());
}

namespace {
// The first local file among dropped URLs; empty when there is none.
QString FirstDroppedFile(const QMimeData* data) {
  if (!data || !data->hasUrls()) return {};
  for (const QUrl& url : data->urls())
    if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) return url.toLocalFile();
  return {};
}
}  // namespace

bool TForm1::CanOpenDrop(const QMimeData* data) const {
  return !Busy && !CommandRunning() && !FirstDroppedFile(data).isEmpty();
}

void TForm1::TakeDrop(const QMimeData* data) {
  if (!CanOpenDrop(data)) return;
  droppedFile_ = FirstDroppedFile(data);
  // Opened once the drop has ended, so the dragging program is not kept waiting.
  QMetaObject::invokeMethod(
      this, [this] { RunHandler(&TForm1::OpenDroppedFile); }, Qt::QueuedConnection);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  const auto type = event->type();
  // A press on the picture acts on the file reached, opened first.
  if (type == QEvent::MouseButtonPress && quickPause_) EndQuickBrowse(true);
  // The picture takes drops through its own events; the panel those around it.
  if (watched != Panel1 ||
      (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop))
    return QMainWindow::eventFilter(watched, event);
  auto* drop = static_cast<QDropEvent*>(event);
  if (!CanOpenDrop(drop->mimeData())) {
    drop->ignore();
    return true;
  }
  drop->acceptProposedAction();
  if (type == QEvent::Drop) TakeDrop(drop->mimeData());
  return true;
}

void TForm1::OpenDroppedFile() {
  const QFileInfo dropped(droppedFile_);
  if (Busy || !dropped.isFile() || !MayLeaveImage()) return;
  // The browser moves to the file's folder and marks it, as when it is chosen there.
  Busy = true;
  Pane->ShowFolder(dropped.absolutePath());
  const int index = PTSList1->IndexOfPath(dropped.absoluteFilePath());
  if (index >= 0) {
    PTSList1->SetFocusedIndex(index);
    PTSList1->SelectItem(index);
  }
  Settings.OpenPath = dropped.absolutePath();
  Busy = false;
  PreviewTaken = false;
  Shown.FileName = LastFileName = LastListPath = dropped.absoluteFilePath();
  Open_image();
  FocusList();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!MayLeaveImage()) {
    event->ignore();  // the user keeps the edited image
    return;
  }
  FormClose();
  event->accept();
}

void TForm1::StoreWindowState(const QRect& bounds) {
  Settings.Left = bounds.x();
  Settings.Top = bounds.y();
  Settings.Width = bounds.width();
  Settings.Height = bounds.height();
  Settings.SplitterPosition = PTSplitter1->Position();
}

void TForm1::FormClose() {
  try {
    QDir().mkpath(QFileInfo(IniFileName).absolutePath());
    TIniFile ini(IniFileName);
    const QRect bounds = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    SetFullScreen(false);  // the browser's width as it was before
    StoreWindowState(bounds);
    WriteSettings(ini, Settings);
    ini.Save();  // a failure is ignored; the old file stays whole
  } catch (...) {
  }
  Shown.ReleaseCompressedData();
}

void TForm1::CheckColorResolution(pgraphic::TPGPixelFormat format, pgraphic::TPaletteIdent ident) {
  switch (format) {
    case pgraphic::pf1Bit:
      CheckItem("N11");
      break;
    case pgraphic::pf4Bit:
      CheckItem("N12");
      break;
    case pgraphic::pf8Bit:
      CheckItem("N21");
      break;
    default:
      CheckItem("T1");
      break;
  }
  if (ident == pgraphic::pGray256) CheckItem("N22");
}

void TForm1::SetViewVisible(bool visible) {
  PGImage1->setVisible(visible);
  Panel1Caption->setVisible(!visible);
}

void TForm1::AttachPopup(bool attach) {
  popupAttached_ = attach;
  PGImage1->SetPopup(attach ? PopupMenu1 : nullptr);
}

void TForm1::PressHandIfNoToolDown() {
  if (!Button("SB19")->Down() && !Button("SB18")->Down()) {
    Button("SB19")->SetDown(true);
    PGImage1->SetHandTool(true);
  }
}

void TForm1::FocusList() {
  // In full screen the list is hidden: the view takes the keys and hands it its own.
  (fullScreen_.On ? static_cast<QWidget*>(PGImage1) : PTSList1)->setFocus(Qt::OtherFocusReason);
}

void TForm1::UpdateCaption() {
  setWindowTitle(Shown.FileName.isEmpty() ? QString(ProgramCaption)
                                          : QString(ProgramCaption) + " - " + Shown.FileName);
}

// ---- Opening -----------------------------------------------------------------------

void TForm1::Open1Click() {
  // Asked before the dialog, which Save copy as shares.
  if (!StartFileGiven && !MayLeaveImage()) return;
  // The dialog names its choice in Shown as it goes.
  const QString shownName = Shown.FileName, shownInfo = Shown.InfoText;
  Busy = true;
  DialogMode = TDialogMode::Open;
  PreviewTaken = false;
  DialogListIndex[0] = PTSList1->SelectedIndex();
  const bool accepted = !StartFileGiven && Form6->exec() == QDialog::Accepted;
  if (!accepted && Shown.Edited) {
    // Nothing chosen: the edited image stays, under its name.
    Shown.FileName = shownName;
    Shown.InfoText = shownInfo;
    FocusList();
    Busy = false;
    return;
  }
  if (accepted) ShowOpenChoice();
  FocusList();
  Busy = false;
  if (const int selected = PTSList1->SelectedIndex(); selected >= 0) {
    // The item opened counts as the list's last one, so that a key released on
    // the list afterwards (the Enter that closed a later box) opens nothing again.
    LastListPath = PTSList1->ItemPath(selected).trimmed();
    Open_image();
    FocusList();
  }
}

std::unique_ptr<TPreloaded> TForm1::ReadFile(const QString& path, TImagePane& target) {
  // What was read ahead for the main view when it still holds; otherwise the
  // same read now, so a file shows the same whatever the timing.
  std::unique_ptr<TPreloaded> read = &target == PGImage1 ? preload_->Take(path) : nullptr;
  if (!read) read = TPreloadJob::ReadNow(path.toStdString(), ReadSettingsOf(target));
  return read;
}

void TForm1::ShowOpenChoice() {
  // The browser shows the dialog's folder, type and item; its events clear the
  // file name and the information text, so both are kept.
  const QString keepName = Shown.FileName;
  const QString keepInfo = Shown.InfoText;
  const widgets::TPTShellList& chosen = *Form6->PTSList1;
  Pane->ShowFolder(chosen.Folder());
  FilterComboBox1->SetItemIndex(Form6->FilterComboBox1->ItemIndex());
  PTSList1->SetMask(FilterComboBox1->Mask());
  const int there = PTSList1->IndexOfPath(chosen.ItemPath(chosen.SelectedIndex()));
  PTSList1->SetFocusedIndex(there);
  PTSList1->SelectItem(there);
  Shown.FileName = keepName;
  Shown.InfoText = keepInfo;
  LastFileName = Shown.FileName;
  PreviewTaken = false;
  if (auto copy = Form6->PreviewCopy()) {
    PGImage1->SetGraphic(std::move(copy));
    PreviewTaken = true;
  }
}

int TForm1::Load_Wavelet(const QString& fileName, fileservice::LoadMode mode) {
  TWaitCursor wait;
  ProcessMessages();
  if (mode == fileservice::LoadMode::MainWindow) {
    std::unique_ptr<TPreloaded> read = ReadFile(fileName, *PGImage1);
    if (!ShowWaveletError(fileName, read->Error) || !read->Ok) return 0;
    Shown.InfoText = QString::fromStdString(read->InfoText);
    PGImage1->SetPixelGraphic(std::move(read->Image), std::move(read->Copy));
    ProcessMessages();
    return 1;
  }
  fileservice::LoadResult result;
  try {
    result = fileservice::LoadWavelet(fileName.toStdString(), mode);
  } catch (const std::bad_alloc&) {
    result.Error = io::MsgNoMemory;
  } catch (const std::exception&) {
    return 0;
  }
  if (!ShowWaveletError(fileName, result.Error) || result.Result != 1) return 0;
  Shown.InfoText = QString::fromStdString(result.InfoText);
  switch (mode) {
    case fileservice::LoadMode::DialogPreview:
      Form6->SetLabels(result.Labels);
      Form6->Preview()->SetGraphic(std::move(result.Image));
      break;
    case fileservice::LoadMode::DialogInfo:
      Form6->SetLabels(result.Labels);
      break;
    case fileservice::LoadMode::MainWindow:
    case fileservice::LoadMode::Batch:
      break;
  }
  ProcessMessages();
  return 1;
}

bool TForm1::ShowWaveletError(const QString& fileName, const std::string& error) {
  if (error.empty()) return true;
  // A running slide show is not stopped by the box: the status bar tells.
  if (TSlideWarnings::Collect(QFileInfo(fileName).fileName().toStdString(), error)) return false;
  QApplication::restoreOverrideCursor();
  ShowErrorBox(this, QString::fromStdString(error));
  QApplication::setOverrideCursor(Qt::WaitCursor);
  return false;
}

void TForm1::Open_image() {
  TPreloader::TPause pause(preload_);
  if (!Shown.FileName.isEmpty()) Shown.Edited = false;  // another picture takes its place
  Shown.UndoBlocked = true;
  SetViewVisible(true);
  if (!Shown.FileName.isEmpty()) {
    if (fileservice::IsVQN(Shown.FileName.toStdString())) {
      Shown.Loaded = PreviewTaken;
      if (!PreviewTaken) {
        All_Deactivate();
        if (Load_Wavelet(Shown.FileName, fileservice::LoadMode::MainWindow) == 1) {
          Shown.Loaded = true;
        } else {
          SetViewVisible(false);
        }
        All_Activate();
      }
    } else {
      ProcessMessages();
      LoadTarget = TLoadTarget::MainView;
      Shown.Loaded = true;
      if (!Load1()) {
        SetViewVisible(false);
        unsetCursor();
        Shown.Loaded = false;
      }
      ProcessMessages();
    }
    setWindowTitle(QString(ProgramCaption) + " - " + Shown.FileName);
    if (Shown.Loaded) {
      SBar1Panel->setText(Shown.InfoText);
    } else {
      PGImage1->SetFileName(std::string());
      SBar1Panel->clear();
    }
  }
  ProcessMessages();
  if (Shown.Loaded) {
    if (auto* g = PGImage1->Graphic()) CheckColorResolution(g->PixelFormat(), g->PaletteIdent());
    AttachPopup(true);
    PGImage1->viewport()->update();
  } else {
    AttachPopup(false);
  }
  EnableImageCommands(Shown.Loaded);
  SetItemEnabled("C5", false);
  SetItemEnabled("U1", false);
  SetButtonEnabled("SB9", false);
  if (Shown.Loaded) {
    PressHandIfNoToolDown();
    PGImage1->RemoveSelection();
    Shown.Compressed = false;
    Shown.ReleaseCompressedData();
  }
  if (!Shown.FileName.isEmpty()) {
    TraceStartup("file opened");
    preload_->Shown(Shown.FileName);
  }
}

bool TForm1::Load1() {
  if (LoadTarget == TLoadTarget::MainView && PreviewTaken) return true;
  const QString source =
      (LoadTarget == TLoadTarget::DialogPreview && DialogMode == TDialogMode::SaveCopy)
          ? SaveFileName
          : Shown.FileName;
  TImagePane* target = LoadTarget == TLoadTarget::DialogPreview ? Form6->Preview() : PGImage1;
  const std::string path = source.toStdString();
  std::unique_ptr<TPreloaded> read;
  {
    TWaitCursor wait;
    read = ReadFile(source, *target);
  }
  if (!read->Ok) {
    target->SetLoadedFile(std::string(), nullptr, {});
    return false;
  }
  if (fileservice::IsMetafile(path)) {
    // Drawn onto a bitmap of the picture's own size and shown as an 8-bit image
    // with the fixed 252-colour palette; the view keeps no file name for it.
    if (LoadTarget == TLoadTarget::MainView) {
      setWindowTitle(ProgramCaption);
      SBar1Panel->clear();
    }
    target->SetLoadedFile(std::string(), std::move(read->Image), std::move(read->Copy));
  } else {
    target->SetLoadedFile(path, std::move(read->Image), std::move(read->Copy));
  }
  Shown.InfoText = QString::fromStdString(read->InfoText);
  return true;
}

// ---- Saving a copy -------------------------------------------------------------------

void TForm1::Saveas1Click() {
  DialogMode = TDialogMode::SaveCopy;
  Form6->exec();
  if (!SaveFileName.isEmpty()) {
    Busy = true;
    const QString ext = QFileInfo(SaveFileName).suffix();
    bool save = true;
    if (ext == "jpg" || ext == "JPG") {
      Form4->exec();
      save = QualityValue > 0;
      if (save) io::PGJPEGQuality = QualityValue;
    }
    if (save) {
      All_Deactivate();
      std::exception_ptr failure;
      {
        TWaitCursor wait;
        try {
          PGImage1->SaveToFile(SaveFileName);
          Shown.Edited = false;
        } catch (...) {
          // The data are written beside the target first, so an existing file survives.
          failure = std::current_exception();
        }
      }
      All_Activate();
      if (failure) ShowSaveFailed(this, SaveFileName, failure);
    }
    Busy = false;
  }
  FocusList();
}

// ---- Undo, zoom, zoom mode -----------------------------------------------------------

void TForm1::U1Click() {
  if (Shown.UndoBlocked) return;
  SetItemEnabled("U1", false);
  SetButtonEnabled("SB9", false);
  All_Deactivate();
  {
    TWaitCursor wait;
    ProcessMessages();
    if (Shown.UndoKind == TUndoKind::Compression) {
      Shown.UndoKind = TUndoKind::Image;
      Shown.Compressed = false;
      Shown.ReleaseCompressedData();
    } else if (Shown.Compressed && Shown.UndoKind != TUndoKind::Zoom &&
               Shown.UndoKind != TUndoKind::ZoomMode) {
      Shown.Compressed = false;
      Shown.ReleaseCompressedData();
    }
    if (Shown.UndoKind == TUndoKind::Image) {
      PGImage1->SetGraphic(PGImage2->CopyGraphic());
      Shown.Edited = Shown.UndoEdited;
      CheckColorResolution(Shown.UndoPixelFormat, Shown.UndoPaletteIdent);
    } else if (Shown.UndoKind == TUndoKind::Zoom) {
      Settings.ZoomIndex = PrevZoomItem - 1;
      ApplyZoom(Settings.ZoomIndex);
      PGImage1->viewport()->update();
    } else if (Shown.UndoKind == TUndoKind::ZoomMode) {
      Settings.ZoomModeIndex = PrevZoomMode - 1;
      ApplyZoomMode(Settings.ZoomModeIndex);
    }
  }
  All_Activate();
  // Undo stays disabled until a command arms it again.
  SetItemEnabled("U1", false);
  SetItemEnabled("C5", false);
  ProcessMessages();
  update();
  FocusList();
}

void TForm1::ApplyZoom(int index) {
  if (index < 0 || index > 7) return;
  checkedZoom_ = index;
  CheckItem(kZoomItems[index]);
  PGImage1->SetZoomChoice(index);
}

void TForm1::ApplyZoomMode(int index) {
  if (index < 0 || index > 2) return;
  checkedZoomMode_ = index;
  CheckItem(kZoomModeItems[index]);
  PGImage1->SetStretchMode(static_cast<pgraphic::TStretchMode>(index));
}

void TForm1::ZoomCommand(int index) {
  Shown.UndoKind = TUndoKind::Zoom;
  Settings.ZoomIndex = index;
  Shown.UndoBlocked = false;
  SetItemEnabled("U1", true);
  SetButtonEnabled("SB9", true);
  PrevZoomItem = checkedZoom_ + 1;
  ApplyZoom(index);
  update();
}

void TForm1::ZoomModeCommand(int index) {
  Shown.UndoKind = TUndoKind::ZoomMode;
  Settings.ZoomModeIndex = index;
  Shown.UndoBlocked = false;
  SetItemEnabled("U1", true);
  SetButtonEnabled("SB9", true);
  PrevZoomMode = checkedZoomMode_ + 1;
  ApplyZoomMode(index);
}

void TForm1::ApplyAutoOrient() {
  if (QAction* item = Item("OrientTag1")) item->setChecked(Settings.AutoOrient);
  PGImage1->SetAutoOrient(Settings.AutoOrient);
  Form6->Preview()->SetAutoOrient(Settings.AutoOrient);
}

void TForm1::OrientTag1Click() {
  Settings.AutoOrient = Item("OrientTag1")->isChecked();
  ApplyAutoOrient();
  // The shown picture is read again the new way when its tag turns or mirrors it.
  const std::string shown = Shown.FileName.toStdString();
  if (Shown.Loaded && !shown.empty() && io::FileOrientation(shown) != 1 && MayLeaveImage()) {
    PreviewTaken = false;
    Open_image();
  }
  FocusList();
}

// ---- Tools, help, about ----------------------------------------------------------------

void TForm1::SB19Click() {
  Button("SB19")->SetDown(true);
  PGImage1->SetHandTool(true);
  PGImage1->RemoveSelection();
  SetItemEnabled("C5", false);
}

void TForm1::SB18Click() {
  Button("SB18")->SetDown(true);
  PGImage1->SetHandTool(false);
}

void TForm1::PGImage1SelectionMade() {
  SetItemEnabled("C5", true);
}

void TForm1::About1Click() {
  Form2->exec();
}

void TForm1::Help2Click() {
  if (!help_) help_ = new THelpWindow(HelpFileName, this);
  help_->ShowContents();
}

// ---- The file browser ------------------------------------------------------------------

void TForm1::PTSList1Change() {
  SetViewVisible(true);
  const int selected = PTSList1->SelectedIndex();
  if (Busy || selected < 0) return;
  Settings.OpenPath = PTSList1->Folder();
  const bool isFile = !PTSList1->ItemIsFolder(selected);
  EnableImageCommands(isFile);
  if (isFile) {
    PressHandIfNoToolDown();
    AttachPopup(true);
  } else {
    PGImage1->RemoveSelection();
    Shown.Compressed = false;
    AttachPopup(false);
    Shown.ReleaseCompressedData();
  }
}

void TForm1::FBox1Change_1() {
  if (Busy || CommandRunning()) return;
  EndQuickBrowse(false);
  sinceStep_.invalidate();  // the step after an open is quick only when it follows a key's
  PTSList1->SelectFocused();
  int selected = PTSList1->SelectedIndex();
  const bool opensFile = selected >= 0 && !PTSList1->ItemIsFolder(selected);
  if (opensFile && Shown.Edited) {
    // An edited image is never read again over its edits, and gives way to
    // another file only when the user lets it; the list returns to it otherwise.
    const QString wanted = PTSList1->ItemPath(selected);
    if (wanted == Shown.FileName || !MayLeaveImage()) {
      ReselectShown();
      return;
    }
    selected = PTSList1->IndexOfPath(wanted);  // a copy saved meanwhile lists the folder again
  }
  // An edited image that stays on show keeps its name.
  if (!Shown.Edited) Shown.FileName.clear();
  if (selected < 0) return;
  LastListPath = PTSList1->ItemPath(selected).trimmed();
  if (opensFile) {
    PreviewTaken = false;
    Shown.FileName = LastFileName = PTSList1->ItemPath(selected);
    Open_image();
    FocusList();
  }
}

void TForm1::PTSList1Click() {
  PTSList1MouseDown(Qt::LeftButton);
}

void TForm1::PTSList1MouseDown(Qt::MouseButton) {
  PTSList1->SelectFocused();
  const int selected = PTSList1->SelectedIndex();
  if (selected >= 0 && PTSList1->ItemPath(selected) != Shown.FileName) FBox1Change_1();
}

void TForm1::PTSList1MouseUp(Qt::MouseButton button) {
  if (button == Qt::RightButton || button == Qt::MiddleButton) PTSList1->SelectFocused();
}

bool IsStepKey(int key) {
  switch (key) {
    case Qt::Key_Space:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
      return true;
    default:
      return false;
  }
}

void TForm1::PTSList1DblClickOpen() {
  FBox1Change_1();
}

void TForm1::PTSList1KeyUp(int key) {
  if (IsStepKey(key)) {
    BrowseStep(false);
    return;
  }
  const int selected = PTSList1->SelectedIndex();
  if (selected < 0 || PTSList1->ItemPath(selected) != LastListPath) FBox1Change_1();
}

// Steps that come before the file of the last one is on screen for long (a held
// key, fast presses) show each file from a reduced decode, made ahead on the
// workers; the file reached is opened once no step came for a while, or at once
// when anything else is asked of the window.
namespace {
constexpr int kQuickStepMs = 150;  // a step this soon after the last one is quick
constexpr int kQuickEndMs = 120;   // no step for this long ends quick browsing
}  // namespace

void TForm1::BrowseStep(bool repeated) {
  stepKeyHeld_ = repeated;  // until the key's release, a step of its own
  if (Busy || CommandRunning()) return;
  const bool quick = repeated || (sinceStep_.isValid() && sinceStep_.elapsed() < kQuickStepMs);
  PTSList1->SelectFocused();
  const int selected = PTSList1->SelectedIndex();
  // An edited image is left only through the question the open asks.
  if (quick && !Shown.Edited && selected >= 0 && !PTSList1->ItemIsFolder(selected) &&
      MayStandIn(PTSList1->ItemPath(selected))) {
    if (!quickPause_) {
      preload_->CancelWork();
      quickPause_ = std::make_shared<TPreloader::TPause>(preload_);
    }
    LastListPath = PTSList1->ItemPath(selected).trimmed();
    quick_->Step(selected);
    quickEnd_->start(kQuickEndMs);
  } else if (!repeated) {
    // The release of a held key opens the file reached, unless it is on show
    // already, opened from the read-ahead while the key was held.
    const QString opened = std::exchange(openedWhileHeld_, QString());
    if (selected < 0 || opened.isEmpty() || PTSList1->ItemPath(selected) != opened ||
        Shown.FileName != opened)
      FBox1Change_1();
  }
  sinceStep_.restart();
}

void TForm1::SelectedReadAhead(const QString& path) {
  // A held key over files that cannot stand in (another format than JPEG): a
  // file the read-ahead has read while the selection is still on it is opened
  // at once, as a paced step would open it.
  const int selected = PTSList1->SelectedIndex();
  if (!stepKeyHeld_ || QuickBrowsing() || Shown.Edited || selected < 0 ||
      PTSList1->ItemPath(selected) != path || path == Shown.FileName)
    return;
  FBox1Change_1();
  if (Shown.FileName == path) openedWhileHeld_ = path;
}

bool TForm1::QuickBrowsing() const {
  return quickPause_ != nullptr;
}

void TForm1::EndQuickBrowse(bool open) {
  if (!quickPause_) return;
  quickEnd_->stop();
  quick_->Stop();
  quickPause_.reset();
  if (open) FBox1Change_1();
}

void TForm1::PTSList1Edited(const QString& oldPath, const QString& newPath) {
  // The file shown was renamed: the window follows its new name.
  if (oldPath == Shown.FileName) {
    Shown.FileName = LastFileName = LastListPath = newPath;
    UpdateCaption();
  }
}

void TForm1::PTSList1DeleteItem(const QString& path) {
  // The edited picture of a file that went can still be saved, or kept on show.
  if (path != Shown.FileName || !MayLeaveImage()) return;
  Shown.Edited = false;
  PGImage1->SetFileName(std::string());
  setWindowTitle(ProgramCaption);
  Shown.InfoText.clear();
  Shown.FileName.clear();
  SBar1Panel->clear();
  // Nothing is shown any more: the commands on the image go off with it.
  Shown.Loaded = false;
  EndCompressedState();
  AttachPopup(false);
  EnableImageCommands(false);
  SetItemEnabled("C5", false);
  SetItemEnabled("U1", false);
  SetButtonEnabled("SB9", false);
}

void TForm1::PTShellCombo1Change() {
  FBox1Change_1();
}

void TForm1::SpeedButton1Click() {
  Busy = true;
  PTShellCombo1->GoUp();
  Busy = false;
  FBox1Change_1();
}

void TForm1::FilterComboBox1Change() {
  if (Busy) return;
  try {
    DialogFilterIndex[0] = FilterComboBox1->ItemIndex();
    PTSList1->SetMask(FilterComboBox1->Mask());
    FocusList();
    FBox1Change_1();
  } catch (...) {
  }
}

void TForm1::SB16Click() {
  PGImage1->RemoveSelection();
  SetItemEnabled("C5", false);
  Busy = true;
  int i = PTSList1->FocusedIndex();
  if (i < 0) i = 0;
  PTSList1->SelectItem(i);
  if (i == 0 || PTSList1->ItemIsFolder(i - 1)) {
    SetButtonEnabled("SB16", false);
    SetButtonEnabled("SB17", true);
  } else {
    PTSList1->SetFocusedIndex(i - 1);
    PTSList1->SelectItem(i - 1);
    Busy = false;
    FBox1Change_1();
    // Where the step ended: the user may have kept an edited image.
    SetButtonEnabled("SB16", PTSList1->FocusedIndex() > 0);
    SetButtonEnabled("SB17", true);
  }
  Busy = false;
}

void TForm1::SB17Click() {
  PGImage1->RemoveSelection();
  SetItemEnabled("C5", false);
  Busy = true;
  SlideAtEnd = false;
  int i = PTSList1->FocusedIndex();
  if (i < 0) i = 0;
  PTSList1->SelectItem(i);
  if (i >= PTSList1->Count() - 1 || PTSList1->ItemIsFolder(i + 1)) {
    SetButtonEnabled("SB17", false);
    SetButtonEnabled("SB16", true);
    SlideAtEnd = true;
  } else {
    PTSList1->SetFocusedIndex(i + 1);
    PTSList1->SelectItem(i + 1);
    Busy = false;
    FBox1Change_1();
    SetButtonEnabled("SB17", PTSList1->FocusedIndex() + 1 < PTSList1->Count());
    SetButtonEnabled("SB16", true);
  }
  Busy = false;
}

}  // namespace app
