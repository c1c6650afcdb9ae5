// TForm6, the program's file dialog with information and preview, in three modes:
// 1 open, 2 save copy, 3 save VQN file. It works on the state it is given and
// reads pictures through the loaders it is given.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <functional>
#include <string>

#include "app/imagepane.h"
#include "widgets/browserpane.h"

namespace app {

// The dialog's three uses, by their stored numbers.
enum class TDialogMode { Open = 1, SaveCopy = 2, SaveVQN = 3 };

// What the file dialog reads and writes: its settings per mode and its results.
// The owner binds these to its own fields; they live as long as the dialog.
struct TFileDialogState {
  TDialogMode& Mode;
  QString& OpenFileName;            // mode 1's result: the file to open
  QString& SaveFileName;            // modes 2 and 3's result: the file to write
  const QString& LastFileName;      // its base name is proposed for saving
  QString& InfoText;                // the information text a loader leaves
  bool& PreviewTaken;               // the main view took the preview's picture
  std::array<QString*, 3> Folder;   // the folder of each mode
  std::array<int, 3>& ListIndex;    // the list item of each mode, -1 for none
  std::array<bool, 3>& Preview;     // "Preview picture" of each mode
  std::array<int, 3>& FilterIndex;  // the file type of each mode
};

// How the dialog reads a file it examines; each returns false when it cannot.
struct TFileDialogLoaders {
  // Loads the mode's result file into the preview, leaving InfoText.
  std::function<bool()> Picture;
  // Reads a VQN file's labels and, with `withPreview`, its picture into the dialog.
  std::function<bool(const QString& path, bool withPreview)> Wavelet;
};

inline constexpr const char* SubformatNotSupported = "The subformat is not supported!   ";

class TForm6 : public QDialog {
  Q_OBJECT

 public:
  TForm6(QWidget* parent, const TFileDialogState& state, TFileDialogLoaders loaders);

  int exec() override;
  void done(int result) override;

  TImagePane* Preview() const { return PGImage1; }
  // The information labels in the decoder's order: message line, type, subtype,
  // size, colours, file size.
  void SetLabels(const std::array<std::string, 6>& labels);
  std::array<QString, 6> Labels() const;

  // Examines the selected item: information, preview, the name box.
  void FBox1Change_1();
  void Button1Click();
  void Edit1Exit();
  // Enter in the name box.
  void Edit1Return();
  void FilterComboBox1Change();
  void CheckB1Click();
  bool Unsupported() const { return unsupported_; }
  bool PreviewLoaded() const { return previewLoaded_; }
  // The picture of the preview when "Preview picture" is on and it loaded; else null.
  std::unique_ptr<pgraphic::TPixelGraphic> PreviewCopy();

  widgets::TBrowserPane* Pane;

  widgets::TPTShellCombo* PTShellCombo1;
  widgets::TFlyoverButton* SpeedButton1;
  widgets::TFlyoverButton* SpeedButton2;
  widgets::TPTShellList* PTSList1;
  QLineEdit* Edit1;
  widgets::TFilterComboBox* FilterComboBox1;
  TImagePane* PGImage1;
  QLabel* Label8;
  QLabel *Label3, *Label4, *Label6, *Label5, *Label9, *Label7;
  QCheckBox* CheckB1;
  QPushButton* Button1;
  QPushButton* Button2;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void FormActivate();
  void Close_ok();
  QString& ResultPath();
  QString& ModeFolder();
  int Mode() const;
  void ClearLabels();
  void SetWaiting(bool waiting);
  // The "File size: N Kb" label, left empty when the file cannot be found.
  void SetFileSizeLabel(const std::string& file);
  // The picture loader fills the preview; a failure marks the file unsupported.
  void LoadPreview();

  TFileDialogState state_;
  TFileDialogLoaders loaders_;
  QWidget* Panel1;
  QWidget* Panel2;
  QWidget* Panel3;
  bool ignore_ = false;
  bool previewLoaded_ = false;
  bool unsupported_ = false;
  bool closedOk_ = false;
  bool exiting_ = false;
  QString lastExamined_;
};

}  // namespace app
