// The drawing helper's side: one request in, one answer out. The helper puts
// the limits it is sent on itself before it touches the file, so whatever the
// players do with a hostile file ends in this process.
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "metafile/metafile_internal.h"

namespace metafile {

namespace {

// Moves all `size` bytes with `transfer` (read or write), going on after
// interruptions; false at end of file or on an error.
template <class TByte, class TTransfer>
bool TransferExactly(TTransfer transfer, int fd, TByte* p, size_t size) {
  while (size > 0) {
    const ssize_t n = transfer(fd, p, size);
    if (n > 0) {
      p += n;
      size -= static_cast<size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      return false;
    }
  }
  return true;
}

bool ReadExactly(int fd, void* buffer, size_t size) {
  return TransferExactly(::read, fd, static_cast<uint8_t*>(buffer), size);
}

bool WriteExactly(int fd, const void* buffer, size_t size) {
  return TransferExactly(::write, fd, static_cast<const uint8_t*>(buffer), size);
}

// Lowers (never raises beyond the hard limit) one limit of this process.
void Limit(int resource, uint64_t soft, uint64_t hard) {
  rlimit current{};
  if (getrlimit(resource, &current) != 0) return;
  rlimit wanted{std::min<rlim_t>(soft, current.rlim_max), std::min<rlim_t>(hard, current.rlim_max)};
  wanted.rlim_cur = std::min(wanted.rlim_cur, wanted.rlim_max);
  setrlimit(resource, &wanted);
}

// The address space this process has mapped now: its libraries, Qt's and the
// players' start-up data and the file bytes.
uint64_t MappedBytes() {
  unsigned long pages = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  return uint64_t{pages} * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

// What drawing a picture may take: the 24-bit picture, the player's own
// surface (32-bit, or the WMF device's samples and their means) and the final
// copies, about 16 bytes a pixel at most; the EMF's SVG text and its parsed
// form grow with the file; and room for fonts and the libraries' tables.
constexpr uint64_t kMemoryMargin = uint64_t{512} << 20;
uint64_t PictureBudget(int64_t pixels, uint64_t fileBytes) {
  return kMemoryMargin + 16 * static_cast<uint64_t>(pixels) + 32 * fileBytes;
}

int64_t PicturePixels(const std::vector<uint8_t>& bytes) {
  try {
    const TMetafileInfo info = ReadMetafileInfo(bytes.data(), bytes.size());
    return int64_t{info.Width} * info.Height;
  } catch (const pgraphic::EPixelGraphic&) {
    return 0;  // the drawing fails on the same check, with its message
  }
}

}  // namespace

int RunDrawHelper(int in, int out, bool setLimits) {
  if (setLimits) {
    Limit(RLIMIT_CORE, 0, 0);
    // One allocation arena: the limit then counts what is used, not reserved
    // address space of arenas for threads the libraries start.
    mallopt(M_ARENA_MAX, 1);
  }
  detail::TDrawRequest request{};
  if (!ReadExactly(in, &request, sizeof request) ||
      std::memcmp(request.Magic, detail::kRequestMagic, sizeof request.Magic) != 0 ||
      request.Size > MaxMetafileBytes)
    return 2;
  if (setLimits) {
    if (request.StackLimit > 0) Limit(RLIMIT_STACK, request.StackLimit, request.StackLimit);
    if (request.CpuSeconds > 0) Limit(RLIMIT_CPU, request.CpuSeconds, request.CpuSeconds + 1u);
  }
  if (request.MaxImageSize > 0) pgraphic::PGMaxImageSize = request.MaxImageSize;
  std::vector<uint8_t> bytes(request.Size);
  if (!ReadExactly(in, bytes.data(), bytes.size())) return 2;

  detail::TDrawAnswer answer{};
  std::memcpy(answer.Magic, detail::kAnswerMagic, sizeof answer.Magic);
  answer.Status = detail::dsMessage;
  std::string message;
  std::unique_ptr<TPixelGraphic> picture;
  try {
    const int64_t pixels = PicturePixels(bytes);
    const uint64_t budget = request.MemoryLimit > 0 ? static_cast<uint64_t>(request.MemoryLimit)
                                                    : PictureBudget(pixels, bytes.size());
    // A picture that cannot fit in the budget is refused before it is drawn.
    if (request.MemoryLimit > 0 && 3 * static_cast<uint64_t>(pixels) > budget)
      throw std::bad_alloc();
    if (setLimits) {
      const uint64_t limit = MappedBytes() + budget;
      Limit(RLIMIT_AS, limit, limit);
    }
    TMetafileInfo info;
    picture = DrawMetafile(bytes.data(), bytes.size(), &info);
    answer.Status = detail::dsPicture;
    answer.Kind = info.Kind;
    answer.Width = picture->Width();
    answer.Height = picture->Height();
    answer.Length = uint64_t{3} * picture->Width() * picture->Height();
  } catch (const detail::EPictureMemory&) {
    answer.Status = detail::dsOutOfMemory;
  } catch (const pgraphic::EPixelGraphic& e) {
    message = e.what();
  } catch (const std::bad_alloc&) {
    answer.Status = detail::dsOutOfMemory;
  } catch (const std::exception&) {
    message = "Metafile: Cannot draw the metafile";
  }
  bytes = {};
  if (answer.Status != detail::dsPicture) {
    message.resize(std::min<size_t>(message.size(), detail::kMaxAnswerMessage));
    answer.Length = message.size();
    return WriteExactly(out, &answer, sizeof answer) &&
                   WriteExactly(out, message.data(), message.size())
               ? 0
               : 3;
  }
  if (!WriteExactly(out, &answer, sizeof answer)) return 3;
  const size_t rowBytes = size_t{3} * static_cast<size_t>(picture->Width());
  for (int y = 0; y < picture->Height(); ++y)
    if (!WriteExactly(out, picture->ScanLine(y), rowBytes)) return 3;
  return 0;
}

}  // namespace metafile
