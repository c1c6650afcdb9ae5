// Metafiles through the program's one file service once the drawing component is
// registered: opening draws them, describing reads their headers, writing stays
// refused, and a file the libraries cannot draw fails with the component's error.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "io/files.h"
#include "metafile/metafile.h"
#include "support/peer_image.h"
#include "support/pg_message.h"
#include "support/same_pixels.h"

namespace {

namespace fs = std::filesystem;
using korvane_test::MessageOf;
using korvane_test::SamePixels;
using korvane_test::ScratchDir;
using pgraphic::TPixelGraphic;

const std::string kDir = std::string(KORVANE_TEST_DATA) + "/metafile/";

class MetafileFileService : public testing::Test {
 protected:
  void SetUp() override { metafile::RegisterWithFileService(); }
  void TearDown() override { io::SetMetafileHandler({}); }
  ScratchDir dir_{"metafile_io"};
};

TEST_F(MetafileFileService, OpensAndDescribesEveryFixture) {
  ASSERT_TRUE(io::HasMetafileHandler());
  // Names are matched in any letter case.
  fs::copy_file(kDir + "text.wmf", dir_ / "TEXT.WMF");
  for (const std::string& file : {kDir + "shapes.wmf", kDir + "shapes.emf", kDir + "lines.wmf",
                                  kDir + "text.emf", dir_ / "TEXT.WMF"}) {
    SCOPED_TRACE(file);
    metafile::TMetafileInfo info;
    const auto expected = metafile::LoadMetafileFile(file, &info);
    const auto opened = io::OpenImage(file);
    EXPECT_EQ(opened->PixelFormat(), pgraphic::pf8Bit);
    EXPECT_EQ(opened->PaletteIdent(), pgraphic::pSpecial252);
    EXPECT_TRUE(SamePixels(*opened, *expected));

    const io::TFileDescription d = io::DescribeFile(file);
    EXPECT_EQ(d.TypeName, metafile::MetafileTypeName(info.Kind));
    EXPECT_EQ(d.Info.Width, info.Width);
    EXPECT_EQ(d.Info.Height, info.Height);
    EXPECT_EQ(d.Info.Colors, "256");
    EXPECT_EQ(d.FileSize, static_cast<int64_t>(fs::file_size(file)));
    EXPECT_EQ(d.Text, metafile::MetafileInfoText(info) +
                          "; File size: " + pgraphic::FileSizeKbText(d.FileSize) + " Kb");
  }
}

// Opening into an image the caller prepared keeps its settings and handlers, as
// for every other kind of file.
TEST_F(MetafileFileService, OpenIntoAnImageKeepsItsSettings) {
  TPixelGraphic target;
  target.SetReadWarningAction(pgraphic::pgwaIgnore);
  target.SetSaveColorResWarningAction(pgraphic::pgwaIgnore);
  io::OpenImage(kDir + "shapes.emf", target);
  EXPECT_EQ(target.ReadWarningAction(), pgraphic::pgwaIgnore);
  EXPECT_EQ(target.SaveColorResWarningAction(), pgraphic::pgwaIgnore);
  EXPECT_TRUE(SamePixels(target, *metafile::LoadMetafileFile(kDir + "shapes.emf")));
}

TEST_F(MetafileFileService, DamagedMissingAndWrittenMetafilesFailCleanly) {
  const std::string junk = dir_ / "junk.wmf";
  korvane_test::WriteFileBytes(junk, std::vector<uint8_t>(300, 'x'));
  // A PNG named as a metafile is a metafile by its name, and not one by its bytes.
  const std::string png = dir_ / "png.emf";
  TPixelGraphic small;
  small.SetSize(4, 4, pgraphic::pf24Bit);
  io::SaveImage(small, dir_ / "real.png");
  fs::copy_file(dir_ / "real.png", png);
  for (const std::string& file : {junk, png, dir_ / "missing.wmf"}) {
    SCOPED_TRACE(file);
    EXPECT_THROW(io::OpenImage(file), pgraphic::EPixelGraphic);
    EXPECT_THROW(io::DescribeFile(file), pgraphic::EPixelGraphic);
    io::TFileDescription d;
    EXPECT_FALSE(io::TryDescribeFile(file, d));
  }
  EXPECT_EQ(MessageOf([&] { io::OpenImage(junk); }), "Metafile: Unknown format");

  // Metafiles are read, never written: the save fails and leaves nothing behind.
  for (const char* name : {"out.wmf", "out.EMF"}) {
    EXPECT_THROW(io::SaveImage(small, dir_ / name), pgraphic::EPixelGraphic) << name;
    EXPECT_FALSE(fs::exists(dir_ / name)) << name;
  }
}

// Several threads open metafiles while the handler is installed again: each
// call draws with the handler it started with, and every picture is whole.
TEST_F(MetafileFileService, ThreadsOpenWhileTheHandlerIsReplaced) {
  const std::string files[] = {kDir + "shapes.wmf", kDir + "shapes.emf"};
  // The first picture is drawn here, on the main thread, as Qt wants.
  const std::unique_ptr<TPixelGraphic> expected[] = {metafile::LoadMetafileFile(files[0]),
                                                     metafile::LoadMetafileFile(files[1])};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 3; ++i) {
        const int which = (t + i) % 2;
        if (!SamePixels(*io::OpenImage(files[which]), *expected[which])) ++wrong;
      }
    });
  for (int i = 0; i < 20; ++i) metafile::RegisterWithFileService();
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
}

TEST_F(MetafileFileService, RemovedHandlerLeavesMetafilesToTheReaders) {
  io::SetMetafileHandler({});
  EXPECT_FALSE(io::HasMetafileHandler());
  EXPECT_EQ(MessageOf([&] { io::OpenImage(kDir + "shapes.wmf"); }), "Unknown file format");
  io::TFileDescription d;
  EXPECT_FALSE(io::TryDescribeFile(kDir + "shapes.emf", d));
}

}  // namespace
