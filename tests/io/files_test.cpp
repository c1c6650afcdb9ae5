// The file service: routing by extension, round trips through every writable
// format and VQN, descriptions, saves that never destroy what was there; the trash.
#include "io/files.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <random>

#include "io/trash.h"
#include "support/hostile_files.h"
#include "support/peer_image.h"
#include "support/pg_message.h"

namespace io {
namespace {

namespace fs = std::filesystem;
using korvane_test::MessageOf;
using korvane_test::ReadFileBytes;
using korvane_test::ScratchDir;
using pgraphic::TPixelGraphic;

class FileService : public ::testing::Test {
 protected:
  static std::unique_ptr<TPixelGraphic> Noise(int w, int h, unsigned seed) {
    auto g = std::make_unique<TPixelGraphic>();
    g->SetSize(w, h, pgraphic::pf24Bit);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) g->SetPixelColor(x, y, rng() & 0xFFFFFF);
    return g;
  }
  static bool SamePixels(const TPixelGraphic& a, const TPixelGraphic& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
      for (int x = 0; x < a.Width(); ++x)
        if (a.PixelColor(x, y) != b.PixelColor(x, y)) return false;
    return true;
  }
  static mode_t Mode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
  }
  ScratchDir dir_{"io_files"};
};

TEST_F(FileService, KindsFollowTheExtensionOnly) {
  const struct {
    const char* path;
    TFileKind kind;
  } cases[] = {
      {"a.vqn", TFileKind::Wavelet},   {"/x/B.VQN", TFileKind::Wavelet},
      {"c.wmf", TFileKind::Metafile},  {"d.EMF", TFileKind::Metafile},
      {"e.bmp", TFileKind::Image},     {"vqn", TFileKind::Image},
      {"f.vqn.png", TFileKind::Image}, {"g", TFileKind::Image},
  };
  for (const auto& c : cases) EXPECT_EQ(FileKindOf(c.path), c.kind) << c.path;
}

TEST_F(FileService, RoundTripsThroughEveryLosslessFormat) {
  const auto source = Noise(13, 7, 1);
  const struct {
    const char* ext;
    const char* type;
  } cases[] = {{"bmp", "Bitmap"},
               {"png", "Portable Network Graphics"},
               {"tif", "Tagged Image File Format"},
               {"ppm", "Portable Pixelmap"},
               {"tga", "Truevision Targa"}};
  for (const auto& c : cases) {
    const std::string path = dir_ / (std::string("pic.") + c.ext);
    SaveImage(*source, path);
    const auto back = OpenImage(path);
    EXPECT_TRUE(SamePixels(*source, *back)) << c.ext;
    const TFileDescription d = DescribeFile(path);
    EXPECT_EQ(d.TypeName, c.type);
    EXPECT_EQ(d.Info.Width, 13);
    EXPECT_EQ(d.Info.Height, 7);
    EXPECT_EQ(d.FileSize, static_cast<int64_t>(fs::file_size(path)));
    EXPECT_EQ(d.Text, pgraphic::InfoText(d.TypeName, d.Info, d.FileSize));
  }
}

TEST_F(FileService, VQNFilesGoThroughTheCodec) {
  const auto source = Noise(40, 24, 2);
  const std::string path = dir_ / "pic.vqn";
  SaveImage(*source, path, {.VQNQuality = 41});
  // What is read back is exactly the encoder's preview at that quality.
  const codec::CompressResult expected = codec::CompressInteractive(*source, 41);
  const auto back = OpenImage(path);
  EXPECT_TRUE(SamePixels(*expected.Preview, *back));

  const TFileDescription d = DescribeFile(path);
  EXPECT_EQ(d.TypeName, "VQN");
  EXPECT_EQ(d.Info.SubType, "Wavelet 3.0");
  EXPECT_EQ(d.Info.Width, 40);
  EXPECT_EQ(d.Info.Height, 24);
  EXPECT_EQ(d.FileSize, static_cast<int64_t>(fs::file_size(path)));
  EXPECT_EQ(d.Text, codec::VQNInfoText(codec::ReadVQNInfo(path)));

  // Held data saved later gives the same file.
  const std::string held = dir_ / "held.vqn";
  SaveCompressed(expected.Data, held);
  EXPECT_EQ(ReadFileBytes(held), ReadFileBytes(path));
}

TEST_F(FileService, RoutingByExtensionWhenContentsDisagree) {
  const auto source = Noise(9, 9, 3);
  SaveImage(*source, dir_ / "real.vqn");
  SaveImage(*source, dir_ / "real.png");
  fs::copy_file(dir_ / "real.vqn", dir_ / "vqn.bmp");
  fs::copy_file(dir_ / "real.png", dir_ / "png.vqn");
  fs::copy_file(dir_ / "real.png", dir_ / "png.wmf");

  // The readers do not know VQN, and the codec does not know PNG.
  EXPECT_EQ(MessageOf([&] { OpenImage(dir_ / "vqn.bmp"); }), "Unknown file format");
  EXPECT_EQ(MessageOf([&] { OpenImage(dir_ / "png.vqn"); }), codec::MsgNotVQN);
  EXPECT_EQ(MessageOf([&] { DescribeFile(dir_ / "png.vqn"); }), codec::MsgNotVQN);
  // With no metafile handler registered, a metafile name is offered to the readers.
  EXPECT_TRUE(SamePixels(*OpenImage(dir_ / "png.wmf"), *OpenImage(dir_ / "real.png")));

  TFileDescription d;
  EXPECT_FALSE(TryDescribeFile(dir_ / "vqn.bmp", d));
  EXPECT_FALSE(TryDescribeFile(dir_ / "missing.png", d));
  EXPECT_FALSE(TryDescribeFile(dir_ / "missing.vqn", d));
  EXPECT_TRUE(TryDescribeFile(dir_ / "png.wmf", d));
  EXPECT_EQ(d.TypeName, "Portable Network Graphics");
}

// Both kinds of writer share one safe save.
TEST_F(FileService, SavesKeepModesFollowLinksAndNeverDestroyOnFailure) {
  const auto source = Noise(16, 12, 4);
  for (const char* ext : {"bmp", "vqn"}) {
    SCOPED_TRACE(ext);
    const std::string file = dir_ / (std::string("kept.") + ext);
    SaveImage(*source, file);
    ::chmod(file.c_str(), 0640);
    SaveImage(*source, file);
    EXPECT_EQ(Mode(file), 0640u);

    const std::string real = dir_ / (std::string("real.") + ext);
    const std::string link = dir_ / (std::string("link.") + ext);
    korvane_test::WriteFileBytes(real, {'x'});
    fs::create_symlink(real, link);
    SaveImage(*source, link);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(real), ReadFileBytes(file));

    // A folder in the way of the rename: the save fails, nothing is left over.
    const std::string blocked = dir_ / (std::string("blocked.") + ext);
    fs::create_directories(fs::path(blocked) / "inner");
    EXPECT_THROW(SaveImage(*source, blocked), pgraphic::EPixelGraphic);
    EXPECT_TRUE(fs::is_directory(fs::path(blocked) / "inner"));
    EXPECT_THROW(SaveImage(*source, dir_ / (std::string("missing/x.") + ext)),
                 pgraphic::EPixelGraphic);
  }
  int hidden = 0;
  for (const auto& e : fs::directory_iterator(dir_.Path()))
    hidden += e.path().filename().string()[0] == '.';
  EXPECT_EQ(hidden, 0) << "no temporary file remains";

  // Data that cannot be written leave an existing file as it was.
  const std::string precious = dir_ / "precious.vqn";
  korvane_test::WriteFileBytes(precious, {1, 2, 3});
  codec::CompressedData broken = codec::Compress(*source, 41);
  broken.CodedLength += 5;
  EXPECT_THROW(SaveCompressed(broken, precious), pgraphic::EPixelGraphic);
  EXPECT_EQ(ReadFileBytes(precious), (std::vector<uint8_t>{1, 2, 3}));
}

// Names of any length the folder holds, links that point nowhere yet, and
// failures that name the file asked for and the system's reason.
TEST_F(FileService, SavesReachEveryNameAndNameTheirFailures) {
  const auto source = Noise(64, 64, 6);
  const std::string longName = dir_ / (std::string(251, 'n') + ".bmp");
  fs::create_symlink("made.bmp", dir_ / "dangling.bmp");
  korvane_test::WriteFileBytes(dir_ / "plain", {'x'});
  const struct {
    std::string save, written, error;
    rlim_t sizeLimit = RLIM_INFINITY;
  } cases[] = {
      {longName, longName, ""},
      {dir_ / "dangling.bmp", dir_ / "made.bmp", ""},
      {dir_ / "plain/x.bmp", "", "Not a directory"},
      {dir_ / "big.bmp", "", "File too large", 4096},
  };
  for (const auto& c : cases) {
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const rlimit small{c.sizeLimit, old.rlim_max};
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const std::string message = MessageOf([&] { SaveImage(*source, c.save); });
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(message, c.error.empty() ? "" : "Cannot write file \"" + c.save + "\": " + c.error);
    if (c.error.empty()) {
      EXPECT_TRUE(SamePixels(*OpenImage(c.written), *source)) << c.save;
    }
  }
  EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.bmp"));
  EXPECT_FALSE(fs::exists(dir_ / "big.bmp"));
}

// Temporary files a killed writer left behind go with the next save into
// their folder; those of a live writer, and everything else, stay.
TEST_F(FileService, SavesSweepOnlyStaleTemporaryFiles) {
  const std::string own = ".kvtmp-" + std::string(7 - std::to_string(::getpid()).size(), '0') +
                          std::to_string(::getpid());
  const struct {
    std::string name;
    int idleSeconds;
    bool kept;
  } cases[] = {
      {".kvtmp-9999999-aB3dE9", 120, false},  // no such process
      {".kvtmp-9999999-fresh1", 0, true},
      {own + "-live01", 120, true},
      {".photo.png.aB3dE9", 999999, true},
  };
  for (const auto& c : cases) {
    korvane_test::WriteFileBytes(dir_ / c.name, {1});
    fs::last_write_time(dir_ / c.name,
                        fs::file_time_type::clock::now() - std::chrono::seconds(c.idleSeconds));
  }
  SaveImage(*Noise(4, 4, 7), dir_ / "out.bmp");
  for (const auto& c : cases) EXPECT_EQ(fs::exists(dir_ / c.name), c.kept) << c.name;
}

TEST_F(FileService, OpenIntoAnImageKeepsItsHandlers) {
  const auto source = Noise(64, 64, 5);
  for (const char* ext : {"png", "vqn"}) {
    const std::string path = dir_ / (std::string("p.") + ext);
    SaveImage(*source, path);
    TPixelGraphic target;
    int starts = 0, ends = 0;
    target.OnProgressStart = [&](TPixelGraphic&) { ++starts; };
    target.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
    OpenImage(path, target);
    EXPECT_EQ(target.Width(), 64) << ext;
    EXPECT_GE(starts, 1) << ext;
    EXPECT_EQ(starts, ends) << ext;
  }
}

// Opening a FIFO would wait for a writer, a device would stream forever.
TEST(SpecialFiles, AreRefusedBeforeAnythingIsRead) {
  ScratchDir scratch("special-files");
  const auto files = korvane_test::MakeSpecialFiles(scratch.Path());
  ASSERT_FALSE(files.empty());
  for (const auto& f : files) {
    const std::string path = scratch / f.Name;
    const std::string refusal =
        "Cannot open file \"" + path + "\": not a regular file (" + f.Kind + ")";
    EXPECT_EQ(MessageOf([&] { OpenImage(path); }), refusal);
    EXPECT_EQ(MessageOf([&] { DescribeFile(path); }), refusal);
  }
}

// Moving to the trash: the home trash made in a fresh account, a volume's own
// and shared trash, and a volume with none that may be used.
TEST(Trash, MovesIntoTheTrashOfTheFilesVolume) {
  ScratchDir scratch("trash");
  const std::string home = scratch / "home", work = scratch / "work", vol = scratch / "vol";
  for (const auto& d : {home, work, vol}) fs::create_directories(d);
  const bool mounted = ::mount("tmpfs", vol.c_str(), "tmpfs", 0, "size=64k") == 0;  // as root
  const std::string uid = std::to_string(::getuid()), own = vol + "/.Trash-" + uid;
  const struct {
    std::string file, xdg, trash, path;  // trash "": none may take the file
    int shared = 0;                      // mode of the volume's shared trash
  } cases[] = {
      {work + "/a b%.bmp", "", home + "/.local/share/Trash", work + "/a%20b%25.bmp"},
      {work + "/a b%.bmp", "", home + "/.local/share/Trash", work + "/a%20b%25.bmp"},
      {work + "/c", home + "/data", home + "/data/Trash", work + "/c"},
      {vol + "/v.bmp", "", own, "v.bmp"},
      {vol + "/w.bmp", "", vol + "/.Trash/" + uid, "w.bmp", 01777},
      {vol + "/x.bmp", "", "", "", 0777},  // not sticky: not used; a link is no own trash
  };
  ::setenv("HOME", home.c_str(), 1);
  ASSERT_EQ(::chdir(work.c_str()), 0);
  for (uint8_t n = 1; const auto& c : cases) {
    if (c.file.starts_with(vol) && !mounted) continue;
    if (c.shared) fs::create_directories(vol + "/.Trash");
    if (c.shared) fs::permissions(vol + "/.Trash", fs::perms(c.shared));
    if (c.trash.empty()) fs::remove_all(own), fs::create_directory_symlink(work, own);
    korvane_test::WriteFileBytes(c.file, {n});
    c.xdg.empty() ? ::unsetenv("XDG_DATA_HOME") : ::setenv("XDG_DATA_HOME", c.xdg.c_str(), 1);
    try {
      const std::string moved = MoveToTrash(c.file);
      const std::string name = n == 2 ? "a b%.2.bmp" : fs::path(c.file).filename().string();
      EXPECT_EQ(moved, c.trash + "/files/" + name);
      EXPECT_EQ(ReadFileBytes(moved), std::vector<uint8_t>{n});
      const auto info = ReadFileBytes(c.trash + "/info/" + name + ".trashinfo");
      EXPECT_TRUE(std::string(info.begin(), info.end())
                      .starts_with("[Trash Info]\nPath=" + c.path + "\nDeletionDate=2"));
    } catch (const ETrash& e) {
      EXPECT_TRUE(c.trash.empty() && e.NoTrash);
      EXPECT_EQ(std::string(e.what()),
                "Can not move \"" + c.file + "\" to the trash: Permission denied");
    }
    ++n;
  }
  EXPECT_EQ(fs::status(home + "/.local/share").permissions() & fs::perms::all,
            fs::perms::owner_all);
  EXPECT_EQ(std::distance(fs::directory_iterator(work), {}), 0);  // nothing in the working folder
  if (mounted) ::umount2(vol.c_str(), MNT_DETACH);
}

// Files with each orientation tag, written by the peers: opened upright they are
// ImageMagick's -auto-orient picture with the upright size described; by default as stored.
class UprightPhoto : public testing::TestWithParam<std::tuple<int, const char*>> {};

TEST_P(UprightPhoto, MatchesThePeers) {
  const auto [orientation, extension] = GetParam();
  korvane_test::ScratchDir dir("orientation");
  const std::string path = dir / (std::string("photo") + extension);
  if (!korvane_test::WriteTaggedPhoto(path, orientation)) GTEST_SKIP() << "no ImageMagick/exiftool";
  EXPECT_EQ(FileOrientation(path), orientation);
  const auto upright = korvane_test::DecodeUprightWithImageMagick(path);
  const auto stored = korvane_test::DecodeWithImageMagick(path);
  ASSERT_TRUE(upright && stored);
  EXPECT_TRUE(korvane_test::SamePicture(*upright, *OpenImage(path, 0, {.AutoOrient = true})));
  EXPECT_TRUE(korvane_test::SamePicture(*stored, *OpenImage(path)));
  const TFileDescription d = DescribeFile(path, 0, {.AutoOrient = true});
  EXPECT_EQ(d.Info.Width, upright->width);
  EXPECT_NE(d.Text.find("Size: " + std::to_string(upright->width) + "x"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Tags, UprightPhoto,
                         testing::Combine(testing::Range(1, 9), testing::Values(".jpg", ".tif")));

}  // namespace
}  // namespace io
