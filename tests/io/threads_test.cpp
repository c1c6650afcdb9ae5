// Several threads opening, describing and saving different formats at once give
// exactly what one thread alone gives. Run under the thread sanitizer (the tsan
// preset), this is the check that formats keep no shared per-call state.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "io/files.h"
#include "pgraphic/formats/jpeg.h"
#include "pgraphic/formats/tiff.h"
#include "support/peer_image.h"

namespace io {
namespace {

namespace fs = std::filesystem;
using korvane_test::ReadFileBytes;
using korvane_test::ScratchDir;
using pgraphic::TPixelGraphic;

// Size, format and every pixel colour folded into one number.
uint64_t Fingerprint(const TPixelGraphic& g) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](uint64_t v) { h = (h ^ v) * 1099511628211ull; };
  mix(static_cast<uint64_t>(g.Width()));
  mix(static_cast<uint64_t>(g.Height()));
  mix(g.PixelFormat());
  for (int y = 0; y < g.Height(); ++y)
    for (int x = 0; x < g.Width(); ++x) mix(g.PixelColor(x, y));
  return h;
}

class ConcurrentFiles : public ::testing::Test {
 protected:
  struct Expected {
    uint64_t pixels;
    std::string text;
  };

  void SetUp() override {
    auto source = std::make_unique<TPixelGraphic>();
    source->SetSize(97, 61, pgraphic::pf24Bit);
    std::mt19937 rng(7);
    for (int y = 0; y < 61; ++y)
      for (int x = 0; x < 97; ++x)
        source->SetPixelColor(x, y, pgraphic::RGB(x * 2, y * 4, rng() & 0xFF));
    for (const char* ext : kWritten) SaveImage(*source, dir_ / (std::string("in.") + ext));
    // Formats without a writer come from the fuzz seeds.
    const std::string seeds = std::string(KORVANE_SOURCE_DIR) + "/fuzz/corpus/";
    for (const char* seed : {"gif/interlaced256.gif", "gif/anim.gif", "ico/im-8bit.ico",
                             "pcx/p8.pcx", "pcx/p24.pcx"}) {
      fs::copy_file(seeds + seed, dir_ / fs::path(seed).filename().string());
    }
    for (const auto& entry : fs::directory_iterator(dir_.Path())) {
      const std::string path = entry.path().string();
      expected_[path] = {Fingerprint(*OpenImage(path)), DescribeFile(path).Text};
    }
    // What each writer makes of one image, written by this thread alone.
    const auto reference = OpenImage(dir_ / "in.png");
    for (const char* ext : kWritten) {
      const std::string path = dir_ / (std::string("reference.") + ext);
      SaveImage(*reference, path);
      saved_[ext] = ReadFileBytes(path);
    }
  }

  static constexpr const char* kWritten[] = {"bmp", "png", "jpg", "tif", "tga", "ppm", "vqn"};
  ScratchDir dir_{"io_threads"};
  std::map<std::string, Expected> expected_;
  std::map<std::string, std::vector<uint8_t>> saved_;
};

TEST_F(ConcurrentFiles, LoadDescribeAndSaveFromSeveralThreads) {
  std::vector<std::string> inputs;
  for (const auto& [path, expected] : expected_) inputs.push_back(path);
  constexpr int kThreads = 4;
  constexpr int kRounds = 3;
  std::atomic<int> mismatches{0};
  std::atomic<bool> done{false};

  auto work = [&](int t) {
    // An image belongs to one thread at a time: each saves its own copy.
    const std::unique_ptr<TPixelGraphic> image = OpenImage(dir_ / "in.png");
    const size_t n = inputs.size();
    for (int round = 0; round < kRounds; ++round) {
      for (size_t i = 0; i < n; ++i) {
        const std::string& path = inputs[(i + static_cast<size_t>(t) * 3) % n];
        const Expected& want = expected_.at(path);
        if (Fingerprint(*OpenImage(path)) != want.pixels) ++mismatches;
        if (DescribeFile(path).Text != want.text) ++mismatches;
        const char* ext = kWritten[(i + static_cast<size_t>(t)) % std::size(kWritten)];
        std::string name = std::to_string(t);
        name.append(".").append(ext);
        const std::string out = dir_ / name;
        SaveImage(*image, out);
        if (ReadFileBytes(out) != saved_.at(ext)) ++mismatches;
      }
    }
  };
  // Meanwhile the settings the writers read are set again and again (to the
  // values they have, so the files stay the same).
  std::thread settings([&] {
    const int quality = pgraphic::PGJPEGQuality;
    const bool motorola = pgraphic::PGTIFFMotorola;
    while (!done) {
      pgraphic::PGJPEGQuality = quality;
      pgraphic::PGTIFFMotorola = motorola;
      std::this_thread::yield();
    }
  });
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(work, t);
  for (auto& thread : threads) thread.join();
  done = true;
  settings.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace io
