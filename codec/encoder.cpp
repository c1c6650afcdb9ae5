// The encoder: three colour planes, the forward transform, step sizes from the
// running maxima, the dead zone, quantisation into the coefficient bytes and the
// entropy coder.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>

#include "codec/entropy.h"
#include "codec/quantise.h"
#include "codec/team.h"
#include "codec/vqn.h"
#include "codec/wavelet.h"
#include "pgraphic/image/pixelrows.h"

namespace codec {

using pgraphic::TPixelGraphic;

int QualityFromPosition(int position) {
  position = std::clamp(position, 0, 120);
  const int a = static_cast<int>(RoundEven(position * 0.1));
  return (12 - a) * (12 - a) + 5;
}

std::vector<int> ZeroThresholds(int quality, int levels) {
  std::vector<int> result;
  int theta = quality;
  for (int l = 0; l < levels; ++l) {
    result.push_back(theta);
    theta = static_cast<int>(RoundEven(theta * 2.0 / 3.0));
  }
  return result;
}

VQNHeader CompressedData::Header() const {
  VQNHeader h;
  h.SubType = 3;
  h.Width = Width;
  h.Height = Height;
  h.Levels = Levels;
  for (size_t p = 0; p < 3; ++p) {
    h.DetailStep[p] = DetailStep[p];
    h.ApproxStep[p] = ApproxStep[p];
    h.ApproxMin[p] = ApproxMin[p];
  }
  h.CodedLength = CodedLength;
  return h;
}

namespace {

// Fires the image's progress start and end events around a piece of work and
// turns an abort into the library's "Operation aborted on user request".
class ProgressScope {
 public:
  ProgressScope(TPixelGraphic& image, int steps) : image_(image), scope_(image), steps_(steps) {}
  void Step() {
    ++done_;
    if (image_.Progress(done_, steps_))
      throw pgraphic::EPixelGraphic(pgraphic::LangStr(pgraphic::msgAborted));
  }

 private:
  TPixelGraphic& image_;
  pgraphic::TProgressScope scope_;
  int steps_;
  int done_ = 0;
};

struct EncodedImage {
  CompressedData Data;
  std::vector<LevelGeometry> Geometry;
  CoefficientPlanes Coefficients;
};

// Band rows a thread transforms at a time: a multiple of the 16-row groups
// the quantiser writes column-ordered bands in.
constexpr int kChunkRows = 32;

// Runs one forward level over all band rows on the team and returns the
// largest detail magnitude.
template <class T>
int ForwardLevel(const PlaneView<T>& input, LevelBands& out, Team& team) {
  std::mutex lock;
  int maxAbs = 0;
  team.Run(out.Geometry.HalfHeight, kChunkRows, [&](int v0, int v1) {
    int m = ForwardLevelRows(input, out, v0, v1);
    std::lock_guard<std::mutex> guard(lock);
    maxAbs = std::max(maxAbs, m);
  });
  return maxAbs;
}

// Writes band rows [n0, n1) into a plane's coefficient bytes through `lut`
// (a table indexed by the coefficient); row n of the band lies at
// samples + n * hw. Bands stored column by column are written in tiles, so
// each column receives a run of consecutive positions.
void QuantiseRows(const int16_t* samples, int hw, int n0, int n1, const BandLayout& layout,
                  const uint8_t* lut, uint8_t* coefficients) {
  if (layout.ColumnStep == 1) {
    for (int n = n0; n < n1; ++n) {
      const int16_t* row = samples + static_cast<ptrdiff_t>(n) * hw;
      uint8_t* dst = coefficients + layout.Offset + n * layout.RowStep;
      for (int u = 0; u < hw; ++u) dst[u] = lut[row[u]];
    }
    return;
  }
  // Full groups of 16 rows in tiles of 16 x 16: the bytes are gathered into a
  // small tile, column by column, and each column's 16 consecutive positions
  // are then written at once.
  uint8_t* dst = coefficients + layout.Offset;
  const ptrdiff_t columnStep = layout.ColumnStep;
  for (; n0 + 16 <= n1; n0 += 16) {
    int u = 0;
    for (; u + 16 <= hw; u += 16) {
      uint8_t tile[16][16];
      for (int i = 0; i < 16; ++i) {
        const int16_t* row = samples + static_cast<ptrdiff_t>(n0 + i) * hw + u;
        for (int k = 0; k < 16; ++k) tile[k][i] = lut[row[k]];
      }
      for (int k = 0; k < 16; ++k) std::memcpy(dst + (u + k) * columnStep + n0, tile[k], 16);
    }
    for (; u < hw; ++u) {
      for (int i = 0; i < 16; ++i)
        dst[u * columnStep + n0 + i] = lut[samples[static_cast<size_t>(n0 + i) * hw + u]];
    }
  }
  // Tiles of 64 x 64: the tile's rows are read in order while its 64
  // destination columns stay in the first-level cache.
  for (int u0 = 0; u0 < hw; u0 += 64) {
    const int u1 = std::min(hw, u0 + 64);
    for (int u = u0 + 64; u < std::min(hw, u0 + 128); ++u) {
      __builtin_prefetch(dst + u * columnStep + n0, 1);
      __builtin_prefetch(dst + u * columnStep + n1 - 1, 1);
    }
    for (int n = n0; n < n1; ++n) {
      const int16_t* row = samples + static_cast<ptrdiff_t>(n) * hw;
      for (int u = u0; u < u1; ++u) dst[u * columnStep + n] = lut[row[u]];
    }
  }
}

// Writes one whole band into a plane's coefficient bytes through a table
// indexed by coefficient + bias, 64 rows at a time per thread (a cache line of
// each column of a column-ordered band).
void QuantiseBand(const std::vector<int16_t>& band, const LevelGeometry& g,
                  const BandLayout& layout, const std::vector<uint8_t>& table, int bias,
                  uint8_t* coefficients, Team& team) {
  constexpr int kBlock = 64;
  // Captured by value: byte stores may alias anything reached through a reference,
  // which would reload these in every inner loop.
  const int16_t* const samples = band.data();
  const uint8_t* const lut = table.data() + bias;
  const int hw = g.HalfWidth;
  team.Run(g.HalfHeight, kBlock,
           [=](int n0, int n1) { QuantiseRows(samples, hw, n0, n1, layout, lut, coefficients); });
}

// Runs level 1 over all band rows on the team, kChunkRows at a time into the
// thread's own rows of the four bands (level 1's detail bands are never held
// whole: at 16-bit samples they would take two thirds of the picture's size).
// `part` gets those rows, band row v at index v - FirstRow, right after they
// are computed. Returns the largest detail magnitude.
int ForwardLevel1(const PlaneView<uint8_t>& input, const LevelGeometry& g, Team& team,
                  const std::function<void(const LevelBands& rows, int v0, int v1)>& part) {
  std::vector<LevelBands> scratch(static_cast<size_t>(team.Size()));
  int maxAbs = 0;
  std::mutex lock;
  team.Run(g.HalfHeight, kChunkRows, [&](int v0, int v1) {
    LevelBands& rows = scratch[static_cast<size_t>(Team::Member())];
    if (rows.Band[0].empty()) rows.AllocateStrip(g, kChunkRows);
    rows.FirstRow = v0;
    const int m = ForwardLevelRows(input, rows, v0, v1);
    part(rows, v0, v1);
    std::lock_guard<std::mutex> guard(lock);
    maxAbs = std::max(maxAbs, m);
  });
  return maxAbs;
}

EncodedImage EncodeImage(TPixelGraphic& source, int quality) {
  const int W = source.Width(), H = source.Height();
  if (W > VQNMaxSide || H > VQNMaxSide) throw EVQNTooLarge();
  if (W <= 0 || H <= 0 || source.Empty())
    throw pgraphic::EPGEmpty(pgraphic::LangStr(pgraphic::msgIsEmpty, "Image"));
  if (quality < 1 || quality > 249)
    throw pgraphic::EPixelGraphic(pgraphic::LangStr(pgraphic::msgOutOfRange, "Quality"));
  const int D = 250 - quality;

  ProgressScope progress(source, 7);
  Team team(EffectiveThreads());

  // A 24-bit view of the source: palette images go through their palette colours.
  std::unique_ptr<TPixelGraphic> converted;
  const TPixelGraphic* image = &source;
  if (source.PixelFormat() != pgraphic::pf24Bit) {
    converted = std::make_unique<TPixelGraphic>();
    converted->SetSize(W, H, pgraphic::pf24Bit);
    for (int y = 0; y < H; ++y) {
      uint8_t* row = converted->ScanLine(y);
      for (int x = 0; x < W; ++x) {
        const pgraphic::TRGB c = source.PixelColor(x, y);
        row[3 * x] = static_cast<uint8_t>(pgraphic::GetB(c));
        row[3 * x + 1] = static_cast<uint8_t>(pgraphic::GetG(c));
        row[3 * x + 2] = static_cast<uint8_t>(pgraphic::GetR(c));
      }
    }
    image = converted.get();
  }

  EncodedImage result;
  const int N = LevelCount(W, H);
  result.Geometry = BandGeometry(W, H, N);
  const auto& geometry = result.Geometry;
  const size_t positions = static_cast<size_t>(CoefficientCount(geometry) / 3);
  const std::vector<int> thresholds = ZeroThresholds(quality, N);
  CompressedData& data = result.Data;
  data.Width = static_cast<int16_t>(W);
  data.Height = static_cast<int16_t>(H);
  data.Levels = static_cast<int16_t>(N);

  // One plane at a time, so only one plane's levels are held at once.
  // The level buffers are reused from plane to plane.
  std::vector<LevelBands> levels(static_cast<size_t>(N));
  for (int p = 0; p < 3; ++p) {
    result.Coefficients[static_cast<size_t>(p)].resize(positions);
    uint8_t* coefficients = result.Coefficients[static_cast<size_t>(p)].data();
    PlaneView<uint8_t> pixels;
    // BGR order puts red at byte 2 of each pixel.
    const pgraphic::TConstPixelRows rows = pgraphic::PixelRows(*image);
    pixels.Base = rows.Top + (2 - p);
    pixels.RowStride = rows.Stride;
    pixels.Step = 3;
    pixels.Width = W;
    pixels.Height = H;
    // Level 1, first pass: its approximation band and its largest detail.
    const LevelGeometry& g1 = geometry[0];
    const size_t hw1 = static_cast<size_t>(g1.HalfWidth);
    std::vector<int16_t> approx1(static_cast<size_t>(g1.BandSize()));
    int maxAbs = ForwardLevel1(pixels, g1, team, [&](const LevelBands& strip, int v0, int v1) {
      std::copy_n(strip.Band[0].data(), static_cast<size_t>(v1 - v0) * hw1,
                  approx1.data() + static_cast<size_t>(v0) * hw1);
    });
    const std::vector<int16_t>* below = &approx1;
    for (int l = 1; l < N; ++l) {
      const LevelGeometry& g = geometry[static_cast<size_t>(l)];
      PlaneView<int16_t> band;
      band.Base = below->data();
      band.RowStride = g.Width;
      band.Width = g.Width;
      band.Height = g.Height;
      levels[static_cast<size_t>(l)].Allocate(g);
      maxAbs = std::max(maxAbs, ForwardLevel(band, levels[static_cast<size_t>(l)], team));
      // Only the last level's approximation band is stored.
      if (l == 1)
        std::vector<int16_t>().swap(approx1);
      else
        std::vector<int16_t>().swap(levels[static_cast<size_t>(l - 1)].Band[0]);
      below = &levels[static_cast<size_t>(l)].Band[0];
    }
    progress.Step();

    // Detail step from the running maximum, before zeroing.
    float s = static_cast<float>(2.0 * maxAbs / D);
    if (s < 1.0f) s = 1.0f;
    // Approximation statistics: the maximum starts from |first|, the minimum
    // from the first coefficient.
    const std::vector<int16_t>& approx = *below;
    int hi = std::abs(static_cast<int>(approx[0]));
    int lo = approx[0];
    for (int16_t c : approx) {
      hi = std::max(hi, static_cast<int>(c));
      lo = std::min(lo, static_cast<int>(c));
    }
    float a = static_cast<float>(static_cast<double>(hi - lo) / D);
    if (a < 1.0f) a = 1.0f;
    data.DetailStep[static_cast<size_t>(p)] = s;
    data.ApproxStep[static_cast<size_t>(p)] = a;
    data.ApproxMin[static_cast<size_t>(p)] = static_cast<int16_t>(lo);

    // Dead zone and quantiser as tables over the coefficient range.
    std::vector<uint8_t> table(static_cast<size_t>(2 * maxAbs + 1));
    for (int l = 1; l <= N; ++l) {
      const int theta = thresholds[static_cast<size_t>(l - 1)];
      for (int c = -maxAbs; c <= maxAbs; ++c) {
        const int kept = std::abs(c) < theta ? 0 : c;
        const double q = RoundEven(kept / static_cast<double>(s));
        table[static_cast<size_t>(c + maxAbs)] = static_cast<uint8_t>(static_cast<int>(q) + 128);
      }
      if (l == 1) {
        // Level 1, second pass: the detail rows quantised by the thread that
        // transformed them, while they are in its cache.
        const uint8_t* lut = table.data() + maxAbs;
        ForwardLevel1(pixels, g1, team, [&](const LevelBands& strip, int v0, int v1) {
          for (int b = 1; b <= 3; ++b) {
            BandLayout layout = DetailBandLayout(geometry, 1, b);
            layout.Offset += static_cast<int64_t>(strip.FirstRow) * layout.RowStep;
            QuantiseRows(strip.Band[static_cast<size_t>(b)].data(), g1.HalfWidth,
                         v0 - strip.FirstRow, v1 - strip.FirstRow, layout, lut, coefficients);
          }
        });
        continue;
      }
      LevelBands& level = levels[static_cast<size_t>(l - 1)];
      for (int b = 1; b <= 3; ++b) {
        QuantiseBand(level.Band[static_cast<size_t>(b)], level.Geometry,
                     DetailBandLayout(geometry, l, b), table, maxAbs, coefficients, team);
      }
    }
    std::vector<uint8_t> approxTable(static_cast<size_t>(hi - lo + 1));
    for (int c = lo; c <= hi; ++c) {
      const double q = RoundEven(static_cast<double>(c - lo) / static_cast<double>(a));
      approxTable[static_cast<size_t>(c - lo)] = static_cast<uint8_t>(static_cast<int>(q));
    }
    QuantiseBand(approx, geometry.back(), ApproximationBandLayout(geometry), approxTable, -lo,
                 coefficients, team);
    progress.Step();
  }
  converted.reset();

  const uint8_t* const planes[3] = {result.Coefficients[0].data(), result.Coefficients[1].data(),
                                    result.Coefficients[2].data()};
  data.CodedData = EncodePlanes(planes, positions);
  data.CodedLength = static_cast<int32_t>(data.CodedData.size());
  progress.Step();
  return result;
}

// Turns allocation failures into the codec's "Not enough memory!".
template <class Fn>
auto GuardMemory(Fn&& fn) -> decltype(fn()) {
  try {
    return fn();
  } catch (const std::bad_alloc&) {
    throw EVQNNoMemory();
  } catch (const std::length_error&) {
    throw EVQNNoMemory();
  }
}

}  // namespace

CompressedData Compress(TPixelGraphic& source, int quality) {
  return GuardMemory([&] { return EncodeImage(source, quality).Data; });
}

CompressResult CompressInteractive(TPixelGraphic& source, int quality) {
  return GuardMemory([&] {
    EncodedImage encoded = EncodeImage(source, quality);
    CompressResult result;
    auto preview = std::make_unique<TPixelGraphic>();
    Reconstruct(encoded.Data.Header(), encoded.Coefficients, *preview);
    encoded.Coefficients = {};
    result.Data = std::move(encoded.Data);
    result.Preview = std::move(preview);
    result.Ratio = CompressionRatio(result.Data);
    result.SizeText = KbText(result.Data.CodedLength);
    result.Message = CompressionMessage(result.Data);
    return result;
  });
}

CompressedData CompressBatch(TPixelGraphic& source, int quality, const std::string& path) {
  CompressedData data = Compress(source, quality);
  SaveVQNFile(data, path);
  return data;
}

void WriteVQN(const CompressedData& data, pgraphic::TStream& stream) {
  const auto header = SerializeHeader3(data.Header());
  stream.WriteBuffer(header.data(), header.size());
  stream.WriteBuffer(data.CodedData.data(), static_cast<size_t>(data.CodedLength));
}

void SaveVQNFile(const CompressedData& data, const std::string& path) {
  if (data.CodedLength < 0 || static_cast<size_t>(data.CodedLength) > data.CodedData.size()) {
    throw pgraphic::EPixelGraphic(pgraphic::LangStr(pgraphic::msgInvalidValue, "CodedLength"));
  }
  pgraphic::SaveFileSafely(path, [&data](pgraphic::TStream& stream) { WriteVQN(data, stream); });
}

int CompressionRatio(const CompressedData& data) {
  if (data.CodedLength <= 0) return 0;
  const double ratio = static_cast<double>(data.Width) * data.Height * 3 / data.CodedLength;
  return static_cast<int>(RoundEven(ratio));
}

std::string KbText(int64_t bytes) {
  const double tenths = RoundEven(static_cast<double>(bytes) * 0.009765625);
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", tenths * 0.1);
  return text;
}

std::string CompressionMessage(const CompressedData& data) {
  return "The image was successfully compressed!\nCompression ratio is 1:" +
         std::to_string(CompressionRatio(data)) + "\nSize of VQN-file will be " +
         KbText(data.CodedLength) + " Kb\nTo save the compressed image click Save as VQN-file";
}

}  // namespace codec
