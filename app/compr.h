// TForm1, the main window and the one controller of the program: every command
// enters here, and the state that lives between commands is kept here.
#pragma once

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/commands.h"
#include "app/fileservice.h"
#include "app/imagepane.h"
#include "app/jquality.h"
#include "app/my_open.h"
#include "app/settings.h"
#include "pgraphic/image/pixelgraphic.h"
#include "widgets/browserpane.h"

class QMimeData;
class QPrinter;

namespace pgraphic {
class TFilterDialog;
class TPreviewFilterDialog;
}  // namespace pgraphic

namespace app {

// Whether a key steps through the file list (Space, the page and arrow keys,
// Home and End).
bool IsStepKey(int key);

class TForm2;
class TForm4;
class THelpWindow;
class TPreloadJob;
class TPreloader;
class TQuickBrowse;
struct TPreloaded;

// A child of the window made the first time it is asked for, so that nothing
// the first picture does not need is built before it is painted; from then on
// it is the same object, keeping its settings between uses.
template <class T>
class TOnFirstUse {
 public:
  void MakeWith(std::function<T*()> make) { make_ = std::move(make); }
  T* get() {
    if (!made_) made_ = make_();
    return made_;
  }
  T* operator->() { return get(); }
  T& operator*() { return *get(); }
  operator T*() { return get(); }
  bool Made() const { return made_ != nullptr; }

 private:
  std::function<T*()> make_;
  T* made_ = nullptr;
};

// Where the window finds its settings and what it was started with.
struct TStartOptions {
  QString ConfigDir;      // folder of the settings file; empty: the user's config folder
  QString StartDir;       // the process's current folder; empty: QDir::currentPath()
  QStringList Arguments;  // command-line arguments after the program name
  std::shared_ptr<TPreloadJob> StartRead;  // the first argument, already being read
};

// The full path of a command-line file argument, relative to the start folder.
QString StartFilePath(const QString& startDir, const QString& argument);

using widgets::AllImagesMask;
using widgets::ImageFileFilters;

// The image on show and what belongs to it alone: all of it is renewed when
// another file is opened.
// What Undo restores.
enum class TUndoKind : int { None = 0, Image = 1, Zoom = 2, ZoomMode = 3, Compression = 4 };
// Where the general loader puts the image.
enum class TLoadTarget : int { None = 0, MainView = 1, DialogPreview = 2 };

struct TShownImage {
  QString FileName;  // the file shown; empty when none
  QString InfoText;  // its status-bar text
  bool Loaded = false;
  // The result of Compress Image, held until it is saved or the image changes.
  bool Compressed = false;
  io::CompressedData CompressedData;
  void ReleaseCompressedData() { CompressedData = io::CompressedData(); }
  // What Undo restores: 1 the pixels of the undo copy (with this colour
  // resolution), 2 the zoom, 3 the zoom mode, 4 the pixels before a compression.
  TUndoKind UndoKind = TUndoKind::None;
  bool UndoBlocked = false;  // while a file is being opened
  pgraphic::TPGPixelFormat UndoPixelFormat = pgraphic::pf1Bit;
  pgraphic::TPaletteIdent UndoPaletteIdent{};
  // Changed by a command (compression included) since it was opened or last
  // saved; and that state before the command Undo takes back.
  bool Edited = false;
  bool UndoEdited = false;
};

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm1(const TStartOptions& options = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // ---- Controller state ----
  QString LastFileName, SaveFileName;
  TDialogMode DialogMode = TDialogMode::Open;
  int16_t QualityValue = 0;
  int ResizeWidth = 0, ResizeHeight = 0;
  int PrevZoomItem = 0, PrevZoomMode = 0;
  bool StartFileGiven = false;
  std::array<int, 3> DialogListIndex{-1, -1, -1};
  std::array<bool, 3> DialogPreview{false, false, false};
  std::array<int, 3> DialogFilterIndex{0, 0, 0};
  int ConvertFilterIndex = 0;
  TLoadTarget LoadTarget = TLoadTarget::None;
  bool PreviewTaken = false;
  QString IniFileName, RootDir, LastListPath, HelpFileName;
  bool Busy = true;
  bool SlideAtEnd = false;
  // The values kept in the settings file (folders, window, zoom, slide show): their
  // only copy, read at start-up and written on close.
  TStoredSettings Settings;
  TShownImage Shown;

  // ---- Components ----
  TImagePane* PGImage1 = nullptr;
  TImagePane* PGImage2 = nullptr;         // the undo copy; never shown
  widgets::TBrowserPane* Pane = nullptr;  // the browser; the four below are its parts
  widgets::TPTShellList* PTSList1 = nullptr;
  widgets::TPTShellCombo* PTShellCombo1 = nullptr;
  widgets::TFilterComboBox* FilterComboBox1 = nullptr;
  widgets::TFlyoverButton* SpeedButton1 = nullptr;
  widgets::TPTSplitter* PTSplitter1 = nullptr;
  widgets::TPTSplitter* PTSplitter2 = nullptr;
  QWidget* Panel1 = nullptr;
  QWidget* Panel3 = nullptr;
  QLabel* Panel1Caption = nullptr;
  QLabel* SBar1Panel = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QTimer* Timer1 = nullptr;
  // The dialogs are made on first use (they then live for the whole run).
  TOnFirstUse<TForm2> Form2;
  TOnFirstUse<TForm4> Form4;
  TOnFirstUse<TForm6> Form6;

  // Menu items and pop-up items by component name; nullptr when unknown.
  QAction* Item(const QString& name) const;
  widgets::TFlyoverButton* Button(const QString& name) const;
  QString StatusText() const { return SBar1Panel->text(); }
  bool PopupAttached() const { return popupAttached_; }
  THelpWindow* HelpWindow() const { return help_; }
  // The printer Print uses; it keeps the choices made in the print dialog.
  QPrinter& Printer();
  // Reads the files beside the one shown ahead of time.
  TPreloader* Preloader() const { return preload_; }
  // Whether the view shows a file reached by quick steps from a reduced decode,
  // not yet opened.
  bool QuickBrowsing() const;
  const TQuickBrowse& QuickBrowser() const { return *quick_; }

  // ---- Operations ----
  void Open_image();
  bool Load1();
  void All_Deactivate();
  void All_Activate();
  void FBox1Change_1();
  // The batch conversion dialog's run (convers.cpp).
  void Convert();
  // Opens a VQN file in one of the decoder's modes; 1 on success, 0 on failure.
  int Load_Wavelet(const QString& fileName, fileservice::LoadMode mode);
  // Runs a command's handler as the menus and the toolbar do (commands.cpp).
  void RunHandler(THandler handler);
  // Whether a command other than a step to a neighbour is under way.
  bool CommandRunning() const { return commandDepth_ > 0; }

  // ---- Handlers of the command table ----
  void Open1Click();
  void Saveas1Click();
  void SB51Click();
  void N17Click();
  void Print1Click();
  void Exit1Click() { close(); }
  void AskSave1Click();
  void U1Click();
  void N10Click();
  void C5Click();
  void ImS1Click();
  void V1Click();
  void H2Click();
  void N5Click();
  void N6Click();
  void N11Click();
  void N12Click();
  void N21Click();
  void N22Click();
  void T1Click();
  void SB14Click();
  void N19Click();
  void SB20Click();
  void S5Click();
  void S6Click();
  void RGB1Click();
  void CMY1Click();
  void YCbCr1Click();
  void HLS1Click();
  void HSV1Click();
  void BCG1Click();
  void Grayscale1Click();
  void Negative1Click();
  void S2Click();
  void N14Click();
  void S3Click();
  void N15Click();
  void C3Click();
  void ShrinktoFit1Click() { ZoomCommand(0); }
  void GrowtoFit1Click() { ZoomCommand(1); }
  void Stretchtofit1Click() { ZoomCommand(2); }
  void N252Click() { ZoomCommand(3); }
  void N502Click() { ZoomCommand(4); }
  void N1002Click() { ZoomCommand(5); }
  void N2002Click() { ZoomCommand(6); }
  void N3002Click() { ZoomCommand(7); }
  void Fast1Click() { ZoomModeCommand(0); }
  void Medium1Click() { ZoomModeCommand(1); }
  void Precise1Click() { ZoomModeCommand(2); }
  // The browser shows thumbnails while the item is checked, the list otherwise.
  void Thumbnails1Click() { PTSList1->SetThumbnails(Item("Thumbnails1")->isChecked()); }
  void FullScreen1Click() { SetFullScreen(!fullScreen_.On); }
  void ZoomIn1Click() { ZoomStep(1); }
  void ZoomOut1Click() { ZoomStep(-1); }
  void Trash1Click();
  void Escape1Click();
  void OrientTag1Click();
  void About1Click();
  void Help2Click();
  void SB19Click();
  void SB18Click();
  void SB16Click();
  void SB17Click();
  void SpeedButton1Click();
  void Timer1Timer();
  void PGImage1SelectionMade();
  // Zoom steps around a point of the view (Ctrl + wheel): a positive count in.
  void WheelZoom(int steps, QPoint at);

  // ---- File browser events ----
  void PTSList1Change();
  void PTSList1Click();
  void PTSList1MouseDown(Qt::MouseButton button);
  void PTSList1MouseUp(Qt::MouseButton button);
  void PTSList1DblClickOpen();
  void PTSList1KeyUp(int key);
  void PTSList1Editing() {}
  void PTSList1Edited(const QString& oldPath, const QString& newPath);
  void PTSList1DeleteItem(const QString& path);
  void PTShellCombo1Change();
  void FilterComboBox1Change();
  void PTSplitter1Change() {}

  // Applies a zoom choice 0..7 without touching the undo state; out of range is ignored.
  void ApplyZoom(int index);
  void ApplyZoomMode(int index);
  // Checks the colour-resolution items for a pixel format and palette identity.
  void CheckColorResolution(pgraphic::TPGPixelFormat format, pgraphic::TPaletteIdent ident);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  // Files dropped on the image (a file manager's text/uri-list): the first opens;
  // a press on the picture ends quick browsing.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A step of the browser by a key; `repeated`: a held key's repeat.
  void BrowseStep(bool repeated);
  // The read-ahead has read the selected file while a key is held.
  void SelectedReadAhead(const QString& path);
  // Ends quick browsing; with `open`, opens the file reached.
  void EndQuickBrowse(bool open);
  void FormCreate(const TStartOptions& options);
  void FormShow();
  // The window's bounds and the browser's width into the stored settings.
  void StoreWindowState(const QRect& bounds);
  void FormClose();
  void FormResize();
  void BuildMenus();
  void BuildToolbar();
  void BuildKeyAliases();
  void BuildBrowser();
  void SetItemEnabled(const QString& name, bool enabled);
  void SetButtonEnabled(const QString& name, bool enabled);
  void CheckItem(const QString& name);
  void EnableImageCommands(bool on);
  void SetRunStop(bool imageShown);
  void SetViewVisible(bool visible);
  void AttachPopup(bool attach);
  void PressHandIfNoToolDown();
  void FocusList();
  void ZoomCommand(int index);
  void ZoomModeCommand(int index);
  // The next of the Zoom menu's factors in a direction, around zoomAt_ (the
  // view's middle when unset); none beyond the first and the last.
  void ZoomStep(int direction);
  // Only the image, on the whole screen; off brings the window back as it was.
  void SetFullScreen(bool on, bool bySlide = false);
  // The slide show started or stopped: it takes the screen when its settings say.
  void SlideRunning(bool running);
  // The orientation-tag setting into the menu and the views that read files.
  void ApplyAutoOrient();
  // Files dropped on the picture or around it: whether they would open, and
  // taking them (the first local file opens once the drop has ended).
  bool CanOpenDrop(const QMimeData* data) const;
  void TakeDrop(const QMimeData* data);
  // Opens droppedFile_, marked in the browser when its folder lists it.
  void OpenDroppedFile();
  void UpdateCaption();
  // After the open dialog's OK: the browser follows the dialog, the view takes its preview.
  void ShowOpenChoice();
  // Whether the image shown may give way to another file (or to none): asks
  // first when it has unsaved edits (see unsaved.cpp).
  bool MayLeaveImage();
  // The list's selection back on the file shown, when leaving it was refused.
  void ReselectShown();
  // The protocol of the image commands (imagecommands.cpp).
  void EndCompressedState();
  void ArmPixelUndo();
  void FinishImageCommand(bool focusList = true);
  void FailImageCommand();
  bool RunImageCommand(const std::function<bool()>& command, bool focusList = true);
  void PasteIntoTrueColor(const pgraphic::TPixelGraphic& part);
  void PointFilterCommand(pgraphic::TPreviewFilterDialog& dialog);
  void ConvFilterCommand(pgraphic::TFilterDialog& dialog);
  void ColorCommand(int command);
  void MirrorCommand(bool vertical);
  void RotateCommand(bool right);
  bool CompressWithQuality();
  // Reads a file for the main view or the dialog's preview (load road).
  std::unique_ptr<TPreloaded> ReadFile(const QString& path, TImagePane& target);
  // Shows a VQN file's error, if any; false when there was one.
  bool ShowWaveletError(const QString& fileName, const std::string& error);

  // The zoom and zoom-mode items checked in the main menu, at first the defaults.
  int checkedZoom_ = TStoredSettings{}.ZoomIndex;
  int checkedZoomMode_ = TStoredSettings{}.ZoomModeIndex;
  std::map<QString, QAction*> items_;
  std::map<QString, QAction*> twins_;  // main item name -> pop-up twin
  std::map<QString, widgets::TFlyoverButton*> buttons_;
  QStatusBar* statusBar_ = nullptr;
  THelpWindow* help_ = nullptr;
  std::unique_ptr<QPrinter> printer_;
  TPreloader* preload_ = nullptr;
  bool popupAttached_ = false;
  bool firstShowDone_ = false;
  int commandDepth_ = 0;  // commands under way that hold the image shown
  TQuickBrowse* quick_ = nullptr;
  QTimer* quickEnd_ = nullptr;        // no step for a while: open the file reached
  QElapsedTimer sinceStep_;           // since the last step by a key was handled
  bool stepKeyHeld_ = false;          // a step key repeats and is not released yet
  QString openedWhileHeld_;           // by SelectedReadAhead, not opened again on release
  std::shared_ptr<void> quickPause_;  // a TPreloader::TPause while browsing quickly
  std::optional<QPoint> zoomAt_;
  // What full screen hides, as it was before.
  struct TFullScreenState {
    bool On = false;
    bool BySlide = false;  // entered by the slide show, left when it stops
    Qt::WindowStates State;
    int Browser = 0, Toolbar = 0;  // the splitters' positions
    QPalette Palette;              // the view's background
    int Frame = 0;
    QObject* Keys = nullptr;  // hands the stepping keys to the hidden list
  } fullScreen_;
  QString startMessage_;  // what the command line's argument gave, for the status bar
  QString droppedFile_;
};

// The dialog of this type owned by the window, created on first use, so that it
// keeps its settings between uses.
template <class T>
T& Child(TForm1& owner) {
  if (T* found = owner.findChild<T*>(QString(), Qt::FindDirectChildrenOnly)) return *found;
  return *new T(&owner);
}

}  // namespace app
