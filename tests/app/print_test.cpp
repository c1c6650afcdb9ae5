// Print: the print dialog answered as a user would (the PDF printer and a file
// name), the PDF rasterised with poppler's pdftoppm, and the placed picture's
// position and pixels compared with the page fitting of the pixel model.
#include "pgraphic/image/print.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>

#include "app_fixture.h"
#include "selection_drag.h"

namespace apptest {
namespace {

constexpr int kRasterDpi = 40;
constexpr int kTolerance = 3;  // raster pixels of position, levels of colour

// The fixture picture: neighbouring pixels of different colours, none of them
// near white; palette formats with a palette of their own.
void WriteFixture(const QString& path, int w, int h, pgraphic::TPGPixelFormat format) {
  const auto colour = [](int x, int y) {
    return pgraphic::RGB(30 + x * 5, 30 + y * 5, 160 + ((x + y) % 2) * 60);
  };
  pgraphic::TPixelGraphic g;
  g.SetSize(w, h, format);
  const int entries = g.PaletteCapacity();
  g.SetPaletteCount(entries);  // none for true colour
  for (int i = 0; i < entries; ++i) g.SetPaletteColor(i, colour(i % 16, i / 16 + i % 3));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      entries ? g.SetPixel(x, y, (x * 7 + y * 3) % entries) : g.SetPixelColor(x, y, colour(x, y));
  g.SaveToFile(path.toStdString());
}

bool Near(QRgb a, pgraphic::TRGB b) {
  return std::abs(qRed(a) - int(pgraphic::GetR(b))) <= kTolerance &&
         std::abs(qGreen(a) - int(pgraphic::GetG(b))) <= kTolerance &&
         std::abs(qBlue(a) - int(pgraphic::GetB(b))) <= kTolerance;
}

// The bounding box of the pixels that are not paper white.
QRect Inked(const QImage& page) {
  QRect box;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x)
      if (qGray(page.pixel(x, y)) < 235) box |= QRect(x, y, 1, 1);
  return box;
}

class PrintTest : public AppTest {
 protected:
  // Answers the next print dialog: the PDF printer, the file name typed in, then
  // "Print" (and `then`, before printing starts); or "Cancel".
  void AnswerPrintDialog(const QString& pdf, bool print = true,
                         const std::function<void()>& then = {}) {
    WhenModal<QPrintDialog>([pdf, print, then](QPrintDialog* dialog) {
      auto* printers = dialog->findChild<QComboBox*>("printers");
      auto* file = dialog->findChild<QLineEdit*>("filename");
      auto* buttons = dialog->findChild<QDialogButtonBox*>();
      ASSERT_TRUE(printers && file && buttons);
      printers->setCurrentIndex(printers->findText("Print to File (PDF)"));
      file->clear();
      QTest::keyClicks(file, pdf);
      Click(buttons->button(print ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel));
      if (then) then();
    });
  }

  // The first page of the PDF as pixels at kRasterDpi.
  static QImage Rasterise(const QString& pdf) {
    const QString prefix = pdf + "-page";
    QProcess::execute("pdftoppm", {"-r", QString::number(kRasterDpi), "-singlefile", pdf, prefix});
    return QImage(prefix + ".ppm").convertToFormat(QImage::Format_RGB32);
  }

  static QString PdfInfo(const QString& pdf) {
    QProcess info;
    info.start("pdfinfo", {pdf});
    info.waitForFinished();
    return QString::fromUtf8(info.readAllStandardOutput());
  }
};

TEST_F(PrintTest, ImageOrSelectionIsFittedToThePageAtFullResolution) {
  const struct {
    const char* name;
    pgraphic::TPGPixelFormat format;
    int w, h;
    QRect selection;  // empty: none
    QPageLayout::Orientation page;
  } cases[] = {
      {"wide.bmp", pgraphic::pf24Bit, 48, 24, {}, QPageLayout::Landscape},
      {"tall.bmp", pgraphic::pf24Bit, 20, 40, {}, QPageLayout::Portrait},
      {"square-part.bmp", pgraphic::pf24Bit, 48, 24, QRect(10, 4, 16, 16), QPageLayout::Portrait},
      {"wide-part.bmp", pgraphic::pf24Bit, 40, 40, QRect(3, 30, 30, 6), QPageLayout::Landscape},
      {"palette8.bmp", pgraphic::pf8Bit, 30, 20, {}, QPageLayout::Landscape},
      {"palette4.bmp", pgraphic::pf4Bit, 15, 25, {}, QPageLayout::Portrait},
      {"mono-part.bmp", pgraphic::pf1Bit, 33, 17, QRect(1, 2, 31, 9), QPageLayout::Landscape},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFixture(Image(c.name), c.w, c.h, c.format);
    pgraphic::TPixelGraphic source;
    source.LoadFromFile(Image(c.name).toStdString());
    Start({c.name});
    const QString pdf = Image(QString(c.name) + ".pdf");
    QRect part(0, 0, c.w, c.h);
    if (!c.selection.isEmpty()) {
      DragSelection(*window, c.selection);
      ASSERT_TRUE(window->PGImage1->Selection());
      part = c.selection;
    }
    const bool cropEnabled = window->Item("C5")->isEnabled();
    QPrinter& printer = window->Printer();
    const QPageLayout::Orientation before = printer.pageLayout().orientation();
    AnswerPrintDialog(pdf);
    Click(window->Button("SB4"));

    // The page and its printable area as the printer had them while printing.
    QPageLayout layout = printer.pageLayout();
    EXPECT_EQ(layout.orientation(), before) << "the orientation is restored";
    layout.setOrientation(c.page);
    const int dpi = printer.resolution();
    const QRect paint = layout.paintRectPixels(dpi);
    const pgraphic::TPGRect fit =
        pgraphic::PrintRect(part.width(), part.height(), paint.width(), paint.height(), 1, 1);
    const double scale = double(kRasterDpi) / dpi;
    const QRect expected(
        qRound((paint.left() + fit.Left) * scale), qRound((paint.top() + fit.Top) * scale),
        qRound((fit.Right - fit.Left) * scale), qRound((fit.Bottom - fit.Top) * scale));

    const QImage page = Rasterise(pdf);
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(page.width() > page.height(), c.page == QPageLayout::Landscape);
    const QRect inked = Inked(page);
    for (const int off : {inked.left() - expected.left(), inked.top() - expected.top(),
                          inked.right() - expected.right(), inked.bottom() - expected.bottom()})
      EXPECT_LE(std::abs(off), kTolerance) << "placed at " << inked.x() << "," << inked.y() << " "
                                           << inked.width() << "x" << inked.height();
    // Every source pixel, sampled at the centre of its cell on the page.
    int wrong = 0;
    for (int y = 0; y < part.height(); ++y)
      for (int x = 0; x < part.width(); ++x) {
        const QPoint at(inked.left() + (2 * x + 1) * inked.width() / (2 * part.width()),
                        inked.top() + (2 * y + 1) * inked.height() / (2 * part.height()));
        wrong += !Near(page.pixel(at), source.PixelColor(part.left() + x, part.top() + y));
      }
    EXPECT_EQ(wrong, 0);
    EXPECT_FALSE(ReadText(pdf).contains("/DCTDecode")) << "pixels were JPEG-compressed";
    const QString title = QString("Korvane Graphic %1x%2x%3")
                              .arg(part.width())
                              .arg(part.height())
                              .arg(1 << source.BitsPerPixel());
    EXPECT_TRUE(PdfInfo(pdf).contains(
        QRegularExpression("^Title: +" + title + "$", QRegularExpression::MultilineOption)));
    EXPECT_EQ(window->Item("C5")->isEnabled(), cropEnabled) << "the selection stays usable";
    EXPECT_TRUE(window->Item("Print1")->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
}

TEST_F(PrintTest, CancelledOrFailedPrintLeavesNoFileAndFailureIsReported) {
  WriteFixture(Image("a.bmp"), 12, 9, pgraphic::pf24Bit);
  const QString pdf = Image("out/a.pdf");
  for (const bool print : {false, true}) {
    SCOPED_TRACE(print ? "failed" : "cancelled");
    QDir(images).mkdir("out");
    Start({"a.bmp"});
    // When printing, the folder the dialog accepted is gone by the time printing starts.
    AnswerPrintDialog(pdf, print, [&] {
      if (print) QDir(Image("out")).removeRecursively();
    });
    QString message;
    if (print) {
      AnswerMessageBox(QMessageBox::Ok, &message);
      Click(window->Button("SB4"));
    } else {
      QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier);
    }
    EXPECT_EQ(message.toStdString(), print ? app::PrintFailedText : "");
    EXPECT_FALSE(QFile::exists(pdf));
    EXPECT_TRUE(window->Item("Print1")->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
}

}  // namespace
}  // namespace apptest
