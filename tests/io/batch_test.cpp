// Batch conversion of file lists.
#include "io/batch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "support/peer_image.h"
#include "support/truncated_files.h"

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

// A link in the target folder leads one output onto another's file: the later
// one is skipped and counted rather than written over the earlier.
TEST_F(BatchTest, OutputsThroughLinksAreNotWrittenTwice) {
  const std::string a = WriteImage("a.bmp", 5, 3, 1);
  const std::string c = WriteImage("c.bmp", 4, 4, 2);
  std::ofstream(Out() + "/c.png") << "left from before";
  fs::create_symlink("c.png", Out() + "/a.png");
  TBatchSettings s;
  s.TargetFolder = Out();
  s.Format = TBatchFormat::PNG;
  const TBatchResult r = ConvertFiles({a, c}, s, {});
  EXPECT_EQ(r.Converted, 1);
  EXPECT_EQ(r.SkippedSameName, std::vector<std::string>{c});
  TPixelGraphic written, source;
  written.LoadFromFile(Out() + "/c.png");
  source.LoadFromFile(a);
  EXPECT_EQ(written.PixelColor(4, 2), source.PixelColor(4, 2));
  EXPECT_TRUE(fs::is_symlink(Out() + "/a.png"));
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

// A mixed folder converted into itself: name collisions, an output that would
// replace a source still to be read, unreadable files, a folder, and files
// that end early (whose warnings are questions). Any number of workers writes
// the bytes one writes and shows the same files done, failures and questions,
// in list order and on the caller's thread; a stop leaves only whole outputs,
// each one as the full run wrote it.
TEST_F(BatchTest, WorkersWriteWhatOneWritesAndReportTheSame) {
  for (const char* name : {"a.bmp", "a.png", "b.tga", "Photo.BMP", "photo.bmp", "c.tif", "d.png"})
    WriteImage(name, 40 + name[0], 30, name[1]);
  std::ofstream(dir_ / "in" / "broken.bmp") << "not a picture";
  fs::create_directory(dir_ / "in" / "sub");
  for (const char* name : {"short.bmp", "end.tga"}) {
    korvane_test::WriteFileBytes(
        (dir_ / "in" / name).string(),
        korvane_test::TruncatedPicture(fs::path(name).extension().string().substr(1), 300));
  }
  struct TRun {
    std::map<std::string, std::vector<uint8_t>> tree;
    std::vector<std::string> log;  // files done and questions, in the order told
    TBatchResult result;
  };
  const std::thread::id caller = std::this_thread::get_id();
  auto run = [&](int jobs, int stopAt) {
    const fs::path folder = dir_ / ("run" + std::to_string(jobs) + "_" + std::to_string(stopAt));
    fs::copy(dir_ / "in", folder, fs::copy_options::recursive);
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    TRun r;
    SetQuestionHook([&](const std::string&, const std::string& text, bool) {
      r.log.push_back("asked " + text + (std::this_thread::get_id() == caller ? "" : " elsewhere"));
      return true;
    });
    TBatchSettings s{.TargetFolder = folder.string(), .Format = TBatchFormat::PNG};
    s.ReadWarningAction = pgwaOKBox;
    s.Jobs = jobs;
    TBatchHooks hooks;
    int calls = 0, meter = 0;
    hooks.Progress = [&](int p) {
      EXPECT_GE(p, meter);
      meter = p;
      return ++calls == stopAt;
    };
    hooks.FileDone = [&](const std::string& file, const std::string& error) {
      r.log.push_back(fs::path(file).filename().string() + " " + error.substr(0, 8));
    };
    r.result = ConvertFiles(files, s, hooks);
    SetQuestionHook({});
    EXPECT_EQ(meter, stopAt < 0 ? 100 : meter);
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.is_regular_file())
        r.tree[entry.path().filename().string()] =
            korvane_test::ReadFileBytes(entry.path().string());
    return r;
  };
  const TRun one = run(1, -1);
  EXPECT_EQ(one.result.Converted, 7);
  EXPECT_EQ(one.result.Failed.size(), 2u);
  EXPECT_EQ(one.result.SkippedSameName.size(), 2u);
  EXPECT_EQ(std::count_if(one.log.begin(), one.log.end(),
                          [](const std::string& l) { return l.starts_with("asked"); }),
            2);
  for (const int jobs : {2, 3, 8}) {
    const TRun many = run(jobs, -1);
    EXPECT_EQ(many.tree, one.tree) << jobs << " workers";
    EXPECT_EQ(many.log, one.log) << jobs << " workers";
    EXPECT_EQ(many.result.ProblemLines().size(), one.result.ProblemLines().size());
    // Stopped while the second file is under way: whatever was written is whole
    // and as the full run wrote it, and only files told done were written.
    const TRun stopped = run(jobs, 5);
    EXPECT_TRUE(stopped.result.Interrupted);
    std::set<std::string> told;
    for (const std::string& line : stopped.log)
      if (line.ends_with(" ")) told.insert(BatchOutputName(line, "", TBatchFormat::PNG).substr(1));
    EXPECT_EQ(static_cast<int>(told.size()), stopped.result.Converted);
    for (const auto& [name, bytes] : stopped.tree) {
      const bool input = fs::exists(dir_ / "in" / name);
      EXPECT_TRUE(bytes == one.tree.at(name) ||
                  (input && !told.count(name) &&
                   bytes == korvane_test::ReadFileBytes((dir_ / "in" / name).string())))
          << name;
      EXPECT_TRUE(input || told.count(name)) << name;
    }
  }
}

}  // namespace
}  // namespace io
