// The program's side of drawing in the helper process: start korvane-metafile,
// send it the file, read back the picture, and turn whatever went wrong there
// (a crash, a time-out, a limit) into EPGMetafile.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "metafile/metafile_internal.h"

extern char** environ;

namespace metafile {

pgraphic::TPGSetting<double> MetafileTimeLimit = 5.0;
pgraphic::TPGSetting<int64_t> MetafileMemoryLimit = 0;
pgraphic::TPGSetting<int64_t> MetafileStackLimit = int64_t{8} << 20;

namespace {

using Clock = std::chrono::steady_clock;

std::mutex helperLock;
std::string helperPath;

constexpr const char* kHelperName = "korvane-metafile";

// The helper named by SetMetafileHelper, else beside the running program, else
// in the installed libexec folder (relative to the program's folder first, so
// a moved installation still finds it), else the one of the build tree.
std::string HelperPath() {
  {
    std::lock_guard<std::mutex> hold(helperLock);
    if (!helperPath.empty()) return helperPath;
  }
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  std::vector<fs::path> candidates;
  if (!ec) {
    candidates.push_back(self.parent_path() / kHelperName);
#ifdef KORVANE_HELPER_FROM_BIN
    candidates.push_back(self.parent_path() / KORVANE_HELPER_FROM_BIN / kHelperName);
#endif
  }
#ifdef KORVANE_HELPER_INSTALLED
  candidates.push_back(fs::path(KORVANE_HELPER_INSTALLED) / kHelperName);
#endif
#ifdef KORVANE_HELPER_BUILT
  candidates.push_back(KORVANE_HELPER_BUILT);
#endif
  for (const auto& candidate : candidates)
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  return kHelperName;
}

int Milliseconds(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::clamp<int64_t>(left.count() + 1, 0, 60'000));
}

// Waits until fd is ready for `events`; false when the deadline passed first.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    if (Clock::now() >= deadline) return false;
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, Milliseconds(deadline));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return true;  // the read or write reports it
  }
}

enum TTransfer { tDone, tClosed, tTimedOut };

// Reads exactly `size` bytes unless the other end closes or the deadline passes.
TTransfer ReceiveAll(int fd, void* buffer, size_t size, Clock::time_point deadline) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (size > 0) {
    if (!WaitFor(fd, POLLIN, deadline)) return tTimedOut;
    const ssize_t n = read(fd, p, size);
    if (n > 0) {
      p += n;
      size -= static_cast<size_t>(n);
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      return tClosed;
    }
  }
  return tDone;
}

// Sends all bytes; a helper that died turns into tClosed, never into SIGPIPE.
TTransfer SendAll(int fd, const void* buffer, size_t size, Clock::time_point deadline) {
  const auto* p = static_cast<const uint8_t*>(buffer);
  while (size > 0) {
    if (!WaitFor(fd, POLLOUT, deadline)) return tTimedOut;
    const ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
    if (n > 0) {
      p += n;
      size -= static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
      return tClosed;
    }
  }
  return tDone;
}

class TFd {
 public:
  explicit TFd(int fd = -1) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// The helper process: killed and reaped when this goes, whatever happened.
class TChild {
 public:
  explicit TChild(pid_t pid) : pid_(pid) {}
  ~TChild() { Kill(); }
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;

  // Waits for the helper to end, until the deadline; then it is killed. Returns
  // the wait status and whether it ended by itself.
  bool Wait(Clock::time_point deadline, int& status) {
    while (pid_ > 0) {
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        pid_ = -1;
        return true;
      }
      if (r < 0 && errno != EINTR) {
        pid_ = -1;  // reaped elsewhere: nothing is known about how it ended
        status = 0;
        return true;
      }
      if (Clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Kill();
    return false;
  }

  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    int status;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }

 private:
  pid_t pid_;
};

// Starts the helper with its end of the socket as descriptor 3 and no other of
// this process's descriptors but standard error, standard input
// and output on /dev/null, default signal handling and no blocked signals.
pid_t StartHelper(const std::string& path, int socket) {
  // Above 3, so that the duplication onto 3 always clears close-on-exec.
  TFd high(fcntl(socket, F_DUPFD_CLOEXEC, 10));
  if (high.Get() < 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, high.Get(), 3);
  // Nothing else of this process's: descriptors opened without close-on-exec
  // (by a library, say) are not held open by the helper.
  posix_spawn_file_actions_addclosefrom_np(&actions, 4);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (const int s : {SIGPIPE, SIGXCPU, SIGSEGV, SIGBUS, SIGABRT, SIGCHLD, SIGINT, SIGTERM})
    sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
  pid_t pid = -1;
  const int error = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    errno = error;
    return -1;
  }
  return pid;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text;
}

}  // namespace

void SetMetafileHelper(const std::string& path) {
  std::lock_guard<std::mutex> hold(helperLock);
  helperPath = path;
}

namespace detail {

TDrawReply ReadDrawReply(int fd, Clock::time_point deadline) {
  TDrawReply reply;
  TDrawAnswer answer;
  auto receive = [&](void* buffer, size_t size) {
    const TTransfer t = ReceiveAll(fd, buffer, size, deadline);
    if (t != tDone) reply.State = t == tTimedOut ? TDrawReply::TimedOut : TDrawReply::Closed;
    return t == tDone;
  };
  if (!receive(&answer, sizeof answer)) return reply;
  reply.State = TDrawReply::Invalid;  // until the whole answer has passed
  if (std::memcmp(answer.Magic, kAnswerMagic, sizeof answer.Magic) != 0 ||
      answer.Status > dsOutOfMemory || answer.Kind > mkEnhanced)
    return reply;
  reply.Status = static_cast<TDrawStatus>(answer.Status);
  reply.Info = {static_cast<TMetafileKind>(answer.Kind), answer.Width, answer.Height};
  if (reply.Status != dsPicture) {
    if (answer.Length > kMaxAnswerMessage) return reply;
    reply.Message.resize(answer.Length);
    if (!receive(reply.Message.data(), reply.Message.size())) return reply;
    reply.State = TDrawReply::Complete;
    return reply;
  }
  // The picture: a size the program itself would draw, and exactly its rows.
  const int64_t w = answer.Width, h = answer.Height;
  if (w < 1 || h < 1 || w > MaxMetafilePixels || h > MaxMetafilePixels ||
      w * h > MaxMetafilePixels || answer.Length != static_cast<uint64_t>(w * h * 3))
    return reply;
  auto picture = std::make_unique<TPixelGraphic>();
  try {
    picture->SetSize(static_cast<int>(w), static_cast<int>(h), pgraphic::pf24Bit);
  } catch (const pgraphic::EPixelGraphic&) {
    Fail("Metafile: Picture too large");
  }
  for (int y = 0; y < h; ++y)
    if (!receive(picture->ScanLine(y), static_cast<size_t>(w) * 3)) return reply;
  reply.Picture = std::move(picture);
  reply.State = TDrawReply::Complete;
  return reply;
}

}  // namespace detail

std::unique_ptr<TPixelGraphic> DrawMetafileGuarded(const uint8_t* data, size_t size,
                                                   TMetafileInfo* info) {
  if (size > MaxMetafileBytes) detail::Fail("Metafile: File too large");
  const std::string prefix = detail::DetectKind(data, size) == mkEnhanced ? "EMF: " : "WMF: ";
  const double seconds = std::max(0.0, static_cast<double>(MetafileTimeLimit));
  const auto deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(std::min(seconds, 86400.0)));

  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
    detail::Fail("Metafile: Cannot start the drawing helper (" + std::string(strerror(errno)) +
                 ")");
  TFd mine(ends[0]);
  pid_t pid;
  {
    TFd theirs(ends[1]);
    const std::string path = HelperPath();
    pid = StartHelper(path, theirs.Get());
    if (pid < 0)
      detail::Fail("Metafile: Cannot start the drawing helper " + path + " (" +
                   std::string(strerror(errno)) + ")");
  }
  TChild child(pid);
  fcntl(mine.Get(), F_SETFL, fcntl(mine.Get(), F_GETFL) | O_NONBLOCK);

  detail::TDrawRequest request{};
  std::memcpy(request.Magic, detail::kRequestMagic, sizeof request.Magic);
  request.Size = size;
  request.MemoryLimit = MetafileMemoryLimit;
  request.StackLimit = MetafileStackLimit;
  request.MaxImageSize = pgraphic::PGMaxImageSize;
  request.CpuSeconds = static_cast<uint32_t>(std::min(std::ceil(seconds) + 1, 86400.0));
  TTransfer sent = SendAll(mine.Get(), &request, sizeof request, deadline);
  if (sent == tDone) sent = SendAll(mine.Get(), data, size, deadline);
  if (sent == tDone) shutdown(mine.Get(), SHUT_WR);
  detail::TDrawReply reply;
  if (sent != tTimedOut) reply = detail::ReadDrawReply(mine.Get(), deadline);

  const std::string timeOut =
      prefix + "Drawing stopped at the time limit of " + Seconds(seconds) + " s";
  if (reply.State == detail::TDrawReply::Complete) {
    child.Kill();  // its answer is all that is needed from it
    if (reply.Status == detail::dsOutOfMemory)
      detail::Fail(prefix + "Not enough memory to draw the metafile");
    if (reply.Status == detail::dsMessage) detail::Fail(reply.Message);
    if (info) *info = reply.Info;
    return std::move(reply.Picture);
  }
  if (sent == tTimedOut || reply.State == detail::TDrawReply::TimedOut) {
    child.Kill();
    detail::Fail(timeOut);
  }
  if (reply.State == detail::TDrawReply::Invalid)
    detail::Fail(prefix + "Cannot draw the metafile: the drawing helper sent a malformed answer");
  // No complete answer: how the helper ended tells why.
  int status = 0;
  if (!child.Wait(deadline, status)) detail::Fail(timeOut);
  if (WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    if (signal == SIGXCPU) detail::Fail(timeOut);
    const char* name = sigabbrev_np(signal);
    detail::Fail(prefix + "Cannot draw the metafile: the drawing crashed (signal SIG" +
                 (name ? name : std::to_string(signal)) + ")");
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
    detail::Fail("Metafile: Cannot start the drawing helper");
  detail::Fail(prefix + "Cannot draw the metafile: the drawing ended without a picture");
}

void LoadMetafileFileGuarded(const std::string& fileName, TPixelGraphic& target,
                             TMetafileInfo* info) {
  const auto bytes = detail::ReadFileBytes(fileName);
  const auto drawn = DrawMetafileGuarded(bytes.data(), bytes.size(), info);
  ConvertToSpecial252(*drawn, target);
}

}  // namespace metafile
