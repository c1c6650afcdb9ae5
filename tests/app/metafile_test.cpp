// WMF and EMF files in the main window: drawn and shown as 8-bit images with
// their information text, reached by clicks and by Previous / Next Image; a
// file the drawing libraries refuse is a file that cannot be shown.
#include "metafile/metafile.h"

#include <QDirIterator>

#include "app/fileservice.h"
#include "app_fixture.h"
#include "pgraphic/formats/fileformat.h"
#include "support/same_pixels.h"

namespace apptest {
namespace {

const QString kFixtures = QString(KORVANE_TEST_DATA) + "/metafile/";

class MetafileWindowTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    WriteImage(Image("a.bmp"), 40, 30);
    QFile::copy(kFixtures + "shapes.wmf", Image("shapes.wmf"));
    QFile::copy(kFixtures + "shapes.emf", Image("shapes.emf"));
    // A Windows metafile header followed by records that lead nowhere.
    WriteText(Image("broken.wmf"),
              QByteArray("\x01\x00\x09\x00\x00\x03", 6) + QByteArray(200, '\x7F'));
  }

  // The status text the window must show for a metafile that is drawn.
  static QString ExpectedStatus(const QString& path) {
    const metafile::TMetafileInfo info = metafile::ReadMetafileFileInfo(path.toStdString());
    return QString::fromStdString(metafile::MetafileInfoText(info) + "; File size: " +
                                  pgraphic::FileSizeKbText(QFileInfo(path).size()) + " Kb");
  }
};

TEST_F(MetafileWindowTest, ClicksAndStepsShowMetafilesOrTheNotice) {
  const struct {
    const char* action;  // an item to click, or the Previous / Next button
    const char* shown;
    bool drawn;
  } steps[] = {
      {"broken.wmf", "broken.wmf", false},
      {"shapes.emf", "shapes.emf", true},
      {"SB17", "shapes.wmf", true},
      {"SB16", "shapes.emf", true},
  };
  auto& w = Start({"a.bmp"});
  ASSERT_TRUE(w.ImageLoaded);
  for (const auto& s : steps) {
    SCOPED_TRACE(s.action);
    if (QString(s.action).startsWith("SB"))
      Click(w.Button(s.action));
    else
      ClickItem(s.action);
    const QString path = Image(s.shown);
    EXPECT_EQ(w.CurrentFileName, path);
    EXPECT_EQ(w.windowTitle(), "Korvane v3.52 - " + path);
    EXPECT_EQ(w.ImageLoaded, s.drawn);
    EXPECT_EQ(w.Panel1Caption->isVisible(), !s.drawn);
    for (const char* command : {"Saveas1", "Compress11", "c1", "C4", "Zoom1", "N19"})
      EXPECT_EQ(w.Item(command)->isEnabled(), s.drawn) << command;
    EXPECT_EQ(w.PopupAttached(), s.drawn);
    if (!s.drawn) {
      EXPECT_TRUE(w.StatusText().isEmpty());
      continue;
    }
    EXPECT_EQ(w.StatusText(), ExpectedStatus(path));
    const auto* shown = w.PGImage1->Graphic();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->PixelFormat(), pgraphic::pf8Bit);
    EXPECT_EQ(shown->PaletteIdent(), pgraphic::pSpecial252);
    EXPECT_TRUE(w.Item("N21")->isChecked());  // "2&56 colors"
    EXPECT_TRUE(korvane_test::SamePixels(*shown, *metafile::LoadMetafileFile(path.toStdString())));
  }
}

// The status text of a metafile whose headers cannot be read names its kind by
// extension with the size 0x0, and the file size when the file is there.
TEST(MetafileInfoText, UnreadableMetafilesGetTheirKindByExtension) {
  QTemporaryDir dir;
  const struct {
    const char* name;
    int bytes;  // -1: no such file
    const char* text;
  } cases[] = {
      {"junk.wmf", 2048, "Type: Windows Metafile; Size: 0x0; Colors: 256; File size: 2 Kb"},
      {"junk.EMF", 100, "Type: Enhanced Metafile; Size: 0x0; Colors: 256; File size: 0.1 Kb"},
      {"gone.emf", -1, "Type: Enhanced Metafile; Size: 0x0; Colors: 256"},
  };
  for (const auto& c : cases) {
    const QString path = dir.filePath(c.name);
    if (c.bytes >= 0) WriteText(path, QByteArray(c.bytes, 'x'));
    EXPECT_EQ(app::fileservice::InfoText(path.toStdString()), c.text) << c.name;
  }
}

// A metafile shown is an image like any other: its commands work on it.
TEST_F(MetafileWindowTest, ImageCommandsWorkOnTheDrawing) {
  auto& w = Start({"shapes.wmf"});
  ASSERT_TRUE(w.ImageLoaded);
  const int width = w.PGImage1->Graphic()->Width(), height = w.PGImage1->Graphic()->Height();
  Click(w.Button("SB10"));  // Rotate Right
  EXPECT_EQ(w.PGImage1->Graphic()->Width(), height);
  EXPECT_EQ(w.PGImage1->Graphic()->Height(), width);
  EXPECT_TRUE(w.Item("U1")->isEnabled());
}

// Metafiles that once crashed the drawing and cut copies of the exported ones,
// stepped through with Next Image: each is drawn or refused, the window goes on.
TEST_F(MetafileWindowTest, HostileMetafilesAreDrawnOrRefused) {
  QFile::remove(Image("broken.wmf"));
  QDirIterator crashers(QString(KORVANE_TEST_DATA) + "/crashers", {"metafile-*"}, QDir::Files);
  while (crashers.hasNext()) {
    const QString path = crashers.next();
    QFile::copy(path, Image(QFileInfo(path).fileName()));
  }
  for (const char* name : {"shapes.wmf", "shapes.emf"}) {
    const QByteArray bytes = ReadText(kFixtures + name);
    for (const int length : {10, 40, 100, 300})
      WriteText(Image(QString("cut%1-%2").arg(length, 3, 10, QChar('0')).arg(name)),
                bytes.left(length));
  }
  auto& w = Start({"a.bmp"});
  int drawn = 0, refused = 0;
  for (int step = 1; step < w.PTSList1->Count(); ++step) {
    w.RunHandler("SB17Click");
    const QString shown = QFileInfo(w.CurrentFileName).fileName();
    SCOPED_TRACE(shown.toStdString());
    EXPECT_EQ(shown, w.PTSList1->ItemName(step));
    EXPECT_EQ(w.Panel1Caption->isVisible(), !w.ImageLoaded);
    if (w.ImageLoaded) {
      EXPECT_TRUE(w.StatusText().startsWith("Type: ")) << w.StatusText().toStdString();
      ++drawn;
    } else {
      EXPECT_TRUE(w.StatusText().isEmpty());
      ++refused;
    }
  }
  EXPECT_GT(drawn, 4);
  EXPECT_GT(refused, 2);
}

}  // namespace
}  // namespace apptest
