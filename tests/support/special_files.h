// Files that are not regular files, named like images: what readers must refuse
// without waiting and what file lists must leave out.
#pragma once

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace korvane_test {

struct TSpecialFile {
  std::string Name;
  std::string Kind;  // as the refusal names it
};

// Makes in `folder` a FIFO, a link to it, a socket, a link to /dev/null and a
// folder, all with image names; returns them, or nothing when one could not be made.
inline std::vector<TSpecialFile> MakeSpecialFiles(const std::string& folder) {
  const std::vector<TSpecialFile> files = {{"fifo.png", "a FIFO"},
                                           {"fifolink.jpg", "a FIFO"},
                                           {"socket.bmp", "a socket"},
                                           {"null.jpg", "a character device"},
                                           {"folder.png", "a directory"}};
  const std::string at = folder + "/";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = at + files[2].Name;
  if (socketPath.size() >= sizeof address.sun_path) return {};
  std::strcpy(address.sun_path, socketPath.c_str());
  const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const bool bound = s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (s >= 0) ::close(s);  // the socket file stays
  if (!bound || ::mkfifo((at + files[0].Name).c_str(), 0600) != 0 ||
      ::symlink(files[0].Name.c_str(), (at + files[1].Name).c_str()) != 0 ||
      ::symlink("/dev/null", (at + files[3].Name).c_str()) != 0 ||
      ::mkdir((at + files[4].Name).c_str(), 0700) != 0)
    return {};
  return files;
}

}  // namespace korvane_test
