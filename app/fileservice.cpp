#include "app/fileservice.h"

#include <filesystem>

namespace app::fileservice {

bool IsVQN(const std::string& path) { return io::FileKindOf(path) == io::TFileKind::Wavelet; }

bool IsMetafile(const std::string& path) {
  return io::FileKindOf(path) == io::TFileKind::Metafile;
}

int64_t FileSize(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? -1 : static_cast<int64_t>(size);
}

codec::LoadResult LoadWavelet(const std::string& path, codec::LoadMode mode) {
  return codec::LoadWavelet(path, mode);
}

std::unique_ptr<pgraphic::TPixelGraphic> LoadImage(const std::string& path) {
  return io::OpenImage(path);
}

namespace {
bool Describe(const std::string& path, io::TFileDescription& description) {
  return io::FileKindOf(path) == io::TFileKind::Image && io::TryDescribeFile(path, description);
}
}  // namespace

bool FileInfo(const std::string& path, std::string& typeName, pgraphic::TPGFileInfo& info) {
  io::TFileDescription description;
  if (!Describe(path, description)) return false;
  typeName = description.TypeName;
  info = description.Info;
  return true;
}

std::string InfoText(const std::string& path) {
  io::TFileDescription description;
  if (IsMetafile(path)) {
    if (io::TryDescribeFile(path, description)) return description.Text;
    metafile::TMetafileInfo unreadable;
    if (pgraphic::FileExtension(path) == "emf") unreadable.Kind = metafile::mkEnhanced;
    std::string text = metafile::MetafileInfoText(unreadable);
    const int64_t size = FileSize(path);
    if (size >= 0) text += "; File size: " + KbText(size) + " Kb";
    return text;
  }
  return Describe(path, description) ? description.Text : std::string();
}

bool MetafileLabels(const std::string& path, metafile::TMetafileLabels& labels) {
  try {
    labels = metafile::MetafileDialogLabels(metafile::ReadMetafileFileInfo(path));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string KbText(int64_t bytes) { return pgraphic::FileSizeKbText(bytes); }

void SaveImage(pgraphic::TPixelGraphic& image, const std::string& path) {
  io::SaveImage(image, path);
}

}  // namespace app::fileservice
