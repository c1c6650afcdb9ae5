#include "pgraphic/image/colorres.h"

#include <algorithm>
#include <array>
#include <vector>

#include "pgraphic/image/palettes.h"

namespace pgraphic {

namespace {

// ---- Median cut over a 32 x 64 x 32 histogram (red div 8, green div 4, blue div 8).

constexpr int kRed = 0, kGreen = 1, kBlue = 2;

struct THistogram {
  std::vector<uint16_t> cells = std::vector<uint16_t>(65536, 0);
  uint16_t at(int r, int g, int b) const { return cells[r * 2048 + g * 32 + b]; }
};

struct TBox {
  int lo[3];
  int hi[3];
  int64_t extent = 0;
  int64_t volume = 0;
};

// True when the slab axis = v of the box holds no counted colour.
bool FaceEmpty(const THistogram& h, const TBox& box, int axis, int v) {
  int lo[3] = {box.lo[0], box.lo[1], box.lo[2]};
  int hi[3] = {box.hi[0], box.hi[1], box.hi[2]};
  lo[axis] = hi[axis] = v;
  for (int r = lo[kRed]; r <= hi[kRed]; ++r) {
    for (int g = lo[kGreen]; g <= hi[kGreen]; ++g) {
      const uint16_t* p = &h.cells[r * 2048 + g * 32];
      for (int b = lo[kBlue]; b <= hi[kBlue]; ++b) {
        if (p[b]) return false;
      }
    }
  }
  return true;
}

void Shrink(const THistogram& h, TBox& box) {
  for (int axis : {kBlue, kGreen, kRed}) {
    while (box.lo[axis] < box.hi[axis] && FaceEmpty(h, box, axis, box.lo[axis])) ++box.lo[axis];
    while (box.hi[axis] > box.lo[axis] && FaceEmpty(h, box, axis, box.hi[axis])) --box.hi[axis];
  }
  const int64_t dr = box.hi[kRed] - box.lo[kRed];
  const int64_t dg = box.hi[kGreen] - box.lo[kGreen];
  const int64_t db = box.hi[kBlue] - box.lo[kBlue];
  box.extent = (16 * db) * (16 * db) + (12 * dg) * (12 * dg) + (16 * dr) * (16 * dr);
  box.volume = (dr + 1) * (dg + 1) * (db + 1);
}

std::vector<TRGB> MedianCut(TPixelGraphic& dest, const TPixelGraphic& source, int target) {
  // Counted in 32 bits and capped afterwards: the same as 16-bit counters that stop
  // at 65535.
  std::vector<uint32_t> counts(65536, 0);
  const int width = source.Width(), height = source.Height();
  for (int y = 0; y < height; ++y) {
    const uint8_t* p = source.ScanLine(y);
    for (int x = 0; x < width; ++x, p += 3) {
      ++counts[(p[2] >> 3) * 2048 + (p[1] >> 2) * 32 + (p[0] >> 3)];
    }
    if (dest.Progress(y, height - 1)) break;
  }
  THistogram h;
  for (int i = 0; i < 65536; ++i)
    h.cells[i] = static_cast<uint16_t>(std::min<uint32_t>(counts[i], 65535));

  std::vector<TBox> boxes;
  boxes.reserve(256);
  TBox first{{0, 0, 0}, {31, 63, 31}};
  Shrink(h, first);
  boxes.push_back(first);
  while (static_cast<int>(boxes.size()) < target) {
    int chosen = -1;
    int64_t best = 0;
    const bool byExtent = target < 2 * static_cast<int>(boxes.size());
    for (size_t i = 0; i < boxes.size(); ++i) {
      const int64_t value =
          byExtent ? boxes[i].extent : (boxes[i].extent > 0 ? boxes[i].volume : 0);
      if (value > best) {
        best = value;
        chosen = static_cast<int>(i);
      }
    }
    if (chosen < 0) break;
    TBox& box = boxes[chosen];
    const int wr = 16 * (box.hi[kRed] - box.lo[kRed]);
    const int wg = 12 * (box.hi[kGreen] - box.lo[kGreen]);
    const int wb = 16 * (box.hi[kBlue] - box.lo[kBlue]);
    const int axis = (wb > wr && wb > wg) ? kBlue : (wg < wr ? kRed : kGreen);
    const int m = (box.lo[axis] + box.hi[axis]) / 2;
    TBox upper = box;
    upper.lo[axis] = m + 1;
    box.hi[axis] = m;
    Shrink(h, box);
    Shrink(h, upper);
    boxes.push_back(upper);
  }

  std::vector<TRGB> entries;
  for (const TBox& box : boxes) {
    uint64_t sr = 0, sg = 0, sb = 0, total = 0;
    for (int r = box.lo[kRed]; r <= box.hi[kRed]; ++r) {
      for (int g = box.lo[kGreen]; g <= box.hi[kGreen]; ++g) {
        for (int b = box.lo[kBlue]; b <= box.hi[kBlue]; ++b) {
          const uint64_t n = h.at(r, g, b);
          sr += (8 * r + 4) * n;
          sg += (4 * g + 2) * n;
          sb += (8 * b + 4) * n;
          total += n;
        }
      }
    }
    if (total == 0) {
      entries.push_back(0);
      continue;
    }
    entries.push_back(RGB(static_cast<uint32_t>((sr + total / 2) / total),
                          static_cast<uint32_t>((sg + total / 2) / total),
                          static_cast<uint32_t>((sb + total / 2) / total)));
  }
  return entries;
}

// ---- Octree over the colours of a palette image, weighted by their pixel counts.

class TOctree {
 public:
  explicit TOctree(int target) : target_(target) { NewNode(0); }

  void Add(TRGB colour, int64_t weight) {
    const int r = static_cast<int>(GetR(colour)), g = static_cast<int>(GetG(colour)),
              b = static_cast<int>(GetB(colour));
    int index = 0;
    for (;;) {
      TNode& node = nodes_[index];
      node.red += r * weight;
      node.green += g * weight;
      node.blue += b * weight;
      node.count += weight;
      if (node.leaf || node.level >= depth_) break;
      const int bit = 7 - node.level;
      const int c = 4 * ((r >> bit) & 1) + 2 * ((g >> bit) & 1) + ((b >> bit) & 1);
      int child = node.child[c];
      if (child < 0) {
        const int level = node.level + 1;
        child = NewNode(level);  // may move nodes_
        nodes_[index].child[c] = child;
        ++nodes_[index].childCount;
      } else if (nodes_[index].childCount > 1 && !nodes_[index].listed) {
        nodes_[index].listed = true;
        lists_[nodes_[index].level].insert(lists_[nodes_[index].level].begin(), index);
      }
      index = child;
    }
    if (leafCount_ > target_) Reduce();
  }

  std::vector<TRGB> Entries() const {
    std::vector<TRGB> entries;
    Collect(0, entries);
    return entries;
  }

 private:
  struct TNode {
    int64_t red = 0, green = 0, blue = 0, count = 0;
    bool leaf = false;
    bool listed = false;
    int level = 0;
    int childCount = 0;
    std::array<int, 8> child{-1, -1, -1, -1, -1, -1, -1, -1};
  };

  int NewNode(int level) {
    TNode node;
    node.level = level;
    node.leaf = level >= depth_;
    if (node.leaf) ++leafCount_;
    nodes_.push_back(node);
    return static_cast<int>(nodes_.size()) - 1;
  }

  int64_t Weight(int index) const {
    const TNode& n = nodes_[index];
    return 2 * n.red + 3 * n.green + n.blue;
  }

  void Unlist(int index) {
    TNode& n = nodes_[index];
    if (!n.listed) return;
    auto& list = lists_[n.level];
    list.erase(std::find(list.begin(), list.end(), index));
    n.listed = false;
  }

  void FreeChildren(int index) {
    for (int& c : nodes_[index].child) {
      if (c < 0) continue;
      if (nodes_[c].leaf)
        --leafCount_;
      else
        FreeChildren(c);
      Unlist(c);
      c = -1;
    }
    nodes_[index].childCount = 0;
  }

  // Merges the children of one node into it, lowering the leaf count.
  void Reduce() {
    int chosen = -1;
    for (int level = std::min(depth_ - 1, 7); level >= 0 && chosen < 0; --level) {
      int64_t best = 0;
      for (int index : lists_[level]) {
        if (chosen < 0 || Weight(index) < best) {
          chosen = index;
          best = Weight(index);
        }
      }
    }
    if (chosen < 0) {
      // Nothing listed: take the deepest inner node with more than one child (the
      // lightest on a tie); one exists whenever there are two leaves or more.
      for (size_t i = 0; i < nodes_.size(); ++i) {
        const TNode& n = nodes_[i];
        if (n.leaf || n.childCount < 2 || !Reachable(static_cast<int>(i))) continue;
        if (chosen < 0 || n.level > nodes_[chosen].level ||
            (n.level == nodes_[chosen].level && Weight(static_cast<int>(i)) < Weight(chosen))) {
          chosen = static_cast<int>(i);
        }
      }
      if (chosen < 0) return;
    }
    Unlist(chosen);
    FreeChildren(chosen);
    nodes_[chosen].leaf = true;
    ++leafCount_;
    if (nodes_[chosen].level < depth_ - 1) depth_ = nodes_[chosen].level + 1;
  }

  bool Reachable(int index) const {
    // Freed nodes stay in the pool; a node is live when its parent chain reaches
    // the root.
    return index == 0 || ReachableFrom(0, index);
  }
  bool ReachableFrom(int from, int index) const {
    for (int c : nodes_[from].child) {
      if (c < 0) continue;
      if (c == index || ReachableFrom(c, index)) return true;
    }
    return false;
  }

  void Collect(int index, std::vector<TRGB>& entries) const {
    const TNode& n = nodes_[index];
    if (n.leaf) {
      if (n.count > 0) {
        entries.push_back(RGB(static_cast<uint32_t>(n.red / n.count),
                              static_cast<uint32_t>(n.green / n.count),
                              static_cast<uint32_t>(n.blue / n.count)));
      } else {
        entries.push_back(0);
      }
      return;
    }
    for (int c : n.child) {
      if (c >= 0) Collect(c, entries);
    }
  }

  int target_;
  int depth_ = 8;
  int leafCount_ = 0;
  std::vector<TNode> nodes_;
  std::array<std::vector<int>, 8> lists_;
};

std::vector<TRGB> Octree(TPixelGraphic& dest, const TPixelGraphic& source,
                         const std::vector<TRGB>& sourceColours, int target) {
  std::array<int64_t, 256> counts{};
  const int width = source.Width(), height = source.Height();
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = source.ScanLine(y);
    switch (source.PixelFormat()) {
      case pf1Bit:
        for (int x = 0; x < width; ++x) ++counts[IndexAt(row, pf1Bit, x)];
        break;
      case pf4Bit:
        for (int x = 0; x < width; ++x) ++counts[IndexAt(row, pf4Bit, x)];
        break;
      default:
        for (int x = 0; x < width; ++x) ++counts[row[x]];
    }
    if (dest.Progress(y, height - 1)) break;
  }
  TOctree tree(target);
  for (int i = 0; i < 256; ++i) {
    if (counts[i] != 0) tree.Add(sourceColours[i], counts[i]);
  }
  return tree.Entries();
}

}  // namespace

void BuildOptimizedPalette(TPixelGraphic& dest, const TPixelGraphic& source, int colours,
                           bool addSystemColors) {
  colours = std::min(colours, 256);
  const int target = addSystemColors ? colours - 16 : colours;
  if (source.Empty() || source.Width() <= 0 || source.Height() <= 0 || target < 1) {
    dest.SetPaletteIdent(pSys16);
    dest.SetPaletteCount(std::max(0, std::min(colours, 16)));
    return;
  }
  // The source's colours are taken before dest's palette changes (dest may be the
  // source itself).
  std::vector<TRGB> sourceColours(256, 0);
  if (source.PixelFormat() != pf24Bit) {
    for (int i = 0; i < source.PaletteCapacity(); ++i) {
      if (source.PaletteIdent() == pTrueColor)
        sourceColours[i] = static_cast<TRGB>(i);
      else if (i < source.PaletteCount())
        sourceColours[i] = source.PaletteColor(i);
      else if (source.PaletteCount() > 0)
        sourceColours[i] = source.PaletteColor(0);
    }
  }
  dest.SetPaletteCount(0);
  const std::vector<TRGB> entries = source.PixelFormat() == pf24Bit
                                        ? MedianCut(dest, source, target)
                                        : Octree(dest, source, sourceColours, target);
  dest.SetPaletteCount(static_cast<int>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) dest.SetPaletteColor(static_cast<int>(i), entries[i]);
  if (addSystemColors) {
    for (int j = 0; j < 16 && dest.PaletteCount() < colours; ++j) {
      const int at = dest.PaletteCount();
      dest.SetPaletteCount(at + 1);
      dest.SetPaletteColor(at, PGSystemColors[j]);
    }
  }
}

TPGColorResolution CurrentColorResolution(const TPixelGraphic& image) {
  switch (image.PixelFormat()) {
    case pf1Bit:
      return image.PaletteIdent() == pBlackWhite ? crBlackWhite : cr2Colors;
    case pf4Bit:
      if (image.PaletteIdent() == pSys16) return cr16SysColors;
      return image.PaletteIdent() == pGray16 ? cr16Grays : cr16Colors;
    case pf8Bit:
      return image.PaletteIdent() == pGray256 ? cr256Grays : cr256Colors;
    default:
      return crTrueColor;
  }
}

namespace {

// How a conversion target is made: its pixel format, and either a fixed palette
// or an optimised one of `colours` entries (with or without the system colours).
struct TRecipe {
  TPGPixelFormat format;
  TPaletteIdent fixed;
  int colours;  // 0: use the fixed palette
  bool addSystemColors;
};

// A new image of the source's size made by the recipe, carrying the source's
// progress handlers, with every pixel of the source mapped into it.
std::unique_ptr<TPixelGraphic> Convert(TPixelGraphic& source, const TRecipe& recipe) {
  auto image = std::make_unique<TPixelGraphic>();
  image->OnProgressStart = source.OnProgressStart;
  image->OnProgress = source.OnProgress;
  image->OnProgressEnd = source.OnProgressEnd;
  image->SetSize(source.Width(), source.Height(), recipe.format);
  if (recipe.colours > 0) {
    BuildOptimizedPalette(*image, source, recipe.colours, recipe.addSystemColors);
  } else {
    image->SetPaletteIdent(recipe.fixed);
  }
  image->CopyFrom(source);
  return image;
}

}  // namespace

std::unique_ptr<TPixelGraphic> ConvertToColorResolution(TPixelGraphic& source,
                                                        TPGColorResolution resolution) {
  // The targets used when a file format cannot hold the image's resolution.
  static constexpr TRecipe kRecipes[] = {
      {pf1Bit, pBlackWhite, 0, false},  // crBlackWhite
      {pf1Bit, pNone, 2, false},        // cr2Colors
      {pf4Bit, pGray16, 0, false},      // cr16Grays
      {pf4Bit, pSys16, 0, false},       // cr16SysColors
      {pf4Bit, pNone, 16, false},       // cr16Colors
      {pf8Bit, pGray256, 0, false},     // cr256Grays
      {pf8Bit, pNone, 252, true},       // cr256Colors
      {pf24Bit, pTrueColor, 0, false},  // crTrueColor
  };
  return Convert(source, kRecipes[resolution <= crTrueColor ? resolution : crTrueColor]);
}

std::unique_ptr<TPixelGraphic> ApplyColorCommand(TPixelGraphic& source, TColorCommand command) {
  // The main window's colour-resolution commands.
  static constexpr TRecipe kRecipes[] = {
      {pf1Bit, pBlackWhite, 0, false},  // ccColors2
      {pf4Bit, pNone, 16, true},        // ccColors16: always the system colours
      {pf8Bit, pNone, 256, true},       // ccColors256: up to 240 optimised + system colours
      {pf8Bit, pGray256, 0, false},     // ccGray256
      {pf24Bit, pTrueColor, 0, false},  // ccTrueColor
  };
  return Convert(source, kRecipes[command <= ccTrueColor ? command : ccTrueColor]);
}

}  // namespace pgraphic
