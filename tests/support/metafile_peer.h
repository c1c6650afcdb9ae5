// Comparing a metafile as this program draws it (the picture at (1, 1)) with the
// rendering of the program that exported it (the picture at (0, 0)).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pgraphic/image/pixelgraphic.h"
#include "support/peer_image.h"

namespace korvane_test {

// Channel i (0 red, 1 green, 2 blue) of a 0xBBGGRR colour.
inline int ChannelOf(uint32_t colour, int i) {
  return static_cast<int>((colour >> (8 * i)) & 0xFF);
}

// A peer pixel away from every edge of the drawing: its 5 x 5 neighbourhood is one
// colour, so any renderer that places shapes within a pixel must give that colour.
inline bool PeerInterior(const PeerImage& peer, int x, int y) {
  if (x < 2 || y < 2 || x + 2 >= peer.width || y + 2 >= peer.height) return false;
  for (int dy = -2; dy <= 2; ++dy)
    for (int dx = -2; dx <= 2; ++dx)
      if (peer.At(x + dx, y + dy) != peer.At(x, y)) return false;
  return true;
}

// How a drawn image differs from the peer rendering over the area both cover.
struct MetafileDifference {
  double mean = 0;  // mean absolute difference per channel, all pixels
  // The same over the means of 4 x 4 blocks: dithering to a fixed palette moves
  // single pixels but keeps the local means, and averaging only lowers a difference.
  double blockMean = 0;
  int interiorCount = 0;
  int interiorOff = 0;  // interior pixels with a channel more than 4 levels off
};

inline MetafileDifference CompareWithPeer(const pgraphic::TPixelGraphic& drawn,
                                          const PeerImage& peer) {
  MetafileDifference d;
  const int w = std::min(drawn.Width() - 1, peer.width);
  const int h = std::min(drawn.Height() - 1, peer.height);
  const int across = w / 4, down = h / 4;
  std::vector<int> blocks(3 * across * down);  // signed sums per block and channel
  long long sum = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool interior = PeerInterior(peer, x, y);
      int largest = 0;
      for (int i = 0; i < 3; ++i) {
        const int diff = ChannelOf(drawn.PixelColor(x + 1, y + 1), i) - ChannelOf(peer.At(x, y), i);
        sum += std::abs(diff);
        largest = std::max(largest, std::abs(diff));
        if (x / 4 < across && y / 4 < down) blocks[3 * (y / 4 * across + x / 4) + i] += diff;
      }
      d.interiorCount += interior;
      d.interiorOff += interior && largest > 4;
    }
  d.mean = static_cast<double>(sum) / (3.0 * w * h);
  for (const int block : blocks) d.blockMean += std::abs(block) / 16.0;
  if (!blocks.empty()) d.blockMean /= blocks.size();
  return d;
}

// How close a drawing must come to the peer rendering. Interior pixels carry exact
// flat colours in both, so they agree within 4 levels; edge pixels differ by how
// each renderer anti-aliases, which the mean bounds. Qt SVG (EMF) anti-aliases as
// the peer does. libwmf's bitmap device (WMF) draws 4 x 4 samples per pixel but ends
// every line with a square cap, so a line overshoots its ends by half its width:
// up to 1% of interior pixels may be off.
struct MetafileTolerance {
  double interiorOffShare;
  double mean;
  bool Holds(const MetafileDifference& d) const {
    return d.interiorOff <= interiorOffShare * d.interiorCount && d.mean < mean;
  }
};
inline MetafileTolerance MetafileToleranceFor(bool enhanced) {
  return enhanced ? MetafileTolerance{0.0, 1.5} : MetafileTolerance{0.01, 7.0};
}

}  // namespace korvane_test
