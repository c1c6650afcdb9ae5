// Shared helpers of the view tests: images with known pixels, a shown view of a
// given client size, real mouse drags on its child, and waiting for the display copy.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTest>
#include <memory>

#include "pgraphic/view/pgimage.h"

namespace pgraphic::viewtest {

// A 24-bit image whose pixel (x, y) has red x, green y and blue 7 (mod 256).
inline std::unique_ptr<TPixelGraphic> Gradient(int w, int h, TPGPixelFormat format = pf24Bit) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, format);
  if (format != pf24Bit) {
    g->SetPaletteCount(g->PaletteCapacity());
    for (int i = 0; i < g->PaletteCount(); ++i)
      g->SetPaletteColor(i, RGB(i, 255 - i, (i * 37) & 255));
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      g->SetPixel(x, y,
                  format == pf24Bit ? RGB(x & 255, y & 255, 7) : (x + 3 * y) % g->PaletteCount());
  return g;
}

// The colour a pixel of an image is drawn with.
inline QRgb Drawn(const TPixelGraphic& g, int x, int y) {
  const TRGB c = g.PixelColor(x, y);
  return qRgb(static_cast<int>(GetR(c)), static_cast<int>(GetG(c)), static_cast<int>(GetB(c)));
}

class ViewTest : public ::testing::Test {
 protected:
  // A shown view whose area inside the frame is clientW x clientH.
  void Make(int clientW, int clientH) {
    view = std::make_unique<TPGImage>();
    view->setFrameStyle(0);
    view->resize(clientW, clientH);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  }
  void Show(std::unique_ptr<TPixelGraphic> image) { view->SetPixelGraphic(std::move(image)); }

  // Waits (processing events) until the display copy is ready.
  bool WaitForCopy(int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!view->PaintPixelGraphic() && t.elapsed() < ms) {
      view->viewport()->repaint();
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return view->PaintPixelGraphic() != nullptr;
  }

  QWidget* Box() const { return view->PicBox(); }
  void Press(QPoint p) { QTest::mousePress(Box(), Qt::LeftButton, Qt::NoModifier, p); }
  void Move(QPoint p) {
    // QTest::mouseMove does not carry the pressed button; send the real event.
    QMouseEvent e(QEvent::MouseMove, p, Box()->mapToGlobal(p), Qt::NoButton,
                  drag ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(Box(), &e);
  }
  void Release(QPoint p) { QTest::mouseRelease(Box(), Qt::LeftButton, Qt::NoModifier, p); }
  void Drag(QPoint from, QPoint to) {
    Press(from);
    drag = true;
    Move((from + to) / 2);
    Move(to);
    drag = false;
    Release(to);
  }

  // The view's pixels as drawn.
  QImage Grab() { return view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  std::unique_ptr<TPGImage> view;
  bool drag = false;
};

}  // namespace pgraphic::viewtest
