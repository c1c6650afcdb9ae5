// The shell file list: the items of one folder in display order (folders first,
// then the files matching a mask), with live refresh when the folder changes on
// disk, in-place renaming, a context menu and drag and drop of files.
#pragma once

#include <QCache>
#include <QFileSystemWatcher>
#include <QListWidget>
#include <QPixmap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace widgets {

class TThumbnailFeeder;

class TPTShellList : public QListWidget {
  Q_OBJECT

 public:
  explicit TPTShellList(QWidget* parent = nullptr);

  // The folder shown; setting it lists the folder (a folder that does not exist
  // moves the list to its nearest existing parent).
  QString Folder() const { return folder_; }
  void SetFolder(const QString& folder);
  // Semicolon-separated masks such as "*.bmp;*.jpg", matched without regard to case.
  QString Mask() const { return mask_; }
  void SetMask(const QString& mask);
  void SetShowHidden(bool show);

  int Count() const { return count(); }
  QString ItemPath(int index) const;
  QString ItemName(int index) const;
  bool ItemIsFolder(int index) const;
  int IndexOfPath(const QString& path) const;

  // The focused item (the current row) and the selection; -1 when none.
  int FocusedIndex() const { return currentRow(); }
  void SetFocusedIndex(int index);
  // The selected item, the last one when several are; -1 when none.
  int SelectedIndex() const;
  bool IsSelected(int index) const;
  void SelectItem(int index);
  // Selects the focused item (several of the browser's events do this first).
  void SelectFocused();

  // Browses into the folder item at `index`; false when it is not a folder.
  bool BrowseInto(int index);
  // The parent folder; false at the root.
  bool GoUp();
  // Creates a new folder in the folder shown and starts renaming it.
  QString CreateFolder();
  // Lists the folder again, keeping the focused and selected items by path.
  void Refresh();
  void RenameItem(int index);
  bool IsEditing() const { return editing_; }
  void DeleteToTrash(int index);

  // Shows the same items, in the same order and with the same selection, as a
  // grid of thumbnails (on) or as the list (off, the start). The thumbnails of
  // the items in sight are made first, on worker threads, through the shared
  // thumbnail cache; an item shows its file icon until its thumbnail comes.
  void SetThumbnails(bool on);
  bool Thumbnails() const { return thumbnails_; }
  // The thumbnail shown for the item, if it has come; null otherwise.
  QPixmap ItemThumbnail(int index) const;
  // Whether every thumbnail asked for has come (or failed).
  bool ThumbnailsSettled() const;

  // The title of the list's message boxes (a failed move to the trash, the
  // question whether to delete a file that no trash can take).
  static inline QString MessageTitle;

 signals:
  // The selection changed (by the user or by the program).
  void Change();
  void ItemClicked();
  // Double click or Enter on a file: the selected item should be opened.
  void DblClickOpen();
  void FolderChanged();
  void KeyReleased(int key);
  void MouseDown(Qt::MouseButton button);
  void MouseUp(Qt::MouseButton button);
  void Editing();
  void Edited(const QString& oldPath, const QString& newPath);
  // The item with this path vanished from the folder.
  void DeleteItem(const QString& path);
  void RenameFailed(const QString& message);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
  bool dropMimeData(int index, const QMimeData* data, Qt::DropAction action) override;
  Qt::DropActions supportedDropActions() const override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
  void resizeEvent(QResizeEvent* event) override;
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

 private:
  void List(const QString& keepFocused, const QStringList& keepSelected);
  void OnDirectoryChanged();
  void CommitRename(QListWidgetItem* item);
  // The key of an item's thumbnail: its path and modification time.
  QString ThumbnailKey(const QListWidgetItem* item) const;
  // Asks for the thumbnails of the items in sight, then of the next screen.
  void RequestThumbnails();
  void ThumbnailReady(const QString& path, const QImage& image);

  QString folder_;
  QString mask_ = QStringLiteral("*");
  bool showHidden_ = false;
  bool editing_ = false;
  bool listing_ = false;
  QString renamingPath_;
  QFileSystemWatcher watcher_;
  bool thumbnails_ = false;
  TThumbnailFeeder* feeder_ = nullptr;  // made on the first switch to thumbnails
  QTimer thumbnailTimer_;               // gathers the reasons to ask into one
  QAbstractItemDelegate* listDelegate_ = nullptr;
  QAbstractItemDelegate* thumbnailDelegate_ = nullptr;
  // Thumbnails by key, their cost in kB; files that gave none, by key.
  QCache<QString, QPixmap> thumbnailCache_{96 * 1024};
  QSet<QString> thumbnailFailed_;
};

}  // namespace widgets
