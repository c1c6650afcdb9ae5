// The reader/writer framework: one reader and/or writer object per format and
// extension, kept in two process-wide lists that are filled once, in a fixed
// order, by an explicit start-up call.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pgraphic/image/pixelgraphic.h"
#include "pgraphic/stream.h"

namespace pgraphic {

// What ReadInfo tells about a file without decoding its pixels.
struct TPGFileInfo {
  int Count = 1;  // images in the file
  int BitsPerPixel = 0;
  std::string Colors;  // "2", "16", "256", "64K", "16.7M"; "?" marks uncertainty
  int Height = 0;
  int Width = 0;
  std::string Extra;    // free text (the PNG reader lists chunks here)
  std::string SubType;  // the variant, e.g. "Windows, RLE8"
};

class TFileFormatReaderWriter {
 public:
  virtual ~TFileFormatReaderWriter() = default;
  bool Primary = false;     // main extension of its format; informational only
  std::string Extension;    // lower case, without the dot
  std::string Description;  // e.g. "Bitmap"
  std::string ClassName;    // e.g. "TBMPFileFormatReader", used in messages
};

class TFileFormatReader : public TFileFormatReaderWriter {
 public:
  using THeader = std::array<uint8_t, 17>;
  bool SignatureCheck = false;

  virtual bool IsFormat(THeader /*header*/) { return false; }
  virtual void ReadGraphic(TStream& /*stream*/, TPixelGraphic& /*graphic*/, int /*index*/) {}
  // Readers call the base first, then overwrite what they know.
  virtual void ReadInfo(TStream& /*stream*/, int /*index*/, TPGFileInfo& info) {
    info = TPGFileInfo();
  }
};

class TFileFormatWriter : public TFileFormatReaderWriter {
 public:
  bool MultiPart = false;
  uint8_t CanWriteResolutions = 0;  // bit i = TPGColorResolution i

  bool CanWrite(TPGColorResolution r) const { return (CanWriteResolutions >> r) & 1; }
  virtual void WriteGraphic(TStream& /*stream*/, TPixelGraphic& /*graphic*/) {}
  virtual void WriteHeader(TStream& /*stream*/) {}
  virtual void WriteBody(TStream& /*stream*/, TPixelGraphic& /*graphic*/) {}
  virtual void WriteTrailer(TStream& /*stream*/) {}
};

using TReaderList = std::vector<std::unique_ptr<TFileFormatReader>>;
using TWriterList = std::vector<std::unique_ptr<TFileFormatWriter>>;

// Runs the library's start-up once (message table check, settings defaults, the
// registered lists); every entry point below calls it.
void PGraphicStartup();

// The lists, kept sorted by extension (case-insensitive; formats of the same
// extension in the order they were registered). Start-up fills them; after
// that they are only read, so any number of threads may load, describe and
// save at once. Registering or changing the lists is for start-up (and tests)
// only, never while another thread uses them.
TReaderList& FileFormatReaders();
TWriterList& FileFormatWriters();
// Adds a format at its place in the sorted list.
void RegisterFileFormatReader(std::unique_ptr<TFileFormatReader> reader);
void RegisterFileFormatWriter(std::unique_ptr<TFileFormatWriter> writer);
// Sorts a list that was changed by hand; dispatch itself never sorts.
void SortReadersIfNeeded();
void SortWritersIfNeeded();
// The stand-alone BMP writer used by plain stream saving.
TFileFormatWriter& StandaloneBMPWriter();

// Signature pass, then extension pass over readers without signature; never raises.
TFileFormatReader* FindFileFormatReader(TStream& stream, const std::string& extension);

// Extension of a file name in lower case without the dot ("" when none).
std::string FileExtension(const std::string& fileName);

// The reader's description and information of a stream, read between
// remembering and restoring the stream position. Raises EPGUnknownFileFormat
// when no reader answers, and passes the reader's own errors on.
void ReadStreamInfo(TStream& stream, const std::string& extension, int imageIndex,
                    std::string& typeName, TPGFileInfo& info);
// The same as a query that never raises: all outputs cleared first, false on
// any failure (outputs keep what was filled).
bool GetStreamInfo(TStream& stream, const std::string& extension, int imageIndex,
                   std::string& typeName, TPGFileInfo& info);
bool GetFileInfo(const std::string& fileName, int imageIndex, std::string& typeName,
                 TPGFileInfo& info);

// Display name of a colour resolution (message entries 8..15).
std::string ColorResolutionName(TPGColorResolution r);

// The first writer of the sorted list whose extension equals `extension` (one
// leading dot dropped, case ignored), or nullptr. Raises EPGFileFormatWritersEmpty
// when no writer is registered at all.
TFileFormatWriter* FindFileFormatWriter(const std::string& extension);

// The colour resolution a save falls back to: the first entry of the fallback row
// of `current` that `writer` can store; raises EPGCanWriteResolutionsEmpty when none.
TPGColorResolution SaveColorResolution(const TFileFormatWriter& writer, TPGColorResolution current);

// The information text shown for a file: "Type: " + type + " " + subtype +
// "; Size: " + width + "x" + height + "; Colors: " + colors, then
// "; File size: " + kilobytes + " Kb" when fileSize >= 0.
std::string InfoText(const std::string& typeName, const TPGFileInfo& info, int64_t fileSize);
// Kilobytes with one decimal in the shortest form: bytes x 0.009765625 rounded
// half to even, times 0.1 (2048 bytes give "2", 38502 give "37.6").
std::string FileSizeKbText(int64_t bytes);

// Asks the user a question on behalf of the library (warning actions): caption,
// text, and whether Cancel is offered besides OK. The GUI installs a message-box
// hook, the CLI one that prints to stderr and answers OK. Without a hook the
// answer is OK. Returns true for OK.
//
// Threads: the hook is called on the thread that loads or saves, which may be
// a worker; a GUI hook must marshal the question to its UI thread and block the
// worker until it is answered (and must not be called with the UI thread
// waiting for that worker). Install the hook at start-up, before any thread
// loads: SetQuestionHook is not meant to race with AskUser. The same holds for
// the progress events of an image: they run on the thread working on it.
using TPGQuestionHook =
    std::function<bool(const std::string& caption, const std::string& text, bool withCancel)>;
void SetQuestionHook(TPGQuestionHook hook);
bool AskUser(const std::string& caption, const std::string& text, bool withCancel);

}  // namespace pgraphic
