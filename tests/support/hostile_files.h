// Files a reader must refuse or give up on quickly: special files with image
// names, and progressive JPEGs of many scans.
#pragma once

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace korvane_test {

struct TSpecialFile {
  std::string Name, Kind;  // the kind as a refusal names it
};

// Makes in `folder` a FIFO, a link to it, a socket, a link to /dev/null and a
// folder; returns them, or nothing when one could not be made.
inline std::vector<TSpecialFile> MakeSpecialFiles(const std::string& folder) {
  const std::string at = folder + "/";
  sockaddr_un address{AF_UNIX, {}};
  (at + "socket.bmp").copy(address.sun_path, sizeof address.sun_path - 1);
  const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const bool made = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    ::mkfifo((at + "fifo.png").c_str(), 0600) == 0 &&
                    ::symlink("fifo.png", (at + "fifolink.jpg").c_str()) == 0 &&
                    ::symlink("/dev/null", (at + "null.jpg").c_str()) == 0 &&
                    ::mkdir((at + "folder.png").c_str(), 0700) == 0;
  ::close(s);  // the socket file stays
  if (!made) return {};
  return {{"fifo.png", "a FIFO"},
          {"fifolink.jpg", "a FIFO"},
          {"socket.bmp", "a socket"},
          {"null.jpg", "a character device"},
          {"folder.png", "a directory"}};
}

// A JPEG (ending in its end marker) with its last scan repeated `extra` times:
// each repeat costs the decoder a pass over the picture.
inline std::vector<uint8_t> RepeatLastScan(std::vector<uint8_t> jpeg, int extra) {
  const size_t end = jpeg.size() - 2;
  size_t sos = end;
  while (sos > 0 && !(jpeg[sos] == 0xFF && jpeg[sos + 1] == 0xDA)) --sos;
  const std::vector<uint8_t> scan(jpeg.begin() + sos, jpeg.begin() + end);
  for (int i = 0; i < extra; ++i) jpeg.insert(jpeg.end() - 2, scan.begin(), scan.end());
  return jpeg;
}

}  // namespace korvane_test
