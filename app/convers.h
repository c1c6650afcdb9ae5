// TForm8, the batch conversion dialog: a source folder with its file list, the
// target folder, the output format, colour resolution, mirror and rotation, a
// meter, and the Start and Close/Stop buttons. The run itself is the main
// window's Convert, which works through the library's batch pipeline on a
// pooled worker while this dialog stays responsive.
#pragma once

#include <QButtonGroup>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStringList>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "widgets/browserpane.h"

namespace app {

class TForm1;

// A group box of exclusive radio buttons with the index of the checked one.
class TRadioGroupBox : public QGroupBox {
  Q_OBJECT

 public:
  TRadioGroupBox(const QString& caption, const QStringList& items, int columns,
                 QWidget* parent = nullptr);
  int ItemIndex() const { return buttons_.checkedId(); }
  void SetItemIndex(int index);
  QAbstractButton* Item(int index) const { return buttons_.button(index); }
  int Count() const { return static_cast<int>(buttons_.buttons().size()); }

 private:
  QButtonGroup buttons_;
};

// Lets a run running on another thread be paused while the user is asked
// whether to stop, and stopped at its next check point.
class TRunGate {
 public:
  void Open();
  void Pause();
  void Resume(bool stop);
  // At a check point of the run: waits while paused; true when a stop was asked for.
  bool Checkpoint();

 private:
  std::mutex mutex_;
  std::condition_variable resumed_;
  bool paused_ = false;
  bool stop_ = false;
};

class TForm8 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm8(TForm1* owner);

  // "Conversion from:"
  QGroupBox* GB2 = nullptr;
  widgets::TBrowserPane* Pane = nullptr;  // the four below are its parts
  widgets::TPTShellCombo* PTShellCombo1 = nullptr;
  widgets::TFlyoverButton* SpeedButton1 = nullptr;  // "Go Up"
  widgets::TFlyoverButton* SpeedButton2 = nullptr;  // "New Folder"
  widgets::TPTShellList* PTSList1 = nullptr;
  widgets::TFilterComboBox* FilterComboBox1 = nullptr;
  // "Conversion to:"
  QGroupBox* GB1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* Button3 = nullptr;  // "Browse.."
  TRadioGroupBox* RG4 = nullptr;   // file extension
  TRadioGroupBox* RG3 = nullptr;   // colour resolution
  TRadioGroupBox* RG1 = nullptr;   // mirror
  TRadioGroupBox* RG2 = nullptr;   // rotate
  QSpinBox* SpinJobs = nullptr;    // files converted at the same time, 0: one per core
  widgets::TProgressMeter* EPMeter1 = nullptr;
  QPushButton* Button1 = nullptr;  // "Start"
  QPushButton* Button2 = nullptr;  // "Close", "Stop" while a run goes on

  // While Start's work goes on the dialog cannot be closed; once the files are
  // being converted (Running), Button2 reads "Stop" and asks to stop.
  bool Busy() const { return busy_; }
  void SetBusy(bool busy) { busy_ = busy; }
  bool Running() const { return running_; }
  void SetRunning(bool running);
  TRunGate& Gate() { return gate_; }

  void FormShow();
  void FormClose();
  void FilterComboBox1Change();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void SpeedButton1Click();
  void PTSList1DblClickOpen() {}

  void reject() override;
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  TForm1* owner_;
  TRunGate gate_;
  bool busy_ = false;
  bool running_ = false;
};

// An information box with Yes and No; true on Yes.
bool AskInformationYesNo(QWidget* parent, const QString& text);

}  // namespace app
