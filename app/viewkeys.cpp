// Full screen, zoom steps by key and wheel, and the commands of keys only.
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <utility>

#include "app/compr.h"

namespace app {

namespace {

// The Zoom menu's fixed factors by their choice index: the steps of zoom in and out.
constexpr std::pair<int, double> kZoomSteps[] = {{3, 0.25}, {4, 0.5}, {5, 1}, {6, 2}, {7, 3}};

// In full screen the file list is hidden and the view has the focus: the keys
// that step through the list in the window do the same here, sent to the list;
// Left and Right step as Up and Down do (the list is one column).
class TStepKeys : public QObject {
 public:
  TStepKeys(QWidget* list, QObject* parent) : QObject(parent), list_(list) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
      return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (!IsStepKey(key->key())) return false;
    const int sent = key->key() == Qt::Key_Left    ? Qt::Key_Up
                     : key->key() == Qt::Key_Right ? Qt::Key_Down
                                                   : key->key();
    QKeyEvent copy(key->type(), sent, key->modifiers(), key->text(), key->isAutoRepeat(),
                   key->count());
    QCoreApplication::sendEvent(list_, &copy);
    return true;
  }

 private:
  QWidget* list_;
};

}  // namespace

void TForm1::SetFullScreen(bool on, bool bySlide) {
  TFullScreenState& s = fullScreen_;
  if (on == s.On) return;
  QWidget* viewport = PGImage1->viewport();
  if (on) {
    s.State = windowState();
    s.Browser = PTSplitter1->Position();
    s.Toolbar = PTSplitter2->Position();
    s.Palette = viewport->palette();
    s.Frame = PGImage1->frameShape();
  }
  s.On = on;
  s.BySlide = on && bySlide;
  for (QWidget* part : {static_cast<QWidget*>(menuBar()), static_cast<QWidget*>(statusBar()),
                        Panel3, static_cast<QWidget*>(Pane)})
    part->setVisible(!on);
  if (on) {
    QPalette black = s.Palette;
    black.setColor(viewport->backgroundRole(), Qt::black);
    viewport->setPalette(black);
    PGImage1->setFrameShape(QFrame::NoFrame);
    if (!s.Keys) s.Keys = new TStepKeys(PTSList1, this);
    PGImage1->installEventFilter(s.Keys);
    showFullScreen();
  } else {
    viewport->setPalette(s.Palette);
    PGImage1->setFrameShape(static_cast<QFrame::Shape>(s.Frame));
    PGImage1->removeEventFilter(s.Keys);
    if (s.State & Qt::WindowMaximized)
      showMaximized();
    else
      showNormal();
    // Kept until the splitters have their sizes again.
    PTSplitter1->SetPosition(s.Browser);
    PTSplitter2->SetPosition(s.Toolbar);
  }
  SetItemEnabled("Escape1", s.On || Button("SB20")->Down());
  FocusList();
}

void TForm1::SlideRunning(bool running) {
  if (running && Settings.SlideFullScreen)
    SetFullScreen(true, true);
  else if (!running && fullScreen_.BySlide)
    SetFullScreen(false);
  SetItemEnabled("Escape1", fullScreen_.On || running);
}

void TForm1::Escape1Click() {
  if (Button("SB20")->Down()) {
    // Stopped even while a step loads: the step does not start the timer again.
    Button("SB20")->SetDown(false);
    SB20Click();
  }
  SetFullScreen(false);
}

void TForm1::ZoomStep(int direction) {
  const pgraphic::TPixelGraphic* image = PGImage1->PixelGraphicNoWait();
  const QRect shown = PGImage1->DisplayRect();
  if (!image || image->Width() <= 0 || shown.isEmpty()) return;
  const long double fixed = PGImage1->EffectiveZoom();
  const double now = fixed > 0 ? double(fixed) : double(shown.width()) / image->Width();
  int index = -1;
  for (const auto& [choice, factor] : kZoomSteps) {
    if (direction > 0 && factor > now * 1.001) {
      index = choice;
      break;
    }
    if (direction < 0 && factor < now * 0.999) index = choice;
  }
  if (index < 0) return;
  const QPoint at = zoomAt_.value_or(PGImage1->viewport()->rect().center());
  const QPointF point = PGImage1->ImagePointAt(at);
  ZoomCommand(index);
  PGImage1->ScrollImagePointTo(point, at);
}

void TForm1::WheelZoom(int steps, QPoint at) {
  zoomAt_ = at;
  for (; steps != 0 && Item("ZoomIn1")->isEnabled(); steps += steps > 0 ? -1 : 1)
    RunHandler(steps > 0 ? &TForm1::ZoomIn1Click : &TForm1::ZoomOut1Click);
  zoomAt_.reset();
}

void TForm1::Trash1Click() {
  const int selected = PTSList1->SelectedIndex();
  if (selected < 0) return;
  const QString path = PTSList1->ItemPath(selected);
  QMessageBox box(QMessageBox::Question, ApplicationTitle,
                  QString("Move \"%1\" to the trash?").arg(PTSList1->ItemName(selected)),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::No);
  if (box.exec() != QMessageBox::Yes) return;
  // The list may have changed while the question was open.
  if (const int index = PTSList1->IndexOfPath(path); index >= 0) PTSList1->DeleteToTrash(index);
}

}  // namespace app
