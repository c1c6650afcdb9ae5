// Print and Copy to Clipboard: the image on show, or the part inside the
// selection, goes to the printer fitted to the page, or to the clipboard as a
// BMP (the packed DIB behind a file header, the form other programs paste as
// image/bmp) and as an ordinary image for programs that ask for any other type.
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScopeGuard>
#include <algorithm>
#include <cstring>
#include <new>

#include "app/compr.h"
#include "app/printing.h"
#include "pgraphic/image/dib.h"
#include "pgraphic/image/pixelrows.h"
#include "pgraphic/image/print.h"
#include "pgraphic/stream.h"
#include "pgraphic/view/render.h"

namespace app {

namespace {

using pgraphic::TPixelGraphic;

// Writes into a QByteArray of the right size from the start, so the pixels
// are copied once, straight into the clipboard's bytes.
class TByteArrayStream final : public pgraphic::TStream {
 public:
  explicit TByteArrayStream(QByteArray& bytes) : bytes_(bytes) {}
  size_t Read(void*, size_t) override { return 0; }
  size_t Write(const void* buffer, size_t n) override {
    const qsizetype end = position_ + static_cast<qsizetype>(n);
    if (end > bytes_.size()) bytes_.resize(end);
    std::memcpy(bytes_.data() + position_, buffer, n);
    position_ = end;
    return n;
  }
  void Seek(int64_t position) override { position_ = static_cast<qsizetype>(position); }
  int64_t Position() const override { return position_; }
  int64_t Size() const override { return bytes_.size(); }

 private:
  QByteArray& bytes_;
  qsizetype position_ = 0;
};

// The clipboard's data: the BMP bytes, and the image other programs may ask for
// instead, made from those bytes only when one asks. A copy costs the memory of
// one picture rather than of three.
class TClipboardBmp final : public QMimeData {
 public:
  explicit TClipboardBmp(QByteArray bmp) : bmp_(std::move(bmp)) {}
  QStringList formats() const override { return {"image/bmp", "application/x-qt-image"}; }
  bool hasFormat(const QString& type) const override { return formats().contains(type); }

 protected:
  QVariant retrieveData(const QString& type, QMetaType) const override {
    if (type == "image/bmp") return bmp_;
    if (type == "application/x-qt-image") return QImage::fromData(bmp_, "BMP");
    return {};
  }

 private:
  QByteArray bmp_;
};

// The packed DIB behind a file header. Raises EPGNotEnoughMemory when the copy
// would not fit the decode budget or its memory is not there.
void PutOnClipboard(TPixelGraphic& graphic) {
  const int w = graphic.Width(), h = graphic.Height();
  const int64_t pixels = pgraphic::PictureBytes(w, h, graphic.BitsPerPixel());
  pgraphic::CheckDecodeBudget(w, h, graphic.BitsPerPixel());
  // The pixels start after the information header and the palette.
  const uint32_t pixelsAt = 14 + 40 + 4 * pgraphic::DIBPaletteEntries(graphic);
  QByteArray bmp;
  try {
    bmp = QByteArray(static_cast<qsizetype>(pixelsAt + (graphic.Bits() ? pixels : 0)),
                     Qt::Uninitialized);
    TByteArrayStream stream(bmp);
    const uint8_t header[14] = {'B', 'M'};
    stream.WriteBuffer(header, sizeof header);
    graphic.WriteDIB(stream);
  } catch (const std::bad_alloc&) {
    throw pgraphic::EPGNotEnoughMemory(pgraphic::PictureTooLargeText(w, h, pixels));
  }
  for (int i = 0; i < 4; ++i) {
    bmp[2 + i] = static_cast<char>((static_cast<uint32_t>(bmp.size()) >> (8 * i)) & 0xFF);
    bmp[10 + i] = static_cast<char>((pixelsAt >> (8 * i)) & 0xFF);
  }
  QGuiApplication::clipboard()->setMimeData(new TClipboardBmp(std::move(bmp)));
}

// The image's pixels as a top-down QImage of its own size, converted in bands
// with pending repaints handled between them; a null image when the memory is
// not there. Palette images stay indexed (1-bit ones as 1-bit), so a scanned
// page costs the printer file and the memory no more than it costs here.
QImage PrintableImage(const TPixelGraphic& image) {
  const int w = image.Width(), h = image.Height();
  const pgraphic::TConstPixelRows rows = pgraphic::PixelRows(image);
  const bool truecolor = image.PixelFormat() == pgraphic::pf24Bit || rows.ColorCount == 0;
  const QImage::Format format = truecolor                                 ? QImage::Format_RGB32
                                : image.PixelFormat() == pgraphic::pf1Bit ? QImage::Format_Mono
                                                                          : QImage::Format_Indexed8;
  QImage out(w, h, format);
  if (out.isNull()) return out;
  if (!truecolor) {
    // Every value a pixel can hold gets an entry; values beyond the image's own
    // palette draw black, as on screen.
    QList<QRgb> table(format == QImage::Format_Mono ? 2 : 256);
    for (int i = 0; i < table.size(); ++i) {
      const pgraphic::TRGB c = rows.Color(i);
      table[i] = qRgb(pgraphic::GetR(c), pgraphic::GetG(c), pgraphic::GetB(c));
    }
    out.setColorTable(table);
  }
  pgraphic::TPictureLayout layout;
  layout.Child = {0, 0, w, h};
  const int band = std::max(1, (1 << 20) / w);
  for (int top = 0; top < h; top += band) {
    const int bottom = std::min(h, top + band);
    if (truecolor) {
      pgraphic::TRenderTarget target;
      target.Pixels = reinterpret_cast<uint32_t*>(out.scanLine(top));
      target.Stride = out.bytesPerLine() / 4;
      target.Area = {0, top, w, bottom};
      pgraphic::RenderPicture(rows, layout, target, 0xFFFFFFFFu);
    }
    for (int y = top; y < bottom && !truecolor; ++y) {
      // Rows of 1-bit images are most significant bit first in both layouts.
      if (format == QImage::Format_Mono)
        std::memcpy(out.scanLine(y), rows.Row(y), (w + 7) / 8);
      else if (image.PixelFormat() == pgraphic::pf8Bit)
        std::memcpy(out.scanLine(y), rows.Row(y), w);
      else
        pgraphic::Expand4BitRow(rows.Row(y), w, out.scanLine(y));
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  return out;
}

}  // namespace

QRect PrintTarget(int width, int height, const QPrinter& printer) {
  // A device pixel's width is to its height as the vertical resolution is to the
  // horizontal one.
  const pgraphic::TPGRect r = pgraphic::PrintRect(width, height, printer.width(), printer.height(),
                                                  printer.logicalDpiY(), printer.logicalDpiX());
  return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

TPrintOutcome PrintGraphic(const TPixelGraphic& image, QPrinter& printer, bool showDialog,
                           bool fitOrientation, QWidget* owner) {
  if (image.Width() <= 0 || image.Height() <= 0) return TPrintOutcome::Cancelled;
  if (showDialog) {
    QPrintDialog dialog(&printer, owner);
    if (dialog.exec() != QDialog::Accepted) return TPrintOutcome::Cancelled;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const auto cursorBack = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
  // The printer's orientation is put back however printing ends.
  const QPageLayout::Orientation orientation = printer.pageLayout().orientation();
  const auto orientationBack = qScopeGuard([&] { printer.setPageOrientation(orientation); });
  if (fitOrientation && image.Width() != image.Height())
    printer.setPageOrientation(pgraphic::PrintLandscape(image.Width(), image.Height())
                                   ? QPageLayout::Landscape
                                   : QPageLayout::Portrait);
  printer.setDocName(QString::fromStdString(
      pgraphic::PrintTitle(ApplicationTitle, image.Width(), image.Height(), image.BitsPerPixel())));
  const QImage pixels = PrintableImage(image);
  if (pixels.isNull()) return TPrintOutcome::Failed;
  QPainter painter;
  if (!painter.begin(&printer)) return TPrintOutcome::Failed;
  // Nearest-neighbour stretching, as on screen, and no JPEG re-compression of
  // the pixels on their way into the print file.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.setRenderHint(QPainter::LosslessImageRendering, true);
  painter.drawImage(PrintTarget(image.Width(), image.Height(), printer), pixels);
  const bool ended = painter.end();
  return ended && printer.printerState() != QPrinter::Error ? TPrintOutcome::Printed
                                                            : TPrintOutcome::Failed;
}

QPrinter& TForm1::Printer() {
  if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return *printer_;
}

void TForm1::Print1Click() {
  if (!Shown.Loaded || !PGImage1->Graphic()) return;
  std::unique_ptr<TPixelGraphic> image;
  const bool selection = PGImage1->Selection();
  // Printing leaves the undo copy and the selection as they were.
  const bool undo = Item("U1")->isEnabled(), crop = Item("C5")->isEnabled();
  const auto restore = [&] {
    All_Activate();
    SetItemEnabled("U1", undo);
    SetButtonEnabled("SB9", undo);
    SetItemEnabled("C5", crop);
  };
  if (selection) {
    All_Deactivate();
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  try {
    // A copy: the slide show may replace the image on show while printing runs.
    image = selection ? PGImage1->SelectionImage() : PGImage1->CopyGraphic();
  } catch (const std::exception&) {
    image.reset();
  }
  if (selection) QApplication::restoreOverrideCursor();  // the dialog gets the normal cursor
  if (!image || (selection && image->Empty())) {
    ShowErrorBox(this, CannotPerformText);
    if (selection) restore();
    return;
  }
  const TPrintOutcome outcome = PrintGraphic(*image, Printer(), true, true, this);
  image.reset();
  if (selection) restore();
  if (outcome == TPrintOutcome::Failed) ShowErrorBox(this, PrintFailedText);
}

void TForm1::N10Click() {
  TPixelGraphic* graphic = PGImage1->Graphic();
  if (!graphic || !Shown.Loaded) return;
  // The selection only while the selection tool is down and a selection exists;
  // with the tool down but nothing selected the whole image is copied.
  try {
    if (!PGImage1->HandTool() && PGImage1->Selection()) {
      auto part = PGImage1->SelectionImage();
      PutOnClipboard(*part);
    } else {
      PutOnClipboard(*graphic);
    }
  } catch (const pgraphic::EPGNotEnoughMemory& e) {
    ShowErrorBox(this, QString::fromStdString(e.what()));
  }
}

}  // namespace app
