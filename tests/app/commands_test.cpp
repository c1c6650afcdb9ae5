// The image commands of the main window: each driven through its menu item with
// its dialog answered from the test, the result compared with the library's own
// operation applied directly to the picture that was on show.
#include <QSlider>
#include <QSpinBox>

#include "app/imsize.h"
#include "app/my_open.h"
#include "app/quality.h"
#include "app/slide.h"
#include "app_fixture.h"
#include "pgraphic/dialogs/filterdialog.h"
#include "pgraphic/filters/filter.h"
#include "pgraphic/filters/pointfilters.h"
#include "pgraphic/image/colorres.h"
#include "pgraphic/image/geometry.h"

namespace {

using namespace apptest;
using pgraphic::TPixelGraphic;

struct Rect {
  int left, top, width, height;
  bool Contains(int x, int y) const {
    return x >= left && y >= top && x < left + width && y < top + height;
  }
};

// Whether every pixel of a equals b at the same place, limited to (or outside
// of) a rectangle.
bool SamePixels(const TPixelGraphic& a, const TPixelGraphic& b, const Rect* only = nullptr,
                bool inside = true) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      if (only && only->Contains(x, y) != inside) continue;
      if (a.PixelColor(x, y) != b.PixelColor(x, y)) return false;
    }
  return true;
}

void PressButton(QWidget* dialog, const char* name) {
  Click(dialog->findChild<QPushButton*>(name));
}

class CommandsTest : public AppTest {
 protected:
  app::TForm1& Open(int width, int height) {
    WriteImage(Image("p.bmp"), width, height);
    auto& w = Start({"p.bmp"});
    EXPECT_NE(w.PGImage1->Graphic(), nullptr);
    return w;
  }
  std::unique_ptr<TPixelGraphic> Shown() { return window->PGImage1->CopyGraphic(); }
  void Select(const Rect& r) {
    window->PGImage1->SetSelectionRect(r.left, r.top, r.width, r.height);
    window->PGImage1->SetSelection(true);
  }
  // Runs a menu command whose dialog is answered with this button.
  void RunWithDialog(const char* item, const char* button) {
    WhenModal<QDialog>([button](QDialog* d) { PressButton(d, button); });
    window->Item(item)->trigger();
  }
};

TEST_F(CommandsTest, ImageSizeKeepsTheRatioAndCancelArmsNothing) {
  struct Case {
    bool typeWidth;
    int typed, width, height;
  };
  const Case cases[] = {{true, 150, 150, 100}, {false, 101, 152, 101}};
  for (const auto& c : cases) {
    auto& w = Open(300, 200);
    WhenModal<app::TForm7>([&](app::TForm7* d) {
      QSpinBox* edit = c.typeWidth ? d->SEdit1 : d->SEdit2;
      edit->setFocus();
      edit->selectAll();
      QTest::keyClicks(edit, QString::number(c.typed));
      EXPECT_EQ(d->SEdit1->value(), c.width);
      EXPECT_EQ(d->SEdit2->value(), c.height);
      PressButton(d, "OKButton");
    });
    w.Item("ImS1")->trigger();
    EXPECT_EQ(w.PGImage1->Graphic()->Width(), c.width);
    EXPECT_EQ(w.PGImage1->Graphic()->Height(), c.height);
    EXPECT_TRUE(w.Item("U1")->isEnabled());
    window.reset();
  }
  auto& w = Open(30, 20);
  RunWithDialog("ImS1", "CancelButton");
  EXPECT_EQ(w.PGImage1->Graphic()->Width(), 30);
  EXPECT_FALSE(w.Item("U1")->isEnabled());
}

TEST_F(CommandsTest, PointFilterOnA256ColourImageWithAndWithoutSelection) {
  auto& w = Open(24, 18);
  w.Item("N21")->trigger();  // 256 colours
  ASSERT_EQ(w.PGImage1->Graphic()->PixelFormat(), pgraphic::pf8Bit);
  const auto before = Shown();
  const Rect r{3, 2, 10, 7};
  Select(r);
  RunWithDialog("Negative1", "OKButton");
  const auto after = Shown();
  EXPECT_EQ(after->PixelFormat(), pgraphic::pf24Bit);
  EXPECT_TRUE(w.Item("T1")->isChecked());
  EXPECT_TRUE(SamePixels(*after, *before, &r, false));
  pgraphic::TNegativeFilter negative;
  bool insideNegated = true;
  for (int y = r.top; y < r.top + r.height; ++y)
    for (int x = r.left; x < r.left + r.width; ++x)
      insideNegated &= after->PixelColor(x, y) == negative.FilterColor(before->PixelColor(x, y));
  EXPECT_TRUE(insideNegated);

  // Without a selection the filter's own output format is kept.
  Click(w.Button("SB9"));
  ASSERT_TRUE(SamePixels(*Shown(), *before));
  w.PGImage1->RemoveSelection();
  RunWithDialog("Negative1", "OKButton");
  auto expected = std::make_unique<TPixelGraphic>();
  expected->Assign(*before);
  pgraphic::ApplyFilter(*expected, negative, *expected);
  EXPECT_EQ(Shown()->PixelFormat(), expected->PixelFormat());
  EXPECT_TRUE(SamePixels(*Shown(), *expected));
}

TEST_F(CommandsTest, SlidersConfigureExactlyTheFilterApplied) {
  auto& w = Open(20, 16);
  const auto before = Shown();
  std::vector<int> bars;
  WhenModal<QDialog>([&](QDialog* d) {
    auto sliders = d->findChildren<QSlider*>();
    ASSERT_FALSE(sliders.empty());
    QTest::keyClick(sliders[0], Qt::Key_PageUp);
    QTest::keyClick(sliders.back(), Qt::Key_End);
    for (auto* s : sliders) bars.push_back(s->value());
    PressButton(d, "OKButton");
  });
  w.Item("RGB1")->trigger();
  pgraphic::TRGBFilterDialog reference;
  for (size_t i = 0; i < bars.size(); ++i) reference.SetBar(static_cast<int>(i), bars[i]);
  auto expected = std::make_unique<TPixelGraphic>();
  expected->Assign(*before);
  pgraphic::ApplyFilter(*expected, reference.Filter(), *expected);
  EXPECT_FALSE(SamePixels(*expected, *before));
  EXPECT_TRUE(SamePixels(*Shown(), *expected));
}

TEST_F(CommandsTest, CancelWithSelectionStillArmsUndoWhichRestoresTheImage) {
  const char* items[] = {"HSV1", "Grayscale1", "S2", "N15"};
  auto& w = Open(20, 16);
  const auto before = Shown();
  for (const char* item : items) {
    w.Item("N2002")->trigger();  // leaves a zoom in the undo slot
    Select({2, 2, 6, 5});
    RunWithDialog(item, "CancelButton");
    EXPECT_EQ(w.Shown.UndoKind, app::TUndoKind::Image) << item;
    EXPECT_TRUE(w.Item("U1")->isEnabled()) << item;
    w.Item("U1")->trigger();
    EXPECT_TRUE(SamePixels(*Shown(), *before)) << item;
  }
}

TEST_F(CommandsTest, RotateEitherWayTurnsAndRemovesTheSelection) {
  struct Case {
    const char* item;
    pgraphic::TTurn turn;
  };
  const Case cases[] = {{"N5", pgraphic::TTurn::Right90}, {"N6", pgraphic::TTurn::Left90}};
  auto& w = Open(5, 4);
  const auto before = Shown();
  for (const auto& c : cases) {
    Select({1, 1, 2, 2});
    w.Item(c.item)->trigger();
    EXPECT_FALSE(w.PGImage1->Selection());
    EXPECT_FALSE(w.Item("C5")->isEnabled());
    EXPECT_TRUE(SamePixels(*Shown(), *pgraphic::TurnImage(*before, c.turn))) << c.item;
    w.Item("U1")->trigger();
  }
}

TEST_F(CommandsTest, MirrorAndCropWithASelection) {
  struct Case {
    const char* item;
    bool vertical;
  };
  const Case cases[] = {{"V1", true}, {"H2", false}};
  auto& w = Open(20, 16);
  const auto before = Shown();
  const Rect r{4, 3, 9, 6};
  for (const auto& c : cases) {
    Select(r);
    w.Item(c.item)->trigger();
    const auto after = Shown();
    EXPECT_TRUE(SamePixels(*after, *before, &r, false)) << c.item;
    auto part = pgraphic::CropImage(*before, r.left, r.top, r.width, r.height);
    if (c.vertical)
      part->MirrorVertical();
    else
      part->MirrorHorizontal();
    EXPECT_TRUE(SamePixels(*pgraphic::CropImage(*after, r.left, r.top, r.width, r.height), *part));
    w.Item("U1")->trigger();
  }
  Select(r);
  w.PGImage1SelectionMade();
  w.Item("C5")->trigger();
  EXPECT_TRUE(
      SamePixels(*Shown(), *pgraphic::CropImage(*before, r.left, r.top, r.width, r.height)));
  EXPECT_FALSE(w.Item("C5")->isEnabled());
}

// Answers the quality dialog, then the message box of the result.
void CompressAnswering(bool ok) {
  WhenModal<app::TForm3>([ok](app::TForm3* d) {
    if (ok) AnswerMessageBox(QMessageBox::Ok);
    Click(ok ? d->Button1 : d->Button2);
  });
}

TEST_F(CommandsTest, CompressShowsWhatTheSavedFileDecodesTo) {
  auto& w = Open(40, 30);
  const auto before = Shown();
  CompressAnswering(false);
  w.Item("C4")->trigger();
  EXPECT_FALSE(w.Shown.Compressed);
  EXPECT_TRUE(SamePixels(*Shown(), *before));

  // Save with nothing held: asks, compresses, saves nothing.
  AnswerMessageBox(QMessageBox::Yes);
  CompressAnswering(true);
  w.Item("Compress11")->trigger();
  ASSERT_TRUE(w.Shown.Compressed);
  EXPECT_TRUE(QDir(images).entryList({"*.vqn"}).isEmpty());

  const auto shown = Shown();
  w.Settings.CompressPath = images;
  QByteArray first;
  for (int round = 0; round < 2; ++round) {
    QFile::remove(Image("out.vqn"));  // the second save writes afresh
    WhenModal<app::TForm6>([&](app::TForm6* d) {
      d->Edit1->setText("out.vqn");
      Click(d->Button1);
    });
    w.Item("Compress11")->trigger();
    const QByteArray bytes = ReadText(Image("out.vqn"));
    ASSERT_FALSE(bytes.isEmpty());
    if (round == 0) first = bytes;
    EXPECT_EQ(bytes, first);
    EXPECT_TRUE(w.Shown.Compressed);
  }
  EXPECT_TRUE(SamePixels(*codec::LoadVQNFile(Image("out.vqn").toStdString()), *shown));

  // A pixel command ends the compressed state; Undo brings back the original.
  w.Item("V1")->trigger();
  EXPECT_FALSE(w.Shown.Compressed);
  EXPECT_EQ(w.Shown.CompressedData.CodedLength, 0);
}

TEST_F(CommandsTest, UndoOfACompressionRestoresTheOriginal) {
  auto& w = Open(40, 30);
  const auto before = Shown();
  CompressAnswering(true);
  Click(w.Button("SB14"));
  ASSERT_TRUE(w.Shown.Compressed);
  w.Item("U1")->trigger();
  EXPECT_FALSE(w.Shown.Compressed);
  EXPECT_TRUE(SamePixels(*Shown(), *before));
}

// The Enter keys that answer the quality dialog and the result's box are
// released on the browser list: the file named at start-up is not opened again.
TEST_F(CommandsTest, CompressedResultSurvivesKeysReleasedOnTheList) {
  auto& w = Open(40, 30);
  CompressAnswering(true);
  w.Item("C4")->trigger();
  ASSERT_TRUE(w.Shown.Compressed);
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_A}) QTest::keyRelease(w.PTSList1, key);
  EXPECT_TRUE(w.Shown.Compressed);
  EXPECT_GT(w.Shown.CompressedData.CodedLength, 0);
}

// Leaving an edited image asks first, answered through the real box; the slide show waits.
TEST_F(CommandsTest, LeavingAnEditedImageAsksFirst) {
  using Box = QMessageBox;
  const struct {
    char leave;                  // c: list click, k: Down key, x: File > Exit, s: slide show
    Box::StandardButton answer;  // Save: Save copy…, writing `copy` ("": its dialog cancelled)
    const char* copy;
  } cases[] = {{'c', Box::Discard, ""}, {'c', Box::Cancel, ""},  {'k', Box::Save, "z.bmp"},
               {'k', Box::Save, ""},    {'x', Box::Discard, ""}, {'x', Box::Cancel, ""},
               {'s', Box::NoButton, ""}};
  for (const auto& c : cases) {
    WriteImage(Image("q.bmp"), 20, 30);
    QFile::remove(Image("z.bmp"));
    auto& w = Open(30, 20);
    w.Settings.SavePath = images;
    w.Item("N5")->trigger();
    QString asked;
    if (c.answer != Box::NoButton) AnswerMessageBox(c.answer, &asked);
    if (c.answer == Box::Save)
      WhenModal<app::TForm6>([&](app::TForm6* d) {
        d->Edit1->setText(c.copy);
        Click(*c.copy ? d->Button1 : d->Button2);
      });
    if (c.leave == 'c') ClickItem("q.bmp");
    if (c.leave == 'k') QTest::keyClick(w.PTSList1, Qt::Key_Down);
    if (c.leave == 'x') w.Item("Exit1")->trigger();
    if (c.leave == 's') w.Item("N19")->trigger(), w.Timer1Timer();  // a question would hang here
    const bool left = c.answer == Box::Discard || *c.copy;
    EXPECT_EQ(asked, c.answer ? "Save changes to p.bmp?" : "") << c.leave;
    EXPECT_EQ(QFile::exists(Image("z.bmp")), *c.copy != 0);
    EXPECT_EQ(c.leave == 'x' ? !w.isVisible() : w.Shown.FileName == Image("q.bmp"), left);
    EXPECT_EQ(w.PTSList1->ItemPath(w.PTSList1->SelectedIndex()), w.Shown.FileName);
    if (c.leave == 's') {
      EXPECT_EQ(w.StatusText(), app::SlidePausedText);
    }
  }
}

}  // namespace
