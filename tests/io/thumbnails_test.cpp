// Thumbnails in the shared cache: entries another program reads with their
// keys, named as the cache's rules say, reused while the file is unchanged and
// made again when it changes.
#include "io/thumbnails.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/peer_image.h"

namespace io {
namespace {

using korvane_test::ReadFileBytes;
using korvane_test::RunShell;
using korvane_test::ScratchDir;
using korvane_test::ShellQuote;

// What a peer command prints.
std::string Output(const ScratchDir& dir, const std::string& command) {
  if (RunShell(command + " > " + ShellQuote(dir / "out.txt")) != 0) return {};
  const auto bytes = ReadFileBytes(dir / "out.txt");
  return std::string(bytes.begin(), bytes.end());
}

TEST(Thumbnails, CacheEntryIsSharedReusedAndRenewed) {
  for (const char* ext : {"jpg", "png"}) {
    ScratchDir dir("thumbs");
    setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    const std::string source = dir / (std::string("a b;c.") + ext);  // a name the URI escapes
    ASSERT_EQ(RunShell(std::string(korvane_test::kImageMagick) +
                       " -size 300x200 gradient:red-blue " + ShellQuote(source)),
              0);
    const TThumbnail made = LoadThumbnail(source, TThumbnailSize::Normal);
    EXPECT_FALSE(made.FromCache);
    EXPECT_EQ(made.Width * 1000 + made.Height, 128085) << ext;
    EXPECT_GT(made.Rgba[0], 200);                            // top: red
    EXPECT_GT(made.Rgba[made.Rgba.size() - 2], 200) << ext;  // bottom: blue

    const std::string uri = "file://" + dir.Path() + "/a%20b%3Bc." + ext;
    const std::string entry =
        dir / "cache/thumbnails/normal/" +
        Output(dir, "printf %s " + ShellQuote(uri) + " | md5sum").substr(0, 32) + ".png";
    struct stat file {
    }, first{}, again{};
    ASSERT_EQ(stat(entry.c_str(), &first), 0) << entry;
    ASSERT_EQ(stat(source.c_str(), &file), 0);
    EXPECT_EQ(first.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((dir / "cache/thumbnails/normal").c_str(), &again), 0);
    EXPECT_EQ(again.st_mode & 0777, 0700u);
    const std::string keys = Output(dir, "/usr/bin/identify-im6.q16 -verbose " + ShellQuote(entry));
    EXPECT_NE(keys.find("Thumb::URI: " + uri + "\n"), std::string::npos) << keys;
    EXPECT_NE(keys.find("Thumb::MTime: " + std::to_string(file.st_mtime) + "\n"),
              std::string::npos);

    EXPECT_TRUE(LoadThumbnail(source, TThumbnailSize::Normal).FromCache);
    ASSERT_EQ(stat(entry.c_str(), &again), 0);
    EXPECT_EQ(again.st_ino, first.st_ino);  // not written again
    EXPECT_EQ(again.st_mtim.tv_nsec, first.st_mtim.tv_nsec);

    const timeval later[2] = {{file.st_mtime + 100, 0}, {file.st_mtime + 100, 0}};
    ASSERT_EQ(utimes(source.c_str(), later), 0);
    EXPECT_FALSE(LoadThumbnail(source, TThumbnailSize::Normal).FromCache);
    EXPECT_NE(Output(dir, "/usr/bin/identify-im6.q16 -verbose " + ShellQuote(entry))
                  .find("Thumb::MTime: " + std::to_string(file.st_mtime + 100) + "\n"),
              std::string::npos);
    // A damaged entry, or the entry of another file, is made again.
    for (const bool damaged : {true, false}) {
      if (damaged) {
        ASSERT_EQ(truncate(entry.c_str(), 100), 0);
      } else {
        TThumbnailKeys other;
        other.Uri = "file:///elsewhere.jpg";
        other.MTime = file.st_mtime + 100;
        WriteThumbnailFile(entry, made, other);
      }
      EXPECT_FALSE(LoadThumbnail(source, TThumbnailSize::Normal).FromCache) << damaged;
      EXPECT_TRUE(LoadThumbnail(source, TThumbnailSize::Normal).FromCache) << damaged;
    }
    unsetenv("XDG_CACHE_HOME");
  }
}

}  // namespace
}  // namespace io
