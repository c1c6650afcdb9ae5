// Windows (WMF) and enhanced (EMF) metafiles drawn onto images.
//
// A metafile is a recorded drawing, not a raster: to show it the program plays it
// onto a 24-bit bitmap of the metafile's own size W x H, with the picture's top-left
// corner at (1, 1) and white elsewhere, and then maps that bitmap to an 8-bit image
// with the fixed 252-colour palette (pSpecial252). WMF files are played by libwmf
// (its bitmap device), EMF files are turned into SVG by libemf2svg and drawn by
// Qt SVG. No window system is needed: without a QGuiApplication one is created on
// the offscreen platform the first time a picture is drawn.
//
// The programs draw through the helper process (DrawMetafileGuarded, used by
// RegisterWithFileService); the in-process calls below draw the same pixels:
//
//   if (metafile::IsMetafileExtension(fileName)) {
//     metafile::TMetafileInfo info;
//     auto image = metafile::LoadMetafileFile(fileName, &info);   // pf8Bit, pSpecial252
//     infoText = metafile::MetafileInfoText(info);                // + "; File size: ..."
//   }
//
// Every failure (unreadable file, a metafile the libraries cannot draw, a picture
// too large to allocate) raises EPGMetafile, an EPixelGraphic, with a finished
// message. Bytes are checked (header, record chain, sizes) before they reach the
// libraries: a record chain cut short is drawn up to its last complete record, pen
// widths and font sizes are bounded, bitmaps inside records are size-checked.
// Drawing is serialised by a process-wide lock, so any thread may call; in a
// program without a QGuiApplication the first EMF should be drawn on the main
// thread, where Qt wants its application object made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pgraphic/image/pixelgraphic.h"
#include "pgraphic/messages.h"
#include "pgraphic/settings.h"
#include "pgraphic/stream.h"

namespace pgraphic {

// Every error of the metafile component.
class EPGMetafile : public EPixelGraphic {
 public:
  explicit EPGMetafile(const std::string& message) : EPixelGraphic(message) {}
};

}  // namespace pgraphic

namespace metafile {

using pgraphic::TPixelGraphic;

enum TMetafileKind : uint8_t { mkWindows, mkEnhanced };

// What a metafile is, read from its headers without drawing it. Width and Height
// are the picture's size in pixels at 96 dots per inch.
struct TMetafileInfo {
  TMetafileKind Kind = mkWindows;
  int Width = 0;
  int Height = 0;
};

// Largest file accepted, in bytes, and largest picture, in pixels; larger ones
// raise EPGMetafile. The picture is also limited by pgraphic::PGMaxImageSize.
inline constexpr size_t MaxMetafileBytes = 64u << 20;
inline constexpr int64_t MaxMetafilePixels = int64_t{1} << 26;

// True for names ending in ".wmf" or ".emf", in any letter case.
bool IsMetafileExtension(std::string_view fileName);

// "Windows Metafile" or "Enhanced Metafile".
std::string MetafileTypeName(TMetafileKind kind);

// The information text of a metafile: "Type: Windows Metafile; Size: 120x80; Colors: 256".
std::string MetafileInfoText(const TMetafileInfo& info);

// The file dialog's labels for a metafile: its type and subtype labels are
// cleared, then the subtype label names the kind.
struct TMetafileLabels {
  std::string Type;     // ""
  std::string SubType;  // "Type: Windows Metafile"
  std::string Size;     // "Size: 120x80 pixeles"
  std::string Colors;   // "Colors: 256"
};
TMetafileLabels MetafileDialogLabels(const TMetafileInfo& info);

// The kind (from the content, not the name) and the size of a metafile.
TMetafileInfo ReadMetafileInfo(const uint8_t* data, size_t size);
TMetafileInfo ReadMetafileInfo(pgraphic::TStream& stream);
TMetafileInfo ReadMetafileFileInfo(const std::string& fileName);

// The 24-bit W x H bitmap: white, with the picture drawn at (1, 1).
std::unique_ptr<TPixelGraphic> DrawMetafile(const uint8_t* data, size_t size,
                                            TMetafileInfo* info = nullptr);

// A new 8-bit image of the drawn bitmap's size with palette pSpecial252, holding
// the bitmap mapped (and dithered) to that palette.
std::unique_ptr<TPixelGraphic> ConvertToSpecial252(TPixelGraphic& drawn);
// The same into an existing image, which keeps its own settings and handlers.
void ConvertToSpecial252(TPixelGraphic& drawn, TPixelGraphic& target);

// Both steps: the image the program shows for a metafile. When info is given it
// receives the metafile's kind and size.
std::unique_ptr<TPixelGraphic> LoadMetafile(const uint8_t* data, size_t size,
                                            TMetafileInfo* info = nullptr);
std::unique_ptr<TPixelGraphic> LoadMetafile(pgraphic::TStream& stream,
                                            TMetafileInfo* info = nullptr);
std::unique_ptr<TPixelGraphic> LoadMetafileFile(const std::string& fileName,
                                                TMetafileInfo* info = nullptr);
// The same into an existing image, which keeps its own settings and handlers.
void LoadMetafileFile(const std::string& fileName, TPixelGraphic& target,
                      TMetafileInfo* info = nullptr);

// Drawing in a separate process. The players are large libraries that meet
// hostile files (a flood fill that recurses once per pixel step, records that
// draw for minutes): the programs draw every metafile in the helper program
// korvane-metafile, which runs with limits on wall time, address space and
// stack. A crash, a time-out or a limit reached there raises EPGMetafile here
// with a message naming what happened; this process goes on.
//
// The limits, read when a drawing starts: wall time in seconds for the whole
// drawing (start, transfer and play); address space the helper may take beyond
// what it holds at start-up, in bytes, 0 meaning a figure from the picture and
// file size; the helper's stack in bytes.
extern pgraphic::TPGSetting<double> MetafileTimeLimit;
extern pgraphic::TPGSetting<int64_t> MetafileMemoryLimit;
extern pgraphic::TPGSetting<int64_t> MetafileStackLimit;

// The helper program's path. Empty (the default): korvane-metafile beside the
// running program, then in the installed libexec folder.
void SetMetafileHelper(const std::string& path);

// DrawMetafile and LoadMetafileFile through the helper process.
std::unique_ptr<TPixelGraphic> DrawMetafileGuarded(const uint8_t* data, size_t size,
                                                   TMetafileInfo* info = nullptr);
void LoadMetafileFileGuarded(const std::string& fileName, TPixelGraphic& target,
                             TMetafileInfo* info = nullptr);

// The helper's side: reads one drawing request from `in`, draws it and writes
// the answer to `out`. With setLimits it first puts the request's limits on its
// own process (the helper program); without, it only draws (for fuzzing).
// Returns the process exit code.
int RunDrawHelper(int in, int out, bool setLimits = true);

// Makes the program's file service (io::OpenImage, io::DescribeFile) draw and
// describe metafiles through this component, drawing through the helper
// process; describing reads only the headers, here. Call once at start-up, before
// files are opened; a program that never calls it cannot show metafiles.
void RegisterWithFileService();

}  // namespace metafile
