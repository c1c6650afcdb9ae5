// korvane: the desktop program.
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/commands.h"
#include "app/compr.h"
#include "app/preload.h"
#include "app/startup.h"
#include "app/trace.h"
#include "pgraphic/largememory.h"
#include "pgraphic/view/worker.h"

namespace {

// Ends the start-up trace at the first picture: the image once it is drawn from
// what the view shows it with, or the window when no file was named.
class TFirstPaint : public QObject {
 public:
  TFirstPaint(app::TForm1& form, bool withFile) : form_(form), withFile_(withFile) {
    if (!app::TracingStartup()) return;
    if (withFile)
      connection_ =
          QObject::connect(form.PGImage1, &app::TImagePane::Painted, this, [this] { Check(); });
    form.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &form_ && event->type() == QEvent::Paint) {
      form_.removeEventFilter(this);
      app::TraceStartup("window painted");
      if (!withFile_) app::EndStartupTrace();
    }
    return false;
  }

 private:
  void Check() {
    const pgraphic::TPixelGraphic* shown = form_.PGImage1->PixelGraphicNoWait();
    if (!shown || shown->Empty()) return;
    if (form_.PGImage1->PaintThreadRunning()) {
      if (!copyReported_) app::TraceStartup("image laid out, display copy under way");
      copyReported_ = true;
      return;
    }
    QObject::disconnect(connection_);
    app::TraceStartup("image painted");
    app::EndStartupTrace();
  }

  app::TForm1& form_;
  bool withFile_;
  bool copyReported_ = false;
  QMetaObject::Connection connection_;
};

}  // namespace

int main(int argc, char** argv) {
  app::TraceStartup("main");
  QStringList arguments;
  QStringList unspelled;  // names that do not read back as the bytes given
  for (int i = 1; i < argc; ++i) {
    bool exact = true;
    arguments << app::ArgumentFileName(argv[i], exact);
    if (!exact) unspelled << arguments.back();
  }
  const app::TCommandLine line = app::ParseCommandLine(arguments);
  switch (line.What) {
    case app::TCommandLine::Action::Help:
      std::fputs(app::UsageText().c_str(), stdout);
      return 0;
    case app::TCommandLine::Action::Version:
      std::fputs(app::VersionText().c_str(), stdout);
      return 0;
    case app::TCommandLine::Action::UsageError:
      std::fprintf(stderr, "%s\n", line.Message.c_str());
      return 2;
    case app::TCommandLine::Action::Run:
      break;
  }
  // The start file is read on ordinary pages (see SetHugePageAdvice) from here.
  pgraphic::SetHugePageAdvice(false);
  app::TStartOptions options;
  options.StartDir = QDir::currentPath();
  options.Arguments = line.Files;
  // The file named on the command line is read while the window is being built.
  if (!line.Files.isEmpty())
    options.StartRead = app::StartPreload(app::StartFilePath(options.StartDir, line.Files.first()));
  QApplication application(argc, argv);
  app::TraceStartup("Qt initialised");
  app::InitialiseApplication();
  app::TraceStartup("application initialised");
  int code = 0;
  {
    app::TForm1 form(options);
    app::TraceStartup("main window built");
    TFirstPaint firstPaint(form, !line.Files.isEmpty());
    form.show();
    app::TraceStartup("main window shown");
    // A start file whose name cannot be spelled is said so rather than shown as nothing.
    if (!line.Files.isEmpty() && unspelled.contains(line.Files.first())) {
      const QString message = app::UnspelledNameMessage(line.Files.first());
      std::fprintf(stderr, "korvane: %s\n", message.toLocal8Bit().constData());
      QTimer::singleShot(0, &form, [&form, message] {
        QMessageBox::warning(&form, QApplication::applicationName(), message);
      });
    }
    code = application.exec();
  }
  // The window has saved the settings. A task still under way on the workers (a
  // read ahead cancelled and winding down, or stuck in the file system) is not
  // waited for, and must not see the libraries torn down under it: the process
  // ends here.
  if (pgraphic::WorkerTasksRunning() > 0) {
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}
