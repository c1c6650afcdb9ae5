// WMF and EMF files in the main window: drawn and shown as 8-bit images with their
// information text, reached by clicks and by Previous / Next Image; a file the
// drawing libraries refuse is a file that cannot be shown.
#include "metafile/metafile.h"

#include "app_fixture.h"
#include "pgraphic/formats/fileformat.h"
#include "support/same_pixels.h"

namespace apptest {
namespace {

TEST_F(AppTest, MetafilesAreDrawnOrCannotBeViewed) {
  const QString fixtures = QString(KORVANE_TEST_DATA) + "/metafile/";
  WriteImage(Image("a.bmp"), 40, 30);
  QFile::copy(fixtures + "shapes.wmf", Image("shapes.wmf"));
  QFile::copy(fixtures + "shapes.emf", Image("shapes.emf"));
  // A Windows metafile header followed by records that lead nowhere.
  WriteText(Image("broken.wmf"), QByteArray("\x01\x00\x09\x00\x00\x03", 6) + QByteArray(200, 0x7F));
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
  for (const auto& s : steps) {
    SCOPED_TRACE(s.action);
    if (QString(s.action).startsWith("SB"))
      Click(w.Button(s.action));
    else
      ClickItem(s.action);
    const QString path = Image(s.shown);
    EXPECT_EQ(w.windowTitle(), "Korvane v3.52 - " + path);
    EXPECT_EQ(w.Shown.Loaded, s.drawn);
    EXPECT_EQ(w.Panel1Caption->isVisible(), !s.drawn);
    for (const char* command : {"Saveas1", "Compress11", "c1", "C4", "Zoom1", "N19"})
      EXPECT_EQ(w.Item(command)->isEnabled(), s.drawn) << command;
    if (!s.drawn) {
      EXPECT_TRUE(w.StatusText().isEmpty());
      continue;
    }
    const std::string file = path.toStdString();
    EXPECT_EQ(w.StatusText().toStdString(),
              metafile::MetafileInfoText(metafile::ReadMetafileFileInfo(file)) +
                  "; File size: " + pgraphic::FileSizeKbText(QFileInfo(path).size()) + " Kb");
    const auto* shown = w.PGImage1->Graphic();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->PaletteIdent(), pgraphic::pSpecial252);
    EXPECT_TRUE(w.Item("N21")->isChecked());  // "2&56 colors"
    EXPECT_TRUE(korvane_test::SamePixels(*shown, *metafile::LoadMetafileFile(file)));
  }
}

}  // namespace
}  // namespace apptest
