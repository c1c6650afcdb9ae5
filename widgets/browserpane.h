// The folder-browser pane of the program's windows: a folder combo with a "Go Up"
// button (and, where wanted, a "New Folder" button), the file list and the
// file-type filter. The combo and the list always show the same folder; the pane
// keeps them in step and reports only the moves made through the combo.
#pragma once

#include <QGridLayout>
#include <QWidget>
#include <vector>

#include "widgets/controls.h"
#include "widgets/shelllist.h"

namespace widgets {

class TBrowserPane : public QWidget {
  Q_OBJECT

 public:
  // Where the captions "Folder:" and "File extention:" go, if anywhere.
  enum class TCaptions { None, Above, Beside };
  struct TOptions {
    TCaptions Captions = TCaptions::None;
    bool NewFolderButton = false;
  };

  explicit TBrowserPane(const TOptions& options, QWidget* parent = nullptr);

  TPTShellCombo* const Combo;
  TFlyoverButton* const UpButton;
  TFlyoverButton* const NewFolderButton;  // nullptr unless asked for
  TPTShellList* const List;
  TFilterComboBox* const Filter;

  // Shows `folder` in the combo and the list without reporting FolderChosen.
  void ShowFolder(const QString& folder);
  // Moves the combo, and with it the list, one level up; false at the root.
  bool GoUp();
  // Puts `widget` on its own row between the list and the filter.
  void AddBelowList(QWidget* widget);
  QGridLayout* Grid() const { return grid_; }

 signals:
  // The combo moved the pane to another folder (the user's choice, GoUp or a
  // SetFolder on the combo); the list already shows it.
  void FolderChosen();

 private:
  void ComboChanged();
  void ListMoved();

  QGridLayout* grid_;
  int nextExtraRow_;
  // Set while the pane moves one of its own parts, so that the echo of that move
  // is not taken for a new choice.
  bool syncing_ = false;
};

// The file-type filters of the program's browsers (main window, open dialog,
// batch dialog), in order; the first entry lists every image file.
const std::vector<TFilterComboBox::Filter>& ImageFileFilters();
// The mask of all image files the program lists.
QString AllImagesMask();

}  // namespace widgets
