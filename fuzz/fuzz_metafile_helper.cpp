// Fuzz body for the metafile drawing helper through its real entry point: the
// input is the metafile of one drawing request, handed over a memory file as the
// program sends it; the helper draws it (without putting limits on this
// process) and its answer is read back by the program's own reader.
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "metafile/metafile.h"
#include "metafile/metafile_internal.h"

namespace {

int Rewound(int fd) {
  lseek(fd, 0, SEEK_SET);
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int request = memfd_create("request", MFD_CLOEXEC);
  static const int answer = memfd_create("answer", MFD_CLOEXEC);
  if (request < 0 || answer < 0 || ftruncate(request, 0) != 0 || ftruncate(answer, 0) != 0)
    return 0;
  metafile::detail::TDrawRequest header{};
  std::memcpy(header.Magic, metafile::detail::kRequestMagic, sizeof header.Magic);
  header.Size = size;
  header.MaxImageSize = pgraphic::PGMaxImageSize;
  if (write(Rewound(request), &header, sizeof header) != sizeof header ||
      write(request, data, size) != static_cast<ssize_t>(size))
    return 0;
  metafile::RunDrawHelper(Rewound(request), Rewound(answer), false);
  const auto reply = metafile::detail::ReadDrawReply(
      Rewound(answer), std::chrono::steady_clock::now() + std::chrono::hours(1));
  if (reply.Picture) fuzz::Consume(*reply.Picture, SIZE_MAX);
  fuzz::sink = fuzz::sink + static_cast<uint32_t>(reply.Message.size() + reply.Status +
                                                  reply.Info.Width + reply.Info.Height);
  return 0;
}
