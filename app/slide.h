// TForm9, the slide show settings: interval in seconds, repeat and random mode.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QString>
#include <string>

namespace app {

class TForm1;

// The status bar while the show waits on an image with unsaved edits.
inline constexpr const char* SlidePausedText = "Slide show paused: the image has unsaved changes";

// While one of these lives (a step of a running slide show), the library's
// questions (reader warnings such as "Premature end of JPEG file") stop no
// one: they are collected, answered OK, and the controller puts them in the
// status bar after the load. Created on the user-interface thread; the
// innermost one collects.
class TSlideWarnings {
 public:
  TSlideWarnings();
  ~TSlideWarnings();
  TSlideWarnings(const TSlideWarnings&) = delete;
  TSlideWarnings& operator=(const TSlideWarnings&) = delete;

  // The collected warnings, "caption: text" joined by "; ".
  const QString& Text() const { return text_; }
  // For the question hook: true, with the warning collected, while one lives.
  static bool Collect(const std::string& caption, const std::string& text);

 private:
  QString text_;
  TSlideWarnings* outer_ = nullptr;
};

class TForm9 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm9(TForm1* owner);

  QSpinBox* SE1 = nullptr;
  QCheckBox* CBox1 = nullptr;      // "Repeat slide show"
  QCheckBox* CBox2 = nullptr;      // "Use random mode"
  QCheckBox* CBox3 = nullptr;      // the show in full screen
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
