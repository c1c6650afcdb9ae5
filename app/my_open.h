// TForm6, the program's file dialog with information and preview, in three modes:
// 1 open, 2 save copy, 3 save VQN file. It works on the main window's state.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <string>

#include "app/imagepane.h"
#include "widgets/controls.h"
#include "widgets/shelllist.h"

namespace app {

class TForm1;

inline constexpr const char* SubformatNotSupported = "The subformat is not supported!   ";

class TForm6 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm6(TForm1& owner);

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
  void FilterComboBox1Change();
  void CheckB1Click();
  bool Unsupported() const { return unsupported_; }
  bool PreviewLoaded() const { return previewLoaded_; }

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
  // The main window's loader fills the preview; a failure marks the file unsupported.
  void LoadPreview();
  void ShowFolder(const QString& folder);

  TForm1& owner_;
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
