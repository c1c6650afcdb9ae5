// The four ways the program opens a VQN file, on real files: what each mode
// reads, its texts and labels, and the errors it reports.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/fileservice.h"
#include "app_fixture.h"
#include "support/same_pixels.h"

namespace apptest {
namespace {

using app::fileservice::LoadMode;
using app::fileservice::LoadWavelet;

TEST(WaveletLoad, ModesTextsAndErrors) {
  QTemporaryDir dir;
  const QString file = dir.filePath("x.vqn");
  WriteImage(file, 64, 40);
  const std::string path = file.toStdString();
  const std::string size = io::KbText(QFileInfo(file).size());
  const auto decoded = io::OpenImage(path);

  auto m1 = LoadWavelet(path, LoadMode::MainWindow);
  EXPECT_EQ(m1.Result, 1);
  EXPECT_EQ(m1.InfoText,
            "Type: VQN, Wavelet 3.0; Size: 64x40; Colors: 16.7M; File size: " + size + " Kb");
  EXPECT_TRUE(m1.Image && korvane_test::SamePixels(*m1.Image, *decoded));
  auto m2 = LoadWavelet(path, LoadMode::DialogPreview);
  const std::array<std::string, 6> labels{"",
                                          "Type: VQN",
                                          "SubType: Wavelet 3.0",
                                          "Size: 64x40 pixeles",
                                          "Colors: 16.7M",
                                          "File size: " + size + " Kb"};
  EXPECT_EQ(m2.Labels, labels);
  EXPECT_TRUE(m2.Image && korvane_test::SamePixels(*m2.Image, *decoded));
  auto m4 = LoadWavelet(path, LoadMode::Batch);
  EXPECT_TRUE(m4.InfoText.empty());
  EXPECT_TRUE(m4.Image && korvane_test::SamePixels(*m4.Image, *decoded));

  // The information mode reads only the header: a file cut right after it still succeeds.
  QByteArray bytes = ReadText(file);
  WriteText(file, bytes.left(44));
  auto m3 = LoadWavelet(path, LoadMode::DialogInfo);
  EXPECT_EQ(m3.Result, 1);
  EXPECT_FALSE(m3.Image);
  EXPECT_EQ(m3.Labels[1], "Type: VQN");
  EXPECT_EQ(LoadWavelet(path, LoadMode::MainWindow).Error, "VQN-file is corrupted!");
  auto corrupt = LoadWavelet(path, LoadMode::DialogPreview);
  EXPECT_EQ(corrupt.Result, 0);
  EXPECT_FALSE(corrupt.Image);

  WriteText(file, "X" + bytes.mid(1));
  auto notVqn = LoadWavelet(path, LoadMode::MainWindow);
  EXPECT_EQ(notVqn.Result, 0);
  EXPECT_TRUE(notVqn.Error.empty());
}

}  // namespace
}  // namespace apptest
