#include "widgets/shelllist.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QDrag>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QUrl>

#include "io/trash.h"
#include "widgets/thumbnailer.h"

namespace widgets {

namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int FolderRole = Qt::UserRole + 1;
constexpr int MTimeRole = Qt::UserRole + 2;  // seconds since the epoch

// The thumbnails' side: the small size of the shared thumbnail cache.
constexpr int kThumbnailSide = 128;

const QIcon& FolderIcon() {
  static const QIcon icon = QFileIconProvider().icon(QFileIconProvider::Folder);
  return icon;
}
const QIcon& FileIcon() {
  static const QIcon icon = QFileIconProvider().icon(QFileIconProvider::File);
  return icon;
}

// The nearest folder that exists, walking up from `path`; the root at worst.
QString NearestExisting(QString path) {
  QDir dir(path);
  while (!dir.exists() && !dir.isRoot()) {
    if (!dir.cdUp()) {
      const QString parent = QFileInfo(dir.absolutePath()).path();
      if (parent == dir.absolutePath()) break;
      dir.setPath(parent);
    }
  }
  return dir.exists() ? dir.absolutePath() : QDir::rootPath();
}

// Draws an item of the thumbnail grid: its thumbnail in place of its icon.
class TThumbnailDelegate : public QStyledItemDelegate {
 public:
  explicit TThumbnailDelegate(TPTShellList* list) : QStyledItemDelegate(list), list_(list) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QPixmap thumbnail = list_->ItemThumbnail(index.row());
    if (!thumbnail.isNull()) option->icon = QIcon(thumbnail);
  }

 private:
  TPTShellList* list_;
};

}  // namespace

TPTShellList::TPTShellList(QWidget* parent) : QListWidget(parent) {
  setViewMode(QListView::ListMode);
  setFlow(QListView::TopToBottom);
  setWrapping(false);
  setUniformItemSizes(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::EditKeyPressed);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  connect(this, &QListWidget::itemSelectionChanged, this, [this] {
    if (!listing_) emit Change();
  });
  connect(this, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (!listing_ && !renamingPath_.isEmpty()) CommitRename(item);
  });
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this,
          [this](const QString&) { OnDirectoryChanged(); });
  thumbnailTimer_.setSingleShot(true);
  thumbnailTimer_.setInterval(0);
  connect(&thumbnailTimer_, &QTimer::timeout, this, &TPTShellList::RequestThumbnails);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, &thumbnailTimer_,
          qOverload<>(&QTimer::start));
}

void TPTShellList::SetFolder(const QString& folder) {
  const QString target = NearestExisting(QDir::cleanPath(QDir(folder).absolutePath()));
  if (!folder_.isEmpty()) watcher_.removePath(folder_);
  folder_ = target;
  watcher_.addPath(folder_);
  List(QString(), {});
  emit FolderChanged();
}

void TPTShellList::SetMask(const QString& mask) {
  mask_ = mask.isEmpty() ? QStringLiteral("*") : mask;
  // Items that still match keep their focus and selection.
  if (!folder_.isEmpty()) Refresh();
}

void TPTShellList::SetShowHidden(bool show) {
  showHidden_ = show;
  if (!folder_.isEmpty()) Refresh();
}

void TPTShellList::List(const QString& keepFocused, const QStringList& keepSelected) {
  listing_ = true;
  clear();
  QDir dir(folder_);
  QDir::Filters hidden = showHidden_ ? QDir::Hidden : QDir::Filters();
  const auto folders =
      dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | hidden, QDir::Name | QDir::IgnoreCase);
  const auto files = dir.entryInfoList(mask_.split(';', Qt::SkipEmptyParts), QDir::Files | hidden,
                                       QDir::Name | QDir::IgnoreCase);
  int focus = -1;
  auto add = [&](const QFileInfo& info, bool isFolder) {
    auto* item = new QListWidgetItem(isFolder ? FolderIcon() : FileIcon(), info.fileName(), this);
    item->setData(PathRole, info.absoluteFilePath());
    item->setData(FolderRole, isFolder);
    if (!isFolder) item->setData(MTimeRole, info.lastModified().toSecsSinceEpoch());
    item->setFlags(item->flags() | Qt::ItemIsEditable | Qt::ItemIsDragEnabled |
                   (isFolder ? Qt::ItemIsDropEnabled : Qt::ItemFlags()));
    if (info.absoluteFilePath() == keepFocused) focus = count() - 1;
    if (keepSelected.contains(info.absoluteFilePath())) item->setSelected(true);
  };
  // QDir takes a symbolic link to a FIFO, socket or device for neither a file
  // nor a folder and so lets it through both filters: only real folders and
  // regular files (links to them included) are listed, each once.
  for (const auto& info : folders)
    if (info.isDir()) add(info, true);
  for (const auto& info : files)
    if (info.isFile()) add(info, false);
  if (focus >= 0) setCurrentRow(focus, QItemSelectionModel::NoUpdate);
  listing_ = false;
  if (thumbnails_) {
    // The work for what was listed before gives way to what is listed now.
    feeder_->Reset();
    thumbnailFailed_.clear();
    thumbnailTimer_.start();
  }
}

void TPTShellList::Refresh() {
  QStringList selected;
  for (auto* item : selectedItems()) selected << item->data(PathRole).toString();
  const QString focused = currentItem() ? currentItem()->data(PathRole).toString() : QString();
  List(focused, selected);
  QStringList gone;
  for (const auto& path : selected)
    if (IndexOfPath(path) < 0) gone << path;
  if (!gone.isEmpty() || selectedItems().size() != selected.size()) emit Change();
  for (const auto& path : gone) emit DeleteItem(path);
}

void TPTShellList::OnDirectoryChanged() {
  if (editing_) return;
  if (!QFileInfo(folder_).isDir()) {
    // The folder shown was removed or renamed: show the nearest parent that exists.
    const QString gone = currentItem() ? currentItem()->data(PathRole).toString() : QString();
    SetFolder(folder_);
    if (!gone.isEmpty()) emit DeleteItem(gone);
    emit Change();
    return;
  }
  watcher_.addPath(folder_);  // some editors replace the folder entry; keep watching
  Refresh();
}

QString TPTShellList::ItemPath(int index) const {
  auto* it = item(index);
  return it ? it->data(PathRole).toString() : QString();
}

QString TPTShellList::ItemName(int index) const {
  auto* it = item(index);
  return it ? it->text() : QString();
}

bool TPTShellList::ItemIsFolder(int index) const {
  auto* it = item(index);
  return it && it->data(FolderRole).toBool();
}

int TPTShellList::IndexOfPath(const QString& path) const {
  for (int i = 0; i < count(); ++i)
    if (item(i)->data(PathRole).toString() == path) return i;
  return -1;
}

void TPTShellList::SetFocusedIndex(int index) {
  if (index < 0 || index >= count()) return;
  setCurrentRow(index, QItemSelectionModel::NoUpdate);
  scrollToItem(item(index));
}

int TPTShellList::SelectedIndex() const {
  int last = -1;
  for (int i = 0; i < count(); ++i)
    if (item(i)->isSelected()) last = i;
  return last;
}

bool TPTShellList::IsSelected(int index) const {
  auto* it = item(index);
  return it && it->isSelected();
}

void TPTShellList::SelectItem(int index) {
  if (index < 0 || index >= count()) return;
  if (item(index)->isSelected() && selectedItems().size() == 1) return;
  setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
}

void TPTShellList::SelectFocused() {
  if (currentRow() >= 0) SelectItem(currentRow());
}

bool TPTShellList::BrowseInto(int index) {
  if (!ItemIsFolder(index)) return false;
  SetFolder(ItemPath(index));
  return true;
}

bool TPTShellList::GoUp() {
  QDir dir(folder_);
  if (!dir.cdUp()) return false;
  const QString child = folder_;
  SetFolder(dir.absolutePath());
  SetFocusedIndex(IndexOfPath(child));
  return true;
}

QString TPTShellList::CreateFolder() {
  QDir dir(folder_);
  QString name = tr("New Folder");
  for (int n = 2; dir.exists(name); ++n) name = tr("New Folder (%1)").arg(n);
  if (!dir.mkdir(name)) return QString();
  const QString path = dir.absoluteFilePath(name);
  Refresh();
  const int index = IndexOfPath(path);
  SelectItem(index);
  RenameItem(index);
  return path;
}

void TPTShellList::RenameItem(int index) {
  auto* it = item(index);
  if (!it) return;
  renamingPath_ = it->data(PathRole).toString();
  editing_ = true;
  emit Editing();
  editItem(it);
}

void TPTShellList::CommitRename(QListWidgetItem* item) {
  const QString oldPath = renamingPath_;
  renamingPath_.clear();
  const QString newName = item->text().trimmed();
  const QString newPath = QDir(folder_).absoluteFilePath(newName);
  if (newName.isEmpty() || newName.contains('/') || newPath == oldPath ||
      QFileInfo::exists(newPath) || !QFile::rename(oldPath, newPath)) {
    listing_ = true;
    item->setText(QFileInfo(oldPath).fileName());
    listing_ = false;
    if (newPath != oldPath) emit RenameFailed(tr("Can not rename %1.").arg(oldPath));
    return;
  }
  listing_ = true;
  item->setData(PathRole, newPath);
  listing_ = false;
  emit Edited(oldPath, newPath);
}

void TPTShellList::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  QListWidget::closeEditor(editor, hint);
  renamingPath_.clear();
  if (editing_) {
    editing_ = false;
    Refresh();
  }
}

void TPTShellList::DeleteToTrash(int index) {
  const QString path = ItemPath(index);
  if (path.isEmpty()) return;
  const auto tell = [this](const char* text) {
    QMessageBox(QMessageBox::Critical, MessageTitle, QString::fromStdString(text), QMessageBox::Ok,
                this)
        .exec();
  };
  try {
    io::MoveToTrash(path.toStdString());
  } catch (const io::ETrash& e) {
    if (!e.NoTrash) {
      tell(e.what());
    } else {
      // The file's volume has no trash: deleting it for good needs a Yes.
      QMessageBox question(
          QMessageBox::Warning, MessageTitle,
          QString::fromStdString(e.what()) + "\n\n" + tr("Delete %1 permanently?").arg(path),
          QMessageBox::Yes | QMessageBox::No, this);
      question.setDefaultButton(QMessageBox::No);
      if (question.exec() == QMessageBox::Yes) {
        try {
          io::DeletePermanently(path.toStdString());
        } catch (const io::ETrash& d) {
          tell(d.what());
        }
      }
    }
  }
  Refresh();
}

void TPTShellList::SetThumbnails(bool on) {
  if (on == thumbnails_) return;
  thumbnails_ = on;
  if (on) {
    if (!feeder_) {
      feeder_ = new TThumbnailFeeder(kThumbnailSide, this);
      connect(feeder_, &TThumbnailFeeder::Ready, this, &TPTShellList::ThumbnailReady);
      listDelegate_ = itemDelegate();
      thumbnailDelegate_ = new TThumbnailDelegate(this);
    }
    // Flow and wrapping are set by hand: once set, a change of mode keeps them.
    setViewMode(QListView::IconMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setMovement(QListView::Static);  // the items keep the folder's order
    setResizeMode(QListView::Adjust);
    setIconSize(QSize(kThumbnailSide, kThumbnailSide));
    const int text = fontMetrics().height();
    setGridSize(QSize(kThumbnailSide + 24, kThumbnailSide + 2 * text + 12));
    setWordWrap(true);
    setUniformItemSizes(true);
    setItemDelegate(thumbnailDelegate_);
    thumbnailTimer_.start();
  } else {
    feeder_->Reset();
    thumbnailTimer_.stop();
    // The list exactly as it is built at the start.
    setViewMode(QListView::ListMode);
    setFlow(QListView::TopToBottom);
    setWrapping(false);
    setMovement(QListView::Static);
    setResizeMode(QListView::Fixed);
    setIconSize(QSize());
    setGridSize(QSize());
    setWordWrap(false);
    setUniformItemSizes(false);
    setItemDelegate(listDelegate_);
  }
  if (currentItem()) scrollToItem(currentItem());
}

QString TPTShellList::ThumbnailKey(const QListWidgetItem* it) const {
  return it->data(PathRole).toString() + QLatin1Char('\n') +
         QString::number(it->data(MTimeRole).toLongLong());
}

QPixmap TPTShellList::ItemThumbnail(int index) const {
  const auto* it = item(index);
  if (!it || ItemIsFolder(index)) return QPixmap();
  const QPixmap* found = thumbnailCache_.object(ThumbnailKey(it));
  return found ? *found : QPixmap();
}

bool TPTShellList::ThumbnailsSettled() const {
  return !thumbnails_ || (!thumbnailTimer_.isActive() && feeder_->Idle());
}

void TPTShellList::RequestThumbnails() {
  if (!thumbnails_) return;
  executeDelayedItemsLayout();
  const QRect sight = viewport()->rect();
  // The items in sight (a run of rows in the grid's order), then as many after them.
  int first = -1, last = -1;
  for (int i = 0; i < count(); ++i) {
    if (!visualItemRect(item(i)).intersects(sight)) {
      if (first >= 0) break;
      continue;
    }
    if (first < 0) first = i;
    last = i;
  }
  QStringList wanted;
  if (first >= 0) {
    const int end = std::min(count(), last + 1 + (last - first + 1));
    for (int i = first; i < end; ++i) {
      const auto* it = item(i);
      const QString key = ThumbnailKey(it);
      if (!ItemIsFolder(i) && !thumbnailCache_.contains(key) && !thumbnailFailed_.contains(key))
        wanted << it->data(PathRole).toString();
    }
  }
  feeder_->Want(wanted);
}

void TPTShellList::ThumbnailReady(const QString& path, const QImage& image) {
  const int index = IndexOfPath(path);
  if (index < 0) return;
  const QString key = ThumbnailKey(item(index));
  if (image.isNull()) {
    thumbnailFailed_.insert(key);
    return;
  }
  auto* pixmap = new QPixmap(QPixmap::fromImage(image));
  thumbnailCache_.insert(key, pixmap, std::max<qsizetype>(1, image.sizeInBytes() / 1024));
  update(indexFromItem(item(index)));
}

void TPTShellList::resizeEvent(QResizeEvent* event) {
  QListWidget::resizeEvent(event);
  if (thumbnails_) thumbnailTimer_.start();
}

QModelIndex TPTShellList::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  // In the grid, left and right step through the items in order, on to the next
  // row at a row's end (a narrow pane shows a single column).
  const int step = action == MoveLeft ? -1 : action == MoveRight ? 1 : 0;
  if (thumbnails_ && step != 0 && currentRow() >= 0) {
    const int to = currentRow() + step;
    return to >= 0 && to < count() ? indexFromItem(item(to)) : currentIndex();
  }
  return QListWidget::moveCursor(action, modifiers);
}

void TPTShellList::keyPressEvent(QKeyEvent* event) {
  const int row = currentRow();
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && row >= 0 &&
      state() != QAbstractItemView::EditingState) {
    if (ItemIsFolder(row))
      BrowseInto(row);
    else
      emit DblClickOpen();
    return;
  }
  if (event->key() == Qt::Key_F2 && row >= 0) {
    RenameItem(row);
    return;
  }
  if (event->key() == Qt::Key_Backspace) {
    GoUp();
    return;
  }
  QListWidget::keyPressEvent(event);
}

void TPTShellList::keyReleaseEvent(QKeyEvent* event) {
  QListWidget::keyReleaseEvent(event);
  // A held key repeats press and release; only the real release counts.
  if (!event->isAutoRepeat() && !editing_) emit KeyReleased(event->key());
}

void TPTShellList::mousePressEvent(QMouseEvent* event) {
  QListWidget::mousePressEvent(event);
  emit MouseDown(event->button());
}

void TPTShellList::mouseReleaseEvent(QMouseEvent* event) {
  QListWidget::mouseReleaseEvent(event);
  emit MouseUp(event->button());
  if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint())) emit ItemClicked();
}

void TPTShellList::mouseDoubleClickEvent(QMouseEvent* event) {
  QListWidget::mouseDoubleClickEvent(event);
  auto* it = itemAt(event->position().toPoint());
  if (!it || event->button() != Qt::LeftButton) return;
  const int index = row(it);
  SelectItem(index);
  if (ItemIsFolder(index))
    BrowseInto(index);
  else
    emit DblClickOpen();
}

void TPTShellList::contextMenuEvent(QContextMenuEvent* event) {
  auto* it = itemAt(event->pos());
  const int index = it ? row(it) : -1;
  if (index >= 0) SelectItem(index);
  QMenu menu(this);
  if (index >= 0) {
    menu.addAction(tr("&Open"), this, [this, index] {
      if (!BrowseInto(index)) emit DblClickOpen();
    });
    menu.addAction(tr("Re&name"), this, [this, index] { RenameItem(index); });
    menu.addAction(tr("Move to &Trash"), this, [this, index] { DeleteToTrash(index); });
    menu.addSeparator();
  }
  menu.addAction(tr("New &Folder"), this, [this] { CreateFolder(); });
  menu.addAction(tr("&Refresh"), this, [this] { Refresh(); });
  menu.exec(event->globalPos());
}

QStringList TPTShellList::mimeTypes() const {
  return {QStringLiteral("text/uri-list")};
}

QMimeData* TPTShellList::mimeData(const QList<QListWidgetItem*>& items) const {
  auto* data = new QMimeData;
  QList<QUrl> urls;
  for (auto* it : items) urls << QUrl::fromLocalFile(it->data(PathRole).toString());
  data->setUrls(urls);
  return data;
}

Qt::DropActions TPTShellList::supportedDropActions() const {
  return Qt::CopyAction | Qt::MoveAction;
}

void TPTShellList::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls())
    event->acceptProposedAction();
  else
    event->ignore();
}

void TPTShellList::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls())
    event->acceptProposedAction();
  else
    event->ignore();
}

void TPTShellList::dropEvent(QDropEvent* event) {
  auto* target = itemAt(event->position().toPoint());
  const int index = target ? row(target) : -1;
  if (dropMimeData(index, event->mimeData(), event->dropAction())) event->acceptProposedAction();
}

// Dropped files are copied (moved with the move action) into the folder under the
// mouse, or into the folder shown; a name that exists already is never overwritten.
bool TPTShellList::dropMimeData(int index, const QMimeData* data, Qt::DropAction action) {
  if (!data || !data->hasUrls()) return false;
  const QString targetFolder = ItemIsFolder(index) ? ItemPath(index) : folder_;
  bool any = false;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    const QFileInfo source(url.toLocalFile());
    if (!source.isFile()) continue;
    const QString target = QDir(targetFolder).absoluteFilePath(source.fileName());
    if (QFileInfo::exists(target)) continue;
    const bool ok = action == Qt::MoveAction ? QFile::rename(source.absoluteFilePath(), target)
                                             : QFile::copy(source.absoluteFilePath(), target);
    any = any || ok;
  }
  if (any) Refresh();
  return any;
}

}  // namespace widgets
