#include "app/fileservice.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace app::fileservice {

std::string LowerExtension(const std::string& path) {
  const std::string ext = std::filesystem::path(path).extension().string();
  std::string lower(ext.size(), '\0');
  std::transform(ext.begin(), ext.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

bool IsVQN(const std::string& path) { return LowerExtension(path) == ".vqn"; }

bool IsMetafile(const std::string& path) {
  const std::string ext = LowerExtension(path);
  return ext == ".wmf" || ext == ".emf";
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
  auto image = std::make_unique<pgraphic::TPixelGraphic>();
  image->LoadFromFile(path);
  return image;
}

bool FileInfo(const std::string& path, std::string& typeName, pgraphic::TPGFileInfo& info) {
  try {
    return pgraphic::GetFileInfo(path, 0, typeName, info);
  } catch (const std::exception&) {
    return false;
  }
}

std::string InfoText(const std::string& path) {
  std::string typeName;
  pgraphic::TPGFileInfo info;
  if (!FileInfo(path, typeName, info)) return std::string();
  return pgraphic::InfoText(typeName, info, FileSize(path));
}

std::string KbText(int64_t bytes) { return pgraphic::FileSizeKbText(bytes); }

void SaveImage(pgraphic::TPixelGraphic& image, const std::string& path) { image.SaveToFile(path); }

}  // namespace app::fileservice
