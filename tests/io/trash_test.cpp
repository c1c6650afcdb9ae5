// Moving to the trash: the home trash made in a fresh account, a volume's own
// trash, and the refusal that lets the program offer deleting for good.
#include "io/trash.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "support/peer_image.h"

namespace io {
namespace {

namespace fs = std::filesystem;
using korvane_test::ReadFileBytes;

TEST(Trash, MovesIntoTheTrashOfTheFilesVolume) {
  korvane_test::ScratchDir scratch("trash");
  const std::string home = scratch / "home", work = scratch / "work", vol = scratch / "vol";
  for (const auto& d : {home, work, vol}) fs::create_directories(d);
  const bool mounted =
      ::getuid() == 0 && ::mount("tmpfs", vol.c_str(), "tmpfs", 0, "size=64k") == 0;
  const std::string uid = std::to_string(::getuid());
  const auto none = [] {};
  const struct {
    std::string file, xdg, trash, path;  // trash "": no trash may take the file
    std::function<void()> prepare;
  } cases[] = {
      {work + "/a b%.bmp", "", home + "/.local/share/Trash", work + "/a%20b%25.bmp", none},
      {work + "/a b%.bmp", "", home + "/.local/share/Trash", work + "/a%20b%25.bmp", none},
      {work + "/c", home + "/data", home + "/data/Trash", work + "/c", none},
      {vol + "/v.bmp", "", vol + "/.Trash-" + uid, "v.bmp", none},
      {vol + "/w.bmp", "", vol + "/.Trash/" + uid, "w.bmp",
       [&] {
         fs::create_directory(vol + "/.Trash");
         fs::permissions(vol + "/.Trash", fs::perms(01777));
       }},
      // Without the sticky bit the shared trash is not used; a link is no own trash.
      {vol + "/x.bmp", "", "", "",
       [&] {
         fs::permissions(vol + "/.Trash", fs::perms(0777));
         fs::remove_all(vol + "/.Trash-" + uid);
         fs::create_directory_symlink(work, vol + "/.Trash-" + uid);
       }},
  };
  ::setenv("HOME", home.c_str(), 1);
  ASSERT_EQ(::chdir(work.c_str()), 0);
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = fs::path(c.file).filename();
    if (c.file.starts_with(vol) && !mounted) continue;  // needs root to mount
    c.prepare();
    korvane_test::WriteFileBytes(c.file, {uint8_t(++n)});
    c.xdg.empty() ? ::unsetenv("XDG_DATA_HOME") : ::setenv("XDG_DATA_HOME", c.xdg.c_str(), 1);
    try {
      const std::string moved = MoveToTrash(c.file);
      // A second file of the same name gets a number of its own.
      const std::string own = n == 2 ? "a b%.2.bmp" : name;
      EXPECT_EQ(moved, c.trash + "/files/" + own);
      EXPECT_EQ(ReadFileBytes(moved), std::vector<uint8_t>{uint8_t(n)});
      const auto info = ReadFileBytes(c.trash + "/info/" + own + ".trashinfo");
      EXPECT_TRUE(std::string(info.begin(), info.end())
                      .starts_with("[Trash Info]\nPath=" + c.path + "\nDeletionDate=2"))
          << c.file;
      EXPECT_FALSE(fs::exists(c.file)) << c.file;
    } catch (const ETrash& e) {
      EXPECT_TRUE(c.trash.empty() && e.NoTrash) << e.what();
      EXPECT_EQ(std::string(e.what()),
                "Can not move \"" + c.file + "\" to the trash: Permission denied");
    }
  }
  EXPECT_EQ(fs::status(home + "/.local/share").permissions() & fs::perms::all,
            fs::perms::owner_all);
  EXPECT_EQ(std::distance(fs::directory_iterator(work), {}),
            0);  // nothing left in the working folder
  if (mounted) ::umount2(vol.c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace io
