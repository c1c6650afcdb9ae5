// Batch conversion of file lists.
#include "io/batch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

namespace io {
namespace {

namespace fs = std::filesystem;
using namespace pgraphic;

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("korvane_batch_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "in");
    fs::create_directories(dir_ / "out");
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string WriteImage(const std::string& name, int w, int h, unsigned seed) {
    TPixelGraphic g;
    g.SetSize(w, h, pf24Bit);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) g.SetPixel(x, y, rng() & 0xFFFFFF);
    const std::string path = (dir_ / "in" / name).string();
    g.SaveToFile(path);
    return path;
  }

  std::string Out() const { return (dir_ / "out").string(); }

  fs::path dir_;
};

TEST_F(BatchTest, OutputNames) {
  EXPECT_EQ(BatchOutputName("/a/b/photo.JPEG", "/t", TBatchFormat::PNG), "/t/photo.png");
  EXPECT_EQ(BatchOutputName("photo.JPEG", "/t/", TBatchFormat::PNG), "/t/photo.png");
  EXPECT_EQ(BatchOutputName("My.Holiday.BMP", "out", TBatchFormat::TIF), "out/my.holiday.tif");
  EXPECT_EQ(BatchOutputName("README", "out", TBatchFormat::VQN), "out/readme.vqn");
  TBatchFormat f;
  ASSERT_TRUE(BatchFormatFromName("JPEG", f));
  EXPECT_EQ(f, TBatchFormat::JPG);
  EXPECT_FALSE(BatchFormatFromName("gif", f));
}

TEST_F(BatchTest, FailuresAreCountedAndNamedAndTheRunGoesOn) {
  const std::string good1 = WriteImage("one.bmp", 5, 3, 1);
  const std::string garbage = (dir_ / "in" / "broken.bmp").string();
  std::ofstream(garbage) << "this is not an image";
  const std::string missing = (dir_ / "in" / "missing.bmp").string();
  const std::string good2 = WriteImage("Two.BMP", 4, 4, 2);
  TBatchSettings s;
  s.TargetFolder = Out();
  std::vector<std::string> done;
  TBatchHooks hooks;
  hooks.FileDone = [&](const std::string& file, const std::string& error) {
    done.push_back(fs::path(file).filename().string() + (error.empty() ? "" : " failed"));
  };
  const TBatchResult r = ConvertFiles({good1, garbage, missing, good2}, s, hooks);
  EXPECT_EQ(r.Converted, 2);
  ASSERT_EQ(r.Failed.size(), 2u);
  EXPECT_EQ(r.Failed[0].File, garbage);
  EXPECT_EQ(r.Failed[1].File, missing);
  EXPECT_FALSE(r.Failed[0].Message.empty());
  EXPECT_FALSE(r.Interrupted);
  EXPECT_EQ(r.Message, "Conversion is complete!");
  EXPECT_EQ(done, (std::vector<std::string>{"one.bmp", "broken.bmp failed", "missing.bmp failed",
                                            "Two.BMP"}));
  EXPECT_TRUE(fs::exists(Out() + "/one.bmp"));
  EXPECT_TRUE(fs::exists(Out() + "/two.bmp"));

  // A write that fails is a failure too, not a silent success: here a folder
  // stands where the VQN file would go.
  s.Format = TBatchFormat::VQN;
  fs::create_directory(Out() + "/one.vqn");
  const TBatchResult v = ConvertFiles({good1}, s, {});
  EXPECT_EQ(v.Converted, 0);
  ASSERT_EQ(v.Failed.size(), 1u);
  EXPECT_TRUE(fs::is_directory(Out() + "/one.vqn"));
}

TEST_F(BatchTest, MirrorTurnAndColourResolution) {
  const std::string in = WriteImage("pic.bmp", 6, 4, 3);
  TPixelGraphic source;
  source.LoadFromFile(in);
  TBatchSettings s;
  s.TargetFolder = Out();
  s.Rotate = TBatchRotate::Right;
  s.Mirror = TBatchMirror::Vertical;
  ASSERT_EQ(ConvertFiles({in}, s, {}).Converted, 1);
  TPixelGraphic out;
  out.LoadFromFile(Out() + "/pic.bmp");
  ASSERT_EQ(out.Width(), 4);
  ASSERT_EQ(out.Height(), 6);
  EXPECT_EQ(out.PixelFormat(), pf24Bit);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) {
      // Mirrored vertically: (x, 3 - y); then turned right: (H - 1 - y', x').
      ASSERT_EQ(out.PixelColor(3 - (3 - y), x), source.PixelColor(x, y));
    }

  s.Rotate = TBatchRotate::Half;
  s.Mirror = TBatchMirror::None;
  s.Colors = ccGray256;
  ASSERT_EQ(ConvertFiles({in}, s, {}).Converted, 1);
  TPixelGraphic gray;
  gray.LoadFromFile(Out() + "/pic.bmp");
  EXPECT_EQ(gray.PixelFormat(), pf8Bit);
  EXPECT_EQ(gray.Width(), 6);
  EXPECT_TRUE(gray.IsGray());
}

TEST_F(BatchTest, MeterRisesInEqualStepsAndStopEndsTheRun) {
  const std::vector<std::string> files = {
      WriteImage("a.bmp", 3, 3, 4), WriteImage("b.bmp", 3, 3, 5), WriteImage("c.bmp", 3, 3, 6)};
  TBatchSettings s;
  s.TargetFolder = Out();
  std::vector<int> meter;
  TBatchHooks hooks;
  hooks.Progress = [&](int p) {
    if (meter.empty() || meter.back() != p) meter.push_back(p);
    return false;
  };
  ConvertFiles(files, s, hooks);
  // The meter stays at 100 for the closing message; the caller resets it.
  EXPECT_EQ(meter, (std::vector<int>{0, 11, 22, 33, 44, 56, 67, 78, 89, 100}));

  fs::remove_all(Out());
  fs::create_directory(Out());
  int calls = 0;
  hooks.Progress = [&](int) { return ++calls == 3; };  // stop after the first file was read
  const TBatchResult r = ConvertFiles(files, s, hooks);
  EXPECT_TRUE(r.Interrupted);
  EXPECT_EQ(r.Message, "Conversion was interrupted by user.");
  EXPECT_EQ(r.Converted, 0);
  EXPECT_TRUE(fs::is_empty(Out())) << "a stop before writing writes nothing";
}

TEST_F(BatchTest, RunsThatCannotStart) {
  TBatchSettings s;
  auto message = [&](const std::vector<std::string>& files,
                     const TBatchHooks& hooks) -> std::string {
    try {
      ConvertFiles(files, s, hooks);
    } catch (const EBatchConversion& e) {
      return e.what();
    }
    return "(ran)";
  };
  const std::string file = WriteImage("x.bmp", 2, 2, 7);
  EXPECT_EQ(message({}, {}), "No files are selected!");
  s.TargetFolder = "   ";
  EXPECT_EQ(message({file}, {}), "Please, fill destination path.");
  const std::string deep = (dir_ / "no" / "such").string();
  s.TargetFolder = deep;
  std::string asked;
  TBatchHooks yes;
  yes.ConfirmCreate = [&](const std::string& q) {
    asked = q;
    return true;
  };
  EXPECT_EQ(message({file}, yes), "Can not create directory " + deep);
  EXPECT_EQ(asked, "Directory " + deep + " does not exist. Create?");
  EXPECT_EQ(message({file}, {}), "") << "declined: stop silently";
  const std::string shallow = (dir_ / "fresh").string();
  s.TargetFolder = shallow;
  EXPECT_EQ(message({file}, yes), "(ran)");
  EXPECT_TRUE(fs::exists(shallow + "/x.bmp"));
}

TEST_F(BatchTest, AnOutputWrittenInTheRunIsNeverOverwritten) {
  struct Case {
    std::vector<std::string> sources;  // written in this order, each with its own colours
    TBatchFormat format;
    std::vector<std::string> skipped;
    std::string message;
  };
  const std::string complete = "Conversion is complete!";
  const Case cases[] = {
      {{"Photo.BMP", "photo.bmp"}, TBatchFormat::BMP, {"photo.bmp"},
       complete + " 1 file was skipped: its output name was already written in this run."},
      {{"a.bmp", "A.png", "b.bmp", "a.tga"}, TBatchFormat::PNG, {"A.png", "a.tga"},
       complete + " 2 files were skipped: their output names were already written in this run."},
      {{"x.bmp", "y.bmp"}, TBatchFormat::TIF, {}, complete},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir_ / "in");
    fs::remove_all(Out());
    fs::create_directories(dir_ / "in");
    fs::create_directories(Out());
    std::vector<std::string> files;
    for (size_t i = 0; i < c.sources.size(); ++i)
      files.push_back(WriteImage(c.sources[i], 3 + static_cast<int>(i), 2, 10 + i));
    TBatchSettings s;
    s.TargetFolder = Out();
    s.Format = c.format;
    int last = -1;
    TBatchHooks hooks;
    hooks.Progress = [&](int p) {
      last = p;
      return false;
    };
    const TBatchResult r = ConvertFiles(files, s, hooks);
    std::vector<std::string> skipped;
    for (const std::string& f : r.SkippedSameName) skipped.push_back(fs::path(f).filename());
    EXPECT_EQ(skipped, c.skipped) << c.sources[0];
    EXPECT_EQ(r.Converted + skipped.size(), c.sources.size());
    EXPECT_EQ(r.FinalMessage(), c.message);
    EXPECT_EQ(r.Message, complete);
    EXPECT_EQ(last, 100) << "files left out still take their share of the meter";
    // Every output holds the first source of its name (told apart by width).
    for (size_t i = 0; i < c.sources.size(); ++i) {
      if (std::find(c.skipped.begin(), c.skipped.end(), c.sources[i]) != c.skipped.end()) continue;
      TPixelGraphic out;
      out.LoadFromFile(BatchOutputName(files[i], Out(), c.format));
      EXPECT_EQ(out.Width(), 3 + static_cast<int>(i)) << c.sources[i];
    }
  }
}

TEST_F(BatchTest, SettingsChosenBeforeTheRunAndCancellingThere) {
  const std::string in = WriteImage("q.bmp", 4, 4, 8);
  TBatchSettings s;
  s.TargetFolder = (dir_ / "made").string();
  TBatchHooks hooks;
  std::vector<std::string> order;
  hooks.ConfirmCreate = [&](const std::string&) {
    order.push_back("create");
    return true;
  };
  hooks.BeforeRun = [&](TBatchSettings& settings) {
    order.push_back("before run");
    settings.Colors = ccGray256;
    return true;
  };
  ASSERT_EQ(ConvertFiles({in}, s, hooks).Converted, 1);
  EXPECT_EQ(order, (std::vector<std::string>{"create", "before run"}));
  TPixelGraphic out;
  out.LoadFromFile(s.TargetFolder + "/q.bmp");
  EXPECT_TRUE(out.IsGray());

  fs::remove_all(s.TargetFolder);
  bool progressed = false;
  hooks.BeforeRun = [](TBatchSettings&) { return false; };
  hooks.Progress = [&](int) { return progressed = true, false; };
  const TBatchResult r = ConvertFiles({in}, s, hooks);
  EXPECT_TRUE(r.Interrupted);
  EXPECT_EQ(r.Message, "Conversion was interrupted by user.");
  EXPECT_FALSE(progressed);
  EXPECT_TRUE(fs::is_empty(s.TargetFolder));
}

// A stop asked for from another thread at any moment (as a window's Stop
// button does) leaves only whole output files behind.
TEST_F(BatchTest, StopFromAnotherThreadLeavesOnlyWholeFiles) {
  std::vector<std::string> files;
  for (int i = 0; i < 30; ++i) files.push_back(WriteImage(std::to_string(i) + ".bmp", 400, 300, i));
  for (const TBatchFormat format : {TBatchFormat::PNG, TBatchFormat::VQN}) {
    fs::remove_all(Out());
    fs::create_directory(Out());
    std::atomic<bool> stop{false};
    std::atomic<int> done{0};
    TBatchSettings s;
    s.TargetFolder = Out();
    s.Format = format;
    TBatchHooks hooks;
    hooks.Progress = [&](int) { return stop.load(); };
    hooks.FileDone = [&](const std::string&, const std::string&) { ++done; };
    TBatchResult r;
    std::thread run([&] { r = ConvertFiles(files, s, hooks); });
    while (done < 3) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    stop = true;
    run.join();
    int outputs = 0;
    for (const auto& entry : fs::directory_iterator(Out())) {
      ++outputs;
      const std::string name = entry.path().filename();
      ASSERT_NE(name[0], '.') << "a temporary file was left: " << name;
      auto image = OpenImage(entry.path().string());
      EXPECT_EQ(image->Width(), 400) << name;
      EXPECT_EQ(image->Height(), 300) << name;
    }
    EXPECT_EQ(outputs, r.Converted);
    EXPECT_EQ(r.Interrupted, r.Converted < 30) << "the stop may come after the last check point";
  }
}

}  // namespace
}  // namespace io
