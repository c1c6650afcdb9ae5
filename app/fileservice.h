// Every file the desktop program reads, writes or describes goes through here,
// on top of the library's file service: VQN files (by extension) to the wavelet
// codec, WMF and EMF metafiles to the metafile drawing, everything else to the
// reader and writer framework.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "io/files.h"
#include "metafile/metafile.h"
#include "pgraphic/image/pixelgraphic.h"

namespace app::fileservice {

bool IsVQN(const std::string& path);
bool IsMetafile(const std::string& path);

// Size of the file in bytes, -1 when it cannot be found.
int64_t FileSize(const std::string& path);

// The four ways the program opens a VQN file.
enum class LoadMode {
  MainWindow = 1,     // information text and image
  DialogPreview = 2,  // dialog labels, information text and image
  DialogInfo = 3,     // dialog labels and information text only; header only
  Batch = 4,          // image only
};

// What opening a VQN file in one mode gave. Result is 1 on success, 0 on
// failure; Error holds the message to show ("VQN-file is corrupted!", "Not
// enough memory!") and stays empty for a file that is not VQN.
struct LoadResult {
  int Result = 0;
  std::unique_ptr<pgraphic::TPixelGraphic> Image;
  std::string InfoText;
  std::array<std::string, 6> Labels;
  std::string Error;
};
LoadResult LoadWavelet(const std::string& path, LoadMode mode);

// The file dialog's information labels of a described VQN file, in order:
// cleared first label, type, subtype, size, colours, file size (empty when the
// size is unknown).
std::array<std::string, 6> VQNDialogLabels(const io::TFileDescription& vqn);

// What opening a VQN file for the main window gives: the image and its
// status-bar text, or the error to show ("VQN-file is corrupted!", "Not enough
// memory!"; empty for a file that is not VQN at all).
struct TWaveletRead {
  std::unique_ptr<pgraphic::TPixelGraphic> Image;
  std::string InfoText;
  std::string Error;
};
TWaveletRead ReadWavelet(const std::string& path);

// Reads any other image file: a metafile is drawn, anything else is read by
// signature, then extension. Raises EPixelGraphic (or a subclass) with the
// message to show.
std::unique_ptr<pgraphic::TPixelGraphic> LoadImage(const std::string& path);

// What the reader framework knows of a non-VQN file without decoding it; false
// when no reader recognises it (VQN files are described by the decoder).
bool FileInfo(const std::string& path, std::string& typeName, pgraphic::TPGFileInfo& info);

// The status-bar text of a non-VQN file: "Type: ...; Size: WxH; Colors: ..."
// followed by "; File size: N Kb" when the file is found. Empty when no reader
// recognises the file. A metafile whose headers cannot be read (again) gets its
// kind by extension and the size 0x0. With autoOrient the size is the upright
// picture's (see io::TOpenOptions).
std::string InfoText(const std::string& path, bool autoOrient = false);

// The file dialog's type, subtype, size and colours labels of a metafile, from
// its headers; false when they cannot be read.
bool MetafileLabels(const std::string& path, metafile::TMetafileLabels& labels);

// Kilobytes with one decimal in the shortest form ("2", "37.6").
std::string KbText(int64_t bytes);

// Saves by the target's extension (the writer's colour-resolution fallback
// applies). The target is replaced only when the writing succeeded.
void SaveImage(pgraphic::TPixelGraphic& image, const std::string& path);

}  // namespace app::fileservice
