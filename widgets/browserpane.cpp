#include "widgets/browserpane.h"

#include <QLabel>
#include <QScopedValueRollback>

namespace widgets {

namespace {

// The grid: captions beside in column 0, the combos in column 1, the buttons in
// columns 2 and 3; rows for the captions above, the folder row, the list, the
// owner's extra rows and the filter.
enum { kFolderCaptionRow, kFolderRow, kListRow, kFirstExtraRow, kFilterCaptionRow = 5, kFilterRow };
enum { kCaptionColumn, kComboColumn, kUpColumn, kNewFolderColumn, kColumns };

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

  const bool beside = options.Captions == TCaptions::Beside;
  const int first = beside ? kComboColumn : kCaptionColumn;
  if (options.Captions != TCaptions::None) {
    grid_->addWidget(new QLabel("Folder:", this), beside ? kFolderRow : kFolderCaptionRow,
                     kCaptionColumn, 1, beside ? 1 : kColumns);
    grid_->addWidget(new QLabel("File extention:", this), beside ? kFilterRow : kFilterCaptionRow,
                     kCaptionColumn, 1, beside ? 1 : kColumns);
  }
  grid_->addWidget(Combo, kFolderRow, first, 1, kUpColumn - first);
  grid_->addWidget(UpButton, kFolderRow, kUpColumn);
  if (NewFolderButton) {
    NewFolderButton->setObjectName("SpeedButton2");
    NewFolderButton->setToolTip("New Folder");
    grid_->addWidget(NewFolderButton, kFolderRow, kNewFolderColumn);
    connect(NewFolderButton, &QToolButton::clicked, this, [this] { List->CreateFolder(); });
  }
  grid_->addWidget(List, kListRow, kCaptionColumn, 1, kColumns);
  grid_->addWidget(Filter, kFilterRow, first, 1, kColumns - first);
  grid_->setColumnStretch(kComboColumn, 1);
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

bool TBrowserPane::GoUp() { return Combo->GoUp(); }

void TBrowserPane::AddBelowList(QWidget* widget) {
  widget->setParent(this);
  grid_->addWidget(widget, nextExtraRow_++, kCaptionColumn, 1, kColumns);
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
