// TForm4, the JPEG quality dialog: a track bar from 5 to 95 that keeps its
// position between uses; OK leaves the position in the main window's
// QualityValue, Cancel and Escape leave -1.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <exception>

namespace app {

class TForm1;

class TForm4 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm4(TForm1* owner);
  QSlider* TrBar1 = nullptr;
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;
  void done(int result) override;

 private:
  TForm1* owner_;
};

// Dialogs of the program are centred on the screen with a fixed size.
void CentreOnScreen(QWidget* dialog);

// A label beside a quality track bar that shows its position as a number and
// follows it; wide enough for the largest position, so nothing moves.
QLabel* SliderValueLabel(QSlider* slider);

// Message boxes of the program, titled with the application's name.
void ShowErrorBox(QWidget* parent, const QString& text);
void ShowInfoBox(QWidget* parent, const QString& text);
bool AskYesNo(QWidget* parent, const QString& text);
// Tells that saving `fileName` failed with `error`: the failure text of the save
// commands, then the file and the reason, which the error's message gives (the
// system's, such as "No space left on device", when a create, write or rename
// failed).
void ShowSaveFailed(QWidget* parent, const QString& fileName, std::exception_ptr error);

}  // namespace app
