// TForm9, the slide show settings: interval in seconds, repeat and random mode.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <QSpinBox>

namespace app {

class TForm1;

class TForm9 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm9(TForm1* owner);

  QSpinBox* SE1 = nullptr;
  QCheckBox* CBox1 = nullptr;  // "Repeat slide show"
  QCheckBox* CBox2 = nullptr;  // "Use random mode"
  QPushButton* Button1 = nullptr;  // "OK"
  QPushButton* Button2 = nullptr;  // "Cancel"

  void FormShow();
  void Button1Click();
  void Button2Click() { reject(); }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TForm1* owner_;
};

}  // namespace app
