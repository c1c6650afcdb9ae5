#include "app/compr.h"

#include <QApplication>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
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
#include "app/slide.h"
#include "app/trace.h"

namespace app {

namespace {

using Handler = void (TForm1::*)();

const std::map<QString, Handler>& Handlers() {
  static const std::map<QString, Handler> handlers = {
      {"Open1Click", &TForm1::Open1Click},
      {"Saveas1Click", &TForm1::Saveas1Click},
      {"SB51Click", &TForm1::SB51Click},
      {"N17Click", &TForm1::N17Click},
      {"Print1Click", &TForm1::Print1Click},
      {"Exit1Click", &TForm1::Exit1Click},
      {"U1Click", &TForm1::U1Click},
      {"N10Click", &TForm1::N10Click},
      {"C5Click", &TForm1::C5Click},
      {"ImS1Click", &TForm1::ImS1Click},
      {"V1Click", &TForm1::V1Click},
      {"H2Click", &TForm1::H2Click},
      {"N5Click", &TForm1::N5Click},
      {"N6Click", &TForm1::N6Click},
      {"N11Click", &TForm1::N11Click},
      {"N12Click", &TForm1::N12Click},
      {"N21Click", &TForm1::N21Click},
      {"N22Click", &TForm1::N22Click},
      {"T1Click", &TForm1::T1Click},
      {"SB14Click", &TForm1::SB14Click},
      {"N19Click", &TForm1::N19Click},
      {"SB20Click", &TForm1::SB20Click},
      {"S5Click", &TForm1::S5Click},
      {"S6Click", &TForm1::S6Click},
      {"RGB1Click", &TForm1::RGB1Click},
      {"CMY1Click", &TForm1::CMY1Click},
      {"YCbCr1Click", &TForm1::YCbCr1Click},
      {"HLS1Click", &TForm1::HLS1Click},
      {"HSV1Click", &TForm1::HSV1Click},
      {"BCG1Click", &TForm1::BCG1Click},
      {"Grayscale1Click", &TForm1::Grayscale1Click},
      {"Negative1Click", &TForm1::Negative1Click},
      {"S2Click", &TForm1::S2Click},
      {"N14Click", &TForm1::N14Click},
      {"S3Click", &TForm1::S3Click},
      {"N15Click", &TForm1::N15Click},
      {"C3Click", &TForm1::C3Click},
      {"ShrinktoFit1Click", &TForm1::ShrinktoFit1Click},
      {"GrowtoFit1Click", &TForm1::GrowtoFit1Click},
      {"Stretchtofit1Click", &TForm1::Stretchtofit1Click},
      {"N252Click", &TForm1::N252Click},
      {"N502Click", &TForm1::N502Click},
      {"N1002Click", &TForm1::N1002Click},
      {"N2002Click", &TForm1::N2002Click},
      {"N3002Click", &TForm1::N3002Click},
      {"Fast1Click", &TForm1::Fast1Click},
      {"Medium1Click", &TForm1::Medium1Click},
      {"Precise1Click", &TForm1::Precise1Click},
      {"About1Click", &TForm1::About1Click},
      {"Help2Click", &TForm1::Help2Click},
      {"SB19Click", &TForm1::SB19Click},
      {"SB18Click", &TForm1::SB18Click},
      {"SB16Click", &TForm1::SB16Click},
      {"SB17Click", &TForm1::SB17Click},
      {"SpeedButton1Click", &TForm1::SpeedButton1Click},
  };
  return handlers;
}

// Names of the zoom and zoom-mode items by index.
constexpr const char* kZoomItems[] = {"ShrinktoFit1", "GrowtoFit1", "Stretchtofit1", "N252",
                                      "N502",         "N1002",      "N2002",         "N3002"};
constexpr const char* kZoomModeItems[] = {"Fast1", "Medium1", "Precise1"};
constexpr const char* kFilterItems[] = {"RGB1", "CMY1",       "YCbCr1",    "HLS1", "HSV1",
                                        "BCG1", "Grayscale1", "Negative1", "S2",   "N14",
                                        "S3",   "N15",        "C3"};

// Shows the wait cursor for the lifetime of the object.
struct TWaitCursor {
  TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};

void ProcessMessages() { QCoreApplication::processEvents(); }

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
  panelLayout->addWidget(Panel1Caption, 0, 0);
  panelLayout->addWidget(PGImage1, 0, 0);
  PGImage2 = new TImagePane(this);
  PGImage2->setObjectName("PGImage2");
  PGImage2->hide();
  connect(PGImage1, &TImagePane::SelectionMade, this, &TForm1::PGImage1SelectionMade);

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
  PTSplitter2->SetPosition(50);
  PTSplitter1->SetPosition(Settings.SplitterPosition);

  FormCreate(options);

  // The dialogs live for the whole run, created in the program's fixed order.
  Form2 = new TForm2(this);
  Form4 = new TForm4(this);
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
  Form6 = new TForm6(this, dialogState,
                     {[this] {
                        LoadTarget = 2;
                        PreviewTaken = false;
                        return Load1();
                      },
                      [this](const QString& path, bool withPreview) {
                        return Load_Wavelet(path, withPreview ? fileservice::LoadMode::DialogPreview
                                                              : fileservice::LoadMode::DialogInfo) == 1;
                      }});
  TraceStartup("dialogs built");
}

TForm1::~TForm1() = default;

void TForm1::BuildMenus() {
  std::map<QString, QMenu*> menus;
  for (const auto& def : MainMenuTopLevel()) {
    if (def.Submenu) {
      QMenu* menu = menuBar()->addMenu(def.Caption);
      menu->setObjectName(def.Name);
      menus[def.Name] = menu;
      items_[def.Name] = menu->menuAction();
    } else {
      // The invisible, caption-less entry shown while commands are disabled.
      QAction* action = menuBar()->addAction(QString());
      action->setObjectName(def.Name);
      action->setVisible(false);
      action->setEnabled(false);
      items_[def.Name] = action;
    }
  }
  std::map<int, QActionGroup*> groups;
  for (const auto& def : MainMenuItems()) {
    QMenu* parent = menus.at(def.Parent);
    if (QString(def.Caption) == "-") {
      parent->addSeparator();
      continue;
    }
    QAction* action = nullptr;
    if (def.Submenu) {
      QMenu* menu = parent->addMenu(def.Caption);
      menu->setObjectName(def.Name);
      menus[def.Name] = menu;
      action = menu->menuAction();
    } else {
      action = parent->addAction(def.Caption);
      const QString handler = def.Handler;
      connect(action, &QAction::triggered, this, [this, handler] { RunHandler(handler); });
      if (*def.Shortcut) action->setShortcut(QKeySequence(def.Shortcut));
    }
    action->setObjectName(def.Name);
    action->setEnabled(!def.StartsDisabled);
    if (def.Group != rgNone) {
      auto*& group = groups[def.Group];
      if (!group) group = new QActionGroup(this);
      action->setCheckable(true);
      action->setChecked(def.Checked);
      group->addAction(action);
    }
    items_[def.Name] = action;
  }

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  std::map<QString, QMenu*> popups{{"PopupMenu1", PopupMenu1}};
  std::map<int, QActionGroup*> popupGroups;
  const auto mainDef = [](const QString& name) -> const TMenuItemDef* {
    for (const auto& def : MainMenuItems())
      if (name == def.Name) return &def;
    return nullptr;
  };
  for (const auto& def : PopupMenuItems()) {
    QMenu* parent = popups.at(def.Parent);
    const TMenuItemDef* twin = mainDef(def.Twin);
    QAction* action = nullptr;
    if (def.Submenu) {
      QMenu* menu = parent->addMenu(def.Caption);
      menu->setObjectName(def.Name);
      popups[def.Name] = menu;
      action = menu->menuAction();
    } else {
      action = parent->addAction(def.Caption);
      const QString handler = twin ? twin->Handler : "";
      connect(action, &QAction::triggered, this, [this, handler] { RunHandler(handler); });
    }
    action->setObjectName(def.Name);
    if (twin) {
      action->setEnabled(!twin->StartsDisabled || def.Submenu);
      if (twin->Group != rgNone) {
        auto*& group = popupGroups[twin->Group];
        if (!group) group = new QActionGroup(this);
        action->setCheckable(true);
        action->setChecked(twin->Checked);
        group->addAction(action);
      }
    }
    items_[def.Name] = action;
    twins_[def.Twin] = action;
  }
}

void TForm1::BuildToolbar() {
  auto* layout = new QHBoxLayout(Panel3);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(1);
  for (const auto& def : ToolButtons()) {
    if (QString(def.Name) == "-") {
      layout->addSpacing(10);
      continue;
    }
    auto* button = new widgets::TFlyoverButton(Panel3);
    button->setObjectName(def.Name);
    button->setToolTip(def.Hint);
    button->setFixedSize(35, 36);
    button->setIcon(ToolIcon(def.Icon, palette()));
    button->setIconSize(QSize(24, 24));
    button->SetGroupIndex(def.GroupIndex);
    if (def.Toggle) {
      button->SetGroupIndex(0);
      button->setCheckable(true);
      button->SetAllowAllUp(true);
    }
    button->setEnabled(!def.StartsDisabled);
    const QString handler = def.Handler;
    connect(button, &QToolButton::clicked, this, [this, handler] { RunHandler(handler); });
    buttons_[def.Name] = button;
    layout->addWidget(button);
  }
  layout->addStretch(1);
  Panel3->setMinimumHeight(44);
  buttons_["SB19"]->SetDown(true);  // the hand is the tool at start
}

void TForm1::BuildBrowser() {
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
  connect(PTSList1, &widgets::TPTShellList::Editing, this, &TForm1::PTSList1Editing);
  connect(PTSList1, &widgets::TPTShellList::Edited, this, &TForm1::PTSList1Edited);
  connect(PTSList1, &widgets::TPTShellList::DeleteItem, this, &TForm1::PTSList1DeleteItem);
  connect(Pane, &widgets::TBrowserPane::FolderChosen, this, &TForm1::PTShellCombo1Change);
  connect(FilterComboBox1, &widgets::TFilterComboBox::Change, this,
          &TForm1::FilterComboBox1Change);
  connect(PTSplitter1, &widgets::TPTSplitter::Change, this, &TForm1::PTSplitter1Change);
}

void TForm1::FormCreate(const TStartOptions& options) {
  Busy = true;
  const QString startDir = options.StartDir.isEmpty() ? QDir::currentPath() : options.StartDir;
  // The "drive root" of the program is the user's home folder.
  RootDir = QDir::homePath();
  QString settingsDir = (options.ConfigDir.isEmpty() ? DefaultConfigDir() : options.ConfigDir).trimmed();
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
    StartFileGiven = true;
    const QString arg = options.Arguments.first();
    const QFileInfo info(QDir(startDir), arg);
    Shown.FileName = StartFilePath(startDir, arg);
    Settings.OpenPath = QDir::cleanPath(info.absolutePath()).trimmed();
    if (Settings.OpenPath.isEmpty()) Settings.OpenPath = startDir;
    preload_->Adopt(options.StartRead);
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

  const QString keep = Shown.FileName;
  Pane->ShowFolder(Settings.OpenPath);
  Shown.FileName = keep;

  FilterComboBox1->SetFilters(ImageFileFilters());
  FilterComboBox1->SetItemIndex(DialogFilterIndex[0]);
  PTSList1->SetMask(AllImagesMask());
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

void TForm1::closeEvent(QCloseEvent* event) {
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
    StoreWindowState(isMaximized() || isFullScreen() ? normalGeometry() : geometry());
    WriteSettings(ini, Settings);
    ini.Save();  // a failure is ignored; the old file stays whole
  } catch (...) {
  }
  Shown.ReleaseCompressedData();
}

// ---- Items -------------------------------------------------------------------------

QAction* TForm1::Item(const QString& name) const {
  const auto it = items_.find(name);
  return it == items_.end() ? nullptr : it->second;
}

widgets::TFlyoverButton* TForm1::Button(const QString& name) const {
  const auto it = buttons_.find(name);
  return it == buttons_.end() ? nullptr : it->second;
}

bool TForm1::HasHandler(const QString& handler) { return Handlers().count(handler) != 0; }

bool TForm1::RunHandler(const QString& handler) {
  const auto it = Handlers().find(handler);
  if (it == Handlers().end()) return false;
  // A command has the processors to itself; stepping to a neighbour takes what
  // was read ahead for it.
  if (handler != "SB16Click" && handler != "SB17Click") preload_->CancelWork();
  TPreloader::TPause pause(preload_);
  try {
    (this->*(it->second))();
  } catch (const std::exception&) {
    // No failure escapes an event handler: it ends as a failed command.
    QApplication::restoreOverrideCursor();
    All_Activate();
    Shown.UndoBlocked = true;
    SetItemEnabled("U1", false);
    SetButtonEnabled("SB9", false);
    ShowErrorBox(this, CannotPerformText);
  }
  return true;
}

void TForm1::SetItemEnabled(const QString& name, bool enabled) {
  if (QAction* a = Item(name)) a->setEnabled(enabled);
  const auto twin = twins_.find(name);
  if (twin != twins_.end()) twin->second->setEnabled(enabled);
}

void TForm1::SetButtonEnabled(const QString& name, bool enabled) {
  if (auto* b = Button(name)) b->setEnabled(enabled);
}

void TForm1::CheckItem(const QString& name) {
  if (QAction* a = Item(name)) a->setChecked(true);
  const auto twin = twins_.find(name);
  if (twin != twins_.end()) twin->second->setChecked(true);
}

void TForm1::CheckColorResolution(pgraphic::TPGPixelFormat format, pgraphic::TPaletteIdent ident) {
  switch (format) {
    case pgraphic::pf1Bit: CheckItem("N11"); break;
    case pgraphic::pf4Bit: CheckItem("N12"); break;
    case pgraphic::pf8Bit: CheckItem("N21"); break;
    default: CheckItem("T1"); break;
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

void TForm1::FocusList() { PTSList1->setFocus(Qt::OtherFocusReason); }

void TForm1::UpdateCaption() {
  setWindowTitle(Shown.FileName.isEmpty() ? QString(ProgramCaption)
                                           : QString(ProgramCaption) + " - " + Shown.FileName);
}

// The commands that need an image, as they follow whether one is shown.
void TForm1::EnableImageCommands(bool on) {
  Panel1->setEnabled(on);
  for (const char* name : {"Saveas1", "Print1", "Compress11", "N10", "ImS1", "Mirror1", "N4", "c1",
                           "C4", "Zoom1", "Stretchmode1"})
    SetItemEnabled(name, on);
  for (const char* name : kFilterItems) SetItemEnabled(name, on);
  for (const char* name : {"SB2", "SB4", "SB5", "SB8", "SB10", "SB11", "SB12", "SB13", "SB14",
                           "SB15", "SB16", "SB17", "SB18", "SB19", "SB20"})
    SetButtonEnabled(name, on);
  SetRunStop(on);
}

void TForm1::SetRunStop(bool imageShown) {
  if (Button("SB20")->Down()) {
    SetItemEnabled("N19", false);
    SetItemEnabled("S5", true);
  } else {
    SetItemEnabled("N19", imageShown);
    SetItemEnabled("S5", false);
  }
}

void TForm1::All_Deactivate() {
  for (const char* name : {"Open1", "Saveas1", "Print1", "Compress11", "N17", "U1", "N10", "C5",
                           "ImS1", "Mirror1", "N4", "c1", "C4", "N19", "S5", "S6", "Zoom1",
                           "Stretchmode1"})
    SetItemEnabled(name, false);
  for (const char* name : kFilterItems) SetItemEnabled(name, false);
  Item("N23")->setVisible(true);
  PTSplitter2->setEnabled(false);
  statusBar_->setEnabled(false);
  ProcessMessages();
}

void TForm1::All_Activate() {
  for (const char* name : {"Open1", "Saveas1", "Print1", "Compress11", "N17", "N10", "ImS1",
                           "Mirror1", "N4", "c1", "C4", "S6", "Zoom1", "Stretchmode1"})
    SetItemEnabled(name, true);
  for (const char* name : kFilterItems) SetItemEnabled(name, true);
  SetRunStop(true);
  Item("N23")->setVisible(false);
  PTSplitter2->setEnabled(true);
  statusBar_->setEnabled(true);
  ProcessMessages();
}

// ---- Opening -----------------------------------------------------------------------

void TForm1::Open1Click() {
  Busy = true;
  DialogMode = TDialogMode::Open;
  PreviewTaken = false;
  DialogListIndex[0] = PTSList1->SelectedIndex();
  if (!StartFileGiven && Form6->exec() == QDialog::Accepted) ShowOpenChoice();
  FocusList();
  Busy = false;
  if (PTSList1->SelectedIndex() >= 0) {
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
      LoadTarget = 1;
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
  if (LoadTarget == 1 && PreviewTaken) return true;
  const QString source =
      (LoadTarget == 2 && DialogMode == TDialogMode::SaveCopy) ? SaveFileName : Shown.FileName;
  TImagePane* target = LoadTarget == 2 ? Form6->Preview() : PGImage1;
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
    if (LoadTarget == 1) {
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
      {
        TWaitCursor wait;
        try {
          PGImage1->SaveToFile(SaveFileName);
        } catch (...) {
          // A failing save is ignored; the existing file is left whole.
        }
      }
      All_Activate();
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
    if (Shown.UndoKind == 4) {
      Shown.UndoKind = 1;
      Shown.Compressed = false;
      Shown.ReleaseCompressedData();
    } else if (Shown.Compressed && Shown.UndoKind != 2 && Shown.UndoKind != 3) {
      Shown.Compressed = false;
      Shown.ReleaseCompressedData();
    }
    if (Shown.UndoKind == 1) {
      PGImage1->SetGraphic(PGImage2->CopyGraphic());
      CheckColorResolution(Shown.UndoPixelFormat, Shown.UndoPaletteIdent);
    } else if (Shown.UndoKind == 2) {
      Settings.ZoomIndex = PrevZoomItem - 1;
      ApplyZoom(Settings.ZoomIndex);
      PGImage1->viewport()->update();
    } else if (Shown.UndoKind == 3) {
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
  Shown.UndoKind = 2;
  Settings.ZoomIndex = index;
  Shown.UndoBlocked = false;
  SetItemEnabled("U1", true);
  SetButtonEnabled("SB9", true);
  PrevZoomItem = checkedZoom_ + 1;
  ApplyZoom(index);
  update();
}

void TForm1::ZoomModeCommand(int index) {
  Shown.UndoKind = 3;
  Settings.ZoomModeIndex = index;
  Shown.UndoBlocked = false;
  SetItemEnabled("U1", true);
  SetButtonEnabled("SB9", true);
  PrevZoomMode = checkedZoomMode_ + 1;
  ApplyZoomMode(index);
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

void TForm1::PGImage1SelectionMade() { SetItemEnabled("C5", true); }

void TForm1::About1Click() { Form2->exec(); }

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
  if (Busy) return;
  Shown.FileName.clear();
  PTSList1->SelectFocused();
  const int selected = PTSList1->SelectedIndex();
  if (selected < 0) return;
  LastListPath = PTSList1->ItemPath(selected).trimmed();
  if (!PTSList1->ItemIsFolder(selected)) {
    PreviewTaken = false;
    Shown.FileName = LastFileName = PTSList1->ItemPath(selected);
    Open_image();
    FocusList();
  }
}

void TForm1::PTSList1Click() { PTSList1MouseDown(Qt::LeftButton); }

void TForm1::PTSList1MouseDown(Qt::MouseButton) {
  PTSList1->SelectFocused();
  const int selected = PTSList1->SelectedIndex();
  if (selected >= 0 && PTSList1->ItemPath(selected) != Shown.FileName) FBox1Change_1();
}

void TForm1::PTSList1MouseUp(Qt::MouseButton button) {
  if (button == Qt::RightButton || button == Qt::MiddleButton) PTSList1->SelectFocused();
}

void TForm1::PTSList1DblClickOpen() { FBox1Change_1(); }

void TForm1::PTSList1KeyUp(int key) {
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
      FBox1Change_1();
      return;
    default:
      break;
  }
  const int selected = PTSList1->SelectedIndex();
  if (selected < 0 || PTSList1->ItemPath(selected) != LastListPath) FBox1Change_1();
}

void TForm1::PTSList1Edited(const QString& oldPath, const QString& newPath) {
  // The file shown was renamed: the window follows its new name.
  if (oldPath == Shown.FileName) {
    Shown.FileName = LastFileName = LastListPath = newPath;
    UpdateCaption();
  }
}

void TForm1::PTSList1DeleteItem(const QString& path) {
  if (path != Shown.FileName) return;
  PGImage1->SetFileName(std::string());
  setWindowTitle(ProgramCaption);
  Shown.InfoText.clear();
  Shown.FileName.clear();
  SBar1Panel->clear();
}

void TForm1::PTShellCombo1Change() { FBox1Change_1(); }

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
    SetButtonEnabled("SB16", i - 1 > 0);
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
    SetButtonEnabled("SB17", i + 2 < PTSList1->Count());
    SetButtonEnabled("SB16", true);
  }
  Busy = false;
}

}  // namespace app
