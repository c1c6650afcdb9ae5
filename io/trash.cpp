#include "io/trash.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace io {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void CannotTrash(const std::string& path, int error, bool noTrash = false) {
  throw ETrash("Can not move \"" + path + "\" to the trash: " + std::strerror(error), noTrash);
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// The device of the path, or of its nearest existing parent folder: where the
// path lies once it is made.
dev_t DeviceOf(std::string path) {
  struct stat st {};
  while (::stat(path.c_str(), &st) != 0 && path != "/") path = ParentOf(path);
  return st.st_dev;
}

// Makes the folder and every missing parent, the new ones private as the
// user's data folders are. Returns 0 when a folder is there in the end, else
// the system's error.
int MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) break;
  }
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// Makes the trash folder with its files/ and info/ folders when missing.
// `ownOnly`: the trash must be a real folder of this user (a volume's trash,
// where others may have put something of that name).
int PrepareTrash(const std::string& trash, bool ownOnly) {
  if (const int error = MakeFolders(trash)) return error;
  if (ownOnly) {
    struct stat st {};
    if (::lstat(trash.c_str(), &st) != 0) return errno;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return EACCES;
  }
  for (const char* sub : {"/files", "/info"})
    if (const int error = MakeFolders(trash + sub)) return error;
  return 0;
}

// The mount point of the file system `dev` that holds `folder`.
std::string MountPoint(std::string folder, dev_t dev) {
  while (folder != "/") {
    const std::string up = ParentOf(folder);
    struct stat st {};
    if (::stat(up.c_str(), &st) != 0 || st.st_dev != dev) break;
    folder = up;
  }
  return folder;
}

// The path as the trash's info file keeps it: bytes other than letters, digits,
// "/", "-", "_", "." and "~" as %XX.
std::string PercentEncoded(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : path) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
        std::strchr("/-_.~", c) != nullptr) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string DeletionDate() {
  const time_t now = std::time(nullptr);
  struct tm local {};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

// Reserves a name in the trash by making its info file, then moves the item
// into files/ under that name. `original` is the Path the info file keeps.
std::string Put(const std::string& path, const std::string& item, const std::string& trash,
                const std::string& original) {
  const std::string name = item.substr(item.rfind('/') + 1);
  const size_t dot = name.rfind('.');
  const bool hasExtension = dot != std::string::npos && dot > 0;
  const std::string stem = hasExtension ? name.substr(0, dot) : name;
  const std::string extension = hasExtension ? name.substr(dot) : std::string();
  std::string info, target;
  int fd = -1;
  for (int n = 1; fd < 0; ++n) {
    // A name taken in info/ or files/ gets a number: "a.2.jpg", "a.3.jpg" ...
    const std::string candidate = n == 1 ? name : stem + "." + std::to_string(n) + extension;
    info = trash + "/info/" + candidate + ".trashinfo";
    target = trash + "/files/" + candidate;
    fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno != EEXIST || n > 100000) CannotTrash(path, errno);
      continue;
    }
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
      ::close(fd);
      ::unlink(info.c_str());
      fd = -1;
    }
  }
  const std::string text =
      "[Trash Info]\nPath=" + PercentEncoded(original) + "\nDeletionDate=" + DeletionDate() + "\n";
  int error = 0;
  for (size_t done = 0; done < text.size() && error == 0;) {
    const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
    if (put < 0 && errno != EINTR) error = errno;
    if (put > 0) done += static_cast<size_t>(put);
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && std::rename(item.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(info.c_str());
    CannotTrash(path, error, error == EXDEV);
  }
  return target;
}

}  // namespace

std::string HomeTrash() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return WithoutTrailingSlashes(data) + "/Trash";
  std::string home;
  if (const char* env = std::getenv("HOME"); env && env[0] == '/') {
    home = env;
  } else if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) {
    home = user->pw_dir;
  }
  if (home.empty()) return std::string();
  return (home == "/" ? std::string() : WithoutTrailingSlashes(home)) + "/.local/share/Trash";
}

std::string MoveToTrash(const std::string& path) {
  std::error_code ec;
  const std::string item =
      WithoutTrailingSlashes(fs::absolute(path, ec).lexically_normal().string());
  if (ec || item.empty() || item == "/") CannotTrash(path, ec ? ec.value() : EBUSY);
  struct stat st {};
  if (::lstat(item.c_str(), &st) != 0) CannotTrash(path, errno);
  // The item is kept in its trash by the real path of its folder.
  char* real = ::realpath(ParentOf(item).c_str(), nullptr);
  if (!real) CannotTrash(path, errno);
  const std::string folder = real;
  std::free(real);
  const std::string name = item.substr(item.rfind('/') + 1);
  const std::string original = (folder == "/" ? std::string() : folder) + "/" + name;
  struct stat parent {};
  // A mount point is no file to move.
  if (::stat(folder.c_str(), &parent) != 0 || parent.st_dev != st.st_dev) CannotTrash(path, EBUSY);

  const std::string home = HomeTrash();
  if (!home.empty() && DeviceOf(home) == st.st_dev) {
    if (const int error = PrepareTrash(home, false)) CannotTrash(path, error, true);
    return Put(path, item, home, original);
  }
  const std::string top = MountPoint(folder, st.st_dev);
  const std::string relative = original.substr(top == "/" ? 1 : top.size() + 1);
  const std::string uid = std::to_string(::geteuid());
  const std::string base = top == "/" ? std::string() : top;
  // The administrator's shared trash, used only when it is a real sticky folder.
  const std::string shared = base + "/.Trash";
  struct stat sharedStat {};
  if (::lstat(shared.c_str(), &sharedStat) == 0 && S_ISDIR(sharedStat.st_mode) &&
      (sharedStat.st_mode & S_ISVTX) != 0 && PrepareTrash(shared + "/" + uid, true) == 0)
    return Put(path, item, shared + "/" + uid, relative);
  const std::string own = base + "/.Trash-" + uid;
  if (const int error = PrepareTrash(own, true)) CannotTrash(path, error, true);
  return Put(path, item, own, relative);
}

void DeletePermanently(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  if (ec) throw ETrash("Can not delete \"" + path + "\": " + ec.message(), false);
}

}  // namespace io
