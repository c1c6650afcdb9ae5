// The help window: the HTML user guide shipped with the program, shown on F1.
#pragma once

#include <QDialog>
#include <QString>

class QTextBrowser;

namespace app {

// The guide's index page: beside the installed program's data
// (<prefix>/share/korvane/help), in the build tree beside the program, or in the
// data folders of the desktop. Empty when none is found.
QString FindHelpFile();

class THelpWindow : public QDialog {
  Q_OBJECT

 public:
  THelpWindow(const QString& fileName, QWidget* parent);
  // Shows the guide's first page (the contents) and raises the window.
  void ShowContents();
  QTextBrowser* Browser() const { return browser_; }

 private:
  QString fileName_;
  QTextBrowser* browser_;
};

}  // namespace app
