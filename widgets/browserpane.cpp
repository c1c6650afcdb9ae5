#include "widgets/browserpane.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScopedValueRollback>

namespace widgets {

namespace {

// The rows of the pane: captions above, the folder row, the list, the owner's
// extra rows and the filter; a caption beside goes into its row.
enum { kFolderCaptionRow, kFolderRow, kListRow, kFirstExtraRow, kFilterCaptionRow = 5, kFilterRow };

}  // namespace

TBrowserPane::TBrowserPane(const TOptions& options, QWidget* parent)
    : QWidget(parent),
      Combo(new TPTShellCombo(this)),
      UpButton(new TFlyoverButton(this)),
      NewFolderButton(options.NewFolderButton ? new TFlyoverButton(this) : nullptr),
      List(new TPTShellList(this)),
      Filter(new TFilterComboBox(this)),
      grid_(new QGridLayout(this)),
      nextExtraRow_(kFirstExtraRow) {
  Combo->setObjectName("PTShellCombo1");
  UpButton->setObjectName("SpeedButton1");
  UpButton->setToolTip("Go Up");
  List->setObjectName("PTSList1");
  Filter->setObjectName("FilterComboBox1");
  grid_->setContentsMargins(0, 0, 0, 0);

  auto* folderRow = new QHBoxLayout;
  auto* filterRow = new QHBoxLayout;
  if (options.Captions != TCaptions::None) {
    auto* folderCaption = new QLabel("Folder:", this);
    auto* filterCaption = new QLabel("File extention:", this);
    if (options.Captions == TCaptions::Beside) {
      folderRow->addWidget(folderCaption);
      filterRow->addWidget(filterCaption);
    } else {
      grid_->addWidget(folderCaption, kFolderCaptionRow, 0);
      grid_->addWidget(filterCaption, kFilterCaptionRow, 0);
    }
  }
  folderRow->addWidget(Combo, 1);
  folderRow->addWidget(UpButton);
  if (NewFolderButton) {
    NewFolderButton->setObjectName("SpeedButton2");
    NewFolderButton->setToolTip("New Folder");
    folderRow->addWidget(NewFolderButton);
    connect(NewFolderButton, &QToolButton::clicked, this, [this] { List->CreateFolder(); });
  }
  filterRow->addWidget(Filter, 1);
  grid_->addLayout(folderRow, kFolderRow, 0);
  grid_->addWidget(List, kListRow, 0);
  grid_->addLayout(filterRow, kFilterRow, 0);
  grid_->setRowStretch(kListRow, 1);

  connect(Combo, &TPTShellCombo::Change, this, &TBrowserPane::ComboChanged);
  connect(List, &TPTShellList::FolderChanged, this, &TBrowserPane::ListMoved);
}

void TBrowserPane::ComboChanged() {
  if (syncing_) return;
  {
    QScopedValueRollback guard(syncing_, true);
    if (List->Folder() != Combo->Folder()) List->SetFolder(Combo->Folder());
  }
  emit FolderChosen();
}

void TBrowserPane::ListMoved() {
  // The list moved by itself (browsing into a folder, a vanished folder, or to
  // the nearest existing parent of what the combo asked for): the combo follows.
  QScopedValueRollback guard(syncing_, true);
  Combo->SetFolder(List->Folder());
}

void TBrowserPane::ShowFolder(const QString& folder) {
  QScopedValueRollback guard(syncing_, true);
  Combo->SetFolder(folder);
  if (List->Folder() != Combo->Folder()) List->SetFolder(Combo->Folder());
}

bool TBrowserPane::GoUp() {
  return Combo->GoUp();
}

void TBrowserPane::AddBelowList(QWidget* widget) {
  widget->setParent(this);
  grid_->addWidget(widget, nextExtraRow_++, 0);
}

const std::vector<TFilterComboBox::Filter>& ImageFileFilters() {
  static const std::vector<TFilterComboBox::Filter> filters = {
      {"All image files", AllImagesMask()},
      {"VQN - Wavelet compression", "*.vqn"},
      {"BMP - Bitmap", "*.bmp"},
      {"DIB - Bitmap", "*.dib"},
      {"GIF - Graphics Interchange Format", "*.gif"},
      {"JIF - JPEG (JFIF compliant)", "*.jif"},
      {"JPEG - JPEG (JFIF compliant)", "*.jpeg"},
      {"JPG - JPEG (JFIF compliant)", "*.jpg"},
      {"PBM - Portable Bitmap", "*.pbm"},
      {"PCX - Paintbrush", "*.pcx"},
      {"PGM - Portable Graymap", "*.pgm"},
      {"PNG - Portable Network Graphics", "*.png"},
      {"PPM - Portable Pixelmap", "*.ppm"},
      {"RLE - Bitmap", "*.rle"},
      {"TGA - Truevision Targa", "*.tga"},
      {"TIF - Tagged Image File Format", "*.tif"},
      {"TIFF - Tagged Image File Format", "*.tiff"},
      {"ICO - Windows icon", "*.ico"},
      {"WMF - Windows Metafile", "*.wmf"},
      {"EMF - Enhanced Metafile", "*.emf"},
  };
  return filters;
}

QString AllImagesMask() {
  return QStringLiteral(
      "*.vqn;*.bmp;*.dib;*.jif;*.jpeg;*.jpg;*.pbm;*.pcx;*.pgm;*.png;*.ppm;*.rle;*.tga;*.tif;"
      "*.tiff;*.ico;*.wmf;*.emf;*.gif");
}

}  // namespace widgets
