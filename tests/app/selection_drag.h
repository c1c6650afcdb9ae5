// Makes a selection in the main window the way a user does: the "Create
// Selection" tool, then a drag over the picture shown at 100%, from the
// rectangle's first pixel to its last one.
#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QRect>
#include <QTest>

#include "app/compr.h"

namespace apptest {

inline void DragSelection(app::TForm1& window, const QRect& pixels) {
  QTest::mouseClick(window.Button("SB18"), Qt::LeftButton);
  QWidget* box = window.PGImage1->PicBox();
  QTest::mousePress(box, Qt::LeftButton, Qt::NoModifier, pixels.topLeft());
  // QTest::mouseMove does not carry the pressed button; send the real event.
  for (const QPoint p : {pixels.center(), pixels.bottomRight()}) {
    QMouseEvent move(QEvent::MouseMove, p, box->mapToGlobal(p), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(box, &move);
  }
  QTest::mouseRelease(box, Qt::LeftButton, Qt::NoModifier, pixels.bottomRight());
}

}  // namespace apptest
