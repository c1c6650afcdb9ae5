// The view as a widget: layout examples, and the selection and hand scrolling
// driven by real mouse events on its child.
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>

#include "view_fixture.h"

namespace pgraphic::viewtest {
namespace {

TEST_F(ViewTest, LayoutExamplesOnTheWidget) {
  Make(300, 300);
  int zoomChanges = 0;
  view->OnZoomFactorChange = [&](TPGImage&) { ++zoomChanges; };
  Show(Gradient(400, 300));
  view->SetStretch(sZoomKAR);
  view->SetZoomFactor(0.25L);
  EXPECT_EQ(view->DisplayRect().size(), QSize(100, 75));
  view->SetZoomFactor(0);
  EXPECT_EQ(view->DisplayRect().size(), QSize(400, 300));

  Show(Gradient(400, 200));
  view->SetStretch(sAlwaysKAR);
  EXPECT_EQ(view->DisplayRect(), QRect(0, 0, 300, 150));
  EXPECT_DOUBLE_EQ(double(view->EffectiveZoom()), 0.75);
  view->SetCenter(true);
  EXPECT_EQ(view->DisplayRect(), QRect(0, 75, 300, 150));
  view->SetStretch(sAlways);
  EXPECT_EQ(view->EffectiveZoom(), -1);
  EXPECT_EQ(zoomChanges, 4);  // 0.25, 1, 0.75, -1
}

TEST_F(ViewTest, CentredOverflowScrollsToTheMiddle) {
  Make(200, 200);
  view->SetCenter(true);
  Show(Gradient(600, 100));
  const int bar = view->horizontalScrollBar()->maximum();
  EXPECT_GT(bar, 0);
  EXPECT_EQ(view->horizontalScrollBar()->value(), bar / 2);
  EXPECT_EQ(view->DisplayRect().left(), -(bar / 2));
  EXPECT_GT(view->DisplayRect().top(), 0) << "the short axis is centred";
}

TEST_F(ViewTest, CreatingASelectionByDragging) {
  Make(200, 200);
  Show(Gradient(100, 80));
  view->SetActionMode(amMoveResizeCreateSelection);
  int made = 0, changes = 0;
  view->OnSelectionMade = [&](TPGImage&) { ++made; };
  view->OnSelectionChange = [&](TPGImage&) { ++changes; };
  Drag({10, 10}, {4, 20});
  EXPECT_TRUE(view->Selection());
  EXPECT_EQ(view->SelectionLeft(), 4);
  EXPECT_EQ(view->SelectionTop(), 10);
  EXPECT_EQ(view->SelectionWidth(), 7);
  EXPECT_EQ(view->SelectionHeight(), 11);
  EXPECT_EQ(made, 1);
  EXPECT_GE(changes, 2);
  EXPECT_EQ(view->DragState(), dsIdle);

  changes = 0;
  view->SetSelectionRect(4, 10, 7, 11);
  EXPECT_EQ(changes, 0) << "the same rectangle again";
  view->SetSelection(true);
  EXPECT_EQ(changes, 0);
  view->SetSelection(false);
  EXPECT_EQ(changes, 1);
}

TEST_F(ViewTest, TwiceSizeDisplayMapsToHalfCoordinates) {
  Make(300, 300);
  Show(Gradient(100, 80));
  view->SetStretch(sZoomKAR);
  view->SetZoomFactor(2);
  view->SetActionMode(amCreateSelection);
  Drag({10, 31}, {10, 31});
  EXPECT_EQ(view->SelectionLeft(), 5);
  EXPECT_EQ(view->SelectionTop(), 15);
  EXPECT_EQ(view->ImageToDisplayX(5), 10);
  EXPECT_EQ(view->DisplayToImageX(11), 5);
}

TEST_F(ViewTest, HandlesResizeAndKeepOnePixel) {
  Make(200, 200);
  Show(Gradient(100, 80));
  for (TActionMode mode : {amMoveResizeCreateSelection, amNone}) {
    view->SetActionMode(mode);
    view->SetSelection(true);
    view->SetSelectionRect(20, 20, 10, 10);  // display rectangle (20, 20, 30, 30)
    int made = 0;
    view->OnSelectionMade = [&](TPGImage&) { ++made; };
    Drag({35, 25}, {5, 25});  // the right handle, past the left edge
    EXPECT_EQ(view->SelectionLeft(), 20) << int(mode);
    EXPECT_EQ(view->SelectionWidth(), 1) << int(mode);
    Drag({15, 36}, {10, 36});  // bottom-left handle of (20, 20, 21, 30)
    EXPECT_EQ(view->SelectionLeft(), 15) << int(mode);
    EXPECT_EQ(view->SelectionWidth(), 6) << int(mode);
    EXPECT_EQ(made, 2) << int(mode);
  }
  // In amNone a press elsewhere creates nothing.
  view->SetSelection(false);
  Drag({60, 60}, {70, 70});
  EXPECT_FALSE(view->Selection());
}

TEST_F(ViewTest, MovingKeepsTheSelectionOnTheImage) {
  Make(200, 200);
  Show(Gradient(100, 80));
  view->SetActionMode(amMoveSelection);
  view->SetSelection(true);
  view->SetSelectionRect(10, 10, 10, 10);
  int made = 0;
  view->OnSelectionMade = [&](TPGImage&) { ++made; };
  Drag({15, 15}, {500, -300});
  EXPECT_EQ(view->SelectionLeft(), 99);
  EXPECT_EQ(view->SelectionTop(), -9);
  EXPECT_EQ(view->SelectionWidth(), 10);
  Drag({99, 0}, {52, 41});  // pixel (99, 0) is the selection's (0, 9)
  EXPECT_EQ(view->SelectionLeft(), 52);
  EXPECT_EQ(view->SelectionTop(), 32);
  EXPECT_EQ(made, 2);
  // Outside the selection nothing is created in this mode.
  Drag({5, 70}, {8, 75});
  EXPECT_EQ(view->SelectionLeft(), 52);
  EXPECT_EQ(made, 2);
}

TEST_F(ViewTest, HandScrollingFiresNothing) {
  Make(200, 200);
  Show(Gradient(400, 400));
  view->SetActionMode(amMoveImage);
  int events = 0;
  view->OnSelectionMade = [&](TPGImage&) { ++events; };
  view->OnSelectionChange = [&](TPGImage&) { ++events; };
  Press({100, 100});
  EXPECT_EQ(view->DragState(), dsScroll);
  EXPECT_EQ(Box()->cursor().shape(), Qt::BitmapCursor);
  drag = true;
  Move({60, 70});
  // The child moved with the scroll: the same screen point is now (100, 100) again.
  Move({90, 95});
  drag = false;
  Release({90, 95});
  EXPECT_EQ(view->horizontalScrollBar()->value(), 50);
  EXPECT_EQ(view->verticalScrollBar()->value(), 35);
  EXPECT_EQ(view->DisplayRect().topLeft(), QPoint(-50, -35));
  EXPECT_EQ(events, 0);
  EXPECT_FALSE(view->Selection());

  // An image that fits cannot be scrolled: a click does nothing at all.
  Show(Gradient(50, 50));
  Drag({10, 10}, {20, 20});
  EXPECT_EQ(events, 0);
  EXPECT_EQ(view->DragState(), dsIdle);
}

TEST_F(ViewTest, AutoScrollWhileDraggingOutside) {
  Make(200, 200);
  Show(Gradient(600, 600));
  view->SetActionMode(amCreateSelection);
  Press({50, 50});
  drag = true;
  Move({300, 50});  // right of the client area
  EXPECT_TRUE(QTest::qWaitFor([&] { return view->horizontalScrollBar()->value() >= 10; }, 5000));
  EXPECT_EQ(view->horizontalScrollBar()->value() % 5, 0);
  EXPECT_EQ(view->verticalScrollBar()->value(), 0);
  drag = false;
  Release({300, 50});
}

TEST_F(ViewTest, CursorsFollowModeAndPosition) {
  Make(200, 200);
  Show(Gradient(100, 80));
  view->SetActionMode(amMoveResizeCreateSelection);
  view->SetSelection(true);
  view->SetSelectionRect(20, 20, 20, 20);
  struct Case {
    QPoint at;
    Qt::CursorShape shape;
    QPoint hotSpot;  // of own cursors
  };
  const Case cases[] = {
      {{30, 15}, Qt::SizeVerCursor, {}},      {{45, 30}, Qt::SizeHorCursor, {}},
      {{15, 15}, Qt::SizeFDiagCursor, {}},    {{45, 15}, Qt::SizeBDiagCursor, {}},
      {{30, 30}, Qt::BitmapCursor, {16, 15}},  // move
      {{70, 60}, Qt::BitmapCursor, {15, 15}},  // create
  };
  for (const Case& c : cases) {
    Move(c.at);
    const QCursor cursor = Box()->cursor();
    EXPECT_EQ(cursor.shape(), c.shape) << c.at.x() << "," << c.at.y();
    if (c.shape == Qt::BitmapCursor) {
      EXPECT_EQ(cursor.hotSpot(), c.hotSpot);
      EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32));
    }
  }
  QCursor replaced(Qt::CrossCursor);
  view->PicBoxOnSetCursor = [&](TPGImage&, QCursor& c) { c = replaced; };
  Move({70, 60});
  EXPECT_EQ(Box()->cursor().shape(), Qt::CrossCursor);
}

TEST_F(ViewTest, ChildEventsReachTheOwnerHandlersAfterTheView) {
  Make(200, 200);
  Show(Gradient(100, 80));
  view->SetActionMode(amCreateSelection);
  std::string order;
  view->PicBoxOnMouseDown = [&](TPGImage& v, QMouseEvent&) { order += v.Selection() ? "D" : "d"; };
  view->PicBoxOnMouseUp = [&](TPGImage&, QMouseEvent&) { order += "U"; };
  view->OnSelectionMade = [&](TPGImage&) { order += "M"; };
  view->PicBoxOnClick = [&](TPGImage&) { order += "C"; };
  // Handlers that throw must not escape the event handler.
  view->PicBoxOnMouseMove = [&](TPGImage&, QMouseEvent&) { throw std::runtime_error("x"); };
  Drag({10, 10}, {12, 12});
  EXPECT_EQ(order, "DMUC");
}

TEST_F(ViewTest, DropsReachTheOwnerWhenAccepted) {
  Make(200, 200);
  Show(Gradient(100, 80));
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile("/tmp/picture.png")});
  std::string dropped;
  view->PicBoxOnDragOver = [](TPGImage&, QDropEvent& e, bool& accept) {
    accept = e.mimeData()->hasUrls();
  };
  view->PicBoxOnDragDrop = [&](TPGImage&, QDropEvent& e) {
    dropped = e.mimeData()->urls().at(0).toLocalFile().toStdString();
  };
  QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(Box(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(Box(), &drop);
  EXPECT_EQ(dropped, "/tmp/picture.png");

  QMimeData text;
  text.setText("words");
  QDragEnterEvent refused(QPoint(20, 20), Qt::CopyAction, &text, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(Box(), &refused);
  EXPECT_FALSE(refused.isAccepted());
}

}  // namespace
}  // namespace pgraphic::viewtest
