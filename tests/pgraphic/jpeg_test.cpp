// The JPEG reader and writer against files made and decoded by the IJG tools
// (cjpeg/djpeg) and the third-party JPEGs of Go's image test data.
#include "pgraphic/formats/jpeg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/hostile_files.h"
#include "support/jpegpng_peer.h"
#include "support/pg_message.h"

using namespace pgraphic;

namespace {

const std::string kGoData = "/usr/share/go-1.19/src/image/testdata/";

// Restores the unit-wide settings a test changes, and removes its question hook.
struct TSettingsGuard {
  TPGSettingScope<int> readDCT{PGJPEGReadDCTMethod}, writeDCT{PGJPEGWriteDCTMethod},
      quality{PGJPEGQuality};
  TPGSettingScope<bool> progressive{PGJPEGProgressive};
  TPGSettingScope<int64_t> maxSize{PGMaxImageSize};
  ~TSettingsGuard() { SetQuestionHook(nullptr); }
};

void ReadJPEG(const std::string& path, TPixelGraphic& g, TPGWarningAction action = pgwaRaise) {
  g.SetReadWarningAction(action);
  TFileStream in(path, TFileStream::fmOpenRead);
  TJPGFileFormatReader().ReadGraphic(in, g, 0);
}

void ReadJPEGBytes(const std::vector<uint8_t>& bytes, TPixelGraphic& g,
                   TPGWarningAction action = pgwaRaise) {
  g.SetReadWarningAction(action);
  TReadOnlyMemoryStream in(bytes.data(), bytes.size());
  TJPGFileFormatReader().ReadGraphic(in, g, 0);
}

TPGFileInfo InfoOf(const std::string& path) {
  TFileStream in(path, TFileStream::fmOpenRead);
  TPGFileInfo info;
  TJPGFileFormatReader().ReadInfo(in, 0, info);
  return info;
}

std::string MessageOf(const std::function<void()>& f) {
  return korvane_test::MessageOf(f, "(no error)");
}

bool HaveIJGTools() {
  return peer::Have("cjpeg") && peer::Have("djpeg") && peer::Have("pngtopnm");
}

// djpeg's own decode of a file (same library, same DCT method).
peer::TPeerImage PeerDecode(const korvane_test::ScratchDir& s, const std::string& jpeg,
                            const std::string& dct = "int") {
  const std::string out = s.File("peer.pnm");
  EXPECT_EQ(korvane_test::RunShell("djpeg -dct " + dct + " -outfile " + out + " " + jpeg +
                                   " 2>/dev/null"),
            0);
  return peer::ReadPNM(out);
}

// A 24-bit image with smooth and sharp content.
void MakeTestImage(TPixelGraphic& g, int w, int h) {
  g.SetSize(w, h, pf24Bit);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      g.SetPixel(x, y, RGB((x * 255) / (w - 1), (y * 255) / (h - 1), ((x / 8 + y / 8) % 2) * 200));
    }
  }
}

std::vector<uint8_t> WriteToMemory(TPixelGraphic& g) {
  TMemoryStream out;
  TJPGFileFormatWriter().WriteGraphic(out, g);
  return out.Bytes();
}

}  // namespace

TEST(JPEGReader, CjpegVariantsDecodeExactlyAsDjpeg) {
  if (!HaveIJGTools()) GTEST_SKIP() << "cjpeg/djpeg/pngtopnm missing";
  korvane_test::ScratchDir s("jpeg-variants");
  ASSERT_EQ(korvane_test::RunShell("pngtopnm " + kGoData + "video-001.png > " + s.File("src.ppm")),
            0);
  ASSERT_EQ(korvane_test::RunShell("ppmtopgm " + s.File("src.ppm") + " > " + s.File("src.pgm")), 0);
  const struct {
    const char* name;
    const char* options;
    const char* source;
  } variants[] = {
      {"baseline", "-quality 85", "src.ppm"},
      {"progressive", "-progressive", "src.ppm"},
      {"gray", "-grayscale", "src.ppm"},
      {"gray-input", "", "src.pgm"},
      {"444", "-sample 1x1", "src.ppm"},
      {"420", "-sample 2x2", "src.ppm"},
      {"422", "-sample 2x1", "src.ppm"},
      {"restart-rows", "-restart 1", "src.ppm"},
      {"restart-blocks", "-restart 3B", "src.ppm"},
      {"optimized", "-optimize -quality 30", "src.ppm"},
      {"arith", "-arithmetic", "src.ppm"},
  };
  for (const auto& v : variants) {
    SCOPED_TRACE(v.name);
    const std::string jpeg = s.File(std::string(v.name) + ".jpg");
    ASSERT_EQ(korvane_test::RunShell(std::string("cjpeg ") + v.options + " -outfile " + jpeg + " " +
                                     s.File(v.source)),
              0);
    TPixelGraphic g;
    ReadJPEG(jpeg, g);
    const peer::TPeerImage expected = PeerDecode(s, jpeg);
    if (expected.Channels == 1) {
      EXPECT_EQ(g.PixelFormat(), pf8Bit);
      g.ClassifyPalette();
      EXPECT_TRUE(g.IsGray());
      EXPECT_EQ(g.PaletteCount(), 256);
    } else {
      EXPECT_EQ(g.PixelFormat(), pf24Bit);
    }
    EXPECT_EQ(peer::MaxDifference(g, expected), 0);
  }
}

TEST(JPEGReader, ReducedReadTakesTheSmallestSizeReachingTheSideAsDjpegScales) {
  if (!HaveIJGTools()) GTEST_SKIP() << "cjpeg/djpeg/pngtopnm missing";
  korvane_test::ScratchDir s("jpeg-reduced");
  const struct {
    int w, h, side, eighths;
  } cases[] = {{1600, 1200, 128, 1}, {400, 600, 128, 2}, {600, 400, 256, 4}, {100, 80, 128, 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.w * 1000 + c.side);
    TPixelGraphic source, g;
    MakeTestImage(source, c.w, c.h);
    const std::string jpeg = s.File("reduced.jpg");
    ASSERT_TRUE(korvane_test::WriteFileBytes(jpeg, WriteToMemory(source)));
    TFileStream in(jpeg, TFileStream::fmOpenRead);
    TJPEGPictureSize full;
    ReadJPEGReduced(in, g, c.side, full);
    EXPECT_EQ(full.Width * 10000 + full.Height, c.w * 10000 + c.h);
    EXPECT_EQ(g.Width(), (c.w * c.eighths + 7) / 8);
    ASSERT_EQ(korvane_test::RunShell("djpeg -scale " + std::to_string(c.eighths) + "/8 -outfile " +
                                     s.File("peer.pnm") + " " + jpeg),
              0);
    EXPECT_EQ(peer::MaxDifference(g, peer::ReadPNM(s.File("peer.pnm"))), 0);
  }
}

TEST(JPEGReader, DCTMethodsFollowTheSetting) {
  if (!HaveIJGTools()) GTEST_SKIP() << "cjpeg/djpeg missing";
  TSettingsGuard guard;
  korvane_test::ScratchDir s("jpeg-dct");
  const std::string jpeg = kGoData + "video-001.jpeg";
  const char* names[] = {"int", "fast", "float"};
  TPixelGraphic slow;
  PGJPEGReadDCTMethod = 0;
  ReadJPEG(jpeg, slow);
  for (int method = 0; method < 3; ++method) {
    SCOPED_TRACE(names[method]);
    PGJPEGReadDCTMethod = method;
    TPixelGraphic g;
    ReadJPEG(jpeg, g);
    EXPECT_EQ(peer::MaxDifference(g, PeerDecode(s, jpeg, names[method])), 0);
    // The methods really differ, but only by the rounding of the transform
    // (amplified a little by upsampling and colour conversion).
    const int diff = peer::MaxDifference(g, slow);
    if (method != 0) {
      EXPECT_GT(diff, 0);
    }
    EXPECT_LE(diff, method == 1 ? 24 : 4);
  }
  PGJPEGReadDCTMethod = 7;
  TPixelGraphic g;
  EXPECT_EQ(MessageOf([&] { ReadJPEG(jpeg, g); }), "JPG: Invalid value for PGJPEGReadDCTMethod");
}

TEST(JPEGReader, ThirdPartyFilesDecodeAsDjpeg) {
  if (!HaveIJGTools()) GTEST_SKIP() << "djpeg missing";
  if (!std::filesystem::exists(kGoData)) GTEST_SKIP() << "Go image test data missing";
  korvane_test::ScratchDir s("jpeg-go");
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kGoData)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".jpeg" || name.find("cmyk") != std::string::npos ||
        name.find("truncated") != std::string::npos) {
      continue;
    }
    SCOPED_TRACE(name);
    TPixelGraphic g;
    ReadJPEG(entry.path().string(), g);
    EXPECT_EQ(peer::MaxDifference(g, PeerDecode(s, entry.path().string())), 0);
    ++checked;
  }
  EXPECT_GE(checked, 20);
}

TEST(JPEGReader, RefusesFourComponentFilesAndOtherIndexes) {
  if (!std::filesystem::exists(kGoData)) GTEST_SKIP() << "Go image test data missing";
  TPixelGraphic g;
  EXPECT_EQ(MessageOf([&] { ReadJPEG(kGoData + "video-001.cmyk.jpeg", g); }),
            "JPG: Not supported subformat");
  TFileStream in(kGoData + "video-001.jpeg", TFileStream::fmOpenRead);
  EXPECT_EQ(MessageOf([&] { TJPGFileFormatReader().ReadGraphic(in, g, 1); }), "JPG: Index invalid");
  TPGFileInfo info;
  EXPECT_EQ(MessageOf([&] { TJPGFileFormatReader().ReadInfo(in, 1, info); }),
            "JPG: Invalid value for Index");
}

TEST(JPEGReader, CmykMadeByCjpegIsRefused) {
  if (!HaveIJGTools()) GTEST_SKIP() << "cjpeg missing";
  korvane_test::ScratchDir s("jpeg-cmyk");
  ASSERT_EQ(korvane_test::RunShell("pngtopnm " + kGoData + "video-001.png > " + s.File("src.ppm")),
            0);
  ASSERT_EQ(korvane_test::RunShell("cjpeg -outfile " + s.File("src.jpg") + " " + s.File("src.ppm")),
            0);
  // jpegtran cannot make CMYK; ImageMagick can.
  if (!peer::Have("/usr/bin/convert-im6.q16")) GTEST_SKIP() << "ImageMagick missing";
  ASSERT_EQ(korvane_test::RunShell("/usr/bin/convert-im6.q16 " + s.File("src.ppm") +
                                   " -colorspace CMYK " + s.File("cmyk.jpg")),
            0);
  TPixelGraphic g;
  EXPECT_EQ(MessageOf([&] { ReadJPEG(s.File("cmyk.jpg"), g); }), "JPG: Not supported subformat");
  EXPECT_EQ(InfoOf(s.File("cmyk.jpg")).Colors, "4294.9M");
}

TEST(JPEGReader, InfoDescribesHeaderOnly) {
  if (!std::filesystem::exists(kGoData)) GTEST_SKIP() << "Go image test data missing";
  TPGFileInfo info = InfoOf(kGoData + "video-001.progressive.jpeg");
  EXPECT_EQ(info.SubType, "JFIF, YCbCr, Progressive");
  EXPECT_EQ(info.Width, 150);
  EXPECT_EQ(info.Height, 103);
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_EQ(info.Colors, "16.7M");
  EXPECT_EQ(info.Count, 1);
  EXPECT_EQ(info.Extra, "");

  info = InfoOf(kGoData + "video-005.gray.jpeg");
  EXPECT_EQ(info.SubType, "JFIF, GrayScale");
  EXPECT_EQ(info.BitsPerPixel, 8);
  EXPECT_EQ(info.Colors, "256");

  // Written without JFIF marker, with an Adobe marker saying RGB.
  info = InfoOf(kGoData + "video-001.rgb.jpeg");
  EXPECT_EQ(info.SubType, "Adope, RGB");

  info = InfoOf(kGoData + "video-001.cmyk.jpeg");
  EXPECT_EQ(info.BitsPerPixel, 32);
  EXPECT_EQ(info.Colors, "4294.9M");
  EXPECT_NE(info.SubType.find("CMYK"), std::string::npos);
}

TEST(JPEGReader, TruncatedFilesGiveWarningsOrCleanErrors) {
  if (!std::filesystem::exists(kGoData)) GTEST_SKIP() << "Go image test data missing";
  TSettingsGuard guard;
  const std::vector<uint8_t> whole = peer::ReadFile(kGoData + "video-001.progressive.jpeg");

  // Cut in the middle of the scans: the library warns once about the early end.
  const std::vector<uint8_t> cut(whole.begin(), whole.begin() + whole.size() / 2);
  TPixelGraphic g;
  EXPECT_EQ(MessageOf([&] { ReadJPEGBytes(cut, g, pgwaRaise); }),
            "JPG: Premature end of JPEG file");

  int asked = 0;
  std::string caption;
  bool answer = false;
  SetQuestionHook([&](const std::string& c, const std::string& text, bool withCancel) {
    ++asked;
    caption = c;
    EXPECT_TRUE(withCancel);
    EXPECT_EQ(text, "Premature end of JPEG file");
    return answer;
  });
  EXPECT_EQ(MessageOf([&] { ReadJPEGBytes(cut, g, pgwaOKCancelBox); }),
            "JPG: Operation aborted on user request");
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(caption, "JPG Warning");

  // OK goes on and delivers the whole (partly blurred) image.
  asked = 0;
  answer = true;
  EXPECT_EQ(MessageOf([&] { ReadJPEGBytes(cut, g, pgwaOKCancelBox); }), "(no error)");
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(g.Width(), 150);
  EXPECT_EQ(g.Height(), 103);

  asked = 0;
  EXPECT_EQ(MessageOf([&] { ReadJPEGBytes(cut, g, pgwaIgnore); }), "(no error)");
  EXPECT_EQ(asked, 0);

  // Every cut position: a clean error or an image of the full size, never a fault.
  for (size_t n = 0; n < whole.size(); n += 97) {
    const std::vector<uint8_t> part(whole.begin(), whole.begin() + n);
    TPixelGraphic p;
    try {
      ReadJPEGBytes(part, p, pgwaIgnore);
      EXPECT_EQ(p.Width(), 150);
    } catch (const EPGJPGFileFormatReaderWriter& e) {
      EXPECT_EQ(std::string(e.what()).rfind("JPG: ", 0), 0u) << e.what();
    }
  }
  EXPECT_EQ(MessageOf([&] { ReadJPEGBytes({}, g); }), "JPG: Empty input file");
  EXPECT_EQ(MessageOf([&] {
              ReadJPEGBytes({0xFF, 0xD8, 0xFF, 0xD9}, g);
            }),
            "JPG: JPEG datastream contains no image");
}

TEST(JPEGReader, OversizedHeadersFailBeforeAllocating) {
  if (!std::filesystem::exists(kGoData)) GTEST_SKIP() << "Go image test data missing";
  TSettingsGuard guard;
  PGMaxImageSize = 1 << 20;
  std::vector<uint8_t> bytes = peer::ReadFile(kGoData + "video-001.jpeg");
  // Patch the frame header (FF C0) to 60000 x 60000.
  size_t sof = 2;
  while (sof + 9 < bytes.size() && !(bytes[sof] == 0xFF && bytes[sof + 1] == 0xC0)) ++sof;
  ASSERT_LT(sof + 9, bytes.size());
  bytes[sof + 5] = 0xEA;
  bytes[sof + 6] = 0x60;
  bytes[sof + 7] = 0xEA;
  bytes[sof + 8] = 0x60;
  TPixelGraphic g;
  EXPECT_THROW(ReadJPEGBytes(bytes, g), EPixelGraphic);
  EXPECT_EQ(g.ImageSize(), 0);
}

TEST(JPEGReader, ProgressRunsPerRowAndAbortStopsDecoding) {
  if (!std::filesystem::exists(kGoData)) GTEST_SKIP() << "Go image test data missing";
  TPixelGraphic g;
  int starts = 0, ends = 0, last = -1, max = 0;
  g.OnProgressStart = [&](TPixelGraphic&) { ++starts; };
  g.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
  g.OnProgress = [&](TPixelGraphic&, int step, int m, bool&) {
    EXPECT_GT(step, last);
    last = step;
    max = m;
  };
  ReadJPEG(kGoData + "video-001.jpeg", g);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(last, 103);
  EXPECT_EQ(max, 103);

  // Abort after ten rows: the rest stays untouched and the library reports the
  // early end; the progress is still ended once.
  starts = ends = 0;
  g.OnProgress = [&](TPixelGraphic&, int step, int, bool& abort) { abort = step >= 10; };
  const std::string message = MessageOf([&] { ReadJPEG(kGoData + "video-001.jpeg", g); });
  EXPECT_EQ(message, "JPG: Application transferred too few scanlines");
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(g.Height(), 103);
  EXPECT_NE(g.PixelColor(5, 5), 0u);
  for (int x = 0; x < 150; ++x) EXPECT_EQ(g.PixelColor(x, 50), 0u);

  // A handler that raises: the exception passes, the progress is ended.
  ends = 0;
  g.OnProgress = [&](TPixelGraphic&, int step, int, bool&) {
    if (step == 20) throw std::runtime_error("handler failed");
  };
  EXPECT_THROW(ReadJPEG(kGoData + "video-001.jpeg", g), std::runtime_error);
  EXPECT_EQ(ends, 1);
}

TEST(JPEGReader, ManyScansAreRefusedAndAbortStopsWhileTheScansAreTakenIn) {
  TSettingsGuard guard;
  PGJPEGProgressive = true;
  TPixelGraphic g;
  MakeTestImage(g, 64, 48);
  const std::vector<uint8_t> bytes = korvane_test::RepeatLastScan(WriteToMemory(g), 40);
  const struct {
    int maxScans, abortAtCall;  // 0: never
    const char* message;
  } cases[] = {{100, 0, "(no error)"},
               {20, 0, "JPG: More than 20 scans"},
               {100, 3, "JPG: Operation aborted on user request"}};
  for (const auto& c : cases) {
    TPGSettingScope<int> scans(PGJPEGMaxScans, c.maxScans);
    int calls = 0;
    g.OnProgress = [&](TPixelGraphic&, int, int, bool& abort) { abort = ++calls == c.abortAtCall; };
    // The repeated scans draw warnings, which are let pass here.
    EXPECT_EQ(MessageOf([&] { ReadJPEGBytes(bytes, g, pgwaIgnore); }), c.message);
    if (c.abortAtCall) {
      EXPECT_EQ(calls, c.abortAtCall);
    }
  }
}

TEST(JPEGWriter, WritesWhatCjpegWritesFromTheSamePixels) {
  if (!HaveIJGTools()) GTEST_SKIP() << "cjpeg/djpeg missing";
  TSettingsGuard guard;
  korvane_test::ScratchDir s("jpeg-writer");
  TPixelGraphic g;
  MakeTestImage(g, 123, 77);
  peer::WritePPM(s.File("src.ppm"), g);
  const struct {
    int quality;
    bool progressive;
    int dct;
    const char* options;
  } cases[] = {
      {80, false, 2, "-quality 80 -dct float"},
      {95, true, 2, "-quality 95 -progressive -dct float"},
      {50, false, 0, "-quality 50 -dct int"},
      {5, false, 1, "-quality 5 -baseline -dct fast"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    PGJPEGQuality = c.quality;
    PGJPEGProgressive = c.progressive;
    PGJPEGWriteDCTMethod = c.dct;
    const std::vector<uint8_t> ours = WriteToMemory(g);
    ASSERT_EQ(korvane_test::RunShell(std::string("cjpeg ") + c.options + " -outfile " +
                                     s.File("peer.jpg") + " " + s.File("src.ppm")),
              0);
    EXPECT_TRUE(ours == peer::ReadFile(s.File("peer.jpg")));
    // And it reads back as the peer decodes it.
    TPixelGraphic back;
    ReadJPEGBytes(ours, back);
    peer::WriteFile(s.File("ours.jpg"), ours);
    EXPECT_EQ(peer::MaxDifference(back, PeerDecode(s, s.File("ours.jpg"))), 0);
  }
}

TEST(JPEGWriter, GrayImagesBecomeOneComponentFiles) {
  if (!HaveIJGTools()) GTEST_SKIP() << "cjpeg/djpeg missing";
  TSettingsGuard guard;
  korvane_test::ScratchDir s("jpeg-gray");
  TPixelGraphic g;
  g.SetSize(64, 40, pf8Bit);
  g.SetPaletteIdent(pGray256);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 64; ++x) g.SetPixel(x, y, x * 2 + y * 2);
  const std::vector<uint8_t> ours = WriteToMemory(g);
  peer::WriteFile(s.File("ours.jpg"), ours);
  TPGFileInfo info = InfoOf(s.File("ours.jpg"));
  EXPECT_EQ(info.SubType, "JFIF, GrayScale");
  TPixelGraphic back;
  ReadJPEGBytes(ours, back);
  EXPECT_EQ(back.PixelFormat(), pf8Bit);
  EXPECT_LE(peer::MaxDifference(back, PeerDecode(s, s.File("ours.jpg"))), 0);
  EXPECT_LE(peer::MaxDifference(back,
                                [&] {
                                  peer::TPeerImage original;
                                  original.Width = 64;
                                  original.Height = 40;
                                  original.Channels = 1;
                                  for (int y = 0; y < 40; ++y)
                                    for (int x = 0; x < 64; ++x)
                                      original.Samples.push_back(x * 2 + y * 2);
                                  return original;
                                }()),
            12);
}

TEST(JPEGWriter, RefusesWhatItCannotStore) {
  TSettingsGuard guard;
  TPixelGraphic g;
  g.SetSize(8, 8, pf8Bit);
  g.SetPaletteCount(3);
  g.SetPaletteColor(1, RGB(255, 0, 0));
  TMemoryStream out;
  EXPECT_EQ(MessageOf([&] { TJPGFileFormatWriter().WriteGraphic(out, g); }),
            "JPG: Invalid value for BitCount");
  EXPECT_EQ(out.Size(), 0);
  TPixelGraphic empty;
  EXPECT_EQ(MessageOf([&] { TJPGFileFormatWriter().WriteGraphic(out, empty); }),
            "JPG: Empty JPEG image (DNL not supported)");
  EXPECT_EQ(TJPGFileFormatWriter().CanWriteResolutions, 160);
}

TEST(JPEGWriter, StreamFailureRaisesAndEndsProgress) {
  struct TFullStream : TMemoryStream {
    size_t Write(const void* b, size_t n) override {
      if (Size() + static_cast<int64_t>(n) > 20000) return 0;
      return TMemoryStream::Write(b, n);
    }
  } out;
  TPixelGraphic g;
  MakeTestImage(g, 800, 600);
  int ends = 0;
  g.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
  EXPECT_THROW(TJPGFileFormatWriter().WriteGraphic(out, g), EPixelGraphic);
  EXPECT_EQ(ends, 1);
}

TEST(JPEGFormat, RegistersItsExtensions) {
  TReaderList readers;
  TWriterList writers;
  AddJPEGReaders(readers);
  AddJPEGWriters(writers);
  ASSERT_EQ(readers.size(), 3u);
  ASSERT_EQ(writers.size(), 3u);
  const char* ext[] = {"jpg", "jpeg", "jif"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(readers[i]->Extension, ext[i]);
    EXPECT_EQ(writers[i]->Extension, ext[i]);
    EXPECT_EQ(readers[i]->Description, "JPEG (JFIF compliant)");
    EXPECT_TRUE(readers[i]->SignatureCheck);
    TFileFormatReader::THeader h{};
    h[0] = 0xFF;
    h[1] = 0xD8;
    EXPECT_TRUE(readers[i]->IsFormat(h));
    h[1] = 0xD9;
    EXPECT_FALSE(readers[i]->IsFormat(h));
  }
}

TEST(JPEGDispatch, PaletteImagesAreSavedAsTrueColour) {
  korvane_test::ScratchDir s("jpeg-save");
  // An 8-bit colour image cannot be stored: it goes to 16.7 million colours.
  TPixelGraphic g;
  g.SetSize(40, 30, pf8Bit);
  g.SetPaletteCount(3);
  g.SetPaletteColor(0, RGB(255, 0, 0));
  g.SetPaletteColor(1, RGB(0, 0, 255));
  g.SetPaletteColor(2, RGB(0, 255, 0));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) g.SetPixel(x, y, x < 20 ? 0 : y < 15 ? 1 : 2);
  std::vector<std::string> asked;
  SetQuestionHook([&](const std::string&, const std::string& text, bool) {
    asked.push_back(text);
    return true;
  });
  g.SaveToFile(s.File("out.jpeg"));
  SetQuestionHook(nullptr);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_NE(asked[0].find("16.7 million colors"), std::string::npos);
  TPixelGraphic back;
  back.LoadFromFile(s.File("out.jpeg"));
  EXPECT_EQ(back.PixelFormat(), pf24Bit);
  // Away from the edges (where chroma is subsampled) the colours hold.
  const TRGB red = back.PixelColor(8, 8), blue = back.PixelColor(30, 5),
             green = back.PixelColor(30, 25);
  EXPECT_GT(GetR(red), 240u);
  EXPECT_LT(GetG(red), 15u);
  EXPECT_GT(GetB(blue), 240u);
  EXPECT_LT(GetR(blue), 15u);
  EXPECT_GT(GetG(green), 240u);
  EXPECT_LT(GetB(green), 15u);

  // A 256-gray image stays gray without a question.
  TPixelGraphic gray;
  gray.SetSize(16, 16, pf8Bit);
  gray.SetPaletteIdent(pGray256);
  gray.SetSaveColorResWarningAction(pgwaRaise);
  gray.SaveToFile(s.File("gray.jif"));
  std::string type;
  TPGFileInfo info;
  ASSERT_TRUE(GetFileInfo(s.File("gray.jif"), 0, type, info));
  EXPECT_EQ(type, "JPEG (JFIF compliant)");
  EXPECT_EQ(info.SubType, "JFIF, GrayScale");
}
