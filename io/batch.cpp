#include "io/batch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <set>
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

// The path as it names a place on disk, so that two spellings of one file
// compare equal.
std::string SamePlace(const std::string& path) {
  std::error_code ec;
  std::filesystem::path place = std::filesystem::weakly_canonical(path, ec);
  if (ec) place = std::filesystem::absolute(path, ec).lexically_normal();
  return place.string();
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

std::string SameNameSkippedText(size_t count) {
  if (count == 0) return "";
  if (count == 1) return "1 file was skipped: another file of this run has the same output name.";
  return std::to_string(count) +
         " files were skipped: other files of this run have the same output names.";
}

std::string TBatchResult::FinalMessage() const {
  const std::string skipped = SameNameSkippedText(SkippedSameName.size());
  return skipped.empty() ? Message : Message + " " + skipped;
}

TBatchResult ConvertFiles(const std::vector<std::string>& files, const TBatchSettings& chosen,
                          const TBatchHooks& hooks) {
  if (files.empty()) throw EBatchConversion("No files are selected!");
  const std::string folder = Trim(chosen.TargetFolder);
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
  TBatchSettings settings = chosen;
  if (hooks.BeforeRun && !hooks.BeforeRun(settings)) {
    result.Interrupted = true;
    result.Message = "Conversion was interrupted by user.";
    return result;
  }

  const double step = 100.0 / (3.0 * static_cast<double>(files.size()));
  double p = 0;
  // Shows the meter and tells whether a stop was asked for.
  auto check = [&]() {
    if (hooks.Progress && hooks.Progress(static_cast<int>(std::nearbyint(p))))
      result.Interrupted = true;
    return result.Interrupted;
  };
  auto advance = [&](int steps = 1) {
    p = std::min(p + steps * step, 100.0);
    return check();
  };
  // A file left out still moves the meter by its whole share, so that a run
  // that goes to the end always ends at 100.
  auto leaveOut = [&](const std::string& file, const std::string& message) {
    if (hooks.FileDone) hooks.FileDone(file, message);
    return advance(2);
  };
  // A run overwrites neither an output it wrote itself nor a source it has yet
  // to read (the target may be the source folder): such a file is skipped.
  // Outputs are told apart by name and by the file on disk, so that a link in
  // the target folder cannot lead a later output onto an earlier one.
  std::set<std::string> written;
  std::set<std::pair<dev_t, ino_t>> writtenFiles;
  auto fileOf = [](const std::string& path, std::pair<dev_t, ino_t>& id) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    id = {st.st_dev, st.st_ino};
    return true;
  };
  std::multiset<std::string> unread;
  for (const std::string& file : files) unread.insert(SamePlace(file));
  if (hooks.Progress) hooks.Progress(0);

  for (const std::string& file : files) {
    const std::string output = BatchOutputName(file, folder, settings.Format);
    unread.erase(unread.find(SamePlace(file)));
    if (advance()) break;
    std::pair<dev_t, ino_t> existing;
    const bool writtenBefore = written.count(output) != 0 ||
                               (fileOf(output, existing) && writtenFiles.count(existing) != 0);
    if (writtenBefore || unread.count(SamePlace(output)) != 0) {
      result.SkippedSameName.push_back(file);
      if (leaveOut(file, "skipped: " + output + " is the output or the source of another file")) {
        break;
      }
      continue;
    }
    // Reading.
    auto work = std::make_unique<TPixelGraphic>();
    IgnoreWarnings(*work);
    work->SetReadWarningAction(settings.ReadWarningAction);
    try {
      if (std::filesystem::is_directory(file, ec)) throw EPixelGraphic("Is a folder");
      OpenImage(file, *work, 0, {.AutoOrient = settings.AutoOrient});
    } catch (const std::exception& e) {
      result.Failed.push_back({file, e.what()});
      if (leaveOut(file, e.what())) break;
      continue;
    }
    // Mirror, turn and colour resolution, with the check points between them.
    MirrorStep(*work, settings);
    if (check()) break;
    TurnStep(work, settings);
    if (advance()) break;
    ColourStep(work, settings);
    if (check()) break;
    // Writing: whole or not at all (the writers replace the file atomically).
    try {
      SaveImage(*work, output, {.VQNQuality = settings.VQNQuality});
      written.insert(output);
      std::pair<dev_t, ino_t> id;
      if (fileOf(output, id)) writtenFiles.insert(id);
      ++result.Converted;
      if (hooks.FileDone) hooks.FileDone(file, "");
    } catch (const std::exception& e) {
      result.Failed.push_back({file, e.what()});
      if (hooks.FileDone) hooks.FileDone(file, e.what());
    }
    if (advance()) break;
  }
  result.Message =
      result.Interrupted ? "Conversion was interrupted by user." : "Conversion is complete!";
  return result;
}

}  // namespace io
