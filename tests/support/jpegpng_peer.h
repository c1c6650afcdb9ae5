// Helpers for tests that compare with what Debian's peer tools make and decode:
// a reader for the binary PNM files the tools write, and pixel comparisons.
// Running commands and scratch folders come from support/peer_image.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pgraphic/image/pixelgraphic.h"
#include "support/peer_image.h"

namespace peer {

// True when the program is on the PATH or given by an absolute path that exists.
bool Have(const std::string& program);

// The file's bytes; throw std::runtime_error when the file cannot be read or written.
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
