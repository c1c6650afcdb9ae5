#include "app/fileservice.h"

#include <filesystem>

namespace app::fileservice {

bool IsVQN(const std::string& path) {
  return io::FileKindOf(path) == io::TFileKind::Wavelet;
}

bool IsMetafile(const std::string& path) {
  return io::FileKindOf(path) == io::TFileKind::Metafile;
}

int64_t FileSize(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? -1 : static_cast<int64_t>(size);
}

std::array<std::string, 6> VQNDialogLabels(const io::TFileDescription& vqn) {
  std::array<std::string, 6> labels;
  labels[1] = "Type: VQN";
  labels[2] = "SubType: " + vqn.Info.SubType;
  labels[3] = "Size: " + std::to_string(vqn.Info.Width) + "x" + std::to_string(vqn.Info.Height) +
              " pixeles";
  labels[4] = "Colors: 16.7M";
  if (vqn.FileSize >= 0) labels[5] = "File size: " + io::KbText(vqn.FileSize) + " Kb";
  return labels;
}

LoadResult LoadWavelet(const std::string& path, LoadMode mode) {
  LoadResult result;
  try {
    // The header first: the information texts, and all the dialog's information mode reads.
    const io::TFileDescription vqn = io::DescribeFile(path);
    if (mode == LoadMode::DialogPreview || mode == LoadMode::DialogInfo)
      result.Labels = VQNDialogLabels(vqn);
    if (mode != LoadMode::Batch) result.InfoText = vqn.Text;
    if (mode != LoadMode::DialogInfo) result.Image = io::OpenImage(path);
    result.Result = 1;
  } catch (const io::ENotVQN&) {
    result.Image.reset();
  } catch (const pgraphic::EPixelGraphic& e) {
    result.Image.reset();
    result.Error = e.what();
  }
  return result;
}

TWaveletRead ReadWavelet(const std::string& path) {
  LoadResult result = LoadWavelet(path, LoadMode::MainWindow);
  return {std::move(result.Image), std::move(result.InfoText), std::move(result.Error)};
}

std::unique_ptr<pgraphic::TPixelGraphic> LoadImage(const std::string& path) {
  return io::OpenImage(path);
}

namespace {
bool Describe(const std::string& path, io::TFileDescription& description, bool autoOrient = false) {
  return io::FileKindOf(path) == io::TFileKind::Image &&
         io::TryDescribeFile(path, description, 0, {.AutoOrient = autoOrient});
}
}  // namespace

bool FileInfo(const std::string& path, std::string& typeName, pgraphic::TPGFileInfo& info) {
  io::TFileDescription description;
  if (!Describe(path, description)) return false;
  typeName = description.TypeName;
  info = description.Info;
  return true;
}

std::string InfoText(const std::string& path, bool autoOrient) {
  io::TFileDescription description;
  if (IsMetafile(path)) {
    if (io::TryDescribeFile(path, description)) return description.Text;
    metafile::TMetafileInfo unreadable;
    if (io::FileExtension(path) == "emf") unreadable.Kind = metafile::mkEnhanced;
    std::string text = metafile::MetafileInfoText(unreadable);
    const int64_t size = FileSize(path);
    if (size >= 0) text += "; File size: " + KbText(size) + " Kb";
    return text;
  }
  return Describe(path, description, autoOrient) ? description.Text : std::string();
}

bool MetafileLabels(const std::string& path, metafile::TMetafileLabels& labels) {
  try {
    labels = metafile::MetafileDialogLabels(metafile::ReadMetafileFileInfo(path));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string KbText(int64_t bytes) {
  return io::FileSizeKbText(bytes);
}

void SaveImage(pgraphic::TPixelGraphic& image, const std::string& path) {
  io::SaveImage(image, path);
}

}  // namespace app::fileservice
