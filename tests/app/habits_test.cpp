// Small habits of a viewer: files dropped on the image open the first one, the
// quality track bars show their number, the batch dialog starts in the folder
// the browser shows.
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "app/convers.h"
#include "app/quality.h"
#include "app_fixture.h"

namespace {

using namespace apptest;

TEST_F(AppTest, DropSlidersAndBatchFolder) {
  QDir().mkpath(Image("sub"));
  WriteImage(Image("a.bmp"), 7, 4);
  WriteImage(Image("sub/b.bmp"), 9, 5);
  auto& w = Start();
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(Image("sub")), QUrl::fromLocalFile(Image("sub/b.bmp")),
                QUrl::fromLocalFile(Image("a.bmp"))});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(w.Panel1, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(w.Panel1, &drop);
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.Shown.FileName == Image("sub/b.bmp"); }));
  EXPECT_EQ(w.PGImage1->Graphic()->Width(), 9);
  EXPECT_EQ(w.PTSList1->Folder(), Image("sub"));
  // On the picture itself.
  data.setUrls({QUrl::fromLocalFile(Image("a.bmp"))});
  QDragEnterEvent enterPicture(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(w.PGImage1->PicBox(), &enterPicture);
  EXPECT_TRUE(enterPicture.isAccepted());
  QDropEvent onPicture(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(w.PGImage1->PicBox(), &onPicture);
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.Shown.FileName == Image("a.bmp"); }));
  w.Pane->ShowFolder(Image("sub"));

  for (QSlider* slider : {w.Form4->TrBar1, app::Child<app::TForm3>(w).TrBar1}) {
    slider->setValue(40);
    EXPECT_EQ(slider->parentWidget()->findChild<QLabel*>("TrBar1Value")->text(), "40");
  }

  QString batchFolder;
  WhenModal<app::TForm8>([&](app::TForm8* d) {
    batchFolder = d->PTSList1->Folder();
    QTest::keyClick(d, Qt::Key_Escape);
  });
  Click(w.Button("SB3"));
  EXPECT_EQ(batchFolder, Image("sub"));
}

}  // namespace
