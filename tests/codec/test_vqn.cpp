// The codec end to end: compress, save, open; bit-exact previews on many sizes,
// both subtypes, information texts, and corrupt, truncated and absurd files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "codec/entropy.h"
#include "codec/team.h"
#include "codec/vqn.h"
#include "codec/wavelet.h"

namespace codec {
namespace {

namespace fs = std::filesystem;
using pgraphic::TPixelGraphic;

// A synthetic photograph-like picture: smooth gradients, a hard edge, texture.
std::unique_ptr<TPixelGraphic> MakeImage(int w, int h, unsigned seed = 1) {
  auto image = std::make_unique<TPixelGraphic>();
  image->SetSize(w, h, pgraphic::pf24Bit);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = image->ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const double fx = w > 1 ? double(x) / (w - 1) : 0, fy = h > 1 ? double(y) / (h - 1) : 0;
      const int noise = static_cast<int>(rng() % 17) - 8;
      const bool edge = x > w / 3 && y < 2 * h / 3;
      row[3 * x + 2] =
          static_cast<uint8_t>(std::clamp(int(200 * fx + 40 * std::sin(fy * 9)) + noise, 0, 255));
      row[3 * x + 1] =
          static_cast<uint8_t>(std::clamp(int(180 * fy) + (edge ? 60 : 0) + noise, 0, 255));
      row[3 * x + 0] = static_cast<uint8_t>(
          std::clamp(int(128 + 100 * std::cos(fx * fy * 20)) + noise / 2, 0, 255));
    }
  }
  return image;
}

bool SamePixels(const TPixelGraphic& a, const TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
    return false;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<size_t>(3 * a.Width())) != 0)
      return false;
  return true;
}

double Psnr(const TPixelGraphic& a, const TPixelGraphic& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int i = 0; i < 3 * a.Width(); ++i) {
      const double d = double(a.ScanLine(y)[i]) - b.ScanLine(y)[i];
      sum += d * d;
    }
  const double mse = sum / (3.0 * a.Width() * a.Height());
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::unique_ptr<TPixelGraphic> DecodeBytesToImage(const std::vector<uint8_t>& bytes) {
  pgraphic::TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
  return DecodeVQN(stream);
}

std::vector<uint8_t> FileBytes(const CompressedData& data) {
  pgraphic::TMemoryStream stream;
  WriteVQN(data, stream);
  return stream.Bytes();
}

class VQNFiles : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("korvane-vqn-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    testThread_ = std::this_thread::get_id();
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
  std::thread::id testThread_;
};

// Where the budget leaves no room for every coefficient at once, the planes are
// rebuilt one at a time from the coded stream (in strips of rows, level 1 with
// one level or several): the same pixels.
TEST_F(VQNFiles, PlaneByPlaneDecodingGivesTheSamePixels) {
  for (auto [w, h] : {std::pair{23, 1100}, {700, 9}, {130, 90}}) {
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    const fs::path file = dir_ / "a.vqn";
    CompressBatch(*MakeImage(w, h, 5), QualityFromPosition(60), file.string());
    const auto whole = LoadVQNFile(file.string());
    // The smallest budget, in steps of 256 bytes, that lets the file open.
    const int64_t picture = pgraphic::PictureBytes(w, h, 24);
    int64_t budget = picture;
    std::unique_ptr<TPixelGraphic> decoded;
    for (; !decoded && budget < 100 * picture; budget += 256) {
      pgraphic::TPGSettingScope limit(pgraphic::PGMaxDecodeBytes, budget);
      try {
        decoded = LoadVQNFile(file.string());
      } catch (const pgraphic::EPGNotEnoughMemory&) {
      }
    }
    ASSERT_TRUE(decoded);
    // Less than the three coefficient bytes per pixel held at once would take.
    EXPECT_LT(budget - picture, 3 * w * h);
    EXPECT_TRUE(SamePixels(*decoded, *whole));
  }
}

TEST_F(VQNFiles, PreviewEqualsDecodedFileOnEverySize) {
  const int sizes[][2] = {{1, 1},    {1, 9},   {9, 1},     {2, 3},     {5, 7},
                          {20, 20},  {21, 20}, {20, 21},   {37, 23},   {63, 65},
                          {100, 80}, {255, 3}, {640, 480}, {1201, 777}};
  for (auto [w, h] : sizes) {
    auto source = MakeImage(w, h, static_cast<unsigned>(w * 31 + h));
    for (int position : {0, 60, 120}) {
      SCOPED_TRACE(testing::Message() << w << "x" << h << " position " << position);
      const int q = QualityFromPosition(position);
      CompressResult result = CompressInteractive(*source, q);
      ASSERT_TRUE(result.Preview);
      const fs::path file = dir_ / "a.vqn";
      SaveVQNFile(result.Data, file.string());
      const auto bytes = ReadAll(file);
      ASSERT_EQ(bytes.size(), 44u + static_cast<size_t>(result.Data.CodedLength));
      EXPECT_EQ(bytes[3], 3);
      auto decoded = LoadVQNFile(file.string());
      ASSERT_TRUE(SamePixels(*decoded, *result.Preview));
      EXPECT_EQ(decoded->PixelFormat(), pgraphic::pf24Bit);
      EXPECT_EQ(result.Data.Levels, LevelCount(w, h));
      if (w * h >= 400 && position == 120) {
        EXPECT_GT(Psnr(*source, *decoded), 30.0);
      }
      // The batch path writes the same bytes.
      const fs::path batch = dir_ / "b.vqn";
      CompressBatch(*source, q, batch.string());
      EXPECT_EQ(ReadAll(batch), bytes);
    }
  }
}

uint64_t Fnv1a(const std::vector<uint8_t>& bytes) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

// Golden files: the exact bytes of two encodings, pinned so that any change of
// the transform, quantiser or coder that alters the output is noticed. The
// kernels behind them are checked against the literal algorithm elsewhere.
TEST_F(VQNFiles, GoldenFiles) {
  pgraphic::TPGSettingScope keepBaseline(VQNBaselineOnly);
  pgraphic::TPGSettingScope keepThreads(VQNThreads);
  for (bool baseline : {false, true}) {
    VQNBaselineOnly = baseline;
    for (int threads : {1, 2, 3}) {
      VQNThreads = threads;
      SCOPED_TRACE(testing::Message() << "baseline " << baseline << " threads " << threads);
      const auto small = FileBytes(Compress(*MakeImage(100, 80, 12), QualityFromPosition(60)));
      EXPECT_EQ(small.size(), 2527u);
      EXPECT_EQ(Fnv1a(small), 0xc1eaab9fb54a4918ull);
      const auto large = FileBytes(Compress(*MakeImage(640, 480, 13), QualityFromPosition(120)));
      EXPECT_EQ(large.size(), 342876u);
      EXPECT_EQ(Fnv1a(large), 0xc28792348ca7631bull);
    }
  }
}

// Every team size writes the bytes one thread writes and decodes them to the
// same pixels, whole or plane by plane; progress comes from the calling
// thread, in order.
TEST_F(VQNFiles, EveryThreadCountGivesTheSameFileAndPixels) {
  pgraphic::TPGSettingScope keepThreads(VQNThreads);
  for (auto [w, h] : {std::pair{130, 90}, {640, 480}, {1201, 777}, {23, 1100}, {3000, 40}}) {
    auto source = MakeImage(w, h, static_cast<unsigned>(w + h));
    std::vector<uint8_t> bytes;
    std::unique_ptr<TPixelGraphic> pixels;
    for (int threads : {1, 2, 3}) {
      SCOPED_TRACE(testing::Message() << w << "x" << h << " threads " << threads);
      VQNThreads = threads;
      std::vector<int> steps;
      source->OnProgress = [&](TPixelGraphic&, int done, int, bool&) {
        EXPECT_EQ(std::this_thread::get_id(), testThread_);
        steps.push_back(done);
      };
      const CompressResult result = CompressInteractive(*source, QualityFromPosition(60));
      EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
      const auto file = FileBytes(result.Data);
      if (threads == 1) {
        bytes = file;
        pixels = DecodeBytesToImage(file);
      }
      EXPECT_EQ(file, bytes);
      EXPECT_TRUE(SamePixels(*result.Preview, *pixels));
      TPixelGraphic decoded;
      steps.clear();
      decoded.OnProgress = source->OnProgress;
      pgraphic::TReadOnlyMemoryStream stream(file.data(), file.size());
      DecodeVQN(stream, decoded);
      EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
      EXPECT_TRUE(SamePixels(decoded, *pixels));
      // A budget below every coefficient at once: plane by plane.
      pgraphic::TPGSettingScope budget(pgraphic::PGMaxDecodeBytes,
                                       pgraphic::PictureBytes(w, h, 24) + 5 * w * h / 2);
      EXPECT_TRUE(SamePixels(*DecodeBytesToImage(file), *pixels));
    }
  }
  TVQNThreadLimit one(1);
  EXPECT_EQ(EffectiveThreads(), 1);
}

TEST_F(VQNFiles, CoefficientBytesStayInRangeAndStepsFollowTheMaxima) {
  auto source = MakeImage(100, 80, 4);
  for (int position : {0, 60, 120}) {
    const int q = QualityFromPosition(position), D = 250 - q;
    CompressedData data = Compress(*source, q);
    const auto geometry = BandGeometry(100, 80, data.Levels);
    std::vector<uint8_t> bytes(static_cast<size_t>(CoefficientCount(geometry)));
    ASSERT_EQ(DecodeBytes(data.CodedData.data(), data.CodedData.size(), bytes.data(), bytes.size()),
              DecodeStatus::Ok);
    const int64_t approxStart = 3 * ApproximationBandLayout(geometry).Offset;
    for (int64_t i = 0; i < static_cast<int64_t>(bytes.size()); ++i) {
      if (i < approxStart) {
        ASSERT_LE(std::abs(bytes[i] - 128), 123) << i;
      } else {
        ASSERT_LE(bytes[i], D) << i;
      }
    }
    for (int p = 0; p < 3; ++p) {
      EXPECT_GE(data.DetailStep[p], 1.0f);
      EXPECT_GE(data.ApproxStep[p], 1.0f);
    }
  }
  // A flat image: detail maximum 0 or 1 and a tiny band-0 range give steps of 1.
  TPixelGraphic flat;
  flat.SetSize(64, 48, pgraphic::pf24Bit);
  for (int y = 0; y < 48; ++y) std::memset(flat.ScanLine(y), 77, 64 * 3);
  CompressedData data = Compress(flat, 41);
  for (int p = 0; p < 3; ++p) {
    EXPECT_EQ(data.DetailStep[p], 1.0f);
    EXPECT_EQ(data.ApproxStep[p], 1.0f);
  }
  EXPECT_LT(data.CodedLength, 100);
}

TEST_F(VQNFiles, QualityTradesSizeForFidelity) {
  auto source = MakeImage(320, 240, 9);
  int64_t lastSize = 0;
  double lastPsnr = 0;
  for (int position : {0, 30, 60, 90, 120}) {
    CompressResult r = CompressInteractive(*source, QualityFromPosition(position));
    const double psnr = Psnr(*source, *r.Preview);
    EXPECT_GT(r.Data.CodedLength, lastSize) << position;
    EXPECT_GT(psnr, lastPsnr) << position;
    lastSize = r.Data.CodedLength;
    lastPsnr = psnr;
  }
  EXPECT_GT(lastPsnr, 33.0);
}

TEST_F(VQNFiles, SubtypeTwoDecodesLikeItsSubtypeThreeTwin) {
  auto source = MakeImage(90, 70, 2);
  CompressedData data = Compress(*source, 41);
  const auto three = FileBytes(data);
  const auto header2 = SerializeHeader2(data.Header());
  std::vector<uint8_t> two(header2.begin(), header2.end());
  two.insert(two.end(), data.CodedData.begin(), data.CodedData.end());
  ASSERT_EQ(two.size(), three.size() + 12);
  EXPECT_TRUE(SamePixels(*DecodeBytesToImage(two), *DecodeBytesToImage(three)));

  const fs::path file = dir_ / "two.vqn";
  WriteAll(file, two);
  EXPECT_EQ(VQNInfoText(ReadVQNInfo(file.string())),
            "Type: VQN, Wavelet 2.0; Size: 90x70; Colors: 16.7M; File size: " +
                KbText(static_cast<int64_t>(two.size())) + " Kb");
  EXPECT_EQ(SubTypeName(ReadVQNInfo(file.string()).Header.SubType), "Wavelet 2.0");
}

// Decodes and reports the message, or "" when the decoding succeeded.
std::string DecodeMessage(const std::vector<uint8_t>& bytes) {
  try {
    DecodeBytesToImage(bytes);
    return "";
  } catch (const EVQN& e) {
    return e.what();
  }
}

TEST_F(VQNFiles, InformationTextsAndModes) {
  EXPECT_EQ(KbText(38502), "37.6");
  EXPECT_EQ(KbText(2048), "2");
  EXPECT_EQ(KbText(12800), "12.5");
  VQNInfo info;
  info.Header.SubType = 3;
  info.Header.Width = 640;
  info.Header.Height = 480;
  info.FileSize = 38502;
  EXPECT_EQ(VQNInfoText(info),
            "Type: VQN, Wavelet 3.0; Size: 640x480; Colors: 16.7M; File size: 37.6 Kb");
  EXPECT_EQ(VQNInfoText(info, false), "Type: VQN, Wavelet 3.0; Size: 640x480; Colors: 16.7M");

  auto source = MakeImage(64, 40, 3);
  CompressResult r = CompressInteractive(*source, 41);
  EXPECT_EQ(
      r.Message,
      "The image was successfully compressed!\nCompression ratio is 1:" +
          std::to_string(static_cast<int>(std::nearbyint(64.0 * 40 * 3 / r.Data.CodedLength))) +
          "\nSize of VQN-file will be " + KbText(r.Data.CodedLength) +
          " Kb\nTo save the compressed image click Save as VQN-file");
  const fs::path file = dir_ / "x.vqn";
  SaveVQNFile(r.Data, file.string());
  const auto size = static_cast<int64_t>(fs::file_size(file));
  EXPECT_EQ(
      VQNInfoText(ReadVQNInfo(file.string())),
      "Type: VQN, Wavelet 3.0; Size: 64x40; Colors: 16.7M; File size: " + KbText(size) + " Kb");
  EXPECT_TRUE(SamePixels(*LoadVQNFile(file.string()), *r.Preview));

  // The header alone reads from a file cut right after it; decoding it fails.
  auto bytes = ReadAll(file);
  bytes.resize(44);
  WriteAll(file, bytes);
  EXPECT_EQ(ReadVQNInfo(file.string()).Header.Width, 64);
  EXPECT_EQ(DecodeMessage(bytes), MsgCorrupted);
}

TEST_F(VQNFiles, TrailingBytesAreIgnored) {
  auto source = MakeImage(33, 17, 5);
  auto bytes = FileBytes(Compress(*source, 21));
  auto reference = DecodeBytesToImage(bytes);
  bytes.insert(bytes.end(), {1, 2, 3, 4, 5, 6, 7, 8, 9});
  EXPECT_TRUE(SamePixels(*DecodeBytesToImage(bytes), *reference));
}

TEST_F(VQNFiles, CorruptTruncatedAndAbsurdFiles) {
  auto source = MakeImage(50, 40, 6);
  const auto bytes = FileBytes(Compress(*source, 41));
  // Every truncation: not VQN below 4 bytes, corrupted from there on.
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(cut));
    EXPECT_EQ(DecodeMessage(part), cut < 4 ? MsgNotVQN : MsgCorrupted) << cut;
  }
  // Damaged streams decode to something or are reported; never a fault.
  std::mt19937 rng(11);
  for (int i = 0; i < 300; ++i) {
    auto damaged = bytes;
    for (int k = 0; k < 3; ++k)
      damaged[44 + rng() % (damaged.size() - 44)] ^= static_cast<uint8_t>(1 + rng() % 255);
    const std::string message = DecodeMessage(damaged);
    EXPECT_TRUE(message.empty() || message == MsgCorrupted) << message;
  }
  // Header fields out of range.
  auto with = [&](size_t offset, std::initializer_list<uint8_t> value) {
    auto copy = bytes;
    std::copy(value.begin(), value.end(), copy.begin() + static_cast<ptrdiff_t>(offset));
    return copy;
  };
  EXPECT_EQ(DecodeMessage(with(8, {9, 0})), MsgCorrupted);                     // N = 9
  EXPECT_EQ(DecodeMessage(with(8, {0, 0})), MsgCorrupted);                     // N = 0
  EXPECT_EQ(DecodeMessage(with(4, {0, 0})), MsgCorrupted);                     // W = 0
  EXPECT_EQ(DecodeMessage(with(6, {0xFF, 0xFF})), MsgCorrupted);               // H = -1
  EXPECT_EQ(DecodeMessage(with(40, {0xFF, 0xFF, 0xFF, 0xFF})), MsgCorrupted);  // C = -1
  EXPECT_EQ(DecodeMessage(with(40, {0xFF, 0xFF, 0xFF, 0x7F})), MsgCorrupted);  // C beyond the file
  EXPECT_EQ(DecodeMessage(with(0, {'V', 'Q', 'M'})), MsgNotVQN);
  EXPECT_EQ(DecodeMessage(with(3, {1})), MsgNotVQN);
  // A huge image claimed by a few bytes of stream is refused before allocation.
  EXPECT_EQ(DecodeMessage(with(4, {0xFF, 0x7F, 0xFF, 0x7F})), MsgCorrupted);
  // Absurd step sizes (infinite, NaN) decode without undefined behaviour.
  EXPECT_TRUE(DecodeMessage(with(10, {0, 0, 0x80, 0x7F})).empty());
  EXPECT_TRUE(DecodeMessage(with(26, {0, 0, 0xC0, 0x7F})).empty());
  // The file's real size beyond the memory limit: "Not enough memory!".
  {
    pgraphic::TPGSettingScope limit(pgraphic::PGMaxImageSize, 1000);
    EXPECT_EQ(DecodeMessage(bytes), MsgNoMemory);
  }
}

TEST_F(VQNFiles, OversizedImagesAreRefusedBeforeEncoding) {
  TPixelGraphic wide;
  wide.SetSize(32768, 1, pgraphic::pf24Bit);
  const fs::path file = dir_ / "wide.vqn";
  try {
    CompressBatch(wide, 41, file.string());
    FAIL() << "no error";
  } catch (const EVQNTooLarge& e) {
    EXPECT_EQ(std::string(e.what()), MsgTooLarge);
  }
  EXPECT_FALSE(fs::exists(file));
  // 32,767 fits.
  TPixelGraphic widest;
  widest.SetSize(32767, 1, pgraphic::pf24Bit);
  CompressBatch(widest, 41, file.string());
  EXPECT_EQ(LoadVQNFile(file.string())->Width(), 32767);
}

TEST_F(VQNFiles, SavingNeverDestroysAnExistingFile) {
  const fs::path file = dir_ / "keep.vqn";
  WriteAll(file, {1, 2, 3});
  CompressedData broken = Compress(*MakeImage(8, 8), 41);
  broken.CodedLength += 5;  // claims more bytes than it holds
  EXPECT_THROW(SaveVQNFile(broken, file.string()), pgraphic::EPixelGraphic);
  EXPECT_EQ(ReadAll(file), (std::vector<uint8_t>{1, 2, 3}));
  // Saving into a missing folder fails cleanly.
  EXPECT_THROW(SaveVQNFile(Compress(*MakeImage(8, 8), 41), (dir_ / "missing" / "x.vqn").string()),
               pgraphic::EPixelGraphic);
  // A folder in the way of the rename is left alone, and no temporary remains.
  fs::create_directories(dir_ / "folder.vqn" / "inner");
  EXPECT_THROW(SaveVQNFile(Compress(*MakeImage(8, 8), 41), (dir_ / "folder.vqn").string()),
               pgraphic::EPixelGraphic);
  EXPECT_TRUE(fs::is_directory(dir_ / "folder.vqn" / "inner"));
  int entries = 0;
  for (auto& e : fs::directory_iterator(dir_)) entries += e.path().filename().string()[0] == '.';
  EXPECT_EQ(entries, 0);
  // Saving twice writes the same bytes; the file is readable by others as usual.
  CompressedData data = Compress(*MakeImage(30, 30), 41);
  SaveVQNFile(data, file.string());
  const auto first = ReadAll(file);
  SaveVQNFile(data, file.string());
  EXPECT_EQ(ReadAll(file), first);
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IRUSR);
  EXPECT_TRUE(st.st_mode & S_IWUSR);
}

TEST_F(VQNFiles, PaletteImagesCompressThroughTheirColours) {
  auto truecolor = MakeImage(40, 30, 8);
  TPixelGraphic palette;
  palette.SetSize(40, 30, pgraphic::pf8Bit);
  palette.SetPaletteCount(256);
  for (int i = 0; i < 256; ++i)
    palette.SetPaletteColor(i, pgraphic::RGB(i, 255 - i, (i * 7) & 255));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      palette.SetPixel(x, y, static_cast<uint32_t>((x * 6 + y * 3) & 255));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const auto c = palette.PixelColor(x, y);
      uint8_t* px = truecolor->ScanLine(y) + 3 * x;
      px[0] = static_cast<uint8_t>(pgraphic::GetB(c));
      px[1] = static_cast<uint8_t>(pgraphic::GetG(c));
      px[2] = static_cast<uint8_t>(pgraphic::GetR(c));
    }
  EXPECT_EQ(Compress(palette, 41).CodedData, Compress(*truecolor, 41).CodedData);
}

TEST_F(VQNFiles, ProgressEventsAndAbort) {
  auto source = MakeImage(64, 64);
  int starts = 0, steps = 0, ends = 0;
  source->OnProgressStart = [&](TPixelGraphic&) { ++starts; };
  source->OnProgress = [&](TPixelGraphic&, int, int, bool&) { ++steps; };
  source->OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
  Compress(*source, 41);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_GT(steps, 0);
  source->OnProgress = [&](TPixelGraphic&, int, int, bool& abort) { abort = true; };
  try {
    Compress(*source, 41);
    FAIL();
  } catch (const pgraphic::EPixelGraphic& e) {
    EXPECT_EQ(std::string(e.what()), "Operation aborted on user request");
  }
  EXPECT_EQ(ends, 2);
}

}  // namespace
}  // namespace codec
