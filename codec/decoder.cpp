// The decoder: header, coded stream, entropy decoding, dequantisation and the
// inverse transform into a 24-bit image; and the information texts.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <new>

#include "codec/entropy.h"
#include "codec/quantise.h"
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

void Reconstruct(const VQNHeader& header, const CoefficientPlanes& coefficients,
                 TPixelGraphic& target) {
  const auto geometry = BandGeometry(header.Width, header.Height, header.Levels);
  const int N = header.Levels;
  target.SetSize(header.Width, header.Height, pgraphic::pf24Bit);
  AdviseHugePages(target.Bits(), static_cast<size_t>(target.ImageSize()));
  const int threads = EffectiveThreads();
  // Approximation bands of the level being rebuilt and of the one below, kept for
  // all three planes: every sample is written before it is read.
  std::vector<int16_t, LargeBufferAllocator<int16_t>> finer;
  std::vector<int16_t, LargeBufferAllocator<int16_t>> coarser;
  for (int p = 0; p < 3; ++p) {
    const auto detail = DetailTable(header.DetailStep[static_cast<size_t>(p)]);
    const auto approx = ApproximationTable(header.ApproxStep[static_cast<size_t>(p)],
                                           header.ApproxMin[static_cast<size_t>(p)]);
    for (int l = N; l >= 1; --l) {
      const LevelGeometry& g = geometry[static_cast<size_t>(l - 1)];
      std::array<BandSource, 4> bands;
      if (l == N) {
        bands[0].Bytes = coefficients[static_cast<size_t>(p)].data();
        bands[0].Layout = ApproximationBandLayout(geometry);
        bands[0].Table = approx.data();
      } else {
        bands[0].Words = coarser.data();
      }
      for (int b = 1; b <= 3; ++b) {
        bands[static_cast<size_t>(b)].Bytes = coefficients[static_cast<size_t>(p)].data();
        bands[static_cast<size_t>(b)].Layout = DetailBandLayout(geometry, l, b);
        bands[static_cast<size_t>(b)].Table = detail.data();
      }
      OutputSink sink;
      if (l > 1) {
        const size_t samples = static_cast<size_t>(g.Width) * static_cast<size_t>(g.Height);
        if (finer.size() < samples) finer.resize(samples);
        sink.Words = finer.data();
        sink.RowStride = g.Width;
      } else {
        // BGR order puts red at byte 2 of each pixel.
        const pgraphic::TPixelRows rows = pgraphic::PixelRows(target);
        sink.Bytes = rows.Top + (2 - p);
        sink.RowStride = rows.Stride;
        sink.Step = 3;
      }
      ParallelRows(g.Height, threads,
                   [&](int r0, int r1) { InverseLevelRows(bands, g, sink, r0, r1); });
      coarser.swap(finer);
    }
  }
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

std::array<std::string, 6> VQNDialogLabels(const VQNInfo& info) {
  std::array<std::string, 6> labels;
  labels[1] = "Type: VQN";
  labels[2] = "SubType: " + SubTypeName(info.Header.SubType);
  labels[3] = "Size: " + std::to_string(info.Header.Width) + "x" +
              std::to_string(info.Header.Height) + " pixeles";
  labels[4] = "Colors: 16.7M";
  if (info.FileSize >= 0) labels[5] = "File size: " + KbText(info.FileSize) + " Kb";
  return labels;
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

    pgraphic::TProgressScope progress(target);

    CoefficientPlanes coefficients;
    {
      std::vector<uint8_t> coded(static_cast<size_t>(header.CodedLength));
      if (stream.Read(coded.data(), coded.size()) != coded.size()) throw EVQNCorrupted();
      for (auto& plane : coefficients) plane.resize(static_cast<size_t>(count / 3));
      uint8_t* const planes[3] = {coefficients[0].data(), coefficients[1].data(),
                                  coefficients[2].data()};
      if (DecodePlanes(coded.data(), coded.size(), planes, static_cast<size_t>(count / 3)) !=
          DecodeStatus::Ok) {
        throw EVQNCorrupted();
      }
    }
    if (target.Progress(1, 2)) throw pgraphic::EPixelGraphic(pgraphic::LangStr(29));
    Reconstruct(header, coefficients, target);
    if (target.Progress(2, 2)) throw pgraphic::EPixelGraphic(pgraphic::LangStr(29));
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

LoadResult LoadWavelet(const std::string& fileName, LoadMode mode) {
  LoadResult result;
  try {
    pgraphic::TFileStream stream(fileName, pgraphic::TFileStream::fmOpenRead);
    VQNInfo info = ReadVQNInfo(stream);
    result.Header = info.Header;
    switch (mode) {
      case LoadMode::MainWindow:
        result.InfoText = VQNInfoText(info, true);
        break;
      case LoadMode::DialogPreview:
      case LoadMode::DialogInfo: {
        // The dialog takes the size from the file's directory entry.
        std::error_code ec;
        auto size = std::filesystem::file_size(fileName, ec);
        info.FileSize = ec ? -1 : static_cast<int64_t>(size);
        result.Labels = VQNDialogLabels(info);
        result.InfoText = VQNInfoText(info, true);
        break;
      }
      case LoadMode::Batch:
        break;
    }
    if (mode == LoadMode::DialogInfo) {
      result.Result = 1;
      return result;
    }
    stream.Seek(0);
    result.Image = DecodeVQN(stream);
    result.Result = 1;
  } catch (const EVQNNotVQN&) {
    result.Result = 0;
    result.Image.reset();
  } catch (const EVQN& e) {
    result.Result = 0;
    result.Image.reset();
    result.Error = e.what();
  } catch (const pgraphic::EPixelGraphic& e) {
    result.Result = 0;
    result.Image.reset();
    result.Error = e.what();
  }
  return result;
}

}  // namespace codec
