#include "app/my_open.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QVBoxLayout>

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

void ProcessMessages() {
  QCoreApplication::processEvents();
}

bool IsEnter(const QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
  const int key = static_cast<const QKeyEvent*>(event)->key();
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// A key press and its release may reach different windows: Enter that closes a
// dialog or a message box is released over whatever window has the focus next,
// and a held key repeats there. Such a release or repeat of Enter is dropped
// here, for every window of the program, so one Enter is one action.
class TEnterGuard : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !IsEnter(event)) return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    QWidget* window = widget->window();
    if (event->type() == QEvent::KeyPress && !key->isAutoRepeat()) {
      pressedIn_ = window;
      return false;
    }
    return window != pressedIn_;
  }

 private:
  QPointer<QWidget> pressedIn_;
};

}  // namespace

TForm6::TForm6(QWidget* parent, const TFileDialogState& state, TFileDialogLoaders loaders)
    : QDialog(parent), state_(state), loaders_(std::move(loaders)) {
  setObjectName("Form6");
  Panel3 = new QWidget(this);
  Pane = new widgets::TBrowserPane(
      {.Captions = widgets::TBrowserPane::TCaptions::Above, .NewFolderButton = true}, Panel3);
  PTShellCombo1 = Pane->Combo;
  SpeedButton1 = Pane->UpButton;
  SpeedButton1->setIcon(ToolIcon("up", palette()));
  SpeedButton2 = Pane->NewFolderButton;
  SpeedButton2->setText("+");
  PTSList1 = Pane->List;
  PTSList1->setObjectName("DialogList");
  PTSList1->SetShowHidden(true);
  PTSList1->setMinimumSize(300, 260);
  FilterComboBox1 = Pane->Filter;
  auto* left = new QVBoxLayout(Panel3);
  left->setContentsMargins(0, 0, 0, 0);
  left->addWidget(Pane);
  Pane->AddBelowList(new QLabel("File name:"));
  Edit1 = new QLineEdit;
  Edit1->setObjectName("Edit1");
  Pane->AddBelowList(Edit1);

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
  connect(Edit1, &QLineEdit::returnPressed, this, &TForm6::Edit1Return);
  for (QWidget* watched : {static_cast<QWidget*>(Edit1), static_cast<QWidget*>(Button1),
                           static_cast<QWidget*>(Button2)})
    watched->installEventFilter(this);
  // The dialog lives for the whole run, and so does the guard.
  qApp->installEventFilter(new TEnterGuard(this));
  connect(PTSList1, &widgets::TPTShellList::ItemClicked, this, [this] {
    const int selected = PTSList1->SelectedIndex();
    if (selected >= 0 && PTSList1->ItemPath(selected) != ResultPath()) FBox1Change_1();
  });
  connect(PTSList1, &widgets::TPTShellList::KeyReleased, this, [this](int) {
    const int selected = PTSList1->SelectedIndex();
    if (selected >= 0 && PTSList1->ItemPath(selected).trimmed() != lastExamined_) FBox1Change_1();
  });
  connect(PTSList1, &widgets::TPTShellList::DblClickOpen, this, &TForm6::Button1Click);
  // The folder combo's change and "Go Up" examine the selected item. Up moves
  // the list, which focuses the folder it came from; the combo follows.
  connect(Pane, &widgets::TBrowserPane::FolderChosen, this, &TForm6::FBox1Change_1);
  connect(SpeedButton1, &QToolButton::clicked, this, [this] {
    PTSList1->GoUp();
    FBox1Change_1();
  });
}

int TForm6::Mode() const {
  return std::clamp(static_cast<int>(state_.Mode), 1, 3);
}

QString& TForm6::ResultPath() {
  return Mode() == 1 ? state_.OpenFileName : state_.SaveFileName;
}

QString& TForm6::ModeFolder() {
  return *state_.Folder[Mode() - 1];
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
  const QString base = BaseName(state_.LastFileName);
  switch (m) {
    case 1:
      setWindowTitle("Open");
      FilterComboBox1->SetFilters(widgets::ImageFileFilters());
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
  FilterComboBox1->SetItemIndex(state_.FilterIndex[m - 1]);
  Pane->ShowFolder(ModeFolder());
  if (m != 1) {
    Edit1->setText(base + FilterComboBox1->Extension());
    Edit1->setFocus();
  }
  ResultPath().clear();
  ClearLabels();
  Label8->hide();
  CheckB1->setChecked(state_.Preview[m - 1]);
  PTSList1->SetMask(FilterComboBox1->Mask());
  closedOk_ = false;
}

void TForm6::FormActivate() {
  ignore_ = false;
  if (PTSList1->Count() == 0) {
    if (Mode() == 1) Edit1->clear();
    return;
  }
  int& index = state_.ListIndex[Mode() - 1];
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
  if (!loaders_.Picture()) {
    unsupported_ = true;
    previewLoaded_ = false;
  }
}

void TForm6::FBox1Change_1() {
  if (ignore_) return;
  PGImage1->SetFileName(std::string());
  ClearLabels();
  state_.InfoText.clear();
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
    if (!loaders_.Wavelet(path, CheckB1->isChecked())) {
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
    state_.InfoText.clear();
    state_.OpenFileName.clear();
    ResultPath().clear();
  }
  if (unsupported_) Label3->setText(SubformatNotSupported);
  PTSList1->setFocus();
}

std::unique_ptr<pgraphic::TPixelGraphic> TForm6::PreviewCopy() {
  if (!CheckB1->isChecked() || !previewLoaded_ || !PGImage1->Graphic() ||
      PGImage1->Graphic()->Empty())
    return nullptr;
  try {
    return PGImage1->CopyGraphic();
  } catch (...) {
    return nullptr;
  }
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
  // Enter presses the focused button (the buttons are no default buttons, so
  // Qt alone would not); a held Enter acts once.
  if (event->type() == QEvent::KeyPress && IsEnter(event)) {
    if (static_cast<QKeyEvent*>(event)->isAutoRepeat()) return true;
    if (watched == Button1 || watched == Button2) {
      static_cast<QPushButton*>(watched)->click();
      return true;
    }
  }
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

void TForm6::Edit1Return() {
  // In the save modes a complete name (not empty, not a folder) saves as the
  // Save button does; otherwise Enter moves the focus to the Open/Save button.
  if (Mode() != 1) {
    Edit1Exit();
    const QString name = Edit1->text().trimmed();
    if (!name.isEmpty() && !QFileInfo(QDir(PTSList1->Folder()), name).isDir()) {
      Button1Click();
      return;
    }
  }
  Button1->setFocus();
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
  state_.ListIndex[m] = PTSList1->SelectedIndex();
  state_.Preview[m] = CheckB1->isChecked();
  ModeFolder() = PTSList1->Folder();
  state_.FilterIndex[m] = FilterComboBox1->ItemIndex();
  closedOk_ = true;
  accept();
}

void TForm6::done(int result) {
  hide();
  ProcessMessages();
  if (!closedOk_) {
    ResultPath().clear();
    state_.PreviewTaken = false;
  }
  QDialog::done(closedOk_ ? result : QDialog::Rejected);
}

}  // namespace app
