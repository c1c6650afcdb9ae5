#include "support/peer_image.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "pgraphic/image/pixelgraphic.h"

namespace korvane_test {

uint32_t PeerImage::At(int x, int y) const {
  const size_t i =
      3 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x));
  return rgb[i] | (rgb[i + 1] << 8) | (rgb[i + 2] << 16);
}

bool HaveTool(const std::string& path) {
  return ::access(path.c_str(), X_OK) == 0;
}

int RunShell(const std::string& command) {
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  q += "'";
  return q;
}

std::optional<PnmRaster> ParsePnm(const std::vector<uint8_t>& b) {
  if (b.size() < 2 || b[0] != 'P' || (b[1] != '4' && b[1] != '5' && b[1] != '6')) {
    return std::nullopt;
  }
  size_t pos = 2;
  // Next header number after white space and comments; -1 when there is none.
  auto number = [&]() -> long long {
    for (;;) {
      while (pos < b.size() && std::isspace(b[pos])) ++pos;
      if (pos < b.size() && b[pos] == '#') {
        while (pos < b.size() && b[pos] != '\n') ++pos;
        continue;
      }
      break;
    }
    if (pos >= b.size() || !std::isdigit(b[pos])) return -1;
    long long v = 0;
    while (pos < b.size() && std::isdigit(b[pos])) {
      v = v * 10 + (b[pos++] - '0');
      if (v > INT_MAX) return -1;
    }
    return v;
  };
  const char kind = static_cast<char>(b[1]);
  PnmRaster r;
  const long long w = number(), h = number(), maxval = kind == '4' ? 1 : number();
  if (w < 0 || h < 0 || maxval <= 0 || maxval > 65535) return std::nullopt;
  ++pos;  // the single white-space byte before the raster
  r.width = static_cast<int>(w);
  r.height = static_cast<int>(h);
  r.maxval = static_cast<int>(maxval);
  r.channels = kind == '6' ? 3 : 1;
  const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h) * r.channels;
  r.samples.resize(count);
  if (kind == '4') {
    const size_t rowBytes = (static_cast<size_t>(w) + 7) / 8;
    if (b.size() < pos || (b.size() - pos) / (rowBytes ? rowBytes : 1) < static_cast<size_t>(h)) {
      return std::nullopt;
    }
    for (size_t y = 0; y < static_cast<size_t>(h); ++y) {
      for (size_t x = 0; x < static_cast<size_t>(w); ++x) {
        const bool black = (b[pos + y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
        r.samples[y * static_cast<size_t>(w) + x] = black ? 0 : 1;
      }
    }
    return r;
  }
  const size_t bytesPerSample = maxval > 255 ? 2 : 1;
  if (b.size() < pos || (b.size() - pos) / bytesPerSample < count) return std::nullopt;
  for (size_t i = 0; i < count; ++i) {
    r.samples[i] = bytesPerSample == 2
                       ? static_cast<uint16_t>((b[pos + 2 * i] << 8) | b[pos + 2 * i + 1])
                       : b[pos + i];
  }
  return r;
}

std::optional<PeerImage> DecodePnmFromCommand(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::vector<uint8_t> data;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) data.insert(data.end(), buf, buf + n);
  // The exit status is not consulted: a tool that complains about a detail of
  // a file after decoding it still writes the whole image, which is checked below.
  ::pclose(pipe);
  const std::optional<PnmRaster> r = ParsePnm(data);
  if (!r || (data[1] != '5' && data[1] != '6') || r->maxval != 255) return std::nullopt;
  PeerImage img;
  img.width = r->width;
  img.height = r->height;
  const size_t count = static_cast<size_t>(img.width) * static_cast<size_t>(img.height);
  const size_t channels = static_cast<size_t>(r->channels);
  img.rgb.resize(3 * count);
  for (size_t i = 0; i < count; ++i) {
    for (size_t c = 0; c < 3; ++c)
      img.rgb[3 * i + c] = static_cast<uint8_t>(r->samples[channels * i + (channels == 3 ? c : 0)]);
  }
  return img;
}

std::optional<PeerImage> DecodeWithImageMagick(const std::string& path) {
  if (!HaveTool(kImageMagick)) return std::nullopt;
  return DecodePnmFromCommand(std::string(kImageMagick) + " " + ShellQuote(path) +
                              " -depth 8 -type TrueColor ppm:- 2>/dev/null");
}

bool WriteTaggedPhoto(const std::string& path, int orientation) {
  return RunShell(std::string(kImageMagick) +
                  " -size 5x3 gradient:red-blue -fill lime -draw 'point 0,0' -alpha off -depth 8 "
                  "-type TrueColor -quality 95 -compress none " +
                  ShellQuote(path) + " && exiftool -q -overwrite_original -n -Orientation=" +
                  std::to_string(orientation) + " " + ShellQuote(path) + " 2>/dev/null") == 0;
}

std::optional<PeerImage> DecodeUprightWithImageMagick(const std::string& path) {
  return DecodePnmFromCommand(std::string(kImageMagick) + " " + ShellQuote(path) +
                              " -auto-orient -depth 8 -type TrueColor ppm:- 2>/dev/null");
}

bool SamePicture(const PeerImage& peer, const pgraphic::TPixelGraphic& image) {
  if (peer.width != image.Width() || peer.height != image.Height()) return false;
  for (int y = 0; y < peer.height; ++y)
    for (int x = 0; x < peer.width; ++x)
      if (peer.At(x, y) != image.PixelColor(x, y)) return false;
  return true;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

ScratchDir::ScratchDir(const std::string& tag) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / ("korvane-" + tag + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a folder like " + pattern);
  path = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

}  // namespace korvane_test
