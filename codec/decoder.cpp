// The decoder: header, coded stream, entropy decoding, dequantisation and the
// inverse transform into a 24-bit image; and the information texts.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>

#include "codec/entropy.h"
#include "codec/quantise.h"
#include "codec/team.h"
#include "codec/vqn.h"
#include "codec/wavelet.h"
#include "pgraphic/image/pixelrows.h"

namespace codec {

using pgraphic::TPixelGraphic;

std::string SubTypeName(int subtype) {
  return subtype == 2 ? "Wavelet 2.0" : "Wavelet 3.0";
}

namespace {

// The most coefficient bytes C coded bytes can produce: every symbol costs at
// least one bit, so a run (flag, length, value) of at most 3,000 bytes costs at
// least three bits and a literal byte two.
int64_t MaxDecodableBytes(int64_t codedLength) {
  return codedLength * 8 * (MaxRunLength / 3);
}

void CheckImageFits(const VQNHeader& h) {
  const int64_t stride = ((24 * static_cast<int64_t>(h.Width) + 31) / 32) * 4;
  const int64_t limit = std::min<int64_t>(pgraphic::PGMaxImageSize, INT32_MAX);
  if (stride * h.Height > limit) throw EVQNNoMemory();
}

}  // namespace

namespace {

// One plane's coefficient bytes, supplied a range of positions at a time.
class CoefficientFeed {
 public:
  virtual ~CoefficientFeed() = default;
  // The bytes of positions [begin, end); valid until the next call. Ranges
  // move forward but may overlap the previous one.
  virtual const uint8_t* Read(size_t begin, size_t end) = 0;
  // Whether every byte is at hand at once (no range needs decoding).
  virtual bool Held() const { return false; }
};

// A plane held whole in memory (the encoder's preview).
class HeldPlane final : public CoefficientFeed {
 public:
  explicit HeldPlane(const uint8_t* bytes) : bytes_(bytes) {}
  const uint8_t* Read(size_t begin, size_t) override { return bytes_ + begin; }
  bool Held() const override { return true; }

 private:
  const uint8_t* bytes_;
};

// A plane decoded from the coded stream as it is asked for: only the range
// asked for is held.
class DecodedPlane final : public CoefficientFeed {
 public:
  DecodedPlane(const PlaneDecoder& from, int plane) : decoder_(from), plane_(plane) {}
  const uint8_t* Read(size_t begin, size_t end) override {
    // What the previous range has of this one moves to the front.
    const size_t kept = begin < heldEnd_ ? heldEnd_ - begin : 0;
    if (kept > 0) std::memmove(held_.data(), held_.data() + (begin - heldBegin_), kept);
    held_.resize(end - begin);
    if (decoder_.Next(plane_, begin + kept, end, held_.data() + kept) != DecodeStatus::Ok)
      throw EVQNCorrupted();
    heldBegin_ = begin;
    heldEnd_ = end;
    return held_.data();
  }

 private:
  PlaneDecoder decoder_;
  int plane_;
  std::vector<uint8_t, LargeBufferAllocator<uint8_t>> held_;
  size_t heldBegin_ = 0, heldEnd_ = 0;
};

// A feed of plane p able to read from position `from` on.
using FeedMaker = std::function<std::unique_ptr<CoefficientFeed>(int p, size_t from)>;

using Words = std::vector<int16_t, LargeBufferAllocator<int16_t>>;

// Output rows of level 1 rebuilt per strip: the row-by-row first band is read a
// strip at a time, so it is never held whole.
constexpr int kStripRows = 512;
// Output rows a thread takes at a time: two blocks of band rows as the inverse
// reads them, so that parts seldom fill the same block twice.
constexpr int kChunkRows = 64;

// A band read from bytes that start at position `origin`.
BandSource BytesBand(const uint8_t* bytes, size_t origin, BandLayout layout, const int16_t* table) {
  BandSource band;
  band.Bytes = bytes;
  band.Layout = layout;
  band.Layout.Offset -= static_cast<int64_t>(origin);
  band.Table = table;
  return band;
}

// Rebuilds plane p into the target's component 2 - p (BGR order puts red at
// byte 2 of each pixel). Held at most: the bytes of levels 2 and up with two
// approximation bands, or the second and third bands of level 1 with the
// approximation band of level 1 and a strip of the first band.
void ReconstructPlane(const VQNHeader& header, const std::vector<LevelGeometry>& geometry, int p,
                      const FeedMaker& feedFrom, TPixelGraphic& target, Team& team) {
  const int N = header.Levels;
  const size_t total = static_cast<size_t>(CoefficientCount(geometry) / 3);
  const size_t firstBand = static_cast<size_t>(geometry[0].BandSize());
  const auto detail = DetailTable(header.DetailStep[static_cast<size_t>(p)]);
  const auto approx = ApproximationTable(header.ApproxStep[static_cast<size_t>(p)],
                                         header.ApproxMin[static_cast<size_t>(p)]);
  // Approximation bands of the level being rebuilt and of the one above it:
  // every sample is written before it is read.
  Words finer, coarser;
  if (N >= 2) {
    const size_t from = 3 * firstBand;
    const auto feed = feedFrom(p, from);
    const uint8_t* bytes = feed->Read(from, total);
    for (int l = N; l >= 2; --l) {
      const LevelGeometry& g = geometry[static_cast<size_t>(l - 1)];
      std::array<BandSource, 4> bands;
      if (l == N)
        bands[0] = BytesBand(bytes, from, ApproximationBandLayout(geometry), approx.data());
      else
        bands[0].Words = coarser.data();
      for (int b = 1; b <= 3; ++b)
        bands[static_cast<size_t>(b)] =
            BytesBand(bytes, from, DetailBandLayout(geometry, l, b), detail.data());
      const size_t samples = static_cast<size_t>(g.Width) * static_cast<size_t>(g.Height);
      if (finer.size() < samples) finer.resize(samples);
      OutputSink sink;
      sink.Words = finer.data();
      sink.RowStride = g.Width;
      team.Run(g.Height, kChunkRows,
               [&](int r0, int r1) { InverseLevelRows(bands, g, sink, r0, r1); });
      coarser.swap(finer);
    }
    Words().swap(finer);
  }
  const LevelGeometry& g = geometry[0];
  const auto rest = feedFrom(p, firstBand);
  const uint8_t* restBytes = rest->Read(firstBand, N == 1 ? total : 3 * firstBand);
  std::array<BandSource, 4> bands;
  if (N == 1)
    bands[0] = BytesBand(restBytes, firstBand, ApproximationBandLayout(geometry), approx.data());
  else
    bands[0].Words = coarser.data();
  for (int b = 2; b <= 3; ++b)
    bands[static_cast<size_t>(b)] =
        BytesBand(restBytes, firstBand, DetailBandLayout(geometry, 1, b), detail.data());
  const pgraphic::TPixelRows rows = pgraphic::PixelRows(target);
  OutputSink sink;
  sink.Bytes = rows.Top + (2 - p);
  sink.RowStride = rows.Stride;
  sink.Step = 3;
  const auto first = feedFrom(p, 0);
  const size_t hw = static_cast<size_t>(g.HalfWidth);
  constexpr int kBlock = 16;  // the inverse reads band rows in aligned blocks of 16
  // Bytes held whole are rebuilt in one go: no strip waits for the last part
  // of the one before.
  const int stripRows = first->Held() ? g.Height : kStripRows;
  for (int s0 = 0; s0 < g.Height; s0 += stripRows) {
    const int s1 = std::min(g.Height, s0 + stripRows);
    // Output row r reads band rows r / 2 to r / 2 + F / 2 - 1.
    const int n0 = (s0 >> 1) / kBlock * kBlock;
    const int n1 = std::min(g.HalfHeight,
                            (((s1 - 1) >> 1) + g.FilterLength / 2 + kBlock - 1) / kBlock * kBlock);
    const size_t origin = static_cast<size_t>(n0) * hw;
    bands[1] = BytesBand(first->Read(origin, static_cast<size_t>(n1) * hw), origin,
                         DetailBandLayout(geometry, 1, 1), detail.data());
    team.Run(s1 - s0, kChunkRows,
             [&](int r0, int r1) { InverseLevelRows(bands, g, sink, s0 + r0, s0 + r1); });
  }
}

// Bytes ReconstructPlane holds besides the picture at its peak.
int64_t WorkingBytes(const std::vector<LevelGeometry>& geometry) {
  const int64_t total = CoefficientCount(geometry) / 3;
  const LevelGeometry& g = geometry[0];
  const int64_t firstBand = g.BandSize();
  const int64_t approx1 = 2 * firstBand;  // level 1's approximation band, 16-bit
  int64_t upper = 0;
  if (geometry.size() >= 2) {
    upper = total - 3 * firstBand + approx1 + 2 * geometry[1].BandSize();
  }
  const int64_t strip =
      std::min<int64_t>(kStripRows / 2 + 32, g.HalfHeight) * static_cast<int64_t>(g.HalfWidth);
  const int64_t level1 = geometry.size() >= 2 ? 2 * firstBand + approx1 + strip : total;
  return std::max(upper, level1);
}

// Bytes Reconstruct holds besides the picture and the coefficients: the
// approximation bands of levels 1 and 2.
int64_t HeldWorkingBytes(const std::vector<LevelGeometry>& geometry) {
  return 2 * geometry[0].BandSize() + (geometry.size() >= 2 ? 2 * geometry[1].BandSize() : 0);
}

}  // namespace

namespace {

void ReconstructHeld(const VQNHeader& header, const CoefficientPlanes& coefficients,
                     TPixelGraphic& target, Team& team) {
  const auto geometry = BandGeometry(header.Width, header.Height, header.Levels);
  target.SetSize(header.Width, header.Height, pgraphic::pf24Bit);
  AdviseHugePages(target.Bits(), static_cast<size_t>(target.ImageSize()));
  const FeedMaker held = [&](int p, size_t) -> std::unique_ptr<CoefficientFeed> {
    return std::make_unique<HeldPlane>(coefficients[static_cast<size_t>(p)].data());
  };
  for (int p = 0; p < 3; ++p) ReconstructPlane(header, geometry, p, held, target, team);
}

}  // namespace

void Reconstruct(const VQNHeader& header, const CoefficientPlanes& coefficients,
                 TPixelGraphic& target) {
  Team team(EffectiveThreads());
  ReconstructHeld(header, coefficients, target, team);
}

VQNInfo ReadVQNInfo(pgraphic::TStream& stream) {
  VQNInfo info;
  switch (ReadHeader(stream, info.Header)) {
    case HeaderStatus::NotVQN:
      throw EVQNNotVQN();
    case HeaderStatus::Corrupted:
      throw EVQNCorrupted();
    case HeaderStatus::Ok:
      break;
  }
  info.FileSize = stream.Size();
  return info;
}

VQNInfo ReadVQNInfo(const std::string& path) {
  pgraphic::TFileStream stream(path, pgraphic::TFileStream::fmOpenRead);
  return ReadVQNInfo(stream);
}

std::string VQNInfoText(const VQNInfo& info, bool withFileSize) {
  std::string text = "Type: VQN, " + SubTypeName(info.Header.SubType) +
                     "; Size: " + std::to_string(info.Header.Width) + "x" +
                     std::to_string(info.Header.Height) + "; Colors: 16.7M";
  if (withFileSize && info.FileSize >= 0) text += "; File size: " + KbText(info.FileSize) + " Kb";
  return text;
}

VQNHeader DecodeVQN(pgraphic::TStream& stream, TPixelGraphic& target) {
  try {
    VQNHeader header;
    switch (ReadHeader(stream, header)) {
      case HeaderStatus::NotVQN:
        throw EVQNNotVQN();
      case HeaderStatus::Corrupted:
        throw EVQNCorrupted();
      case HeaderStatus::Ok:
        break;
    }
    // Everything is checked before anything is allocated from the header.
    if (stream.Remaining() < header.CodedLength) throw EVQNCorrupted();
    const auto geometry = BandGeometry(header.Width, header.Height, header.Levels);
    const int64_t count = CoefficientCount(geometry);
    if (count > MaxDecodableBytes(header.CodedLength)) throw EVQNCorrupted();
    CheckImageFits(header);
    if (count > 2 * std::max<int64_t>(pgraphic::PGMaxImageSize, 64)) throw EVQNNoMemory();

    // Every coefficient held at once, decoded in one pass, is fastest; it is
    // taken while its peak (the coded stream beside the coefficients, then the
    // coefficients beside the picture) stays within a quarter of the picture
    // and 256 MB above the picture. Otherwise each plane is rebuilt from the
    // coded stream on its own, which decodes the stream about four times over
    // but holds at most a third of the picture besides it.
    const int64_t picture = pgraphic::PictureBytes(header.Width, header.Height, 24);
    const int64_t heldPeak =
        std::max(header.CodedLength + count, picture + count + HeldWorkingBytes(geometry));
    const bool held = heldPeak <= picture + picture / 4 + (int64_t{256} << 20) &&
                      heldPeak <= pgraphic::PGMaxDecodeBytes;
    pgraphic::CheckDecodeBudget(
        header.Width, header.Height, 24,
        held ? heldPeak - picture : header.CodedLength + WorkingBytes(geometry));

    pgraphic::TProgressScope progress(target);
    Team team(EffectiveThreads());

    std::vector<uint8_t> coded(static_cast<size_t>(header.CodedLength));
    if (stream.Read(coded.data(), coded.size()) != coded.size()) throw EVQNCorrupted();
    const size_t positions = static_cast<size_t>(count / 3);
    if (held) {
      CoefficientPlanes coefficients;
      for (auto& plane : coefficients) plane.resize(positions);
      uint8_t* const planes[3] = {coefficients[0].data(), coefficients[1].data(),
                                  coefficients[2].data()};
      // The coded stream is decoded on one thread; meanwhile another has the
      // kernel map and clear the pages the decoding will fill.
      DecodeStatus status = DecodeStatus::Ok;
      team.Both([&] { status = DecodePlanes(coded.data(), coded.size(), planes, positions); },
                [&] {
                  for (auto& plane : coefficients) PopulatePages(plane.data(), plane.size());
                });
      if (status != DecodeStatus::Ok) throw EVQNCorrupted();
      std::vector<uint8_t>().swap(coded);
      if (target.Progress(1, 2))
        throw pgraphic::EPixelGraphic(pgraphic::LangStr(pgraphic::msgAborted));
      ReconstructHeld(header, coefficients, target, team);
    } else {
      // The whole stream is decoded once without keeping anything, to tell a
      // corrupted one before the image is touched; the decoder states at the
      // start of level 1's second band and of level 2 are kept, since each
      // plane is rebuilt from those points on.
      const size_t firstBand = static_cast<size_t>(geometry[0].BandSize());
      PlaneDecoder scan(coded.data(), coded.size(), positions);
      scan.Next(0, firstBand, firstBand, nullptr);
      const PlaneDecoder atSecondBand(scan);
      scan.Next(0, 3 * firstBand, 3 * firstBand, nullptr);
      const PlaneDecoder atLevel2(scan);
      if (scan.Next(0, positions, positions, nullptr) != DecodeStatus::Ok) throw EVQNCorrupted();
      if (target.Progress(1, 2))
        throw pgraphic::EPixelGraphic(pgraphic::LangStr(pgraphic::msgAborted));
      const PlaneDecoder atStart(coded.data(), coded.size(), positions);
      const FeedMaker decoded = [&](int p, size_t from) -> std::unique_ptr<CoefficientFeed> {
        const PlaneDecoder& at = from >= 3 * firstBand ? atLevel2
                                 : from >= firstBand   ? atSecondBand
                                                       : atStart;
        return std::make_unique<DecodedPlane>(at, p);
      };
      target.SetSize(header.Width, header.Height, pgraphic::pf24Bit);
      AdviseHugePages(target.Bits(), static_cast<size_t>(target.ImageSize()));
      for (int p = 0; p < 3; ++p) ReconstructPlane(header, geometry, p, decoded, target, team);
    }
    if (target.Progress(2, 2))
      throw pgraphic::EPixelGraphic(pgraphic::LangStr(pgraphic::msgAborted));
    return header;
  } catch (const std::bad_alloc&) {
    throw EVQNNoMemory();
  } catch (const std::length_error&) {
    throw EVQNNoMemory();
  }
}

std::unique_ptr<TPixelGraphic> DecodeVQN(pgraphic::TStream& stream) {
  auto image = std::make_unique<TPixelGraphic>();
  DecodeVQN(stream, *image);
  return image;
}

std::unique_ptr<TPixelGraphic> LoadVQNFile(const std::string& path) {
  pgraphic::TFileStream stream(path, pgraphic::TFileStream::fmOpenRead);
  return DecodeVQN(stream);
}

}  // namespace codec
