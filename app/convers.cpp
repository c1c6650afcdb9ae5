// The batch conversion dialog and the main window's Convert. The files are
// converted by io::ConvertFiles, the pipeline the command line uses too, on a
// pooled worker: the window keeps repainting, the meter moves, and Stop is
// honoured at the pipeline's next check point. Questions the pipeline asks
// (creating the target folder, the quality) are put to the user on the window's
// thread while the worker waits.
#include "app/convers.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QRadioButton>
#include <QScopeGuard>
#include <QVBoxLayout>
#include <memory>
#include <optional>

#include "app/commands.h"
#include "app/compr.h"
#include "app/icons.h"
#include "app/jquality.h"
#include "app/quality.h"
#include "io/batch.h"
#include "pgraphic/view/worker.h"

namespace app {

// ---- TRadioGroupBox -------------------------------------------------------------------

TRadioGroupBox::TRadioGroupBox(const QString& caption, const QStringList& items, int columns,
                               QWidget* parent)
    : QGroupBox(caption, parent) {
  auto* grid = new QGridLayout(this);
  grid->setVerticalSpacing(2);
  const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    buttons_.addButton(button, i);
    grid->addWidget(button, i % rows, i / rows);
  }
  grid->setRowStretch(rows, 1);
  SetItemIndex(0);
}

void TRadioGroupBox::SetItemIndex(int index) {
  if (QAbstractButton* button = buttons_.button(index)) button->setChecked(true);
}

// ---- TRunGate ----------------------------------------------------------------------

void TRunGate::Open() {
  std::lock_guard lock(mutex_);
  paused_ = false;
  stop_ = false;
}

void TRunGate::Pause() {
  std::lock_guard lock(mutex_);
  paused_ = true;
}

void TRunGate::Resume(bool stop) {
  {
    std::lock_guard lock(mutex_);
    paused_ = false;
    stop_ = stop_ || stop;
  }
  resumed_.notify_all();
}

bool TRunGate::Checkpoint() {
  std::unique_lock lock(mutex_);
  resumed_.wait(lock, [this] { return !paused_; });
  return stop_;
}

// ---- TForm8 ------------------------------------------------------------------------

bool AskInformationYesNo(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Information, ApplicationTitle, text,
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

TForm8::TForm8(TForm1* owner) : QDialog(owner), owner_(owner) {
  setObjectName("Form8");
  setWindowTitle("Batch conversion");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

  GB2 = new QGroupBox("Conversion from:", this);
  GB2->setObjectName("GB2");
  Pane = new widgets::TBrowserPane(
      {.Captions = widgets::TBrowserPane::TCaptions::Beside, .NewFolderButton = true}, GB2);
  PTShellCombo1 = Pane->Combo;
  SpeedButton1 = Pane->UpButton;
  SpeedButton1->setIcon(ToolIcon("up", palette()));
  SpeedButton2 = Pane->NewFolderButton;
  SpeedButton2->setIcon(ToolIcon("newfolder", palette()));
  PTSList1 = Pane->List;
  PTSList1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  PTSList1->SetShowHidden(true);
  PTSList1->setMinimumSize(280, 260);
  FilterComboBox1 = Pane->Filter;
  auto* from = new QVBoxLayout(GB2);
  from->addWidget(Pane);

  GB1 = new QGroupBox("Conversion to:", this);
  GB1->setObjectName("GB1");
  Edit1 = new QLineEdit(GB1);
  Edit1->setObjectName("Edit1");
  Button3 = new QPushButton("Browse..", GB1);
  Button3->setObjectName("Button3");
  RG4 = new TRadioGroupBox("File extension",
                           {"BMP", "JPG", "PBM", "PGM", "PNG", "PPM", "TGA", "TIF", "VQN"}, 3, GB1);
  RG4->setObjectName("RG4");
  RG3 = new TRadioGroupBox(
      "Color resolution",
      {"2 colors", "16 colors", "256 colors", "Gray (8 bit)", "True color (24 bit)"}, 1, GB1);
  RG3->setObjectName("RG3");
  RG3->SetItemIndex(4);
  RG1 = new TRadioGroupBox("Mirror", {"None", "Vertical", "Horizontal"}, 1, GB1);
  RG1->setObjectName("RG1");
  RG2 = new TRadioGroupBox(
      "Rotate", {"None", "180 degrees", "Left (90 degrees)", "Right (90 degrees)"}, 1, GB1);
  RG2->setObjectName("RG2");
  SpinJobs = new QSpinBox(GB1);
  SpinJobs->setObjectName("SpinJobs");
  SpinJobs->setRange(0, MaxConvertJobs);
  SpinJobs->setSpecialValueText("One per core");
  auto* to = new QGridLayout(GB1);
  auto* path = new QHBoxLayout;
  path->addWidget(new QLabel("Path:", GB1));
  path->addWidget(Edit1, 1);
  path->addWidget(Button3);
  to->addLayout(path, 0, 0, 1, 2);
  to->addWidget(RG4, 1, 0);
  to->addWidget(RG3, 1, 1);
  to->addWidget(RG1, 2, 0);
  to->addWidget(RG2, 2, 1);
  auto* jobs = new QHBoxLayout;
  jobs->addWidget(new QLabel("Files at once:", GB1));
  jobs->addWidget(SpinJobs, 1);
  to->addLayout(jobs, 3, 0, 1, 2);
  to->setRowStretch(4, 1);

  EPMeter1 = new widgets::TProgressMeter(this);
  EPMeter1->setObjectName("EPMeter1");
  EPMeter1->SetPosition(0);
  Button1 = new QPushButton("Start", this);
  Button1->setObjectName("Button1");
  Button1->setDefault(true);
  Button2 = new QPushButton("Close", this);
  Button2->setObjectName("Button2");

  auto* groups = new QHBoxLayout;
  groups->addWidget(GB2, 1);
  groups->addWidget(GB1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(EPMeter1, 1);
  bottom->addSpacing(12);
  bottom->addWidget(Button1);
  bottom->addWidget(Button2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(groups);
  layout->addLayout(bottom);

  connect(PTSList1, &widgets::TPTShellList::DblClickOpen, this, &TForm8::PTSList1DblClickOpen);
  connect(FilterComboBox1, &widgets::TFilterComboBox::Change, this, &TForm8::FilterComboBox1Change);
  connect(SpeedButton1, &QToolButton::clicked, this, &TForm8::SpeedButton1Click);
  connect(Button1, &QPushButton::clicked, this, &TForm8::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm8::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm8::Button3Click);
  CentreOnScreen(this);
}

void TForm8::showEvent(QShowEvent* event) {
  FormShow();
  QDialog::showEvent(event);
  CentreOnScreen(this);
}

void TForm8::FormShow() {
  Button2->setText("Close");
  // The folder being browsed in the main window, where the files to convert are.
  const QString browsed = owner_->PTSList1->Folder();
  Pane->ShowFolder(browsed.isEmpty() ? owner_->Settings.ConvertPath : browsed);
  FilterComboBox1->SetFilters(widgets::ImageFileFilters());
  FilterComboBox1->SetItemIndex(owner_->ConvertFilterIndex);
  FilterComboBox1Change();
  SpinJobs->setValue(owner_->Settings.ConvertJobs);
}

void TForm8::FormClose() {
  owner_->ConvertFilterIndex = FilterComboBox1->ItemIndex();
  owner_->Settings.ConvertPath = PTShellCombo1->Folder();
  owner_->Settings.ConvertJobs = SpinJobs->value();
}

void TForm8::FilterComboBox1Change() {
  PTSList1->SetMask(FilterComboBox1->Mask());
}

void TForm8::Button1Click() {
  owner_->Convert();
}

void TForm8::Button2Click() {
  if (!busy_) {
    close();
    return;
  }
  if (!running_) return;
  // The run waits at its next check point while the user decides.
  gate_.Pause();
  gate_.Resume(AskInformationYesNo(this, "The conversion will be interrupted."));
}

void TForm8::Button3Click() {
  const QString start = Edit1->text().trimmed().isEmpty() ? PTSList1->Folder() : Edit1->text();
  if (auto folder = widgets::BrowseForFolder(this, "Target folder", start)) Edit1->setText(*folder);
}

void TForm8::SpeedButton1Click() {
  Pane->GoUp();
}

void TForm8::SetRunning(bool running) {
  running_ = running;
  Button2->setText(running ? "Stop" : "Close");
  if (running) gate_.Open();
}

// Escape and the close box act like the Close button, and do nothing while
// Start's work goes on.
void TForm8::reject() {
  if (!busy_) QDialog::reject();
}

void TForm8::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void TForm8::done(int result) {
  FormClose();
  QDialog::done(result);
}

// ---- The run -----------------------------------------------------------------------

namespace {

// How many failures the closing message names before its details.
constexpr size_t kProblemsShown = 5;

// The selected items of the list in list order, folders included (the run
// skips them).
std::vector<std::string> SelectedFiles(const widgets::TPTShellList& list) {
  std::vector<std::string> files;
  for (int i = 0; i < list.Count(); ++i)
    if (list.IsSelected(i)) files.push_back(QFile::encodeName(list.ItemPath(i)).toStdString());
  return files;
}

io::TBatchSettings ChosenSettings(const TForm8& dialog) {
  io::TBatchSettings settings;
  settings.TargetFolder = QFile::encodeName(dialog.Edit1->text()).toStdString();
  settings.Format = static_cast<io::TBatchFormat>(dialog.RG4->ItemIndex());
  settings.Colors = static_cast<pgraphic::TColorCommand>(dialog.RG3->ItemIndex());
  settings.Mirror = static_cast<io::TBatchMirror>(dialog.RG1->ItemIndex());
  settings.Rotate = static_cast<io::TBatchRotate>(dialog.RG2->ItemIndex());
  settings.Jobs = dialog.SpinJobs->value();
  return settings;
}

// The closing message, then the counts and the first failures with their
// reasons; the full list is in the box's details.
void ShowReport(QWidget* parent, const io::TBatchResult& result) {
  // A run in which files failed is not shown as a plain success.
  const auto icon = result.Failed.empty() ? QMessageBox::Information : QMessageBox::Warning;
  QMessageBox box(icon, ApplicationTitle, QString::fromStdString(result.FinalMessage()),
                  QMessageBox::Ok, parent);
  box.setInformativeText(QString::fromStdString(result.ReportText(kProblemsShown)));
  QStringList details;
  for (const std::string& line : result.ProblemLines()) details << QString::fromStdString(line);
  if (!details.isEmpty()) box.setDetailedText(details.join('\n'));
  box.exec();
}

}  // namespace

void TForm1::N17Click() {
  Child<TForm8>(*this).exec();
}

void TForm1::Convert() {
  auto* dialog = findChild<TForm8*>(QString(), Qt::FindDirectChildrenOnly);
  if (!dialog || dialog->Busy()) return;
  dialog->SetBusy(true);
  const auto notBusy = qScopeGuard([dialog] { dialog->SetBusy(false); });
  auto setIdle = [dialog](bool idle) {
    dialog->GB1->setEnabled(idle);
    dialog->GB2->setEnabled(idle);
    dialog->Button1->setEnabled(idle);
    if (idle)
      dialog->unsetCursor();
    else
      dialog->setCursor(Qt::BusyCursor);
    QCoreApplication::processEvents();
  };
  setIdle(false);

  const std::vector<std::string> files = SelectedFiles(*dialog->PTSList1);
  bool started = false;
  auto beforeRun = [&](io::TBatchSettings& settings) {
    QualityValue = 50;
    if (settings.Format == io::TBatchFormat::VQN) {
      QualityValue = Child<TForm3>(*this).Execute();
      settings.VQNQuality = QualityValue;
    } else if (settings.Format == io::TBatchFormat::JPG) {
      Form4->exec();
      if (QualityValue > 0) io::PGJPEGQuality = QualityValue;
    }
    if (QualityValue <= 0) return false;
    dialog->EPMeter1->SetPosition(0);
    dialog->SetRunning(true);
    started = true;
    return true;
  };

  // The run goes on a pooled worker; its meter positions and questions come to
  // this thread as queued calls of its task, in order, and its outcome last.
  struct TOutcome {
    io::TBatchResult Result;
    std::optional<std::string> NotStarted;
    std::optional<std::string> Failed;
  };
  std::optional<TOutcome> outcome;
  const io::TBatchSettings settings = ChosenSettings(*dialog);
  QEventLoop loop;
  pgraphic::TWorker worker(dialog);
  worker.Start(
      [&](pgraphic::TWorkerTask& task) {
        io::TBatchHooks hooks;
        hooks.ConfirmCreate = [&](const std::string& question) {
          return task.Ask(
              [&] { return AskInformationYesNo(dialog, QString::fromStdString(question)); });
        };
        hooks.BeforeRun = [&](io::TBatchSettings& chosen) {
          return task.Ask([&] { return beforeRun(chosen); });
        };
        hooks.Progress = [&](int percent) {
          task.Post([dialog, percent] { dialog->EPMeter1->SetPosition(percent); });
          return dialog->Gate().Checkpoint();
        };
        TOutcome run;
        try {
          run.Result = io::ConvertFiles(files, settings, hooks);
        } catch (const io::EBatchConversion& e) {
          run.NotStarted = e.what();
        } catch (const std::exception& e) {
          run.Failed = e.what();
        }
        return run;
      },
      [&](TOutcome run) {
        outcome = std::move(run);
        loop.quit();
      });
  loop.exec();
  if (!outcome) {
    // The loop was left without the outcome (the program quits): the run reads
    // this function's locals, so it ends before they go.
    worker.Cancel();
    dialog->Gate().Resume(true);
    worker.Wait();
  }
  QCoreApplication::processEvents();  // the meter's last positions
  if (!outcome) return;
  const io::TBatchResult& result = outcome->Result;
  const std::optional<std::string>& notStarted = outcome->NotStarted;
  const std::optional<std::string>& failed = outcome->Failed;

  setIdle(true);
  if (notStarted) {
    if (!notStarted->empty()) ShowInfoBox(dialog, QString::fromStdString(*notStarted));
    if (!files.empty() && dialog->Edit1->text().trimmed().isEmpty()) dialog->Edit1->setFocus();
    return;
  }
  if (failed)
    ShowErrorBox(dialog, CannotPerformText);
  else
    ShowReport(dialog, result);
  if (started) {
    dialog->EPMeter1->SetPosition(0);
    dialog->SetRunning(false);
  }
}

}  // namespace app
