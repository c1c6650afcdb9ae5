// EMF playback: libemf2svg turns the records into SVG, Qt SVG draws it.
#include <emf2svg.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "metafile/metafile_internal.h"

namespace metafile::detail {

namespace {

QtMessageHandler previousHandler = nullptr;

// In a program that is not a Qt program, Qt's notes about its environment (such as
// a missing runtime folder) are not the program's output: only critical and fatal
// messages pass.
void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if ((type == QtCriticalMsg || type == QtFatalMsg) && previousHandler)
    previousHandler(type, context, text);
}

// Drawing SVG text needs Qt's font database, which needs a QGuiApplication. A
// program without one (the command-line tool) gets one on the offscreen platform,
// so no display is needed; it stays for the rest of the process, as Qt expects.
void EnsureGuiApplication() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (QCoreApplication::instance()) return;
    previousHandler = qInstallMessageHandler(QuietMessages);
    static int argc = 3;
    static char name[] = "korvane", option[] = "-platform", platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    static QGuiApplication* application = std::make_unique<QGuiApplication>(argc, argv).release();
    (void)application;
  });
}

struct FreeDeleter {
  void operator()(char* p) const { std::free(p); }
};

}  // namespace

void DrawEmf(const TCheckedEmf& emf, TPixelGraphic& target) {
  const int width = target.Width(), height = target.Height();
  // The converter takes writable memory; it reads only the records (Length bytes),
  // the zero padding after them absorbs fixed-size reads past a short record.
  std::vector<char> bytes(emf.Bytes.begin(), emf.Bytes.end());
  char noNamespace[] = "";
  generatorOptions options{};
  options.nameSpace = noNamespace;
  options.svgDelimiter = true;
  options.emfplus = false;  // EMF+ comments are skipped; their GDI fallback is drawn
  char* out = nullptr;
  size_t outLength = 0;
  const int converted = emf2svg(bytes.data(), emf.Length, &out, &outLength, &options);
  std::unique_ptr<char, FreeDeleter> svg(out);
  if (!converted || !svg || outLength == 0) Fail("EMF: Cannot draw the metafile");

  EnsureGuiApplication();
  QSvgRenderer renderer(QByteArray::fromRawData(svg.get(), static_cast<qsizetype>(outLength)));
  if (!renderer.isValid()) Fail("EMF: Cannot draw the metafile");
  // The frame, not the bounds of what was drawn, fills the picture.
  const TDeviceRect& view = emf.View;
  if (view.Right - view.Left > 0 && view.Bottom - view.Top > 0)
    renderer.setViewBox(
        QRectF(view.Left, view.Top, view.Right - view.Left, view.Bottom - view.Top));
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) FailMemory();
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(1, 1, width, height));
  }
  StoreXrgbRows(reinterpret_cast<const uint32_t*>(image.constBits()),
                static_cast<size_t>(image.bytesPerLine()) / 4, target);
}

}  // namespace metafile::detail
