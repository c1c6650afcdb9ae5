// Small widgets of the program's windows, each a thin layer over a Qt class:
// the folder combo, the file-type filter combo, the splitter with a position,
// flyover toolbar buttons, the spin edit, the progress meter and the
// folder-browse dialog.
#pragma once

#include <QComboBox>
#include <QProgressBar>
#include <QSpinBox>
#include <QSplitter>
#include <QString>
#include <QToolButton>
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace widgets {

// The folder shown and its parents up to the root, plus the home folder;
// choosing an entry moves to it.
class TPTShellCombo : public QComboBox {
  Q_OBJECT

 public:
  explicit TPTShellCombo(QWidget* parent = nullptr);
  QString Folder() const { return folder_; }
  // Shows `folder` (cleaned, absolute); emits Change when it differs.
  void SetFolder(const QString& folder);
  // Moves one level up; false at the root.
  bool GoUp();

 signals:
  void Change();

 private:
  void Fill();
  QString folder_;
  bool filling_ = false;
};

// (description, mask) pairs; Change fires on the user's choice only.
class TFilterComboBox : public QComboBox {
  Q_OBJECT

 public:
  using Filter = std::pair<QString, QString>;
  explicit TFilterComboBox(QWidget* parent = nullptr);
  void SetFilters(const std::vector<Filter>& filters);
  const std::vector<Filter>& Filters() const { return filters_; }
  QString Mask() const;
  // The mask's first extension with its dot, such as ".bmp"; empty for several.
  QString Extension() const;
  int ItemIndex() const { return currentIndex(); }
  // Out-of-range indices are clamped; no Change is emitted.
  void SetItemIndex(int index);

 signals:
  void Change();

 private:
  std::vector<Filter> filters_;
};

// A splitter between two panes with the first pane's size as its position.
class TPTSplitter : public QSplitter {
  Q_OBJECT

 public:
  explicit TPTSplitter(Qt::Orientation orientation, QWidget* parent = nullptr);
  int Position() const;
  void SetPosition(int position);
  void SetMinimum(int minimum) { minimum_ = minimum; }

 signals:
  void Change();

 private:
  void ApplyWanted();
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  int minimum_ = 0;
  int wanted_ = -1;
};

// A flat toolbar button that is raised under the mouse. Buttons with the same
// non-zero group index in one parent are exclusive: pressing one raises the
// others; a grouped button cannot be raised by a click unless AllowAllUp.
class TFlyoverButton : public QToolButton {
  Q_OBJECT

 public:
  explicit TFlyoverButton(QWidget* parent = nullptr);
  bool Down() const { return isChecked(); }
  void SetDown(bool down);
  int GroupIndex() const { return group_; }
  void SetGroupIndex(int group);
  void SetAllowAllUp(bool allow) { allowAllUp_ = allow; }

 protected:
  void nextCheckState() override;

 private:
  int group_ = 0;
  bool allowAllUp_ = false;
};

// An integer edit with a minimum, a maximum and a change event.
class TSpinEdit : public QSpinBox {
  Q_OBJECT

 public:
  explicit TSpinEdit(QWidget* parent = nullptr);
  int Value() const { return value(); }
  void SetValue(int value) { setValue(value); }
  void SetMinMax(int minimum, int maximum) { setRange(minimum, maximum); }

 signals:
  void Change();
};

// A progress bar from 0 to 100.
class TProgressMeter : public QProgressBar {
  Q_OBJECT

 public:
  explicit TProgressMeter(QWidget* parent = nullptr);
  void SetPosition(int percent) { setValue(std::clamp(percent, 0, 100)); }
  int Position() const { return value(); }
};

// The folder-browse dialog: the chosen folder, or nothing after Cancel.
std::optional<QString> BrowseForFolder(QWidget* parent, const QString& caption,
                                       const QString& start);

}  // namespace widgets
