// The command table of the main window: every main-menu item, pop-up item and
// toolbar button with its caption, shortcut, hint, start state, the handler it
// runs and the rules that enable it. The window builds its menus and toolbar from
// these tables (commands.cpp) and enables its commands by walking them.
#pragma once

#include <span>

namespace app {

class TForm1;

// A command's handler: a method of the main window.
using THandler = void (TForm1::*)();

// When a command is enabled.
enum TCommandFlags : unsigned {
  cfNone = 0,
  // Enabled exactly while an image is shown.
  cfNeedsImage = 1u << 0,
  // Disabled while a long command runs (All_Deactivate) and enabled again after.
  cfOffWhileBusy = 1u << 1,
  // Enabled only by the commands that make it meaningful (Undo, Crop): disabled
  // with the others, never enabled with them.
  cfArmed = 1u << 2,
  // Run and Stop of the slide show: enabled from the state of the toggle.
  cfRunStop = 1u << 3,
  // A check item of its own (in no radio group): each use turns its mark over,
  // and the handler reads the mark.
  cfCheckItem = 1u << 4,
};

// Radio groups kept in step between the main and the pop-up menu.
enum TRadioGroup : int { rgNone = 0, rgZoom = 1, rgZoomMode = 2, rgColorResolution = 3 };

struct TMenuItemDef {
  const char* Name;      // component name, e.g. "Open1"
  const char* Parent;    // name of the menu it sits in; "" for a command of keys only
  const char* Caption;   // with its "&" accelerator; "-" is a separator
  const char* Shortcut;  // portable text such as "Ctrl+O", or ""
  THandler Handler;      // nullptr for a submenu or a separator
  bool StartsDisabled = false;
  TRadioGroup Group = rgNone;
  bool Checked = false;  // checked at design time
  bool Submenu = false;
  unsigned Flags = cfNone;
};

struct TPopupItemDef {
  const char* Name;
  const char* Parent;  // "PopupMenu1" or a pop-up submenu
  const char* Caption;
  const char* Twin;  // the main-menu item it shares a handler and check state with
  bool Submenu = false;
};

struct TToolButtonDef {
  const char* Name;  // "SB1" ...; "-" is a separator
  const char* Hint;
  THandler Handler;
  const char* Icon;  // name of the drawn icon
  bool StartsDisabled = false;
  int GroupIndex = 0;   // 1: the two exclusive tool buttons
  bool Toggle = false;  // a button that stays down until clicked again
  unsigned Flags = cfNone;
  const char* Caption = "";  // text shown beside the icon, if any
};

// The top-level entries of the menu bar, in order ("N23" is the invisible one).
std::span<const TMenuItemDef> MainMenuTopLevel();
// The items inside the top-level menus and their submenus, in menu order.
std::span<const TMenuItemDef> MainMenuItems();
std::span<const TPopupItemDef> PopupMenuItems();
std::span<const TToolButtonDef> ToolButtons();

// Captions of the window.
inline constexpr const char* ProgramCaption = "Korvane v3.52";
inline constexpr const char* ApplicationTitle = "Korvane";
inline constexpr const char* ProgramVersion = "3.52";
inline constexpr const char* CannotViewText = "Sorry, the image can't be viewed";
inline constexpr const char* CannotPerformText = "Can not perform this operation.";
inline constexpr const char* PrintFailedText = "Can not print the image.";

}  // namespace app
