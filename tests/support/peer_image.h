// Running Debian's peer tools from tests: shell commands, scratch folders, file
// bytes, and decoding an image into 8-bit RGB through a tool that writes PNM
// (ImageMagick, netpbm, ...).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pgraphic {
class TPixelGraphic;
}

namespace korvane_test {

inline const char* const kImageMagick = "/usr/bin/convert-im6.q16";
inline const char* const kPython = "/usr/bin/python3";

struct PeerImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;         // rows top to bottom, 3 bytes per pixel
  uint32_t At(int x, int y) const;  // 0xBBGGRR like TRGB
};

// A binary PNM (P4, P5 or P6) as stored: `channels` samples a pixel (1 or 3),
// rows top to bottom; P4 bits become samples of maxval 1 (1 = white).
struct PnmRaster {
  int width = 0;
  int height = 0;
  int channels = 0;
  int maxval = 0;
  std::vector<uint16_t> samples;
};
// Parses the bytes of a binary PNM ('#' comments allowed in the header);
// nullopt when they are not one or are short.
std::optional<PnmRaster> ParsePnm(const std::vector<uint8_t>& bytes);

bool HaveTool(const std::string& path);
// Runs a shell command; returns its exit status (-1 when it did not exit).
int RunShell(const std::string& command);
// Runs a command whose standard output is a PNM image (P5/P6, 8-bit) and parses it.
std::optional<PeerImage> DecodePnmFromCommand(const std::string& command);
// ImageMagick's decode of a file, as 8-bit RGB.
std::optional<PeerImage> DecodeWithImageMagick(const std::string& path);
// A 5 x 3 picture written by ImageMagick (JPEG or TIFF by the extension) whose
// orientation tag exiftool sets; false when a peer is missing or fails.
bool WriteTaggedPhoto(const std::string& path, int orientation);
// ImageMagick's decode of a file turned upright by its orientation tag.
std::optional<PeerImage> DecodeUprightWithImageMagick(const std::string& path);
// Equal sizes and colours.
bool SamePicture(const PeerImage& peer, const pgraphic::TPixelGraphic& image);
// Quotes a string for the shell.
std::string ShellQuote(const std::string& s);
std::vector<uint8_t> ReadFileBytes(const std::string& path);
// False when the file could not be written completely.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// A fresh folder of its own under the temporary folder (named after the tag),
// removed with everything in it on destruction.
struct ScratchDir {
  explicit ScratchDir(const std::string& tag);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string File(const std::string& name) const { return path + "/" + name; }
  std::string operator/(const std::string& name) const { return File(name); }
  const std::string& Path() const { return path; }
  std::string path;
};

}  // namespace korvane_test
