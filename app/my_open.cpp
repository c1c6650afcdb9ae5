#include "app/my_open.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFocusEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/compr.h"
#include "app/fileservice.h"
#include "app/icons.h"
#include "app/jquality.h"

namespace app {

namespace {

const std::vector<widgets::TFilterComboBox::Filter>& SaveCopyFilters() {
  static const std::vector<widgets::TFilterComboBox::Filter> filters = {
      {"BMP - Bitmap", "*.bmp"},
      {"JPG - JPEG (JFIF compliant)", "*.jpg"},
      {"PBM - Portable Bitmap", "*.pbm"},
      {"PGM - Portable Graymap", "*.pgm"},
      {"PNG - Portable Network Graphics", "*.png"},
      {"PPM - Portable Pixelmap", "*.ppm"},
      {"TGA - Truevision Targa", "*.tga"},
      {"TIF - Tagged Image File Format", "*.tif"},
  };
  return filters;
}

const std::vector<widgets::TFilterComboBox::Filter>& VQNFilters() {
  static const std::vector<widgets::TFilterComboBox::Filter> filters = {
      {"VQN - Wavelet compression", "*.vqn"}};
  return filters;
}

// The file name without folder and without its extension.
QString BaseName(const QString& path) {
  const QString name = QFileInfo(path).fileName();
  const int dot = name.lastIndexOf('.');
  return dot > 0 ? name.left(dot) : name;
}

QString Extension(const QString& name) {
  const QString file = QFileInfo(name).fileName();
  const int dot = file.lastIndexOf('.');
  return dot > 0 ? file.mid(dot) : QString();
}

void ProcessMessages() { QCoreApplication::processEvents(); }

}  // namespace

TForm6::TForm6(TForm1& owner) : QDialog(&owner), owner_(owner) {
  setObjectName("Form6");
  Panel3 = new QWidget(this);
  auto* left = new QGridLayout(Panel3);
  left->setContentsMargins(0, 0, 0, 0);
  left->addWidget(new QLabel("Folder:", Panel3), 0, 0, 1, 3);
  PTShellCombo1 = new widgets::TPTShellCombo(Panel3);
  SpeedButton1 = new widgets::TFlyoverButton(Panel3);
  SpeedButton1->setToolTip("Go Up");
  SpeedButton1->setIcon(ToolIcon("up", palette()));
  SpeedButton2 = new widgets::TFlyoverButton(Panel3);
  SpeedButton2->setToolTip("New Folder");
  SpeedButton2->setText("+");
  left->addWidget(PTShellCombo1, 1, 0);
  left->addWidget(SpeedButton1, 1, 1);
  left->addWidget(SpeedButton2, 1, 2);
  PTSList1 = new widgets::TPTShellList(Panel3);
  PTSList1->setObjectName("DialogList");
  PTSList1->SetShowHidden(true);
  PTSList1->setMinimumSize(300, 260);
  left->addWidget(PTSList1, 2, 0, 1, 3);
  left->addWidget(new QLabel("File name:", Panel3), 3, 0, 1, 3);
  Edit1 = new QLineEdit(Panel3);
  Edit1->setObjectName("Edit1");
  left->addWidget(Edit1, 4, 0, 1, 3);
  left->addWidget(new QLabel("File extention:", Panel3), 5, 0, 1, 3);
  FilterComboBox1 = new widgets::TFilterComboBox(Panel3);
  left->addWidget(FilterComboBox1, 6, 0, 1, 3);
  left->setColumnStretch(0, 1);

  Panel1 = new QWidget(this);
  auto* right = new QVBoxLayout(Panel1);
  right->setContentsMargins(0, 0, 0, 0);
  PGImage1 = new TImagePane(Panel1);
  PGImage1->setObjectName("Preview");
  PGImage1->SetCenter(true);
  PGImage1->SetZoomChoice(TImagePane::ShrinkToFitOnly);
  PGImage1->SetGraphic(std::make_unique<pgraphic::TPixelGraphic>());
  PGImage1->setFixedSize(260, 220);
  Label8 = new QLabel("Please wait...", PGImage1);
  Label8->setAlignment(Qt::AlignCenter);
  Label8->setGeometry(0, 90, 260, 30);
  Label8->hide();
  right->addWidget(PGImage1);
  Label3 = new QLabel(Panel1);
  Label4 = new QLabel(Panel1);
  Label6 = new QLabel(Panel1);
  Label5 = new QLabel(Panel1);
  Label9 = new QLabel(Panel1);
  Label7 = new QLabel(Panel1);
  for (QLabel* label : {Label3, Label4, Label6, Label5, Label9, Label7}) {
    label->setMinimumWidth(260);
    right->addWidget(label);
  }
  right->addStretch(1);
  Panel2 = new QWidget(Panel1);
  auto* buttons = new QHBoxLayout(Panel2);
  buttons->setContentsMargins(0, 0, 0, 0);
  CheckB1 = new QCheckBox("Preview picture", Panel2);
  Button1 = new QPushButton("Open", Panel2);
  Button1->setObjectName("Button1");
  Button2 = new QPushButton("Cancel", Panel2);
  Button2->setObjectName("Button2");
  Button1->setAutoDefault(false);
  Button2->setAutoDefault(false);
  buttons->addWidget(CheckB1);
  buttons->addStretch(1);
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  right->addWidget(Panel2);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(Panel3, 1);
  layout->addWidget(Panel1);

  // A double click on the preview acts as the Open/Save button.
  PGImage1->PicBoxOnDblClick = [this](pgraphic::TPGImage&) {
    if (CheckB1->isChecked()) Button1Click();
  };
  connect(Button1, &QPushButton::clicked, this, &TForm6::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  connect(CheckB1, &QCheckBox::clicked, this, &TForm6::CheckB1Click);
  connect(FilterComboBox1, &widgets::TFilterComboBox::Change, this, &TForm6::FilterComboBox1Change);
  connect(Edit1, &QLineEdit::returnPressed, this, [this] { Button1->setFocus(); });
  Edit1->installEventFilter(this);
  connect(PTSList1, &widgets::TPTShellList::ItemClicked, this, [this] {
    const int selected = PTSList1->SelectedIndex();
    if (selected >= 0 && PTSList1->ItemPath(selected) != ResultPath()) FBox1Change_1();
  });
  connect(PTSList1, &widgets::TPTShellList::KeyReleased, this, [this](int) {
    const int selected = PTSList1->SelectedIndex();
    if (selected >= 0 && PTSList1->ItemPath(selected).trimmed() != lastExamined_) FBox1Change_1();
  });
  connect(PTSList1, &widgets::TPTShellList::DblClickOpen, this, &TForm6::Button1Click);
  connect(PTSList1, &widgets::TPTShellList::FolderChanged, this, [this] {
    const bool was = ignore_;
    ignore_ = true;
    PTShellCombo1->SetFolder(PTSList1->Folder());
    ignore_ = was;
  });
  connect(PTShellCombo1, &widgets::TPTShellCombo::Change, this, [this] {
    if (ignore_) return;
    PTSList1->SetFolder(PTShellCombo1->Folder());
    FBox1Change_1();
  });
  connect(SpeedButton1, &QToolButton::clicked, this, [this] {
    ignore_ = true;
    PTSList1->GoUp();
    ignore_ = false;
    FBox1Change_1();
  });
  connect(SpeedButton2, &QToolButton::clicked, this, [this] { PTSList1->CreateFolder(); });
}

int TForm6::Mode() const { return std::clamp(owner_.DialogMode, 1, 3); }

QString& TForm6::ResultPath() {
  return Mode() == 1 ? owner_.Shown.FileName : owner_.SaveFileName;
}

QString& TForm6::ModeFolder() {
  switch (Mode()) {
    case 1: return owner_.OpenPath;
    case 2: return owner_.SavePath;
    default: return owner_.CompressPath;
  }
}

void TForm6::ShowFolder(const QString& folder) {
  const bool was = ignore_;
  ignore_ = true;
  PTSList1->SetFolder(folder);
  ignore_ = was;
}

int TForm6::exec() {
  FormShow();
  CentreOnScreen(this);
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  return QDialog::exec();
}

void TForm6::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Activation follows each showing; done here, before the dialog's event loop
  // runs, so nothing reaches the dialog before it is ready.
  FormActivate();
}

void TForm6::FormShow() {
  ignore_ = true;
  lastExamined_ = "*****";
  Edit1->clear();
  PGImage1->SetFileName(std::string());
  ProcessMessages();
  const int m = Mode();
  const QString base = BaseName(owner_.LastFileName);
  switch (m) {
    case 1:
      setWindowTitle("Open");
      FilterComboBox1->SetFilters(ImageFileFilters());
      Button1->setText("Open");
      break;
    case 2:
      setWindowTitle("Save copy as");
      FilterComboBox1->SetFilters(SaveCopyFilters());
      Button1->setText("Save");
      break;
    default:
      setWindowTitle("Save as VQN-file");
      FilterComboBox1->SetFilters(VQNFilters());
      Button1->setText("Save");
      break;
  }
  FilterComboBox1->SetItemIndex(owner_.DialogFilterIndex[m - 1]);
  PTShellCombo1->SetFolder(ModeFolder());
  ShowFolder(PTShellCombo1->Folder());
  if (m != 1) {
    Edit1->setText(base + FilterComboBox1->Extension());
    Edit1->setFocus();
  }
  ResultPath().clear();
  ClearLabels();
  Label8->hide();
  CheckB1->setChecked(owner_.DialogPreview[m - 1]);
  PTSList1->SetMask(FilterComboBox1->Mask());
  closedOk_ = false;
}

void TForm6::FormActivate() {
  ignore_ = false;
  if (PTSList1->Count() == 0) {
    if (Mode() == 1) Edit1->clear();
    return;
  }
  int& index = owner_.DialogListIndex[Mode() - 1];
  if (index != -1) {
    if (index >= PTSList1->Count()) index = PTSList1->Count() - 1;
    PTSList1->SetFocusedIndex(index);
    PTSList1->SelectItem(index);
  }
  if (Mode() == 1) {
    PTSList1->setFocus();
    FBox1Change_1();
  }
}

void TForm6::ClearLabels() {
  for (QLabel* label : {Label3, Label4, Label6, Label5, Label9, Label7}) label->clear();
}

void TForm6::SetLabels(const std::array<std::string, 6>& labels) {
  QLabel* order[] = {Label3, Label4, Label6, Label5, Label9, Label7};
  for (int i = 0; i < 6; ++i) order[i]->setText(QString::fromStdString(labels[i]));
}

std::array<QString, 6> TForm6::Labels() const {
  return {Label3->text(), Label4->text(), Label6->text(),
          Label5->text(), Label9->text(), Label7->text()};
}

void TForm6::SetWaiting(bool waiting) {
  Label8->setVisible(waiting);
  Label8->raise();
  Panel1->setEnabled(!waiting);
  Panel2->setEnabled(!waiting);
  Panel3->setEnabled(!waiting);
  if (waiting) ProcessMessages();
}

void TForm6::SetFileSizeLabel(const std::string& file) {
  const int64_t size = fileservice::FileSize(file);
  if (size >= 0)
    Label7->setText("File size: " + QString::fromStdString(fileservice::KbText(size)) + " Kb");
}

void TForm6::LoadPreview() {
  owner_.LoadTarget = 2;
  owner_.PreviewTaken = false;
  if (!owner_.Load1()) {
    unsupported_ = true;
    previewLoaded_ = false;
  }
}

void TForm6::FBox1Change_1() {
  if (ignore_) return;
  PGImage1->SetFileName(std::string());
  ClearLabels();
  owner_.Shown.InfoText.clear();
  if (Mode() == 1) Edit1->clear();
  ResultPath().clear();
  PTSList1->SelectFocused();
  const int selected = PTSList1->SelectedIndex();
  if (selected < 0) return;
  const QString path = PTSList1->ItemPath(selected).trimmed();
  lastExamined_ = path;
  if (PTSList1->ItemIsFolder(selected)) return;
  previewLoaded_ = true;
  unsupported_ = false;
  Edit1->setText(PTSList1->ItemName(selected).trimmed());
  if (Edit1->text().isEmpty()) return;

  const std::string file = path.toStdString();
  std::string typeName;
  io::TPGFileInfo info;
  if (fileservice::FileInfo(file, typeName, info)) {
    PGImage1->SetGraphic(std::make_unique<pgraphic::TPixelGraphic>());
    SetWaiting(true);
    Label4->setText("Type: " + QString::fromStdString(typeName));
    Label6->setText("SubType: " + QString::fromStdString(info.SubType));
    // A top-down bitmap reports its height negative.
    Label5->setText(QString("Size: %1x%2 pixeles")
                        .arg(qAbs(qint64{info.Width}))
                        .arg(qAbs(qint64{info.Height})));
    Label9->setText("Colors: " + QString::fromStdString(info.Colors));
    ResultPath() = path;
    SetFileSizeLabel(file);
    if (CheckB1->isChecked()) LoadPreview();
  } else if (fileservice::IsVQN(file)) {
    SetWaiting(true);
    ResultPath() = path;
    const auto mode = CheckB1->isChecked() ? fileservice::LoadMode::DialogPreview : fileservice::LoadMode::DialogInfo;
    if (owner_.Load_Wavelet(path, mode) != 1) {
      unsupported_ = true;
      previewLoaded_ = false;
    }
  } else if (fileservice::IsMetafile(file)) {
    SetWaiting(true);
    metafile::TMetafileLabels labels;
    if (fileservice::MetafileLabels(file, labels)) {
      Label4->setText(QString::fromStdString(labels.Type));
      Label6->setText(QString::fromStdString(labels.SubType));
      Label5->setText(QString::fromStdString(labels.Size));
      Label9->setText(QString::fromStdString(labels.Colors));
      ResultPath() = path;
      SetFileSizeLabel(file);
      if (CheckB1->isChecked()) LoadPreview();
    } else {
      // Not a metafile the drawing libraries know: nothing to show or open.
      unsupported_ = true;
      previewLoaded_ = false;
    }
  } else {
    unsupported_ = true;
  }
  SetWaiting(false);
  if (!previewLoaded_) {
    ClearLabels();
    PGImage1->SetFileName(std::string());
    owner_.Shown.InfoText.clear();
    owner_.Shown.FileName.clear();
    ResultPath().clear();
  }
  if (unsupported_) Label3->setText(SubformatNotSupported);
  PTSList1->setFocus();
}

void TForm6::CheckB1Click() {
  if (!CheckB1->isChecked()) PGImage1->SetFileName(std::string());
  PTSList1->setFocus();
  FBox1Change_1();
}

void TForm6::FilterComboBox1Change() {
  if (ignore_) return;
  PTSList1->SetMask(FilterComboBox1->Mask());
  PTSList1->setFocus();
  FBox1Change_1();
  if (Mode() == 2) {
    Edit1->setText(BaseName(Edit1->text()) + FilterComboBox1->Extension());
    Edit1->setFocus();
  }
}

bool TForm6::eventFilter(QObject* watched, QEvent* event) {
  // Leaving the name box within the dialog interprets it; focus lost to another
  // window (such as the message box this may show) does not.
  if (watched == Edit1 && event->type() == QEvent::FocusOut && isVisible() && !exiting_) {
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      exiting_ = true;
      Edit1Exit();
      exiting_ = false;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TForm6::Edit1Exit() {
  if (Mode() != 1) {
    Edit1->setText(QFileInfo(Edit1->text()).fileName());
    return;
  }
  const QString text = Edit1->text().trimmed();
  if (text.isEmpty()) return;
  const QDir shown(PTSList1->Folder());
  const auto refuse = [this](const QString& message) {
    ShowInfoBox(this, message);
    Edit1->setFocus();
  };
  if (!Extension(text).isEmpty()) {
    const QFileInfo typed(shown, text);
    if (text.contains('/')) {
      if (!typed.absoluteDir().exists()) {
        refuse("The folder " + QFileInfo(text).path() + " does not exist.");
        return;
      }
      PTShellCombo1->SetFolder(typed.absolutePath());
    }
    FilterComboBox1->SetItemIndex(0);
    PTSList1->SetMask(FilterComboBox1->Mask());
    const QString name = typed.fileName().toLower();
    for (int i = 0; i < PTSList1->Count(); ++i) {
      if (PTSList1->ItemName(i).toLower() == name) {
        PTSList1->SelectItem(i);
        PTSList1->SetFocusedIndex(i);
        FBox1Change_1();
        return;
      }
    }
    refuse("The file " + text + " does not exist.");
    return;
  }
  if (!text.contains('/')) {
    refuse("The file " + text + " does not exist.");
    return;
  }
  QString folder = text.endsWith('/') ? text : text + '/';
  const QFileInfo target(shown, folder);
  if (QFileInfo(target.absoluteFilePath()).isDir()) {
    PTShellCombo1->SetFolder(target.absoluteFilePath());
    PTSList1->setFocus();
  } else {
    refuse("The folder " + folder + " does not exist.");
  }
}

void TForm6::Button1Click() {
  const int m = Mode();
  if (m == 1) {
    PTSList1->SelectFocused();
    const int selected = PTSList1->SelectedIndex();
    if (selected >= 0 && PTSList1->ItemIsFolder(selected)) {
      PTSList1->BrowseInto(selected);
      return;
    }
    if (unsupported_ || Edit1->text().isEmpty() || selected < 0) return;
    // The main browser shows the same folder, type and item.
    const QString keepName = owner_.Shown.FileName;
    const QString keepInfo = owner_.Shown.InfoText;
    owner_.PTShellCombo1->SetFolder(PTSList1->Folder());
    owner_.PTSList1->SetFolder(PTSList1->Folder());
    owner_.FilterComboBox1->SetItemIndex(FilterComboBox1->ItemIndex());
    owner_.DialogFilterIndex[0] = FilterComboBox1->ItemIndex();
    owner_.PTSList1->SetMask(FilterComboBox1->Mask());
    const int there = owner_.PTSList1->IndexOfPath(PTSList1->ItemPath(selected));
    owner_.PTSList1->SetFocusedIndex(there);
    owner_.PTSList1->SelectItem(there);
    owner_.Shown.FileName = keepName;
    owner_.Shown.InfoText = keepInfo;
    owner_.LastFileName = owner_.Shown.FileName;
    owner_.PreviewTaken = false;
    hide();
    ProcessMessages();
    if (CheckB1->isChecked() && previewLoaded_ && PGImage1->Graphic() &&
        !PGImage1->Graphic()->Empty()) {
      try {
        owner_.PGImage1->SetGraphic(PGImage1->CopyGraphic());
        owner_.PreviewTaken = true;
      } catch (...) {
        owner_.PreviewTaken = false;
      }
    }
    Close_ok();
    return;
  }
  const QString name = Edit1->text().trimmed();
  if (name.isEmpty()) return;
  const QString folder = PTSList1->Folder();
  const QString path = folder.endsWith('/') ? folder + name : folder + '/' + name;
  const QString wanted = FilterComboBox1->Extension();
  const QString ext = Extension(name);
  if (ext.toLower() != wanted) {
    Edit1->setText((ext.isEmpty() ? name : name.left(name.size() - ext.size())) + wanted);
    return;
  }
  if (QFileInfo::exists(path) && !AskYesNo(this, "File: " + path + " already exists. Overwrite?"))
    return;
  ResultPath() = path;
  Close_ok();
}

void TForm6::Close_ok() {
  const int m = Mode() - 1;
  owner_.DialogListIndex[m] = PTSList1->SelectedIndex();
  owner_.DialogPreview[m] = CheckB1->isChecked();
  ModeFolder() = PTSList1->Folder();
  owner_.DialogFilterIndex[m] = FilterComboBox1->ItemIndex();
  closedOk_ = true;
  accept();
}

void TForm6::done(int result) {
  hide();
  ProcessMessages();
  if (!closedOk_) {
    ResultPath().clear();
    owner_.PreviewTaken = false;
  }
  QDialog::done(closedOk_ ? result : QDialog::Rejected);
}

}  // namespace app
