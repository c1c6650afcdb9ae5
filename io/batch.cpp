#include "io/batch.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "pgraphic/image/geometry.h"

namespace io {

using namespace pgraphic;

namespace {

constexpr const char* kExtensions[] = {".bmp", ".jpg", ".pbm", ".pgm", ".png",
                                       ".ppm", ".tga", ".tif", ".vqn"};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

void IgnoreWarnings(TPixelGraphic& image) {
  image.SetReadWarningAction(pgwaIgnore);
  image.SetSaveColorResWarningAction(pgwaIgnore);
}

}  // namespace

const char* BatchExtension(TBatchFormat format) {
  return kExtensions[static_cast<int>(format)];
}

bool BatchFormatFromName(const std::string& name, TBatchFormat& format) {
  std::string ext = Lower(name);
  if (ext.empty() || ext[0] != '.') ext = "." + ext;
  if (ext == ".tiff") ext = ".tif";
  if (ext == ".jpeg") ext = ".jpg";
  for (int i = 0; i < 9; ++i) {
    if (ext == kExtensions[i]) {
      format = static_cast<TBatchFormat>(i);
      return true;
    }
  }
  return false;
}

std::string BatchOutputName(const std::string& sourceFile, const std::string& targetFolder,
                            TBatchFormat format) {
  const std::filesystem::path name = std::filesystem::path(sourceFile).filename();
  std::string base = name.string();
  const std::string ext = name.extension().string();
  base.erase(base.size() - ext.size());
  std::string out = targetFolder;
  if (out.empty() || out.back() != '/') out += '/';
  return out + Lower(base) + BatchExtension(format);
}

namespace {

void MirrorStep(TPixelGraphic& image, const TBatchSettings& settings) {
  try {
    if (settings.Mirror == TBatchMirror::Vertical) image.MirrorVertical();
    if (settings.Mirror == TBatchMirror::Horizontal) image.MirrorHorizontal();
  } catch (const std::exception&) {
    // A mirror that fails leaves the image as it is.
  }
}

void TurnStep(std::unique_ptr<TPixelGraphic>& image, const TBatchSettings& settings) {
  if (settings.Rotate == TBatchRotate::None) return;
  try {
    const TTurn turn = settings.Rotate == TBatchRotate::Half   ? TTurn::Half
                       : settings.Rotate == TBatchRotate::Left ? TTurn::Left90
                                                               : TTurn::Right90;
    std::unique_ptr<TPixelGraphic> turned = TurnImage(*image, turn, true);
    IgnoreWarnings(*turned);
    image = std::move(turned);
  } catch (const std::exception&) {
    // The unturned image stays the result.
  }
}

void ColourStep(std::unique_ptr<TPixelGraphic>& image, const TBatchSettings& settings) {
  try {
    std::unique_ptr<TPixelGraphic> converted = ApplyColorCommand(*image, settings.Colors);
    if (converted) {
      IgnoreWarnings(*converted);
      image = std::move(converted);
    }
  } catch (const std::exception&) {
    // The unconverted image stays the result.
  }
}

}  // namespace

std::unique_ptr<TPixelGraphic> BatchTransform(std::unique_ptr<TPixelGraphic> image,
                                              const TBatchSettings& settings) {
  MirrorStep(*image, settings);
  TurnStep(image, settings);
  ColourStep(image, settings);
  return image;
}

TBatchResult ConvertFiles(const std::vector<std::string>& files, const TBatchSettings& settings,
                          const TBatchHooks& hooks) {
  if (files.empty()) throw EBatchConversion("No files are selected!");
  const std::string folder = Trim(settings.TargetFolder);
  if (folder.empty()) throw EBatchConversion("Please, fill destination path.");
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    const bool create = hooks.ConfirmCreate &&
                        hooks.ConfirmCreate("Directory " + folder + " does not exist. Create?");
    if (!create) throw EBatchConversion("");
    // One level only: the parent must exist.
    if (!std::filesystem::create_directory(folder, ec) || ec) {
      throw EBatchConversion("Can not create directory " + folder);
    }
  }

  TBatchResult result;
  const double step = 100.0 / (3.0 * static_cast<double>(files.size()));
  double p = 0;
  // Shows the meter and tells whether a stop was asked for.
  auto check = [&]() {
    if (hooks.Progress && hooks.Progress(static_cast<int>(std::nearbyint(p))))
      result.Interrupted = true;
    return result.Interrupted;
  };
  auto advance = [&]() {
    p = std::min(p + step, 100.0);
    return check();
  };
  auto fail = [&](const std::string& file, const std::string& message) {
    result.Failed.push_back({file, message});
    if (hooks.FileDone) hooks.FileDone(file, message);
  };
  if (hooks.Progress) hooks.Progress(0);

  for (const std::string& file : files) {
    const std::string output = BatchOutputName(file, folder, settings.Format);
    if (advance()) break;
    // Reading.
    auto work = std::make_unique<TPixelGraphic>();
    IgnoreWarnings(*work);
    try {
      if (std::filesystem::is_directory(file, ec)) throw EPixelGraphic("Is a folder");
      OpenImage(file, *work);
    } catch (const std::exception& e) {
      fail(file, e.what());
      continue;
    }
    // Mirror, turn and colour resolution, with the check points between them.
    MirrorStep(*work, settings);
    if (check()) break;
    TurnStep(work, settings);
    if (advance()) break;
    ColourStep(work, settings);
    if (check()) break;
    // Writing.
    try {
      SaveImage(*work, output, {.VQNQuality = settings.VQNQuality});
      ++result.Converted;
      if (hooks.FileDone) hooks.FileDone(file, "");
    } catch (const std::exception& e) {
      fail(file, e.what());
    }
    if (advance()) break;
  }
  result.Message =
      result.Interrupted ? "Conversion was interrupted by user." : "Conversion is complete!";
  if (hooks.Progress) hooks.Progress(0);
  return result;
}

}  // namespace io
