#include "pgraphic/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "pgraphic/messages.h"

namespace pgraphic {

void TStream::WriteBuffer(const void* buffer, size_t n) {
  if (n != 0 && Write(buffer, n) != n) throw EPixelGraphic(LangStr(msgFailed, "Write"));
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

void TFileStream::Close() {
  if (!file_) return;
  int rc = std::fclose(file_);
  file_ = nullptr;
  if (rc != 0 && writing_) throw EPixelGraphic(LangStr(msgFailed, "Write"));
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

int64_t TFileStream::Position() const { return position_; }

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

void SaveFileSafely(const std::string& fileName, const std::function<void(TStream&)>& write) {
  namespace fs = std::filesystem;
  fs::path target(fileName);
  std::error_code ec;
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  struct stat old {};
  const bool existed = ::stat(target.c_str(), &old) == 0;
  const fs::path dir = target.parent_path();
  const std::string pattern =
      (dir.empty() ? fs::path(".") : dir).string() + "/." + target.filename().string() + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    throw EPixelGraphic("Cannot create file \"" + fileName + "\": " + std::strerror(errno));
  }
  const std::string tempName(name.data());
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
  ::close(fd);
  try {
    TFileStream stream(tempName, TFileStream::fmCreate);
    write(stream);
    stream.Close();
    if (std::rename(tempName.c_str(), target.c_str()) != 0) {
      throw EPixelGraphic("Cannot write file \"" + fileName + "\": " + std::strerror(errno));
    }
  } catch (...) {
    std::remove(tempName.c_str());
    throw;
  }
}

}  // namespace pgraphic
