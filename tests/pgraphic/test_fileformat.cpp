// Format dispatch, the save path with its colour-resolution fallback and warning
// actions, failed-save protection, load-time gamma and the information queries.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "pgraphic/formats/bmp.h"
#include "pgraphic/formats/fileformat.h"
#include "pgraphic/image/colorres.h"
#include "support/bmp_builder.h"
#include "support/peer_image.h"

using namespace pgraphic;
namespace fs = std::filesystem;
using korvane_test::ReadFileBytes;

namespace {

// A reader that claims files by a two-byte signature (or by extension only
// when sig is empty) and fills a 2 x 1 24-bit image with a chosen gamma.
class TestReader : public TFileFormatReader {
 public:
  TestReader(std::string ext, std::string sig, long double gamma = 0)
      : sig_(std::move(sig)), gamma_(gamma) {
    Extension = std::move(ext);
    Description = "Test " + Extension;
    ClassName = "TTestReader";
    SignatureCheck = !sig_.empty();
  }
  bool IsFormat(THeader h) override {
    if (throws) throw std::runtime_error("broken");
    return h[0] == static_cast<uint8_t>(sig_[0]) && h[1] == static_cast<uint8_t>(sig_[1]);
  }
  void ReadGraphic(TStream&, TPixelGraphic& g, int) override {
    ++reads;
    g.SetSize(2, 1, pf24Bit);
    g.SetPixel(0, 0, RGB(128, 200, 0));
    g.SetPixel(1, 0, RGB(255, 1, 64));
    if (gamma_ > 0) g.SetGamma(gamma_);
  }
  int reads = 0;
  bool throws = false;

 private:
  std::string sig_;
  long double gamma_;
};

// A writer with a chosen set of colour resolutions that records what it was
// given; it can be told to fail after writing some bytes.
class TestWriter : public TFileFormatWriter {
 public:
  TestWriter(std::string ext, uint8_t resolutions) {
    Extension = std::move(ext);
    Description = "Test Format";
    ClassName = "TTestFileFormatWriter";
    CanWriteResolutions = resolutions;
  }
  void WriteGraphic(TStream& s, TPixelGraphic& g) override {
    written = &g;
    writtenResolution = CurrentColorResolution(g);
    writtenWidth = g.Width();
    s.WriteBuffer("partial", 7);
    if (fail) throw EPixelGraphic("forced failure");
  }
  TPixelGraphic* written = nullptr;
  TPGColorResolution writtenResolution = crTrueColor;
  int writtenWidth = 0;
  bool fail = false;
};

// Registers test readers/writers for one test and removes them afterwards.
struct Registration {
  std::vector<TFileFormatReader*> readers;
  std::vector<TFileFormatWriter*> writers;
  template <class R>
  R* Add(std::unique_ptr<R> r) {
    R* raw = r.get();
    if constexpr (std::is_base_of_v<TFileFormatReader, R>) {
      readers.push_back(raw);
      RegisterFileFormatReader(std::move(r));
    } else {
      writers.push_back(raw);
      RegisterFileFormatWriter(std::move(r));
    }
    return raw;
  }
  ~Registration() {
    auto& rl = FileFormatReaders();
    rl.erase(std::remove_if(rl.begin(), rl.end(),
                            [&](auto& p) {
                              return std::find(readers.begin(), readers.end(), p.get()) !=
                                     readers.end();
                            }),
             rl.end());
    auto& wl = FileFormatWriters();
    wl.erase(std::remove_if(wl.begin(), wl.end(),
                            [&](auto& p) {
                              return std::find(writers.begin(), writers.end(), p.get()) !=
                                     writers.end();
                            }),
             wl.end());
  }
};

std::vector<uint8_t> SmallBmp() {
  return korvane_test::BuildBmp(korvane_test::PixelsOnly({1, 2, 3, 0}));
}

std::string Message(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no error";
}

struct TempDir {
  fs::path path;
  TempDir() {
    path = fs::temp_directory_path() /
           ("korvane-ff-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  size_t Count() const {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(path), fs::directory_iterator()));
  }
};

}  // namespace

TEST(FormatDispatch, ListsAreSortedAtRegistrationByExtensionIgnoringCase) {
  Registration reg;
  reg.Add(std::make_unique<TestReader>("AAA", "QQ"));
  auto& readers = FileFormatReaders();
  EXPECT_EQ(readers.front()->Extension, "AAA");
  // A list changed by hand is put back in order on request.
  std::swap(readers.front(), readers.back());
  EXPECT_EQ(readers.back()->Extension, "AAA");
  SortReadersIfNeeded();
  EXPECT_EQ(readers.front()->Extension, "AAA");
  std::vector<std::string> bmpFamily;
  for (auto& r : readers) {
    if (r->Extension == "bmp" || r->Extension == "dib" || r->Extension == "rle") {
      bmpFamily.push_back(r->Extension);
    }
  }
  EXPECT_EQ(bmpFamily, (std::vector<std::string>{"bmp", "dib", "rle"}));
}

TEST(FormatDispatch, SignatureBeforeExtensionAndExtensionOnlyForReadersWithout) {
  Registration reg;
  TestReader* byExt = reg.Add(std::make_unique<TestReader>("zzt", ""));
  const std::vector<uint8_t> bmp = SmallBmp();
  TReadOnlyMemoryStream s(bmp.data(), bmp.size());
  s.Seek(0);
  // A BMP signature wins over the extension of a reader without signature.
  TFileFormatReader* r = FindFileFormatReader(s, "zzt");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Extension, "bmp");
  EXPECT_EQ(s.Position(), 0);
  // "rle" and "dib" files with a BMP signature are read by the "bmp" reader.
  EXPECT_EQ(FindFileFormatReader(s, "rle")->Extension, "bmp");
  EXPECT_EQ(FindFileFormatReader(s, ".DIB")->Extension, "bmp");

  const std::vector<uint8_t> foreign = {0x0B, 0x00, 0x02, 0, 0, 0};
  TReadOnlyMemoryStream f(foreign.data(), foreign.size());
  EXPECT_EQ(FindFileFormatReader(f, "zzt"), byExt);
  EXPECT_EQ(FindFileFormatReader(f, ".ZZT"), byExt);     // one dot dropped, case ignored
  EXPECT_EQ(FindFileFormatReader(f, "..zzt"), nullptr);  // only one dot is dropped
  EXPECT_EQ(FindFileFormatReader(f, "zzx"), nullptr);
  EXPECT_EQ(FindFileFormatReader(f, ""), nullptr);
  // Readers with a signature are never chosen by their extension.
  EXPECT_EQ(FindFileFormatReader(f, "bmp"), nullptr);
  TPixelGraphic g;
  EXPECT_EQ(Message([&] { g.LoadFromStreamExt(f, "bmp", 0); }), "Unknown file format");
  EXPECT_THROW(g.LoadFromStreamExt(f, "tgx", 0), EPGUnknownFileFormat);
  f.Seek(0);
  g.LoadFromStreamExt(f, "zzt", 0);
  EXPECT_EQ(byExt->reads, 1);
  // Plain stream loading passes no extension: only signatures answer.
  f.Seek(0);
  EXPECT_THROW(g.LoadFromStream(f), EPGUnknownFileFormat);

  // An empty stream and a one-byte stream are simply unrecognised.
  TReadOnlyMemoryStream empty(nullptr, 0);
  EXPECT_EQ(FindFileFormatReader(empty, ""), nullptr);
  const uint8_t one = 'B';
  TReadOnlyMemoryStream tiny(&one, 1);
  EXPECT_EQ(FindFileFormatReader(tiny, ""), nullptr);
}

TEST(FormatDispatch, SignaturePassRunsInSortedOrderAndNeverRaises) {
  Registration reg;
  // "aab" sorts before "bmp" and claims the same signature: it is the one used.
  TestReader* early = reg.Add(std::make_unique<TestReader>("aab", "BM"));
  const std::vector<uint8_t> bmp = SmallBmp();
  TReadOnlyMemoryStream s(bmp.data(), bmp.size());
  EXPECT_EQ(FindFileFormatReader(s, "bmp"), early);
  early->throws = true;
  EXPECT_EQ(FindFileFormatReader(s, "bmp"), nullptr);
  std::string type;
  TPGFileInfo info;
  EXPECT_FALSE(GetStreamInfo(s, "bmp", 0, type, info));
}

TEST(LoadGamma, FileGammaIsAdjustedToTheDisplayGamma) {
  Registration reg;
  // Exponent 2: t[i] = round(255 (i/255)^2).
  reg.Add(std::make_unique<TestReader>("gm2", "G2", 3.6L));
  reg.Add(std::make_unique<TestReader>("gm1", "G1", 1.85L));
  const uint8_t two[2] = {'G', '2'};
  TReadOnlyMemoryStream s(two, 2);
  TPixelGraphic g;
  g.LoadFromStream(s);
  EXPECT_EQ(g.PixelColor(0, 0), RGB(64, 157, 0));
  EXPECT_EQ(g.PixelColor(1, 0), RGB(255, 0, 16));
  EXPECT_EQ(g.Gamma(), PGDisplayGamma);

  // Within 5 % of the display gamma nothing changes, and the file's gamma stays.
  const uint8_t one[2] = {'G', '1'};
  TReadOnlyMemoryStream t(one, 2);
  g.LoadFromStream(t);
  EXPECT_EQ(g.PixelColor(0, 0), RGB(128, 200, 0));
  EXPECT_EQ(g.Gamma(), 1.85L);

  {
    TPGSettingScope uncorrected(PGCorrectGammaOnLoad, false);
    s.Seek(0);
    g.LoadFromStream(s);
  }
  EXPECT_EQ(g.PixelColor(0, 0), RGB(128, 200, 0));
}

TEST(SaveDispatch, ExtensionsAndExactMessages) {
  TPixelGraphic g;
  g.SetSize(3, 2, pf24Bit);
  TMemoryStream s;
  g.SaveToStreamExt(s, ".BMP");
  EXPECT_EQ(s.Bytes()[0], 'B');
  EXPECT_EQ(Message([&] { g.SaveToStreamExt(s, ".XyZ"); }), "Unknown file extension \"xyz\"");
  EXPECT_THROW(g.SaveToStreamExt(s, "xyz"), EPGUnknownExtension);

  Registration reg;
  reg.Add(std::make_unique<TestWriter>("nowr", 0));
  EXPECT_EQ(Message([&] { g.SaveToStreamExt(s, "nowr"); }),
            "TTestFileFormatWriter.CanWriteResolutions is empty");
  EXPECT_EQ(ColorResolutionName(cr16SysColors), "16 system colors");
}

TEST(SaveDispatch, FallbackRowsPickTheFirstResolutionTheWriterHolds) {
  TestWriter jpeg("j", 160), tga("t", 192), tiff("f", 253), bmp("b", 255), pbm("p", 1);
  EXPECT_EQ(SaveColorResolution(jpeg, cr16Colors), crTrueColor);
  EXPECT_EQ(SaveColorResolution(tga, crBlackWhite), cr256Colors);
  EXPECT_EQ(SaveColorResolution(tiff, cr2Colors), cr16Colors);
  EXPECT_EQ(SaveColorResolution(jpeg, cr16Grays), cr256Grays);
  EXPECT_EQ(SaveColorResolution(pbm, crTrueColor), crBlackWhite);
  for (int c = 0; c < 8; ++c) {
    EXPECT_EQ(SaveColorResolution(bmp, static_cast<TPGColorResolution>(c)), c);
  }
  TestWriter only2("x", 1 << 2);
  EXPECT_EQ(SaveColorResolution(only2, cr256Colors), cr16Grays);
}

TEST(SaveDispatch, WarningActionsDecideWhetherTheSaveGoesOn) {
  Registration reg;
  TestWriter* bw = reg.Add(std::make_unique<TestWriter>("bwonly", 1));
  TPixelGraphic g;
  g.SetSize(2, 2, pf24Bit);
  TMemoryStream s;
  const std::string refused =
      "The graphic cannot be saved with to a Test Format file with the current color "
      "resolution (16.7 million colors)";

  g.SetSaveColorResWarningAction(pgwaRaise);
  EXPECT_EQ(Message([&] { g.SaveToStreamExt(s, "bwonly"); }), refused);

  std::vector<std::string> asked;
  SetQuestionHook([&](const std::string& caption, const std::string& text, bool cancel) {
    asked.push_back(caption + "|" + text + "|" + (cancel ? "cancel" : "ok"));
    return false;  // the user presses Cancel (or closes the box)
  });
  g.SetSaveColorResWarningAction(pgwaOKCancelBox);
  EXPECT_EQ(Message([&] { g.SaveToStreamExt(s, "bwonly"); }), refused);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0],
            "Warning|The graphic cannot be saved to a Test Format file with the current color "
            "resolution (16.7 million colors).\r\rThe graphic will be saved with a different "
            "color resolution (black and white).|cancel");
  SetQuestionHook(nullptr);
  EXPECT_EQ(bw->written, nullptr);
}

TEST(SaveToFile, FailedSaveKeepsTheOldFileAndLeavesNothingNew) {
  TempDir dir;
  Registration reg;
  TestWriter* w = reg.Add(std::make_unique<TestWriter>("zzw", 0xFF));
  TPixelGraphic g;
  g.SetSize(4, 4, pf24Bit);

  // A new file that fails leaves nothing behind.
  w->fail = true;
  const fs::path fresh = dir.path / "new.zzw";
  EXPECT_EQ(Message([&] { g.SaveToFile(fresh.string()); }), "forced failure");
  EXPECT_FALSE(fs::exists(fresh));
  EXPECT_EQ(dir.Count(), 0u);

  // An existing file that fails is left exactly as it was, mode included.
  const fs::path old = dir.path / "old.zzw";
  { std::ofstream(old, std::ios::binary) << "precious contents"; }
  ::chmod(old.c_str(), 0640);
  EXPECT_THROW(g.SaveToFile(old.string()), EPixelGraphic);
  const std::vector<uint8_t> kept = ReadFileBytes(old);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "precious contents");
  EXPECT_EQ(dir.Count(), 1u);

  // A successful save replaces it and keeps its permissions.
  w->fail = false;
  g.SaveToFile(old.string());
  const std::vector<uint8_t> now = ReadFileBytes(old);
  EXPECT_EQ(std::string(now.begin(), now.end()), "partial");
  struct stat st {};
  ASSERT_EQ(::stat(old.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(dir.Count(), 1u);

  // Saving through a symbolic link replaces the file behind it.
  const fs::path link = dir.path / "link.bmp";
  const fs::path real = dir.path / "real.bmp";
  { std::ofstream(real) << "x"; }
  fs::create_symlink(real, link);
  g.SaveToFile(link.string());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(real)[0], 'B');

  // A folder that does not exist fails cleanly.
  EXPECT_THROW(g.SaveToFile((dir.path / "missing" / "x.bmp").string()), EPixelGraphic);
}

TEST(FileInfo, StreamAndFileQueries) {
  TempDir dir;
  const fs::path p = dir.path / "picture.rle";
  TPixelGraphic g;
  g.SetSize(7, 3, pf8Bit);
  g.SetPaletteCount(4);
  g.SaveToFile((dir.path / "picture.bmp").string());
  fs::rename(dir.path / "picture.bmp", p);

  std::string type;
  TPGFileInfo info;
  ASSERT_TRUE(GetFileInfo(p.string(), 0, type, info));
  EXPECT_EQ(type, "Bitmap");
  EXPECT_EQ(info.Width, 7);
  EXPECT_EQ(info.Height, 3);
  EXPECT_EQ(info.SubType, "Windows, RGB");
  EXPECT_EQ(InfoText(type, info, 2048),
            "Type: Bitmap Windows, RGB; Size: 7x3; Colors: 256; File size: 2 Kb");
  EXPECT_EQ(FileSizeKbText(38502), "37.6");
  EXPECT_EQ(FileSizeKbText(0), "0");

  EXPECT_FALSE(GetFileInfo("", 0, type, info));
  EXPECT_FALSE(GetFileInfo((dir.path / "nothing.bmp").string(), 0, type, info));
  // An unreadable index makes the query false, with the outputs cleared first.
  EXPECT_FALSE(GetFileInfo(p.string(), 1, type, info));
  EXPECT_EQ(info.Width, 0);
  EXPECT_EQ(type, "Bitmap");

  const std::vector<uint8_t> junk = {1, 2, 3};
  TReadOnlyMemoryStream s(junk.data(), junk.size());
  EXPECT_FALSE(GetStreamInfo(s, "bmp", 0, type, info));
  EXPECT_EQ(type, "");
  EXPECT_EQ(info.Count, 0);
}

TEST(SaveDispatch, ConvertedCopyIsWrittenWhenTheWarningLetsTheSaveGoOn) {
  Registration reg;
  TestWriter* bw = reg.Add(std::make_unique<TestWriter>("bwonly", 1));
  TestWriter* tga = reg.Add(std::make_unique<TestWriter>("likeTGA", 192));
  TPixelGraphic g;
  g.SetSize(6, 4, pf24Bit);
  for (int x = 0; x < 6; ++x) g.SetPixel(x, 1, RGB(255, 255, 255));
  TMemoryStream s;
  std::vector<bool> asked;
  SetQuestionHook([&](const std::string&, const std::string&, bool withCancel) {
    asked.push_back(withCancel);
    return false;  // an OK-only box goes on whatever the answer
  });
  g.SetSaveColorResWarningAction(pgwaOKBox);
  g.SaveToStreamExt(s, "bwonly");
  EXPECT_EQ(asked, (std::vector<bool>{false}));
  EXPECT_EQ(bw->writtenResolution, crBlackWhite);
  EXPECT_EQ(bw->writtenWidth, 6);
  EXPECT_NE(bw->written, &g);  // a converted copy, the image itself is unchanged
  EXPECT_EQ(g.PixelFormat(), pf24Bit);

  // Ignore: no question; a black-and-white image saved where 256 colours is the
  // first resolution the writer holds.
  asked.clear();
  TPixelGraphic bwImage;
  bwImage.SetSize(5, 5, pf1Bit);
  bwImage.SetPaletteIdent(pBlackWhite);
  bwImage.SetSaveColorResWarningAction(pgwaIgnore);
  bwImage.SaveToStreamExt(s, "liketga");
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(tga->writtenResolution, cr256Colors);

  // OK/Cancel answered with OK goes on too.
  SetQuestionHook([&](const std::string&, const std::string&, bool withCancel) {
    asked.push_back(withCancel);
    return true;
  });
  g.SetSaveColorResWarningAction(pgwaOKCancelBox);
  g.SaveToStreamExt(s, "bwonly");
  EXPECT_EQ(asked, (std::vector<bool>{true}));
  SetQuestionHook(nullptr);
}

TEST(FormatDispatch, RegisteredListsAndTheTgaOnlyByExtensionRule) {
  SortReadersIfNeeded();
  SortWritersIfNeeded();
  std::vector<std::string> readers, writers;
  for (auto& r : FileFormatReaders()) readers.push_back(r->Extension);
  for (auto& w : FileFormatWriters()) writers.push_back(w->Extension);
  EXPECT_TRUE(std::is_sorted(readers.begin(), readers.end()));
  EXPECT_TRUE(std::is_sorted(writers.begin(), writers.end()));
  const bool haveTga = std::count(readers.begin(), readers.end(), "tga") == 1;
  const bool havePcx = std::count(readers.begin(), readers.end(), "pcx") == 1;
  if (!haveTga || !havePcx) GTEST_SKIP() << "TGA and PCX readers not registered";
  // An uncompressed 2 x 1 true-colour TGA without image id.
  std::vector<uint8_t> tga = {0, 0, 2, 0, 0,  0, 0, 0, 0, 0, 0, 0,
                              2, 0, 1, 0, 24, 0, 1, 2, 3, 4, 5, 6};
  TReadOnlyMemoryStream s(tga.data(), tga.size());
  ASSERT_NE(FindFileFormatReader(s, "tga"), nullptr);
  EXPECT_EQ(FindFileFormatReader(s, "tga")->Extension, "tga");
  EXPECT_EQ(FindFileFormatReader(s, ""), nullptr);
  TPixelGraphic g;
  EXPECT_EQ(Message([&] { g.LoadFromStreamExt(s, "tgx", 0); }), "Unknown file format");
  // The same file with an image id of length 10 starts with 0A: PCX claims it.
  tga[0] = 0x0A;
  EXPECT_EQ(FindFileFormatReader(s, "tga")->Extension, "pcx");
  EXPECT_THROW(g.LoadFromStreamExt(s, "tga", 0), EPGPCXFileFormatReader);
}
