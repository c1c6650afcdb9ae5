#include "app/startup.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QThread>

#include "app/commands.h"
#include "app/icons.h"
#include "app/slide.h"
#include "io/files.h"
#include "metafile/metafile.h"
#include "pgraphic/largememory.h"

namespace app {

TCommandLine ParseCommandLine(const QStringList& arguments) {
  TCommandLine result;
  bool optionsEnded = false;
  for (const QString& arg : arguments) {
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
      result.What = TCommandLine::Action::Help;
      return result;
    } else if (!optionsEnded && (arg == "--version" || arg == "-V")) {
      result.What = TCommandLine::Action::Version;
      return result;
    } else if (!optionsEnded && arg.startsWith('-') && arg.size() > 1) {
      result.What = TCommandLine::Action::UsageError;
      result.Message = "korvane: unknown option '" + arg.toStdString() +
                       "'; try 'korvane --help' for more information.";
      return result;
    } else {
      result.Files << arg;
    }
  }
  return result;
}

std::string UsageText() {
  return "Usage: korvane [FILE]\n"
         "Korvane, an image viewer, converter and editor with its own wavelet codec.\n"
         "\n"
         "Opens FILE (any image the program reads, or a .vqn file) at start, and shows\n"
         "its folder in the file browser.\n"
         "\n"
         "  -h, --help     show this help and exit\n"
         "  -V, --version  show the version and exit\n"
         "\n"
         "Settings are kept in tesslora.ini in the user's configuration folder.\n";
}

std::string VersionText() {
  return std::string("korvane ") + ProgramVersion + "\n";
}

void InitialiseApplication() {
  // The window waits on the reads of the pictures it opens: they go on ordinary
  // pages, whose first touch costs the same on every machine.
  pgraphic::SetHugePageAdvice(false);
  QApplication::setApplicationName("korvane");
  // No display name: the window system would append it to every window title,
  // which must read exactly as the program sets it.
  QApplication::setApplicationVersion(ProgramVersion);
  QApplication::setWindowIcon(ApplicationIcon());
  QApplication::setDesktopFileName("korvane");
  // WMF and EMF files open, show and convert like every other image.
  metafile::RegisterWithFileService();
  io::SetQuestionHook([](const std::string& caption, const std::string& text, bool withCancel) {
    if (TSlideWarnings::Collect(caption, text)) return true;  // a running slide show
    bool ok = true;
    auto ask = [&] {
      QMessageBox box(QMessageBox::Warning, QString::fromStdString(caption),
                      QString::fromStdString(text),
                      withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                      QApplication::activeWindow());
      ok = box.exec() == QMessageBox::Ok;
    };
    if (QThread::currentThread() == qApp->thread())
      ask();
    else
      QMetaObject::invokeMethod(qApp, ask, Qt::BlockingQueuedConnection);
    return ok;
  });
}

QString ArgumentFileName(const QByteArray& raw, bool& exact) {
  const QString name = QFile::decodeName(raw);
  exact = QFile::encodeName(name) == raw;
  return name;
}

QString UnspelledNameMessage(const QString& name) {
  return "Cannot open file \"" + name +
         "\": its name is not in UTF-8, the only encoding of file names this program reads.";
}

}  // namespace app
