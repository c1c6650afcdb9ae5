// Unsaved edits: the image shown is never replaced, by browsing, stepping, the
// Open dialog or closing the window, while it holds changes nobody saved, unless
// the user has been asked (or has switched the question off).
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "app/compr.h"
#include "app/preload.h"

namespace app {

bool TForm1::MayLeaveImage() {
  if (!Shown.Edited || !Settings.AskToSaveEdits) return true;
  // Nothing is read ahead while the user decides (or saves).
  TPreloader::TPause pause(preload_);
  const QString name = QFileInfo(Shown.FileName).fileName();
  QMessageBox box(QMessageBox::Question, ApplicationTitle,
                  QString("Save changes to %1?").arg(name.isEmpty() ? "the image" : name),
                  QMessageBox::NoButton, this);
  // The texts are set here rather than taken from the platform, which would
  // name the buttons after its own conventions.
  QPushButton* save = box.addButton(QString("Save copy\u2026"), QMessageBox::AcceptRole);
  QPushButton* discard = box.addButton("Discard", QMessageBox::DestructiveRole);
  QPushButton* cancel = box.addButton("Cancel", QMessageBox::RejectRole);
  box.setDefaultButton(save);
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == save) {
    // Left only when the copy was written: cancelling the dialog or a failed
    // save keeps the image.
    Saveas1Click();
    return !Shown.Edited;
  }
  return box.clickedButton() == discard;
}

void TForm1::ReselectShown() {
  const int shown = PTSList1->IndexOfPath(Shown.FileName);
  const bool wasBusy = Busy;
  Busy = true;  // the list's events open nothing
  PTSList1->SetFocusedIndex(shown);
  PTSList1->SelectItem(shown);
  Busy = wasBusy;
  LastListPath = Shown.FileName;
  // The commands follow the list's selection; the image is still shown.
  EnableImageCommands(Shown.Loaded);
  FocusList();
}

void TForm1::AskSave1Click() {
  Settings.AskToSaveEdits = Item("AskSave1")->isChecked();
}

}  // namespace app
