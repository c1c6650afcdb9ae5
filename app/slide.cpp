// The slide show: the toolbar toggle, the Run/Stop/Settings items, the settings
// dialog and the timer tick that steps through the browser's folder.
#include "app/slide.h"

#include <QApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QRandomGenerator>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>
#include <mutex>
#include <vector>

#include "app/compr.h"

namespace app {

namespace {

// The collector of the step under way, if any; the question hook may be called
// from a reading thread, so it is reached under the lock.
std::mutex slideWarningsLock;
TSlideWarnings* slideWarnings = nullptr;

}  // namespace

TSlideWarnings::TSlideWarnings() {
  std::lock_guard<std::mutex> hold(slideWarningsLock);
  outer_ = slideWarnings;
  slideWarnings = this;
}

TSlideWarnings::~TSlideWarnings() {
  std::lock_guard<std::mutex> hold(slideWarningsLock);
  slideWarnings = outer_;
}

bool TSlideWarnings::Collect(const std::string& caption, const std::string& text) {
  std::lock_guard<std::mutex> hold(slideWarningsLock);
  if (!slideWarnings) return false;
  QString& all = slideWarnings->text_;
  if (!all.isEmpty()) all += "; ";
  all += QString::fromStdString(caption + ": " + text).replace('\r', ' ').simplified();
  return true;
}

TForm9::TForm9(TForm1* owner) : QDialog(owner), owner_(owner) {
  setWindowTitle("Settings");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel("Slide show interval"), 0, 0);
  SE1 = new QSpinBox;
  SE1->setObjectName("SE1");
  SE1->setRange(1, MaxSlideInterval);
  SE1->setValue(2);
  grid->addWidget(SE1, 0, 1);
  grid->addWidget(new QLabel("seconds"), 0, 2);
  CBox1 = new QCheckBox("Repeat slide show");
  CBox1->setObjectName("CBox1");
  CBox2 = new QCheckBox("Use random mode");
  CBox2->setObjectName("CBox2");
  grid->addWidget(CBox1, 1, 0, 1, 3);
  grid->addWidget(CBox2, 2, 0, 1, 3);
  CBox3 = new QCheckBox("Show in full screen");
  CBox3->setObjectName("CBox3");
  grid->addWidget(CBox3, 3, 0, 1, 3);
  Button1 = new QPushButton("OK");
  Button1->setObjectName("Button1");
  Button1->setDefault(true);
  Button2 = new QPushButton("Cancel");
  Button2->setObjectName("Button2");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  connect(Button1, &QPushButton::clicked, this, &TForm9::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm9::Button2Click);
}

void TForm9::showEvent(QShowEvent* event) {
  FormShow();
  QDialog::showEvent(event);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

void TForm9::FormShow() {
  SE1->setValue(owner_->Settings.SlideInterval);
  CBox1->setChecked(owner_->Settings.SlideRepeat);
  CBox2->setChecked(owner_->Settings.SlideRandom);
  CBox3->setChecked(owner_->Settings.SlideFullScreen);
}

void TForm9::Button1Click() {
  owner_->Settings.SlideInterval = SE1->value();
  owner_->Settings.SlideRepeat = CBox1->isChecked();
  owner_->Settings.SlideRandom = CBox2->isChecked();
  owner_->Settings.SlideFullScreen = CBox3->isChecked();
  accept();
}

// The timer runs exactly while the toggle is down; the interval is taken at each
// start, and a stored interval of zero or less means one second.
void TForm1::SB20Click() {
  Timer1->setInterval(Settings.SlideInterval > 0 ? Settings.SlideInterval * 1000 : 1000);
  const bool down = Button("SB20")->Down();
  SetItemEnabled("N19", !down);
  SetItemEnabled("S5", down);
  if (down)
    Timer1->start();
  else
    Timer1->stop();
  SlideRunning(down);
}

void TForm1::N19Click() {
  if (Timer1->isActive()) return;
  Button("SB20")->SetDown(true);
  SetItemEnabled("S5", true);
  SetItemEnabled("N19", false);
  SB20Click();
}

void TForm1::S5Click() {
  if (!Timer1->isActive()) return;
  Button("SB20")->SetDown(false);
  SetItemEnabled("S5", false);
  SetItemEnabled("N19", true);
  SB20Click();
}

void TForm1::S6Click() {
  TForm9 dialog(this);
  dialog.exec();
}

// One step of the show. The timer is off while the step runs, so a slow load
// never queues further ticks; it is switched on again only if the toggle is
// still down afterwards (the toggle may have been released during the load).
void TForm1::Timer1Timer() {
  // A command or a modal dialog holds the image shown: the show waits, ticking,
  // and goes on with the first tick after it.
  if (CommandRunning() || QApplication::activeModalWidget()) return;
  // Nor does it leave an image with unsaved edits: it waits on it, ticking,
  // until they are saved or undone, and asks nothing.
  if (Shown.Edited) {
    SBar1Panel->setText(SlidePausedText);
    return;
  }
  Timer1->stop();
  // An unattended show is not stopped by a message box: the step's warnings
  // (and a wavelet file's error) go to the status bar after the load.
  TSlideWarnings warnings;
  struct ShowWarnings {
    TForm1& form;
    const TSlideWarnings& warnings;
    ~ShowWarnings() {
      if (warnings.Text().isEmpty()) return;
      const QString shown = form.SBar1Panel->text();
      form.SBar1Panel->setText(shown.isEmpty() ? warnings.Text() : shown + "; " + warnings.Text());
    }
  } showWarnings{*this, warnings};
  const bool down = Button("SB20")->Down();
  SetItemEnabled("N19", !down);
  SetItemEnabled("S5", down);
  if (Settings.SlideRandom) {
    std::vector<int> files;
    for (int i = 0; i < PTSList1->Count(); ++i)
      if (!PTSList1->ItemIsFolder(i)) files.push_back(i);
    if (!files.empty()) {
      const int pick = files[QRandomGenerator::global()->bounded(static_cast<int>(files.size()))];
      PTSList1->SetFocusedIndex(pick);
      PTSList1->SelectItem(pick);
      PTSList1Click();
    }
  } else {
    SB17Click();
    if (SlideAtEnd) {
      if (!Settings.SlideRepeat) {
        Button("SB20")->SetDown(false);
        SetItemEnabled("N19", true);
        SetItemEnabled("S5", false);
        SlideRunning(false);
        return;
      }
      int first = -1;
      for (int i = 0; i < PTSList1->Count() && first < 0; ++i)
        if (!PTSList1->ItemIsFolder(i)) first = i;
      // The only file of the list is the one already shown: nothing to reopen.
      if (first >= 0 && first != PTSList1->Count() - 1) {
        PTSList1->SetFocusedIndex(first);
        PTSList1->SelectItem(first);
        PTSList1Click();
      }
    }
  }
  if (Button("SB20")->Down()) Timer1->start();
}

}  // namespace app
