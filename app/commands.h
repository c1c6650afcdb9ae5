// The command table of the main window: every main-menu item, pop-up item and
// toolbar button with its caption, shortcut, hint, start state and the name of
// the handler it runs. The window builds its menus and toolbar from these tables.
#pragma once

#include <span>

namespace app {

// Radio groups kept in step between the main and the pop-up menu.
enum TRadioGroup : int { rgNone = 0, rgZoom = 1, rgZoomMode = 2, rgColorResolution = 3 };

struct TMenuItemDef {
  const char* Name;     // component name, e.g. "Open1"
  const char* Parent;   // name of the menu it sits in
  const char* Caption;  // with its "&" accelerator; "-" is a separator
  const char* Shortcut; // portable text such as "Ctrl+O", or ""
  const char* Handler;  // e.g. "Open1Click"; "" for a submenu
  bool StartsDisabled = false;
  TRadioGroup Group = rgNone;
  bool Checked = false;  // checked at design time
  bool Submenu = false;
};

struct TPopupItemDef {
  const char* Name;
  const char* Parent;   // "PopupMenu1" or a pop-up submenu
  const char* Caption;
  const char* Twin;     // the main-menu item it shares a handler and check state with
  bool Submenu = false;
};

struct TToolButtonDef {
  const char* Name;     // "SB1" ...; "-" is a separator
  const char* Hint;
  const char* Handler;
  const char* Icon;     // name of the drawn icon
  bool StartsDisabled = false;
  int GroupIndex = 0;   // 1: the two exclusive tool buttons
  bool Toggle = false;  // a button that stays down until clicked again
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
