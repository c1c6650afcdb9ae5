// Opening, saving and describing every file the program handles, in one place.
// Files are routed by their extension (case ignored):
//   .vqn       the wavelet codec;
//   .wmf .emf  metafiles: drawn by the metafile handler a program registers
//              (SetMetafileHandler); without one they are offered to the
//              readers like other files, and a real metafile fails as an
//              unknown file format. Metafiles are never written;
//   the rest   the reader/writer framework, which recognises a file by its first
//              bytes before its extension.
// The command line, the batch pipeline and the desktop program call only this
// for files; nothing above it tells the formats apart.
//
// Threads: every call works on its own state, so several threads may open,
// save and describe files at the same time (each with its own image). Progress
// events and the library's question hook (pgraphic::SetQuestionHook) run on the
// calling thread; a GUI that calls from a worker must marshal them to its UI
// thread itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "codec/vqn.h"
#include "pgraphic/formats/fileformat.h"
#include "pgraphic/formats/jpeg.h"
#include "pgraphic/image/pixelgraphic.h"

namespace io {

// How a file is handled, told by its extension alone.
enum class TFileKind : uint8_t {
  Image,     // the reader/writer framework
  Wavelet,   // .vqn: the wavelet codec
  Metafile,  // .wmf, .emf: the registered metafile handler
};
TFileKind FileKindOf(const std::string& path);

// Quality value (5..149, larger compresses more) used when an image is saved as
// VQN without a quality of its own: the compression dialog's default position.
int DefaultVQNQuality();

struct TSaveOptions {
  int VQNQuality = DefaultVQNQuality();
};

// How a file is opened and described.
struct TOpenOptions {
  // A JPEG or TIFF file whose orientation tag (EXIF or TIFF Orientation, values
  // 2 to 8) says its rows are stored turned or mirrored gives the upright
  // picture: the image is turned and mirrored after decoding, and a
  // description tells the upright width and height.
  bool AutoOrient = false;
};

// Reads the file into `image`, which keeps its settings, warning actions and
// progress handlers (they are used while reading). `imageIndex` picks an image
// of a multi-image file. Raises pgraphic::EPixelGraphic (codec::EVQN for VQN
// files) with the message to show; the image then holds what was read so far.
void OpenImage(const std::string& path, pgraphic::TPixelGraphic& image, int imageIndex = 0,
               const TOpenOptions& options = {});
// The same into a fresh image with the library's default settings.
std::unique_ptr<pgraphic::TPixelGraphic> OpenImage(const std::string& path, int imageIndex = 0,
                                                   const TOpenOptions& options = {});
// The orientation tag (1..8, 1 when there is none) of image `imageIndex` of a
// JPEG or TIFF file, recognised by its first bytes; 1 for any other file.
int FileOrientation(const std::string& path, int imageIndex = 0);
// A JPEG file decoded at 1/denom of its size (1, 2, 4 or 8; see
// pgraphic::ReadJPEGReduced); raises as OpenImage does, also for a file of
// another format.
void OpenJPEGReduced(const std::string& path, pgraphic::TPixelGraphic& image, int denom,
                     const TOpenOptions& options = {});
// Puts a picture stored with this orientation tag (1..8) upright; any other
// value leaves it as it is.
void Orient(pgraphic::TPixelGraphic& image, int orientation);
using pgraphic::JPEGScaleDenominator;

// Writes the image in the format of the path's extension: a foreign format
// through its writer (converting to a colour resolution the writer can store,
// under the image's SaveColorResWarningAction), VQN by compressing it at
// options.VQNQuality. A failing save never destroys an existing file; an
// existing file keeps its permissions and a symbolic link stays a link to the
// rewritten file.
void SaveImage(pgraphic::TPixelGraphic& image, const std::string& path,
               const TSaveOptions& options = {});
// Writes data compressed earlier (the held result of a compression) as a VQN
// file, with the same safety as SaveImage.
void SaveCompressed(const codec::CompressedData& data, const std::string& path);

// What a file holds, read from its headers only.
struct TFileDescription {
  std::string TypeName;  // the reader's description ("Bitmap") or "VQN"
  pgraphic::TPGFileInfo Info;
  int64_t FileSize = -1;
  std::string Text;  // the status bar's information text
};

// Bytes of the pixel storage opening the described file takes (rows padded to
// 4 bytes, 1, 4, 8 or 24 bits per pixel), from its headers only: what a caller
// weighs before decoding, such as the read-ahead.
int64_t PictureBytes(const TFileDescription& description);

// Raises with the reader's or the codec's message when the file cannot be
// described (missing, unknown, corrupt header).
TFileDescription DescribeFile(const std::string& path, int imageIndex = 0,
                              const TOpenOptions& options = {});
// The same, never raising: false when the file cannot be described.
bool TryDescribeFile(const std::string& path, TFileDescription& description, int imageIndex = 0,
                     const TOpenOptions& options = {}) noexcept;

// ---- What the programs above this library use of the layers below ----------
// The desktop program and the command line name nothing of the codec or the
// formats themselves; what they need of them is named here.

// The codec's compression: the held result, the interactive compression with
// its preview and message, and the texts of its figures.
using codec::Compress;
using codec::CompressedData;
using codec::CompressInteractive;
using codec::CompressionRatio;
using codec::CompressResult;
using codec::KbText;
using codec::MsgNoMemory;
using codec::QualityFromPosition;
// Raised by a .vqn file that is no VQN file at all (its magic or subtype is wrong).
using ENotVQN = codec::EVQNNotVQN;

// The formats' settings and questions.
using pgraphic::AskUser;
using pgraphic::FileExtension;
using pgraphic::FileSizeKbText;
using pgraphic::IsUnexpectedEndWarning;
using pgraphic::PGJPEGQuality;
using pgraphic::SetQuestionHook;
using pgraphic::TPGFileInfo;

// Drawing metafiles needs more than this library has (the drawing component
// uses Qt), so a program that can draw them registers how, once at start-up.
struct TMetafileHandler {
  // Draws the metafile into `image` as the 8-bit picture the program shows,
  // keeping the image's settings and handlers; raises EPixelGraphic.
  std::function<void(const std::string& path, pgraphic::TPixelGraphic& image)> Load;
  // TypeName, Info (Width, Height, Colors, BitsPerPixel) and Text without the
  // file size, read from the headers; raises EPixelGraphic. The file service
  // adds FileSize and the text's "; File size: ..." tail.
  std::function<TFileDescription(const std::string& path)> Describe;
};
// Installs the handler for every thread (an empty handler removes it). Calls
// already under way finish with the handler they started with.
void SetMetafileHandler(TMetafileHandler handler);
bool HasMetafileHandler();

}  // namespace io
