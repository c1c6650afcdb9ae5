// korvane-cli on WMF and EMF metafiles: described, converted and batch-converted
// through the drawing component when the tool is built with it, and refused with
// the readers' message when it is not. No display is needed either way.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli_run.h"
#include "io/files.h"
#include "support/metafile_peer.h"
#include "support/peer_image.h"
#include "support/same_pixels.h"
#ifdef KORVANE_METAFILES
#include "metafile/metafile.h"
#endif

namespace fs = std::filesystem;

namespace {

using korvane_test::CliResult;
using korvane_test::SamePixels;

const std::string kDir = std::string(KORVANE_TEST_DATA) + "/metafile/";

struct CliMetafile : korvane_test::ScratchFolderTest {
  CliMetafile() : ScratchFolderTest("cli-metafile") {}
  // The tool on a platform that would need a display, with none.
  CliResult Run(const std::string& arguments) {
    return korvane_test::RunProgram(
        "/usr/bin/env", "-u DISPLAY QT_QPA_PLATFORM=xcb '" KORVANE_CLI "' " + arguments, dir);
  }
  void Copy(const std::string& fixture, const std::string& name) {
    fs::copy_file(kDir + fixture, dir / name);
  }
};

}  // namespace

#ifdef KORVANE_METAFILES

// Each exported drawing is described as the status bar would and converted to the
// very picture the program shows, which stays within the tolerance of the peer's
// own rendering.
TEST_F(CliMetafile, InfoAndConvertMatchTheDrawingAndThePeer) {
  for (const std::string drawing : {"shapes", "lines"}) {
    for (const std::string ext : {"wmf", "emf"}) {
      const std::string name = drawing + "." + ext;
      SCOPED_TRACE(name);
      Copy(name, name);
      metafile::TMetafileInfo info;
      const auto shown = metafile::LoadMetafileFile(kDir + name, &info);

      CliResult r = Run("info " + P(name));
      EXPECT_EQ(r.out, (dir / name).string() + ": " + metafile::MetafileInfoText(info) +
                           "; File size: " + pgraphic::FileSizeKbText(fs::file_size(dir / name)) +
                           " Kb\n")
          << r.err;

      r = Run("convert " + P(name) + " " + P(name + ".png"));
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.err, "");
      const auto written = io::OpenImage((dir / (name + ".png")).string());
      EXPECT_TRUE(SamePixels(*written, *shown));
      const auto peer = korvane_test::DecodeWithImageMagick(kDir + drawing + ".png");
      ASSERT_TRUE(peer);
      EXPECT_LT(korvane_test::CompareWithPeer(*written, *peer).blockMean,
                korvane_test::MetafileToleranceFor(ext == "emf").mean);

      // Metafiles are read, never written.
      EXPECT_EQ(Run("convert " + P(name) + " " + P("out." + ext)).status, 1);
      EXPECT_FALSE(fs::exists(dir / ("out." + ext)));
    }
  }
}

TEST_F(CliMetafile, BatchReadsMetafilesAndSkipsDamagedOnes) {
  Copy("shapes.wmf", "Shapes.WMF");
  Copy("text.emf", "text.emf");
  korvane_test::WriteFileBytes((dir / "junk.wmf").string(), std::vector<uint8_t>(200, 'x'));
  const CliResult r =
      Run("batch --to out --format bmp --rotate right Shapes.WMF junk.wmf text.emf");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Conversion is complete! 2 of 3 files converted, 1 failed.\n");
  EXPECT_NE(r.err.find("junk.wmf: Metafile: Unknown format"), std::string::npos) << r.err;
  const auto text = io::OpenImage((dir / "out" / "text.bmp").string());
  const metafile::TMetafileInfo info = metafile::ReadMetafileFileInfo(kDir + "text.emf");
  EXPECT_EQ(text->Width(), info.Height);  // turned right
  EXPECT_EQ(text->Height(), info.Width);
  EXPECT_TRUE(fs::exists(dir / "out" / "shapes.bmp"));
  EXPECT_FALSE(fs::exists(dir / "out" / "junk.bmp"));
}

#else

// Built without the drawing component, a metafile is a file no reader knows.
TEST_F(CliMetafile, MetafilesAreUnknownWithoutTheDrawingComponent) {
  Copy("shapes.wmf", "s.wmf");
  for (const std::string& line : {"info " + P("s.wmf"), "convert " + P("s.wmf") + " o.png"}) {
    const CliResult r = Run(line);
    EXPECT_EQ(r.status, 1) << line;
    EXPECT_NE(r.err.find("Unknown file format"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir / "o.png"));
}

#endif
