// Unsaved edits: the image shown is never replaced, by browsing, stepping, the
// Open dialog or closing the window, while it holds changes nobody saved, unless
// the user has been asked (or has switched the question off).
#include <QFileInfo>
#include <QMessageBox>

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
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
  // The program's own names: the platform's would follow its conventions.
  box.button(QMessageBox::Save)->setText(QString("Save copy\u2026"));
  box.button(QMessageBox::Discard)->setText("Discard");
  box.button(QMessageBox::Cancel)->setText("Cancel");
  box.setDefaultButton(QMessageBox::Save);
  const int answer = box.exec();
  if (answer == QMessageBox::Save) {
    // Left only when the copy was written: cancelling the dialog or a failed
    // save keeps the image.
    Saveas1Click();
    return !Shown.Edited;
  }
  return answer == QMessageBox::Discard;
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
