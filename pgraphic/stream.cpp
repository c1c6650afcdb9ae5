#include "pgraphic/stream.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <set>

#include "pgraphic/messages.h"

namespace pgraphic {

void TStream::WriteBuffer(const void* buffer, size_t n) {
  if (n == 0 || Write(buffer, n) == n) return;
  const int error = WriteError();
  const std::string failed = LangStr(msgFailed, "Write");
  throw EPixelGraphic(error != 0 ? failed + ": " + std::strerror(error) : failed);
}

int64_t TStream::Remaining() const {
  int64_t left = Size() - Position();
  return left > 0 ? left : 0;
}

namespace {

[[noreturn]] void RaiseCannotOpen(const std::string& name, const std::string& reason) {
  throw EPixelGraphic("Cannot open file \"" + name + "\": " + reason);
}

const char* FileTypeName(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISDIR(mode)) return "a directory";
  return "an unknown kind of file";
}

std::string NotRegularText(mode_t mode) {
  return std::string("not a regular file (") + FileTypeName(mode) + ")";
}

}  // namespace

int OpenRegularFileForReading(const std::string& name) {
  // Without O_NONBLOCK opening a FIFO waits for a writer; a regular file
  // ignores the flag, and it is cleared before anything is read anyway.
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  if (fd < 0) {
    const int error = errno;
    // A socket cannot be opened at all; say what it is rather than why not.
    if (::stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
      RaiseCannotOpen(name, NotRegularText(st.st_mode));
    RaiseCannotOpen(name, std::strerror(error));
  }
  std::string refusal;
  if (::fstat(fd, &st) != 0) {
    refusal = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    refusal = NotRegularText(st.st_mode);
  } else if (const int flags = ::fcntl(fd, F_GETFL);
             flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    refusal = std::strerror(errno);
  }
  if (!refusal.empty()) {
    ::close(fd);
    RaiseCannotOpen(name, refusal);
  }
  return fd;
}

TFileStream::TFileStream(const std::string& name, Mode mode) : writing_(mode == fmCreate) {
  if (writing_) {
    file_ = std::fopen(name.c_str(), "w+b");
    if (!file_) RaiseCannotOpen(name, std::strerror(errno));
  } else {
    const int fd = OpenRegularFileForReading(name);
    file_ = ::fdopen(fd, "rb");
    if (!file_) {
      const int error = errno;
      ::close(fd);
      RaiseCannotOpen(name, std::strerror(error));
    }
  }
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
  if (writing_) size_ = 0;
}

TFileStream::~TFileStream() {
  if (file_) std::fclose(file_);
}

TFileStream::TFileStream(std::FILE* file) : file_(file), writing_(true), size_(0) {
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

void TFileStream::Close() {
  if (!file_) return;
  const int rc = std::fclose(file_);
  file_ = nullptr;
  if (rc != 0 && writing_) {
    if (writeError_ == 0) writeError_ = errno;
    throw EPixelGraphic(LangStr(msgFailed, "Write") + ": " + std::strerror(writeError_));
  }
}

size_t TFileStream::Read(void* buffer, size_t n) {
  if (!file_ || n == 0) return 0;
  size_t got = std::fread(buffer, 1, n, file_);
  position_ += static_cast<int64_t>(got);
  return got;
}

size_t TFileStream::Write(const void* buffer, size_t n) {
  if (!file_ || !writing_ || n == 0) return 0;
  size_t put = std::fwrite(buffer, 1, n, file_);
  if (put != n && writeError_ == 0) writeError_ = errno != 0 ? errno : EIO;
  position_ += static_cast<int64_t>(put);
  if (size_ >= 0 && position_ > size_) size_ = position_;
  return put;
}

void TFileStream::Seek(int64_t position) {
  if (!file_) return;
  if (position < 0) position = 0;
  if (position == position_) return;
  if (fseeko(file_, static_cast<off_t>(position), SEEK_SET) == 0) position_ = position;
}

int64_t TFileStream::Position() const {
  return position_;
}

int64_t TFileStream::Size() const {
  if (!file_) return 0;
  if (writing_) return size_;
  if (size_ < 0) {
    off_t here = ftello(file_);
    fseeko(file_, 0, SEEK_END);
    size_ = ftello(file_);
    fseeko(file_, here, SEEK_SET);
  }
  return size_;
}

size_t TMemoryStream::Read(void* buffer, size_t n) {
  int64_t size = Size();
  if (position_ >= size || n == 0) return 0;
  size_t got = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), size - position_));
  std::memcpy(buffer, bytes_.data() + position_, got);
  position_ += static_cast<int64_t>(got);
  return got;
}

size_t TMemoryStream::Write(const void* buffer, size_t n) {
  if (n == 0) return 0;
  size_t end = static_cast<size_t>(position_) + n;
  if (end > bytes_.size()) bytes_.resize(end);
  std::memcpy(bytes_.data() + position_, buffer, n);
  position_ = static_cast<int64_t>(end);
  return n;
}

size_t TReadOnlyMemoryStream::Read(void* buffer, size_t n) {
  int64_t size = Size();
  if (position_ >= size || n == 0) return 0;
  size_t got = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), size - position_));
  std::memcpy(buffer, data_ + position_, got);
  position_ += static_cast<int64_t>(got);
  return got;
}

namespace {

namespace fs = std::filesystem;

constexpr size_t kPidDigits = 7;
constexpr size_t kRandomChars = 6;
constexpr int kMaxLinkHops = 40;

[[noreturn]] void CannotWrite(const std::string& fileName, int error) {
  throw EPixelGraphic("Cannot write file \"" + fileName + "\": " + std::strerror(error));
}

// The file a save replaces or creates: symbolic links are followed, also one
// that points to nothing yet; a relative link target counts from the link's folder.
fs::path SaveTarget(const std::string& fileName) {
  fs::path target(fileName);
  for (int hops = 0; hops < kMaxLinkHops; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(target, ec)) return target;
    const fs::path to = fs::read_symlink(target, ec);
    if (ec) return target;
    target = to.is_absolute() ? to : target.parent_path() / to;
  }
  CannotWrite(fileName, ELOOP);
}

// Folders already swept for stale temporary files by this process.
bool FirstSweepOf(const std::string& folder) {
  static std::mutex mutex;
  static std::set<std::string> swept;
  const std::lock_guard<std::mutex> lock(mutex);
  return swept.insert(folder).second;
}

}  // namespace

bool IsSaveTempName(const std::string& name, long& pid) {
  const std::string prefix = TempFilePrefix;
  if (name.size() != prefix.size() + kPidDigits + 1 + kRandomChars ||
      name.compare(0, prefix.size(), prefix) != 0 || name[prefix.size() + kPidDigits] != '-')
    return false;
  const auto digits = name.begin() + static_cast<std::ptrdiff_t>(prefix.size());
  const auto dash = digits + kPidDigits;
  if (!std::all_of(digits, dash, [](char c) { return c >= '0' && c <= '9'; }) ||
      !std::all_of(dash + 1, name.end(),
                   [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
    return false;
  pid = std::stol(std::string(digits, dash));
  return true;
}

void RemoveStaleSaveTemps(const std::string& folder) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return;
  const time_t now = std::time(nullptr);
  while (const dirent* entry = ::readdir(dir)) {
    long pid = 0;
    if (!IsSaveTempName(entry->d_name, pid)) continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
      continue;
    const time_t idle = now - st.st_mtime;
    const bool writerGone = ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
    if ((writerGone && idle > 60) || idle > 24 * 60 * 60)
      ::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
}

void SaveFileSafely(const std::string& fileName, const std::function<void(TStream&)>& write) {
  const fs::path target = SaveTarget(fileName);
  struct stat old {};
  const bool existed = ::stat(target.c_str(), &old) == 0;
  const std::string dir = target.has_parent_path() ? target.parent_path().string() : ".";
  if (FirstSweepOf(dir)) RemoveStaleSaveTemps(dir);
  char id[32];
  std::snprintf(id, sizeof id, "%0*ld-", static_cast<int>(kPidDigits),
                static_cast<long>(::getpid()));
  std::string tempName = dir + "/" + TempFilePrefix + id + std::string(kRandomChars, 'X');
  const int fd = ::mkstemp(tempName.data());
  if (fd < 0) CannotWrite(fileName, errno);
  mode_t mode;
  if (existed) {
    mode = old.st_mode & 07777;
  } else {
    // mkstemp creates the file private; a new file gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);
  std::FILE* file = ::fdopen(fd, "w+b");
  if (!file) {
    const int error = errno;
    ::close(fd);
    ::unlink(tempName.c_str());
    CannotWrite(fileName, error);
  }
  TFileStream stream(file);
  try {
    try {
      write(stream);
      stream.Close();
    } catch (...) {
      // A failing disk is told with the target's name, whatever the writer made of it.
      if (stream.WriteError() != 0) CannotWrite(fileName, stream.WriteError());
      throw;
    }
    // A writer that went on past a failed write has not written the file.
    if (stream.WriteError() != 0) CannotWrite(fileName, stream.WriteError());
    if (std::rename(tempName.c_str(), target.c_str()) != 0) CannotWrite(fileName, errno);
  } catch (...) {
    std::remove(tempName.c_str());
    throw;
  }
}

}  // namespace pgraphic
