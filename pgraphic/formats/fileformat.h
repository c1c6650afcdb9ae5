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

// Callers use the public entry points, which apply what every format needs once;
// each format supplies the private virtual parts.
class TFileFormatReader : public TFileFormatReaderWriter {
 public:
  using THeader = std::array<uint8_t, 17>;
  bool SignatureCheck = false;

  virtual bool IsFormat(THeader /*header*/) { return false; }
  // Decodes image `index` of the stream into `graphic`. The image starts at
  // the display gamma (a file without gamma is taken to have it) and notifies
  // its change once, when the read ends, however it ends.
  void ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index);
  // Reads only headers. `info` starts from the defaults (one image, nothing
  // else known) and the stream is back at its position afterwards, however
  // the read ends.
  void ReadInfo(TStream& stream, int index, TPGFileInfo& info);

 private:
  virtual void ReadGraphicBody(TStream& /*stream*/, TPixelGraphic& /*graphic*/, int /*index*/) {}
  virtual void ReadInfoBody(TStream& /*stream*/, int /*index*/, TPGFileInfo& /*info*/) {}
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

// A picture's size as "width" + "x" + "height", both without sign (a top-down
// bitmap reports its height negative).
std::string SizeText(int width, int height);

// The information text shown for a file: "Type: " + type + " " + subtype +
// "; Size: " + SizeText + "; Colors: " + colors, then
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
// waiting for that worker). Installing or replacing the hook is safe at any
// time; a question already being asked finishes with the hook it started with.
// Progress events of an image likewise run on the thread working on it.
using TPGQuestionHook =
    std::function<bool(const std::string& caption, const std::string& text, bool withCancel)>;
void SetQuestionHook(TPGQuestionHook hook);
bool AskUser(const std::string& caption, const std::string& text, bool withCancel);
// While it lives, questions asked on the thread that made it go to `hook`
// instead of the installed one: a worker hands them to the thread that asks.
class TThreadQuestionHook {
 public:
  explicit TThreadQuestionHook(TPGQuestionHook hook);
  ~TThreadQuestionHook();
  TThreadQuestionHook(const TThreadQuestionHook&) = delete;
  TThreadQuestionHook& operator=(const TThreadQuestionHook&) = delete;

 private:
  TPGQuestionHook hook_;
  TPGQuestionHook* previous_;
};

// What a warning action makes of a warning: pgwaIgnore goes on silently,
// pgwaOKBox shows it with OK and goes on, pgwaOKCancelBox goes on only when the
// user answers OK (else Cancelled), pgwaRaise refuses.
enum class TWarningAnswer : uint8_t { GoOn, Cancelled, Refused };
TWarningAnswer AnswerWarning(TPGWarningAction action, const std::string& caption,
                             const std::string& text);

// Whether a reader warning says that the data ended before the picture was
// complete (TUnexpectedEnd's text, or the JPEG library's premature end).
bool IsUnexpectedEndWarning(const std::string& text);

// A reader whose data ends before the picture is complete, or whose remaining
// data cannot hold the picture its header announces, says so once under the
// image's ReadWarningAction: caption "<format> Warning", text "<prefix>Unexpected
// end of file". Say() returns when the reader is to go on with a partial
// picture and raises E otherwise (the text, or "<prefix>Operation aborted on
// user request" after Cancel). Readers call it before sizing the image when
// the data is too short, so a refusal allocates nothing.
template <class E>
class TUnexpectedEnd {
 public:
  TUnexpectedEnd(const TPixelGraphic& graphic, std::string format, std::string prefix)
      : action_(graphic.ReadWarningAction()),
        format_(std::move(format)),
        prefix_(std::move(prefix)) {}

  void Say() {
    if (said_) return;
    said_ = true;
    const std::string text = prefix_ + LangStr(msgUnexpectedEnd);
    switch (AnswerWarning(action_, format_ + " " + LangStr(msgWarning), text)) {
      case TWarningAnswer::GoOn:
        return;
      case TWarningAnswer::Cancelled:
        throw E(prefix_ + LangStr(msgAborted));
      case TWarningAnswer::Refused:
        break;
    }
    throw E(text);
  }

  // Warns when `available` bytes cannot hold `needed` (both counts of bytes).
  void Require(int64_t available, uint64_t needed) {
    if (available < 0 || static_cast<uint64_t>(available) < needed) Say();
  }

 private:
  TPGWarningAction action_;
  std::string format_;
  std::string prefix_;
  bool said_ = false;
};

}  // namespace pgraphic
