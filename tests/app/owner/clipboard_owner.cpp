// Holds the clipboard for a test that pastes from another process: starts the
// main window on an image, clicks "Copy to Clipboard", prints "copied" and keeps
// its event loop running (pasting programs are answered by it) until its
// standard input closes.
//   clipboard_owner CONFIG_DIR IMAGE
#include <unistd.h>

#include <QApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "app/compr.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: clipboard_owner CONFIG_DIR IMAGE\n");
    return 2;
  }
  QApplication application(argc, argv);
  app::InitialiseApplication();
  const QFileInfo image(QString::fromLocal8Bit(argv[2]));
  app::TStartOptions options;
  options.ConfigDir = QString::fromLocal8Bit(argv[1]);
  options.StartDir = image.absolutePath();
  options.Arguments = {image.fileName()};
  app::TForm1 window(options);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window) || !window.Shown.Loaded) {
    std::fprintf(stderr, "clipboard_owner: the image is not shown\n");
    return 1;
  }
  QTest::mouseClick(window.Button("SB8"), Qt::LeftButton);
  std::printf("copied\n");
  std::fflush(stdout);

  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char buffer[64];
    if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0) application.quit();
  });
  QTimer::singleShot(60000, &application, &QApplication::quit);  // never outlive a lost test
  return application.exec();
}
