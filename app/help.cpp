#include "app/help.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace app {

QString FindHelpFile() {
  const QString exeDir = QCoreApplication::applicationDirPath();
  const QStringList candidates = {
      exeDir + "/../share/korvane/help/index.html",
      exeDir + "/help/index.html",
      QStandardPaths::locate(QStandardPaths::GenericDataLocation, "korvane/help/index.html"),
  };
  for (const QString& path : candidates)
    if (!path.isEmpty() && QFileInfo(path).isFile()) return QDir::cleanPath(path);
  return QString();
}

THelpWindow::THelpWindow(const QString& fileName, QWidget* parent)
    : QDialog(parent), fileName_(fileName), browser_(new QTextBrowser(this)) {
  setObjectName("HelpWindow");
  setWindowTitle("Korvane Help");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  browser_->setOpenExternalLinks(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  resize(640, 560);
}

void THelpWindow::ShowContents() {
  if (fileName_.isEmpty() || !QFileInfo(fileName_).isFile())
    browser_->setHtml(
        "<p>The help file was not found. It is installed with the program in "
        "<tt>share/korvane/help</tt>.</p>");
  else
    browser_->setSource(QUrl::fromLocalFile(fileName_));
  show();
  raise();
  activateWindow();
}

}  // namespace app
