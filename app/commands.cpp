#include "app/commands.h"

#include <QActionGroup>
#include <QApplication>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QScopeGuard>
#include <QStatusBar>
#include <algorithm>
#include <map>
#include <stdexcept>

#include "app/compr.h"
#include "app/icons.h"
#include "app/preload.h"

namespace app {

namespace {

// A command on the image shown: off without an image and while a long command runs.
constexpr unsigned kImageCommand = cfNeedsImage | cfOffWhileBusy;

constexpr TMenuItemDef kTopLevel[] = {
    {"File1", "MainMenu1", "&File", "", nullptr, false, rgNone, false, true},
    {"Edit1", "MainMenu1", "&Edit", "", nullptr, false, rgNone, false, true},
    {"Image1", "MainMenu1", "&Image", "", nullptr, false, rgNone, false, true},
    {"Slideshow1", "MainMenu1", "&Slide show", "", nullptr, false, rgNone, false, true},
    {"Filter1", "MainMenu1", "Fi&lter", "", nullptr, false, rgNone, false, true},
    {"View1", "MainMenu1", "&View", "", nullptr, false, rgNone, false, true},
    {"Help1", "MainMenu1", "&Help", "", nullptr, false, rgNone, false, true},
    {"N23", "MainMenu1", "", "", nullptr, true},
};

constexpr TMenuItemDef kItems[] = {
    {"Open1", "File1", "&Open...", "Ctrl+O", &TForm1::Open1Click, false, rgNone, false, false,
     cfOffWhileBusy},
    {"Saveas1", "File1", "&Save copy as...", "Ctrl+S", &TForm1::Saveas1Click, true, rgNone, false,
     false, kImageCommand},
    {"Compress11", "File1", "Save as &VQN-file...", "Ctrl+W", &TForm1::SB51Click, true, rgNone,
     false, false, kImageCommand},
    {"NSep1", "File1", "-", "", nullptr},
    {"N17", "File1", "&Batch conversion...", "Ctrl+B", &TForm1::N17Click, false, rgNone, false,
     false, cfOffWhileBusy},
    {"NSep2", "File1", "-", "", nullptr},
    {"Print1", "File1", "&Print...", "Ctrl+P", &TForm1::Print1Click, true, rgNone, false, false,
     kImageCommand},
    {"NSep3", "File1", "-", "", nullptr},
    {"Exit1", "File1", "E&xit", "", &TForm1::Exit1Click},

    {"U1", "Edit1", "&Undo Last", "", &TForm1::U1Click, true, rgNone, false, false,
     cfOffWhileBusy | cfArmed},
    {"N10", "Edit1", "Co&py to Clipboard", "", &TForm1::N10Click, true, rgNone, false, false,
     kImageCommand},
    {"NSepE", "Edit1", "-", "", nullptr},
    {"AskSave1", "Edit1", "Ask to save &edited images", "", &TForm1::AskSave1Click, false, rgNone,
     true, false, cfCheckItem},

    {"C5", "Image1", "Cro&p", "", &TForm1::C5Click, true, rgNone, false, false,
     cfOffWhileBusy | cfArmed},
    {"ImS1", "Image1", "Image &Size...", "", &TForm1::ImS1Click, true, rgNone, false, false,
     kImageCommand},
    {"Mirror1", "Image1", "&Mirror Image/Selection", "", nullptr, true, rgNone, false, true,
     kImageCommand},
    {"V1", "Mirror1", "&Vertically", "", &TForm1::V1Click},
    {"H2", "Mirror1", "&Horizontally", "", &TForm1::H2Click},
    {"N4", "Image1", "&Rotate Image", "", nullptr, true, rgNone, false, true, kImageCommand},
    {"N5", "N4", "&Right (90 degrees)", "", &TForm1::N5Click},
    {"N6", "N4", "&Left (90 degrees)", "", &TForm1::N6Click},
    {"c1", "Image1", "Color &Resolution", "", nullptr, true, rgNone, false, true, kImageCommand},
    {"N11", "c1", "&2 colors", "", &TForm1::N11Click, false, rgColorResolution},
    {"N12", "c1", "1&6 colors", "", &TForm1::N12Click, false, rgColorResolution},
    {"N21", "c1", "2&56 colors", "", &TForm1::N21Click, false, rgColorResolution},
    {"N22", "c1", "&Gray (8 bit)", "", &TForm1::N22Click, false, rgColorResolution},
    {"T1", "c1", "&True color (24 bit)", "", &TForm1::T1Click, false, rgColorResolution, true},
    {"NSep4", "Image1", "-", "", nullptr},
    {"C4", "Image1", "&Compress Image", "", &TForm1::SB14Click, true, rgNone, false, false,
     kImageCommand},

    {"N19", "Slideshow1", "&Run", "", &TForm1::N19Click, true, rgNone, false, false,
     cfOffWhileBusy | cfRunStop},
    {"S5", "Slideshow1", "&Stop", "", &TForm1::S5Click, true, rgNone, false, false,
     cfOffWhileBusy | cfRunStop},
    {"NSep5", "Slideshow1", "-", "", nullptr},
    {"S6", "Slideshow1", "Settings...", "", &TForm1::S6Click, false, rgNone, false, false,
     cfOffWhileBusy},

    {"RGB1", "Filter1", "&RGB...", "", &TForm1::RGB1Click, true, rgNone, false, false,
     kImageCommand},
    {"CMY1", "Filter1", "&CMY...", "", &TForm1::CMY1Click, true, rgNone, false, false,
     kImageCommand},
    {"YCbCr1", "Filter1", "&YCbCr...", "", &TForm1::YCbCr1Click, true, rgNone, false, false,
     kImageCommand},
    {"HLS1", "Filter1", "&HLS...", "", &TForm1::HLS1Click, true, rgNone, false, false,
     kImageCommand},
    {"HSV1", "Filter1", "HS&V...", "", &TForm1::HSV1Click, true, rgNone, false, false,
     kImageCommand},
    {"BCG1", "Filter1", "&Brightness, Contrast, Gamma...", "", &TForm1::BCG1Click, true, rgNone,
     false, false, kImageCommand},
    {"Grayscale1", "Filter1", "&Grayscale...", "", &TForm1::Grayscale1Click, true, rgNone, false,
     false, kImageCommand},
    {"Negative1", "Filter1", "&Negative...", "", &TForm1::Negative1Click, true, rgNone, false,
     false, kImageCommand},
    {"NSep6", "Filter1", "-", "", nullptr},
    {"S2", "Filter1", "&Sharpen...", "", &TForm1::S2Click, true, rgNone, false, false,
     kImageCommand},
    {"N14", "Filter1", "&Detail...", "", &TForm1::N14Click, true, rgNone, false, false,
     kImageCommand},
    {"S3", "Filter1", "S&mooth...", "", &TForm1::S3Click, true, rgNone, false, false,
     kImageCommand},
    {"N15", "Filter1", "Bl&ur...", "", &TForm1::N15Click, true, rgNone, false, false,
     kImageCommand},
    {"C3", "Filter1", "Con&tour...", "", &TForm1::C3Click, true, rgNone, false, false,
     kImageCommand},

    {"Zoom1", "View1", "&Zoom", "", nullptr, true, rgNone, false, true, kImageCommand},
    {"ShrinktoFit1", "Zoom1", "&Shrink to Fit", "", &TForm1::ShrinktoFit1Click, false, rgZoom},
    {"GrowtoFit1", "Zoom1", "&Grow to Fit", "", &TForm1::GrowtoFit1Click, false, rgZoom},
    {"Stretchtofit1", "Zoom1", "Stretch to &Fit", "", &TForm1::Stretchtofit1Click, false, rgZoom},
    {"N252", "Zoom1", "25%", "", &TForm1::N252Click, false, rgZoom},
    {"N502", "Zoom1", "&50%", "", &TForm1::N502Click, false, rgZoom},
    {"N1002", "Zoom1", "&100%", "", &TForm1::N1002Click, false, rgZoom, true},
    {"N2002", "Zoom1", "&200%", "", &TForm1::N2002Click, false, rgZoom},
    {"N3002", "Zoom1", "&300%", "", &TForm1::N3002Click, false, rgZoom},
    {"Stretchmode1", "View1", "Zoom &Mode", "", nullptr, true, rgNone, false, true, kImageCommand},
    {"Fast1", "Stretchmode1", "&Fast", "", &TForm1::Fast1Click, false, rgZoomMode},
    {"Medium1", "Stretchmode1", "&Medium", "", &TForm1::Medium1Click, false, rgZoomMode, true},
    {"Precise1", "Stretchmode1", "&Precise", "", &TForm1::Precise1Click, false, rgZoomMode},
    {"Thumbnails1", "View1", "&Thumbnails", "", &TForm1::Thumbnails1Click, false, rgNone, false,
     false, cfCheckItem},
    {"FullScreen1", "View1", "F&ull screen", "F11", &TForm1::FullScreen1Click},
    {"NSepOrient", "View1", "-", "", nullptr},
    {"OrientTag1", "View1", "Rotate by &orientation tag", "", &TForm1::OrientTag1Click, false,
     rgNone, true, false, cfOffWhileBusy | cfCheckItem},

    {"Help2", "Help1", "&Help topics...", "F1", &TForm1::Help2Click},
    {"About1", "Help1", "&About...", "", &TForm1::About1Click},

    // Commands of keys only: no menu shows them.
    {"ZoomIn1", "", "Zoom in", "+", &TForm1::ZoomIn1Click, true, rgNone, false, false,
     kImageCommand},
    {"ZoomOut1", "", "Zoom out", "-", &TForm1::ZoomOut1Click, true, rgNone, false, false,
     kImageCommand},
    {"Trash1", "", "Move to Trash", "Del", &TForm1::Trash1Click, false, rgNone, false, false,
     cfOffWhileBusy},
    // On exactly while the slide show runs or the window is full screen.
    {"Escape1", "", "Stop the slide show and leave full screen", "Esc", &TForm1::Escape1Click,
     true},
};

// Further keys of commands, besides the shortcuts of their rows; one is used
// only when no row's shortcut takes its key.
struct TKeyAlias {
  const char* Name;  // the command's item
  const char* Key;
};

constexpr TKeyAlias kAliases[] = {
    {"U1", "Ctrl+Z"},      {"N10", "Ctrl+C"}, {"Exit1", "Ctrl+Q"},
    {"ShrinktoFit1", "0"}, {"N1002", "1"},    {"ZoomIn1", "="},
};

constexpr TPopupItemDef kPopup[] = {
    {"Zoom2", "PopupMenu1", "&Zoom", "Zoom1", true},
    {"ShrinktoFit2", "Zoom2", "&Shrihk to Fit", "ShrinktoFit1"},
    {"GrowtoFit2", "Zoom2", "&Grow to Fit", "GrowtoFit1"},
    {"StretchtoFit2", "Zoom2", "Stretch to &Fit", "Stretchtofit1"},
    {"N251", "Zoom2", "25%", "N252"},
    {"N501", "Zoom2", "&50%", "N502"},
    {"N1001", "Zoom2", "&100%", "N1002"},
    {"N2001", "Zoom2", "&200%", "N2002"},
    {"N3001", "Zoom2", "&300%", "N3002"},
    {"Zoommode1", "PopupMenu1", "Zoom Mo&de", "Stretchmode1", true},
    {"Fast2", "Zoommode1", "&Fast", "Fast1"},
    {"Medium2", "Zoommode1", "&Medium", "Medium1"},
    {"Precise2", "Zoommode1", "&Precise", "Precise1"},
    {"Mirror2", "PopupMenu1", "&Mirror Image/Selection", "Mirror1", true},
    {"V2", "Mirror2", "&Vertically", "V1"},
    {"H3", "Mirror2", "&Horizontally", "H2"},
    {"Rotate2", "PopupMenu1", "&Rotate Image", "N4", true},
    {"N8", "Rotate2", "&Right (90 degrees)", "N5"},
    {"N9", "Rotate2", "&Left (90 degrees)", "N6"},
    {"bbb1", "PopupMenu1", "Image &Size...", "ImS1"},
    {"Colorresolution2", "PopupMenu1", "&Color Resolution", "c1", true},
    {"N2c", "Colorresolution2", "&2 colors", "N11"},
    {"N16c", "Colorresolution2", "1&6 colors", "N12"},
    {"N256c", "Colorresolution2", "2&56 colors", "N21"},
    {"Gray8bit1", "Colorresolution2", "&Gray (8 bit)", "N22"},
    {"Truecolor24bit1", "Colorresolution2", "&True color (24 bit)", "T1"},
    {"C2", "PopupMenu1", "Co&py to Clipboard", "N10"},
    {"N16", "PopupMenu1", "&Undo Last", "U1"},
    {"N13", "PopupMenu1", "&About...", "About1"},
};

constexpr TToolButtonDef kButtons[] = {
    {"SB1", "Open", &TForm1::Open1Click, "open"},
    {"SB2", "Save Copy As", &TForm1::Saveas1Click, "save", true, 0, false, cfNeedsImage},
    {"SB5", "Save As VQN-file", &TForm1::SB51Click, "savevqn", true, 0, false, cfNeedsImage},
    {"-", "", nullptr, ""},
    {"SB3", "Batch Conversion", &TForm1::N17Click, "batch"},
    {"SB4", "Print", &TForm1::Print1Click, "print", true, 0, false, cfNeedsImage},
    {"-", "", nullptr, ""},
    {"SB19", "Hand", &TForm1::SB19Click, "hand", true, 1, false, cfNeedsImage},
    {"SB18", "Create Selection", &TForm1::SB18Click, "select", true, 1, false, cfNeedsImage},
    {"SB8", "Copy to Clipboard", &TForm1::N10Click, "copy", true, 0, false, cfNeedsImage},
    {"-", "", nullptr, ""},
    {"SB9", "Undo", &TForm1::U1Click, "undo", true},
    {"SB14", "Compress Image", &TForm1::SB14Click, "compress", true, 0, false, cfNeedsImage},
    {"SB11", "Rotate Left (90 degrees)", &TForm1::N6Click, "rotateleft", true, 0, false,
     cfNeedsImage},
    {"SB10", "Rotate Right (90 degrees)", &TForm1::N5Click, "rotateright", true, 0, false,
     cfNeedsImage},
    {"SB12", "Mirror Vertically", &TForm1::V1Click, "mirrorvertical", true, 0, false, cfNeedsImage},
    {"SB13", "Mirror Horizontally", &TForm1::H2Click, "mirrorhorizontal", true, 0, false,
     cfNeedsImage},
    {"SB15", "Image Size", &TForm1::ImS1Click, "imagesize", true, 0, false, cfNeedsImage},
    {"-", "", nullptr, ""},
    {"SB20", "Run/Stop Slide show", &TForm1::SB20Click, "slideshow", true, 0, true, cfNeedsImage,
     "Slide"},
    {"SB16", "Previous Image", &TForm1::SB16Click, "previous", true, 0, false, cfNeedsImage},
    {"SB17", "Next Image", &TForm1::SB17Click, "next", true, 0, false, cfNeedsImage},
};

}  // namespace

std::span<const TMenuItemDef> MainMenuTopLevel() {
  return kTopLevel;
}
std::span<const TMenuItemDef> MainMenuItems() {
  return kItems;
}
std::span<const TPopupItemDef> PopupMenuItems() {
  return kPopup;
}
std::span<const TToolButtonDef> ToolButtons() {
  return kButtons;
}

}  // namespace app

// ---- The window's commands, built and enabled from the tables ----------------------

namespace app {

namespace {

// Calls f(def) for every main-menu item with any of these flags.
template <class F>
void ForEachItem(unsigned any, F f) {
  for (const auto& def : kItems)
    if (def.Flags & any) f(def);
}

const TMenuItemDef* FindItem(const QString& name) {
  for (const auto& def : kItems)
    if (name == def.Name) return &def;
  return nullptr;
}

}  // namespace

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
    QMenu* parent = *def.Parent ? menus.at(def.Parent) : nullptr;
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
      action = parent ? parent->addAction(def.Caption) : new QAction(def.Caption, this);
      connect(action, &QAction::triggered, this, [this, h = def.Handler] { RunHandler(h); });
      if (*def.Shortcut) {
        action->setShortcut(QKeySequence(def.Shortcut));
        // The window holds the keys too, so they work with the menu bar hidden.
        addAction(action);
      }
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
    if (def.Flags & cfCheckItem) {
      action->setCheckable(true);
      action->setChecked(def.Checked);
    }
    items_[def.Name] = action;
  }
  BuildKeyAliases();

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  std::map<QString, QMenu*> popups{{"PopupMenu1", PopupMenu1}};
  std::map<int, QActionGroup*> popupGroups;
  const auto mainDef = [](const QString& name) -> const TMenuItemDef& {
    for (const auto& def : MainMenuItems())
      if (name == def.Name) return def;
    throw std::logic_error("pop-up item without a main-menu twin");
  };
  for (const auto& def : PopupMenuItems()) {
    QMenu* parent = popups.at(def.Parent);
    const TMenuItemDef& twin = mainDef(def.Twin);
    QAction* action = nullptr;
    if (def.Submenu) {
      QMenu* menu = parent->addMenu(def.Caption);
      menu->setObjectName(def.Name);
      popups[def.Name] = menu;
      action = menu->menuAction();
    } else {
      action = parent->addAction(def.Caption);
      connect(action, &QAction::triggered, this, [this, h = twin.Handler] { RunHandler(h); });
    }
    action->setObjectName(def.Name);
    action->setEnabled(!twin.StartsDisabled || def.Submenu);
    if (twin.Group != rgNone) {
      auto*& group = popupGroups[twin.Group];
      if (!group) group = new QActionGroup(this);
      action->setCheckable(true);
      action->setChecked(twin.Checked);
      group->addAction(action);
    }
    items_[def.Name] = action;
    twins_[def.Twin] = action;
  }
}

void TForm1::BuildKeyAliases() {
  QList<QKeySequence> taken;
  for (const auto& def : kItems)
    if (*def.Shortcut) taken << QKeySequence(def.Shortcut);
  for (const auto& alias : kAliases) {
    const QKeySequence key(alias.Key);
    if (taken.contains(key)) continue;  // a command's own key keeps its meaning
    taken << key;
    // The alias runs its command only where its item could be chosen: the item
    // and every submenu it sits in enabled.
    auto* action = new QAction(this);
    action->setShortcut(key);
    connect(action, &QAction::triggered, this, [this, name = QString(alias.Name)] {
      for (const TMenuItemDef* def = FindItem(name); def; def = FindItem(def->Parent))
        if (!Item(def->Name)->isEnabled()) return;
      Item(name)->trigger();
    });
    addAction(action);
  }
}

void TForm1::BuildToolbar() {
  auto* layout = new QHBoxLayout(Panel3);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(1);
  for (const auto& def : ToolButtons()) {
    if (!def.Handler) {
      layout->addSpacing(10);
      continue;
    }
    auto* button = new widgets::TFlyoverButton(Panel3);
    button->setObjectName(def.Name);
    button->setToolTip(def.Hint);
    button->setIcon(ToolIcon(def.Icon, palette()));
    button->setIconSize(QSize(24, 24));
    if (*def.Caption) {
      // A captioned button is as wide as its icon and text need.
      button->setText(def.Caption);
      button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
      button->setFixedSize(std::max(35, button->sizeHint().width()), 36);
    } else {
      button->setFixedSize(35, 36);
    }
    button->SetGroupIndex(def.GroupIndex);
    if (def.Toggle) {
      button->SetGroupIndex(0);
      button->setCheckable(true);
      button->SetAllowAllUp(true);
    }
    button->setEnabled(!def.StartsDisabled);
    connect(button, &QToolButton::clicked, this, [this, h = def.Handler] { RunHandler(h); });
    buttons_[def.Name] = button;
    layout->addWidget(button);
  }
  layout->addStretch(1);
  // The row of buttons is cut off at the right rather than widening the window.
  Panel3->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  Panel3->setMinimumHeight(44);
  buttons_["SB19"]->SetDown(true);  // the hand is the tool at start
}

void TForm1::RunHandler(THandler handler) {
  // A command acts on the file reached by quick steps: it is opened first.
  if (QuickBrowsing()) EndQuickBrowse(true);
  // Stepping to a neighbour takes what was read ahead for it. Any other command
  // has the processors to itself and holds the image shown until it ends: the
  // slide show skips its ticks and browsing does not open another file.
  const bool stepping = handler == &TForm1::SB16Click || handler == &TForm1::SB17Click;
  if (!stepping) preload_->CancelWork();
  TPreloader::TPause pause(preload_);
  const int held = stepping ? 0 : 1;
  commandDepth_ += held;
  const auto release = qScopeGuard([this, held] { commandDepth_ -= held; });
  try {
    (this->*handler)();
  } catch (const std::exception&) {
    // No failure escapes an event handler: it ends as a failed command.
    QApplication::restoreOverrideCursor();
    All_Activate();
    Shown.UndoBlocked = true;
    SetItemEnabled("U1", false);
    SetButtonEnabled("SB9", false);
    ShowErrorBox(this, CannotPerformText);
  }
}

// The commands that need an image, as they follow whether one is shown.
void TForm1::EnableImageCommands(bool on) {
  Panel1->setEnabled(on);
  ForEachItem(cfNeedsImage, [&](const TMenuItemDef& def) { SetItemEnabled(def.Name, on); });
  for (const auto& def : kButtons)
    if (def.Flags & cfNeedsImage) SetButtonEnabled(def.Name, on);
  SetRunStop(on);
}

void TForm1::SetRunStop(bool imageShown) {
  const bool running = Button("SB20")->Down();
  SetItemEnabled("N19", !running && imageShown);
  SetItemEnabled("S5", running);
}

void TForm1::All_Deactivate() {
  ForEachItem(cfOffWhileBusy, [&](const TMenuItemDef& def) { SetItemEnabled(def.Name, false); });
  Item("N23")->setVisible(true);
  PTSplitter2->setEnabled(false);
  statusBar_->setEnabled(false);
  QCoreApplication::processEvents();
}

void TForm1::All_Activate() {
  ForEachItem(cfOffWhileBusy, [&](const TMenuItemDef& def) {
    if (!(def.Flags & (cfArmed | cfRunStop))) SetItemEnabled(def.Name, true);
  });
  SetRunStop(true);
  Item("N23")->setVisible(false);
  PTSplitter2->setEnabled(true);
  statusBar_->setEnabled(true);
  QCoreApplication::processEvents();
}

QAction* TForm1::Item(const QString& name) const {
  const auto it = items_.find(name);
  return it == items_.end() ? nullptr : it->second;
}

widgets::TFlyoverButton* TForm1::Button(const QString& name) const {
  const auto it = buttons_.find(name);
  return it == buttons_.end() ? nullptr : it->second;
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

}  // namespace app
