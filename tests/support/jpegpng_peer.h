// Helpers for tests that compare with what Debian's peer tools make and decode:
// running a command, a scratch folder, and a reader for the binary PNM files the
// tools write.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "pgraphic/image/pixelgraphic.h"

namespace peer {

// Runs a shell command; returns its exit status (-1 when it could not run).
int Run(const std::string& command);
// True when the program is on the PATH or given by an absolute path that exists.
bool Have(const std::string& program);

// A fresh folder under the build tree, removed with the object.
class TScratch {
 public:
  explicit TScratch(const std::string& name);
  ~TScratch();
  TScratch(const TScratch&) = delete;
  TScratch& operator=(const TScratch&) = delete;
  std::string Path(const std::string& file) const { return (dir_ / file).string(); }

 private:
  std::filesystem::path dir_;
};

std::vector<uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

// A decoded binary PNM (P4, P5, P6): samples scaled to 8 bits (16-bit samples
// keep their high byte, smaller maxvals are stretched to 0..255).
struct TPeerImage {
  int Width = 0;
  int Height = 0;
  int Channels = 0;  // 1 or 3
  int MaxVal = 0;
  std::vector<uint8_t> Samples;  // row-major, Channels per pixel
  pgraphic::TRGB Color(int x, int y) const;
};
// Throws std::runtime_error when the file is not a binary PNM.
TPeerImage ReadPNM(const std::string& path);

// Largest channel difference between the image and the peer's decode, over all
// pixels; INT32_MAX when the sizes differ.
int MaxDifference(const pgraphic::TPixelGraphic& image, const TPeerImage& peer);

// The same between two images.
int MaxDifference(const pgraphic::TPixelGraphic& a, const pgraphic::TPixelGraphic& b);

// Writes a 24-bit image as binary PPM (the input format of the peers' encoders).
void WritePPM(const std::string& path, const pgraphic::TPixelGraphic& image);

}  // namespace peer
