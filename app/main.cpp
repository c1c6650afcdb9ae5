// korvane: the desktop program.
#include <QApplication>
#include <QDir>
#include <cstdio>

#include "app/commands.h"
#include "app/compr.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
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
  QApplication application(argc, argv);
  app::InitialiseApplication();
  app::TStartOptions options;
  options.StartDir = QDir::currentPath();
  options.Arguments = line.Files;
  app::TForm1 form(options);
  form.show();
  return application.exec();
}
