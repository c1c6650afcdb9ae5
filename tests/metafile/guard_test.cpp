// Metafiles drawn in the helper process: what crashes, stalls or overruns the
// players there is an error of that file here, and good files come back with
// exactly the pixels the drawing in this process gives.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

#include "io/files.h"
#include "metafile/metafile.h"
#include "support/pg_message.h"
#include "support/same_pixels.h"

namespace {

using pgraphic::TPGSettingScope;

struct TWriter {
  std::vector<uint8_t> b;
  TWriter& U16(int v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
  }
  TWriter& U32(uint32_t v) {
    return U16(static_cast<int>(v & 0xFFFF)).U16(static_cast<int>(v >> 16));
  }
  // A WMF record: its length in words, its function, its parameters.
  TWriter& Record(int function, std::initializer_list<int> params) {
    U32(static_cast<uint32_t>(3 + params.size())).U16(function);
    for (const int p : params) U16(p);
    return *this;
  }
};

// A w x h WMF: walls one unit wide every third unit, open at alternate ends, so
// one corridor winds through the whole picture; then a flood fill from its
// start, which the player follows one recursion per step down the corridor.
std::vector<uint8_t> MazeWmf(int w, int h) {
  TWriter r;
  r.U16(1).U16(9).U16(0x0300).U32(0).U16(3).U32(6).U16(0);  // header; size patched below
  r.Record(0x020B, {0, 0}).Record(0x020C, {h, w});          // window origin, extent
  r.Record(0x02FA, {5, 0, 0, 0, 0}).Record(0x012D, {0});    // null pen
  r.Record(0x02FC, {0, 0, 0, 0}).Record(0x012D, {1});       // black brush
  for (int x = 2, i = 0; x < w - 2; x += 3, ++i)
    r.Record(0x041B, {i % 2 ? h : h - 3, x + 1, i % 2 ? 3 : 0, x});  // rectangle b, r, t, l
  r.Record(0x02FC, {0, 0xFF, 0, 0}).Record(0x012D, {2});             // red brush
  r.Record(0x0548, {0, 0, 0, 1, 0});                                 // fill to the black border
  r.Record(0, {});
  const uint32_t words = static_cast<uint32_t>(r.b.size() / 2);
  for (int i = 0; i < 4; ++i) r.b[6 + i] = static_cast<uint8_t>(words >> (8 * i));
  return r.b;
}

// A size x size EMF of `count` rectangles, each covering the whole frame.
std::vector<uint8_t> RectanglesEmf(int size, int count) {
  const uint32_t frame = static_cast<uint32_t>(size * 2540 / 96);
  const uint32_t bytes = 88 + 24 * count + 20;
  TWriter r;
  r.U32(1).U32(88).U32(0).U32(0).U32(size - 1).U32(size - 1);  // header, bounds
  r.U32(0).U32(0).U32(frame).U32(frame).U32(0x464D4520).U32(0x10000).U32(bytes);
  r.U32(count + 2).U16(1).U16(0).U32(0).U32(0).U32(0);                // records, handles, ...
  r.U32(size).U32(size).U32(size * 254 / 960).U32(size * 254 / 960);  // device: pixels, mm
  for (int i = 0; i < count; ++i) r.U32(43).U32(24).U32(0).U32(0).U32(size - 1).U32(size - 1);
  r.U32(14).U32(20).U32(0).U32(16).U32(20);
  return r.b;
}

struct TGuardCase {
  const char* name;
  std::vector<uint8_t> (*file)();
  double seconds;
  int64_t memory;
  const char* message;
};

const TGuardCase kCases[] = {
    {"crash.wmf", [] { return MazeWmf(200, 1300); }, 5, 0,
     "WMF: Cannot draw the metafile: the drawing crashed (signal SIGSEGV)"},
    {"slow.emf", [] { return RectanglesEmf(2000, 10000); }, 0.3, 0,
     "EMF: Drawing stopped at the time limit of 0.3 s"},
    {"large.emf", [] { return RectanglesEmf(2000, 1); }, 5, 4 << 20,
     "EMF: Not enough memory to draw the metafile"},
    {"tight.emf", [] { return RectanglesEmf(1000, 1); }, 5, 6 << 20,
     "EMF: Not enough memory to draw the metafile"},
};

// Each file, opened through the file service as the programs open it, fails
// with its message in about the time limit, and this process goes on.
TEST(MetafileGuard, FailuresOfTheDrawingAreErrorsOfTheFile) {
  metafile::RegisterWithFileService();
  const auto dir = std::filesystem::temp_directory_path() / ("guard-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  for (const TGuardCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto path = (dir / c.name).string();
    const auto bytes = c.file();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    TPGSettingScope<double> seconds(metafile::MetafileTimeLimit, c.seconds);
    TPGSettingScope<int64_t> memory(metafile::MetafileMemoryLimit, c.memory);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(korvane_test::MessageOf([&] { io::OpenImage(path); }), c.message);
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::duration<double>(c.seconds + 2));
  }
  std::filesystem::remove_all(dir);
}

// Good pictures: the same size and pixels as drawn here; the file service's
// 8-bit image is compared in fileservice_test.
TEST(MetafileGuard, DrawsWhatThisProcessDraws) {
  for (const char* name : {"shapes.wmf", "shapes.emf", "text.wmf", "glyphs.emf"}) {
    SCOPED_TRACE(name);
    std::ifstream in(std::string(KORVANE_TEST_DATA) + "/metafile/" + name, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    metafile::TMetafileInfo here, there;
    const auto expected = metafile::DrawMetafile(bytes.data(), bytes.size(), &here);
    const auto drawn = metafile::DrawMetafileGuarded(bytes.data(), bytes.size(), &there);
    EXPECT_TRUE(korvane_test::SamePixels(*drawn, *expected));
    EXPECT_EQ(metafile::MetafileInfoText(there), metafile::MetafileInfoText(here));
  }
}

TEST(MetafileGuard, AMissingHelperIsAClearError) {
  metafile::SetMetafileHelper("/nonexistent/korvane-metafile");
  const auto wmf = MazeWmf(20, 20);
  EXPECT_EQ(korvane_test::MessageOf([&] { metafile::DrawMetafileGuarded(wmf.data(), wmf.size()); }),
            "Metafile: Cannot start the drawing helper /nonexistent/korvane-metafile "
            "(No such file or directory)");
  metafile::SetMetafileHelper("");
}

}  // namespace
