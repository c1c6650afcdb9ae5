#include "io/files.h"

#include <mutex>

#include "pgraphic/formats/orientation.h"
#include "pgraphic/image/geometry.h"

namespace io {

using pgraphic::TPixelGraphic;

namespace {

// The registered metafile handler. Readers copy the pointer under the lock and
// call through their copy, so a handler replaced meanwhile stays alive for them.
std::mutex metafileLock;
std::shared_ptr<const TMetafileHandler> metafileHandler;

std::shared_ptr<const TMetafileHandler> CurrentMetafileHandler() {
  std::lock_guard<std::mutex> hold(metafileLock);
  return metafileHandler;
}

}  // namespace

void SetMetafileHandler(TMetafileHandler handler) {
  std::shared_ptr<const TMetafileHandler> installed;
  if (handler.Load && handler.Describe)
    installed = std::make_shared<const TMetafileHandler>(std::move(handler));
  std::lock_guard<std::mutex> hold(metafileLock);
  metafileHandler = std::move(installed);
}

bool HasMetafileHandler() {
  return CurrentMetafileHandler() != nullptr;
}

TFileKind FileKindOf(const std::string& path) {
  const std::string ext = pgraphic::FileExtension(path);
  if (ext == "vqn") return TFileKind::Wavelet;
  if (ext == "wmf" || ext == "emf") return TFileKind::Metafile;
  return TFileKind::Image;
}

int DefaultVQNQuality() {
  return codec::QualityFromPosition(60);
}

int FileOrientation(const std::string& path, int imageIndex) {
  if (FileKindOf(path) != TFileKind::Image) return pgraphic::OrientationUpright;
  try {
    pgraphic::TFileStream stream(path, pgraphic::TFileStream::fmOpenRead);
    return pgraphic::ReadOrientation(stream, imageIndex);
  } catch (const std::exception&) {
    return pgraphic::OrientationUpright;
  }
}

// Puts a picture stored with this orientation tag upright, through the exact
// quarter turns and mirrors of the geometry code; the image keeps its pixel
// format, palette, settings and handlers.
void Orient(TPixelGraphic& image, int orientation) {
  if (image.Empty() || orientation <= pgraphic::OrientationUpright || orientation > 8) return;
  if (orientation == 4) {
    image.MirrorVertical();
    return;
  }
  if (orientation != 2) {
    // 3 a half turn; 5 and 6 a right turn, 7 and 8 a left one (5 and 7 are
    // then mirrored left to right).
    const pgraphic::TTurn turn = orientation == 3                       ? pgraphic::TTurn::Half
                                 : orientation == 5 || orientation == 6 ? pgraphic::TTurn::Right90
                                                                        : pgraphic::TTurn::Left90;
    std::unique_ptr<TPixelGraphic> turned = pgraphic::TurnImage(image, turn);
    image.Assign(*turned);
  }
  if (orientation == 2 || orientation == 5 || orientation == 7) image.MirrorHorizontal();
}

void OpenImage(const std::string& path, TPixelGraphic& image, int imageIndex,
               const TOpenOptions& options) {
  switch (FileKindOf(path)) {
    case TFileKind::Wavelet: {
      pgraphic::TFileStream stream(path, pgraphic::TFileStream::fmOpenRead);
      codec::DecodeVQN(stream, image);
      return;
    }
    case TFileKind::Metafile:
      if (const auto handler = CurrentMetafileHandler()) {
        handler->Load(path, image);
        return;
      }
      // Nothing draws metafiles in this program: the readers are asked, find
      // none for a real metafile and report an unknown file format.
      [[fallthrough]];
    case TFileKind::Image:
      image.LoadFromFile(path, imageIndex);
      if (options.AutoOrient) Orient(image, FileOrientation(path, imageIndex));
      return;
  }
}

std::unique_ptr<TPixelGraphic> OpenImage(const std::string& path, int imageIndex,
                                         const TOpenOptions& options) {
  auto image = std::make_unique<TPixelGraphic>();
  OpenImage(path, *image, imageIndex, options);
  return image;
}

void OpenJPEGReduced(const std::string& path, TPixelGraphic& image, int denom,
                     const TOpenOptions& options) {
  {
    pgraphic::TFileStream stream(path, pgraphic::TFileStream::fmOpenRead);
    pgraphic::ReadJPEGReduced(stream, image, denom);
  }
  if (options.AutoOrient) Orient(image, FileOrientation(path));
}

void SaveImage(TPixelGraphic& image, const std::string& path, const TSaveOptions& options) {
  if (FileKindOf(path) == TFileKind::Wavelet) {
    SaveCompressed(codec::Compress(image, options.VQNQuality), path);
    return;
  }
  image.SaveToFile(path);
}

void SaveCompressed(const codec::CompressedData& data, const std::string& path) {
  codec::SaveVQNFile(data, path);
}

namespace {

TFileDescription DescribeWavelet(const std::string& path) {
  pgraphic::TFileStream stream(path, pgraphic::TFileStream::fmOpenRead);
  const codec::VQNInfo vqn = codec::ReadVQNInfo(stream);
  TFileDescription d;
  d.TypeName = "VQN";
  d.Info.Count = 1;
  d.Info.BitsPerPixel = 24;
  d.Info.Colors = "16.7M";
  d.Info.Width = vqn.Header.Width;
  d.Info.Height = vqn.Header.Height;
  d.Info.SubType = codec::SubTypeName(vqn.Header.SubType);
  d.FileSize = vqn.FileSize;
  d.Text = codec::VQNInfoText(vqn);
  return d;
}

TFileDescription DescribeMetafile(const TMetafileHandler& handler, const std::string& path) {
  TFileDescription d = handler.Describe(path);
  pgraphic::TFileStream stream(path, pgraphic::TFileStream::fmOpenRead);
  d.FileSize = stream.Size();
  d.Text += "; File size: " + pgraphic::FileSizeKbText(d.FileSize) + " Kb";
  return d;
}

TFileDescription DescribeImage(const std::string& path, int imageIndex,
                               const TOpenOptions& options) {
  pgraphic::TFileStream stream(path, pgraphic::TFileStream::fmOpenRead);
  TFileDescription d;
  pgraphic::ReadStreamInfo(stream, pgraphic::FileExtension(path), imageIndex, d.TypeName, d.Info);
  if (options.AutoOrient && pgraphic::OrientationSwapsAxes(ReadOrientation(stream, imageIndex)))
    std::swap(d.Info.Width, d.Info.Height);
  d.FileSize = stream.Size();
  d.Text = pgraphic::InfoText(d.TypeName, d.Info, d.FileSize);
  return d;
}

}  // namespace

TFileDescription DescribeFile(const std::string& path, int imageIndex,
                              const TOpenOptions& options) {
  switch (FileKindOf(path)) {
    case TFileKind::Wavelet:
      return DescribeWavelet(path);
    case TFileKind::Metafile:
      if (const auto handler = CurrentMetafileHandler()) return DescribeMetafile(*handler, path);
      break;  // without a handler the readers are asked, as when opening
    case TFileKind::Image:
      break;
  }
  return DescribeImage(path, imageIndex, options);
}

int64_t PictureBytes(const TFileDescription& description) {
  // Readers keep 1, 4 and 8 bits per pixel and widen everything else to 24;
  // an unknown depth counts as 24.
  const int bits = description.Info.BitsPerPixel;
  const int stored = bits <= 0 ? 24 : bits <= 1 ? 1 : bits <= 4 ? 4 : bits <= 8 ? 8 : 24;
  return pgraphic::PictureBytes(description.Info.Width, description.Info.Height, stored);
}

bool TryDescribeFile(const std::string& path, TFileDescription& description, int imageIndex,
                     const TOpenOptions& options) noexcept {
  try {
    description = DescribeFile(path, imageIndex, options);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace io
