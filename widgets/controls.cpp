#include "widgets/controls.h"

#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QResizeEvent>
#include <algorithm>

namespace widgets {

// ---- TPTShellCombo --------------------------------------------------------------

TPTShellCombo::TPTShellCombo(QWidget* parent) : QComboBox(parent) {
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(8);
  connect(this, &QComboBox::activated, this, [this](int index) {
    if (!filling_) SetFolder(itemData(index).toString());
  });
}

void TPTShellCombo::SetFolder(const QString& folder) {
  const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
  if (clean == folder_) return;
  folder_ = clean;
  Fill();
  emit Change();
}

bool TPTShellCombo::GoUp() {
  QDir dir(folder_);
  if (!dir.cdUp()) return false;
  SetFolder(dir.absolutePath());
  return true;
}

void TPTShellCombo::Fill() {
  filling_ = true;
  clear();
  static const QIcon icon = QFileIconProvider().icon(QFileIconProvider::Folder);
  QStringList chain;
  for (QDir dir(folder_);;) {
    chain.prepend(dir.absolutePath());
    if (!dir.cdUp()) break;
  }
  for (int depth = 0; depth < chain.size(); ++depth) {
    const QString& path = chain[depth];
    const QString name = depth == 0 ? path : QDir(path).dirName();
    addItem(icon, QString(depth * 2, ' ') + name, path);
  }
  setCurrentIndex(count() - 1);
  const QString home = QDir::homePath();
  if (!chain.contains(home)) {
    insertSeparator(count());
    addItem(icon, home, home);
  }
  filling_ = false;
}

// ---- TFilterComboBox ------------------------------------------------------------

TFilterComboBox::TFilterComboBox(QWidget* parent) : QComboBox(parent) {
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(8);
  connect(this, &QComboBox::activated, this, [this](int) { emit Change(); });
}

void TFilterComboBox::SetFilters(const std::vector<Filter>& filters) {
  const QSignalBlocker block(this);
  filters_ = filters;
  clear();
  for (const auto& [description, mask] : filters_) addItem(description, mask);
  setCurrentIndex(filters_.empty() ? -1 : 0);
}

QString TFilterComboBox::Mask() const {
  const int index = currentIndex();
  return index >= 0 && index < int(filters_.size()) ? filters_[index].second : QString();
}

QString TFilterComboBox::Extension() const {
  const QString mask = Mask();
  if (mask.contains(';') || !mask.startsWith("*.")) return QString();
  return mask.mid(1);
}

void TFilterComboBox::SetItemIndex(int index) {
  const QSignalBlocker block(this);
  setCurrentIndex(filters_.empty() ? -1 : std::clamp(index, 0, int(filters_.size()) - 1));
}

// ---- TPTSplitter ----------------------------------------------------------------

TPTSplitter::TPTSplitter(Qt::Orientation orientation, QWidget* parent)
    : QSplitter(orientation, parent) {
  setChildrenCollapsible(false);
  connect(this, &QSplitter::splitterMoved, this, [this](int, int) {
    wanted_ = -1;
    emit Change();
  });
}

int TPTSplitter::Position() const {
  if (count() == 0) return 0;
  if (wanted_ >= 0) return wanted_;
  return sizes().value(0);
}

// A position set before the splitter is shown and laid out is kept and applied
// when it gets its size; QSplitter would otherwise rescale it.
void TPTSplitter::SetPosition(int position) {
  if (count() < 2) return;
  wanted_ = std::max(position, minimum_);
  if (isVisible()) ApplyWanted();
  emit Change();
}

void TPTSplitter::ApplyWanted() {
  const int total = (orientation() == Qt::Horizontal ? width() : height()) - handleWidth();
  if (wanted_ < 0 || total <= wanted_) return;
  setSizes({wanted_, total - wanted_});
  wanted_ = -1;
}

void TPTSplitter::resizeEvent(QResizeEvent* event) {
  QSplitter::resizeEvent(event);
  if (isVisible()) ApplyWanted();
}

void TPTSplitter::showEvent(QShowEvent* event) {
  QSplitter::showEvent(event);
  ApplyWanted();
}

// ---- TFlyoverButton -------------------------------------------------------------

TFlyoverButton::TFlyoverButton(QWidget* parent) : QToolButton(parent) {
  setAutoRaise(true);
  setFocusPolicy(Qt::NoFocus);
}

void TFlyoverButton::SetGroupIndex(int group) {
  group_ = group;
  setCheckable(group != 0);
}

void TFlyoverButton::SetDown(bool down) {
  if (!isCheckable()) setCheckable(true);
  setChecked(down);
  if (down && group_ != 0 && parentWidget()) {
    for (auto* other : parentWidget()->findChildren<TFlyoverButton*>(Qt::FindDirectChildrenOnly))
      if (other != this && other->group_ == group_) other->setChecked(false);
  }
}

void TFlyoverButton::nextCheckState() {
  // Every click comes here; a command button (neither grouped nor a toggle) has
  // no down state, and a click must not give it one.
  if (!isCheckable()) return;
  if (isChecked() && group_ != 0 && !allowAllUp_) return;  // stays down
  SetDown(!isChecked());
}

// ---- TSpinEdit, TProgressMeter ---------------------------------------------------

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent) {
  connect(this, &QSpinBox::valueChanged, this, [this](int) { emit Change(); });
}

TProgressMeter::TProgressMeter(QWidget* parent) : QProgressBar(parent) {
  setRange(0, 100);
}

std::optional<QString> BrowseForFolder(QWidget* parent, const QString& caption,
                                       const QString& start) {
  const QString folder = QFileDialog::getExistingDirectory(parent, caption, start);
  if (folder.isEmpty()) return std::nullopt;
  return folder;
}

}  // namespace widgets
