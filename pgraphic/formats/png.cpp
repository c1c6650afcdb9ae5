#include "pgraphic/formats/png.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>

#include "pgraphic/formats/warning.h"

namespace pgraphic {

TPGSetting<bool> PGPNGUseFileBackground = true;
TPGSetting<bool> PGPNGWriteGamma = true;

namespace {

constexpr const char* kPrefix = "PNG: ";

// Records the program fills and hands to the library (palette entries) or
// reads from it (backgrounds).
static_assert(sizeof(png_color) == 3);
static_assert(sizeof(png_color_8) == 5);
static_assert(sizeof(png_color_16) == 10);

[[noreturn]] void Raise(int entry) {
  RaisePG<EPGPNGFileFormatReaderWriter>(kPrefix, entry);
}
[[noreturn]] void Raise(int entry, const char* s1) {
  RaisePG<EPGPNGFileFormatReaderWriter>(kPrefix, entry, s1);
}

// What the library callbacks share. A library error (or an exception raised by
// our own code inside a callback) ends the library call with the library's long
// jump back to the driving function, which keeps no C++ object alive across
// library calls; the caller then destroys the structures and raises.
struct TContext {
  TStream* stream;
  TPGWarningAction action;
  char message[512];           // the final text of the error
  char reason[256];            // a text of ours handed to png_error
  std::exception_ptr pending;  // an exception caught inside a callback
};

TContext* Context(png_structp png) {
  return static_cast<TContext*>(png_get_error_ptr(png));
}

void SetMessage(TContext* ctx, const char* text) {
  std::snprintf(ctx->message, sizeof ctx->message, "%s%s", kPrefix, text);
}

void ErrorFn(png_structp png, png_const_charp text) {
  SetMessage(Context(png), text ? text : "");
  png_longjmp(png, 1);
}

// Applies the warning action; true when the library call must stop.
bool HandleWarning(TContext* ctx, const char* text) {
  return ApplyWarningAction(ctx, "PNG", text, SetMessage);
}

void WarningFn(png_structp png, png_const_charp text) {
  if (HandleWarning(Context(png), text ? text : "")) png_longjmp(png, 1);
}

// Reads exactly n bytes; false with the reason recorded otherwise.
bool ReadExactly(TContext* ctx, png_bytep data, size_t n) {
  try {
    if (ctx->stream->Read(data, n) == n) return true;
    std::snprintf(ctx->reason, sizeof ctx->reason, "%s", LangStr(32).c_str());
  } catch (...) {
    ctx->pending = std::current_exception();
    ctx->reason[0] = 0;
  }
  return false;
}

void ReadFn(png_structp png, png_bytep data, size_t n) {
  TContext* ctx = Context(png);
  if (!ReadExactly(ctx, data, n)) png_error(png, ctx->reason);
}

bool WriteAll(TContext* ctx, png_bytep data, size_t n) {
  try {
    ctx->stream->WriteBuffer(data, n);
    return true;
  } catch (...) {
    ctx->pending = std::current_exception();
    ctx->reason[0] = 0;
    return false;
  }
}

void WriteFn(png_structp png, png_bytep data, size_t n) {
  TContext* ctx = Context(png);
  if (!WriteAll(ctx, data, n)) png_error(png, ctx->reason);
}

void FlushFn(png_structp) {}

// The library and zlib must be the releases the program was compiled against.
void CheckLibrary() {
  const bool pngMatches = png_access_version_number() / 100 == PNG_LIBPNG_VER / 100;
  const bool zlibMatches = zlibVersion()[0] == ZLIB_VERSION[0];
  if (!pngMatches || !zlibMatches) {
    throw EPGPNGFileFormatReaderWriter(std::string(kPrefix) + "Invalid library version");
  }
}

// Raises what a failed library call left behind.
[[noreturn]] void RaiseFailure(TContext& ctx) {
  if (ctx.pending) std::rethrow_exception(ctx.pending);
  throw EPGPNGFileFormatReaderWriter(ctx.message);
}

// ---- Reading ---------------------------------------------------------------------------

struct TReadJob {
  TContext ctx;
  png_structp png;
  png_infop info;
  TPixelGraphic* graphic;
  TRGB imageBackground;  // the image's background colour before reading
  bool infoOnly;
  TPGFileInfo* infoOut;  // filled before the structures are destroyed
  bool progressStarted;
  bool progressEnded;
  bool unsupported;
};

struct TReadJobCleanup {
  TReadJob* job;
  ~TReadJobCleanup() {
    if (job->png) png_destroy_read_struct(&job->png, job->info ? &job->info : nullptr, nullptr);
  }
};

// A background sample for a file of the given bit depth, from 8 bits. 16-bit
// files are stripped to 8 bits before the library composes, and it then takes
// the background from the high byte.
png_uint_16 FromByte(uint32_t v, int bitDepth) {
  if (bitDepth == 16) return static_cast<png_uint_16>(v << 8);
  if (bitDepth == 8) return static_cast<png_uint_16>(v);
  const uint32_t max = (1u << bitDepth) - 1;
  return static_cast<png_uint_16>((v * max + 127) / 255);
}

// Requests composition of transparent pixels: against the file's bKGD when it
// has one and the setting allows, else against the image's background colour.
// Backgrounds are given in the file's own sample depth (palette entries in 8
// bits), as the library expects when it does not expand the pixels.
void RequestBackground(TReadJob* job, int colorType, int bitDepth) {
  png_structp png = job->png;
  png_infop info = job->info;
  TPixelGraphic* graphic = job->graphic;
  png_color_16p fileBackground = nullptr;
  if (PGPNGUseFileBackground && png_get_bKGD(png, info, &fileBackground) && fileBackground) {
    png_color_16 background = *fileBackground;
    if (bitDepth == 16) {
      // Only the high bytes count once the samples are stripped to 8 bits.
      background.red &= 0xFF00;
      background.green &= 0xFF00;
      background.blue &= 0xFF00;
      background.gray &= 0xFF00;
    }
    png_set_background(png, &background, PNG_BACKGROUND_GAMMA_FILE, 0, 1.0);
    // The image remembers the background: a colour for 24-bit images, else the
    // palette index (the palette entry, or the gray level of the gray palette).
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
      graphic->SetBackGroundColor(fileBackground->index);
    } else if ((colorType & PNG_COLOR_MASK_COLOR) == 0) {
      graphic->SetBackGroundColor(bitDepth == 16 ? fileBackground->gray >> 8
                                                 : fileBackground->gray);
    } else {
      const int shift = bitDepth == 16 ? 8 : 0;
      graphic->SetBackGroundColor(RGB(fileBackground->red >> shift & 0xFF,
                                      fileBackground->green >> shift & 0xFF,
                                      fileBackground->blue >> shift & 0xFF));
    }
    return;
  }
  const TRGB c = job->imageBackground;
  png_color_16 background{};
  // Palette entries are composed in 8 bits whatever the index depth.
  const int depth = colorType == PNG_COLOR_TYPE_PALETTE ? 8 : bitDepth;
  background.red = FromByte(GetR(c), depth);
  background.green = FromByte(GetG(c), depth);
  background.blue = FromByte(GetB(c), depth);
  background.gray = FromByte((GetR(c) + GetG(c) + GetB(c)) / 3, depth);
  png_set_background(png, &background, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
}

// Widens 2-bit pixels to 4 bits in place, from the right end so that no packed
// byte is overwritten before it is read.
void Unpack2To4(uint8_t* row, int width) {
  for (int x = width - 1; x >= 0; --x) {
    const uint8_t v = (row[x / 4] >> (6 - 2 * (x % 4))) & 3;
    uint8_t& target = row[x / 2];
    target = (x % 2 == 0) ? static_cast<uint8_t>((target & 0x0F) | (v << 4))
                          : static_cast<uint8_t>((target & 0xF0) | v);
  }
}

// Progress over all passes, scaled down if the total exceeds an int.
bool ReportProgress(TPixelGraphic* graphic, int64_t step, int64_t max) {
  while (max > std::numeric_limits<int>::max()) {
    step /= 2;
    max /= 2;
  }
  return graphic->Progress(static_cast<int>(step), static_cast<int>(max));
}

// Drives the library for one read; false after a library failure.
bool RunRead(TReadJob* job) {
  if (setjmp(png_jmpbuf(job->png)) != 0) return false;
  png_structp png = job->png;
  png_infop info = job->info;
  png_read_info(png, info);
  if (job->infoOnly) return true;

  TPixelGraphic* graphic = job->graphic;
  const int bitDepth = png_get_bit_depth(png, info);
  const int colorType = png_get_color_type(png, info);
  const int channels = png_get_channels(png, info);
  const int width = static_cast<int>(png_get_image_width(png, info));
  const int height = static_cast<int>(png_get_image_height(png, info));

  TPGPixelFormat format;
  if (channels > 2)
    format = pf24Bit;
  else if (bitDepth == 1)
    format = pf1Bit;
  else if (bitDepth <= 4)
    format = pf4Bit;
  else
    format = pf8Bit;

  if (png_get_valid(png, info, PNG_INFO_tRNS) || (colorType & PNG_COLOR_MASK_ALPHA)) {
    RequestBackground(job, colorType, bitDepth);
  }
  graphic->SetGamma(PGDisplayGamma);
  double fileGamma = 0;
  if (png_get_gAMA(png, info, &fileGamma) && fileGamma > 0) graphic->SetGamma(1.0L / fileGamma);
  if (bitDepth == 16) png_set_strip_16(png);
  if (colorType == PNG_COLOR_TYPE_RGB || colorType == PNG_COLOR_TYPE_RGB_ALPHA) png_set_bgr(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  // What the library now delivers must fit the rows of the chosen format.
  const int outChannels = png_get_channels(png, info);
  if ((format == pf24Bit) != (outChannels == 3) || (format != pf24Bit && outChannels != 1)) {
    job->unsupported = true;
    return true;
  }
  graphic->SetSize(width, height, format);
  if (png_get_rowbytes(png, info) > static_cast<size_t>(graphic->RowStride())) {
    job->unsupported = true;
    return true;
  }
  // The palette is taken after the update, so entries made transparent by tRNS
  // arrive already composed against the background.
  if (format != pf24Bit) {
    png_colorp palette = nullptr;
    int count = 0;
    if (colorType == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(png, info, &palette, &count)) {
      if (count > graphic->PaletteCapacity()) count = graphic->PaletteCapacity();
      graphic->SetPaletteCount(count);
      for (int i = 0; i < count; ++i) {
        graphic->SetPaletteColor(i, RGB(palette[i].red, palette[i].green, palette[i].blue));
      }
      graphic->ClassifyPalette();
    } else if (colorType != PNG_COLOR_TYPE_PALETTE) {
      graphic->SetPaletteIdent(bitDepth == 1   ? pBlackWhite
                               : bitDepth == 2 ? pGray4
                               : bitDepth == 4 ? pGray16
                                               : pGray256);
    }
  }

  job->progressStarted = true;
  graphic->ProgressStart();
  bool aborted = false;
  const int64_t total = static_cast<int64_t>(height) * passes;
  for (int pass = 0; pass < passes && !aborted; ++pass) {
    for (int y = 0; y < height; ++y) {
      png_read_row(png, graphic->ScanLine(y), nullptr);
      if (ReportProgress(graphic, y + static_cast<int64_t>(height) * pass, total)) {
        aborted = true;
        break;
      }
    }
  }
  if (!aborted && bitDepth == 2) {
    for (int y = 0; y < height; ++y) Unpack2To4(graphic->ScanLine(y), width);
  }
  job->progressEnded = true;
  graphic->ProgressEnd();
  if (!aborted) png_read_end(png, nullptr);
  return true;
}

std::string ColorsText(int pixelDepth) {
  switch (pixelDepth) {
    case 1:
      return "2";
    case 2:
      return "4";
    case 4:
      return "16";
    case 8:
      return "256";
    case 16:
      return "64K?";
    case 24:
      return "16.7M";
    case 32:
      return "16.7M?";
    default:
      return "?";
  }
}

// Fills the information from the header just read.
void Describe(TReadJob* job, TPGFileInfo& info) {
  png_structp png = job->png;
  png_infop pinfo = job->info;
  info.Width = static_cast<int>(png_get_image_width(png, pinfo));
  info.Height = static_cast<int>(png_get_image_height(png, pinfo));
  const int pixelDepth = png_get_bit_depth(png, pinfo) * png_get_channels(png, pinfo);
  info.BitsPerPixel = pixelDepth;
  info.Colors = ColorsText(pixelDepth);

  const int colorType = png_get_color_type(png, pinfo);
  std::string subtype = "GrayScale";
  if (colorType & PNG_COLOR_MASK_PALETTE)
    subtype = std::string("palette");
  else if (colorType & PNG_COLOR_MASK_COLOR)
    subtype = std::string("RGB");
  if (colorType & PNG_COLOR_MASK_ALPHA) subtype.append(", alpha");
  if (png_get_interlace_type(png, pinfo) == PNG_INTERLACE_ADAM7) subtype.append(", interlaced");
  info.SubType = subtype;

  static const struct {
    png_uint_32 flag;
    const char* name;
  } kChunks[] = {{PNG_INFO_gAMA, "gama"}, {PNG_INFO_sBIT, "sbit"}, {PNG_INFO_cHRM, "chrm"},
                 {PNG_INFO_PLTE, "plte"}, {PNG_INFO_tRNS, "trns"}, {PNG_INFO_bKGD, "bkgd"},
                 {PNG_INFO_hIST, "hist"}, {PNG_INFO_pHYs, "phys"}, {PNG_INFO_oFFs, "offs"},
                 {PNG_INFO_tIME, "time"}};
  std::string extra;
  for (const auto& chunk : kChunks) {
    if (!png_get_valid(png, pinfo, chunk.flag)) continue;
    extra.append(extra.empty() ? "(" : ", ");
    extra.append(chunk.name);
  }
  if (!extra.empty()) extra.append(")");
  info.Extra = extra;
}

// Creates the structures, runs the read and raises what it left behind.
void ExecuteRead(TReadJob* job, TStream& stream) {
  job->ctx.stream = &stream;
  TReadJobCleanup cleanup{job};
  job->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job->ctx, ErrorFn, WarningFn);
  if (!job->png) Raise(31, "png_create_read_struct");
  job->info = png_create_info_struct(job->png);
  if (!job->info) Raise(31, "png_create_info_struct");
  png_set_read_fn(job->png, &job->ctx, ReadFn);
  auto endProgress = [job] {
    if (job->progressStarted && !job->progressEnded) {
      job->progressEnded = true;
      job->graphic->ProgressEnd();
    }
  };
  bool ok;
  try {
    ok = RunRead(job);
  } catch (...) {
    endProgress();
    throw;
  }
  if (!ok) {
    endProgress();
    RaiseFailure(job->ctx);
  }
  if (job->unsupported) Raise(30);
  if (job->infoOut) Describe(job, *job->infoOut);
}

// ---- Writing ------------------------------------------------------------------------------

struct TWriteJob {
  TContext ctx;
  png_structp png;
  png_infop info;
  TPixelGraphic* graphic;
  png_color palette[256];
  bool progressStarted;
  bool progressEnded;
};

struct TWriteJobCleanup {
  TWriteJob* job;
  ~TWriteJobCleanup() {
    if (job->png) png_destroy_write_struct(&job->png, job->info ? &job->info : nullptr);
  }
};

bool RunWrite(TWriteJob* job) {
  if (setjmp(png_jmpbuf(job->png)) != 0) return false;
  png_structp png = job->png;
  png_infop info = job->info;
  TPixelGraphic* graphic = job->graphic;
  const bool truecolor = graphic->PixelFormat() == pf24Bit;
  const bool gray = graphic->PixelFormat() == pf8Bit && graphic->PaletteIdent() == pGray256;
  const int bitDepth = truecolor ? 8 : graphic->BitsPerPixel();
  const int colorType = truecolor ? PNG_COLOR_TYPE_RGB
                        : gray    ? PNG_COLOR_TYPE_GRAY
                                  : PNG_COLOR_TYPE_PALETTE;
  png_set_IHDR(png, info, static_cast<png_uint_32>(graphic->Width()),
               static_cast<png_uint_32>(graphic->Height()), bitDepth, colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    const int count = graphic->PaletteCount();
    for (int i = 0; i < count && i < 256; ++i) {
      const TRGB c = graphic->PaletteColor(i);
      job->palette[i] = png_color{static_cast<png_byte>(GetR(c)), static_cast<png_byte>(GetG(c)),
                                  static_cast<png_byte>(GetB(c))};
    }
    png_set_PLTE(png, info, job->palette, count);
  }
  if (PGPNGWriteGamma) png_set_gAMA(png, info, static_cast<float>(1.0L / graphic->Gamma()));
  png_write_info(png, info);
  if (truecolor) png_set_bgr(png);

  job->progressStarted = true;
  graphic->ProgressStart();
  const int height = graphic->Height();
  for (int y = 0; y < height; ++y) {
    png_write_row(png, graphic->ScanLine(y));
    // Writing always runs to the end: a half-written file is of no use.
    graphic->Progress(y, height - 1);
  }
  job->progressEnded = true;
  graphic->ProgressEnd();
  png_write_end(png, info);
  return true;
}

}  // namespace

// ---- Reader --------------------------------------------------------------------------------

TPNGFileFormatReader::TPNGFileFormatReader() {
  Primary = true;
  Extension = "png";
  Description = "Portable Network Graphics";
  ClassName = "TPNGFileFormatReader";
  SignatureCheck = true;
}

bool TPNGFileFormatReader::IsFormat(THeader header) {
  static const uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  return std::memcmp(header.data(), kSignature, 8) == 0;
}

void TPNGFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) {
  if (index != 0) Raise(7, "Index");
  CheckLibrary();
  graphic.SetGamma(PGDisplayGamma);
  auto job = std::make_unique<TReadJob>();
  job->ctx.action = graphic.ReadWarningAction();
  job->graphic = &graphic;
  // The background as a colour, whatever the image held before.
  if (graphic.PixelFormat() == pf24Bit) {
    job->imageBackground = graphic.BackGroundColor() & 0xFFFFFF;
  } else if (graphic.BackGroundColor() < static_cast<uint32_t>(graphic.PaletteCount())) {
    job->imageBackground = graphic.BackGroundColorRGB();
  }
  ExecuteRead(job.get(), stream);
}

void TPNGFileFormatReader::ReadInfo(TStream& stream, int index, TPGFileInfo& info) {
  TFileFormatReader::ReadInfo(stream, index, info);
  if (index != 0) Raise(20, "Index");
  CheckLibrary();
  auto job = std::make_unique<TReadJob>();
  job->ctx.action = pgwaRaise;
  job->infoOnly = true;
  job->infoOut = &info;
  ExecuteRead(job.get(), stream);
}

// ---- Writer --------------------------------------------------------------------------------

TPNGFileFormatWriter::TPNGFileFormatWriter() {
  Primary = true;
  Extension = "png";
  Description = "Portable Network Graphics";
  ClassName = "TPNGFileFormatWriter";
  CanWriteResolutions = 0xFF;
}

void TPNGFileFormatWriter::WriteGraphic(TStream& stream, TPixelGraphic& graphic) {
  CheckLibrary();
  graphic.ClassifyPalette();
  auto job = std::make_unique<TWriteJob>();
  job->ctx.stream = &stream;
  job->ctx.action = graphic.ReadWarningAction();
  job->graphic = &graphic;
  TWriteJobCleanup cleanup{job.get()};
  job->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job->ctx, ErrorFn, WarningFn);
  if (!job->png) Raise(31, "png_create_write_struct");
  job->info = png_create_info_struct(job->png);
  if (!job->info) Raise(31, "png_create_info_struct");
  png_set_write_fn(job->png, &job->ctx, WriteFn, FlushFn);
  auto endProgress = [&job] {
    if (job->progressStarted && !job->progressEnded) {
      job->progressEnded = true;
      job->graphic->ProgressEnd();
    }
  };
  bool ok;
  try {
    ok = RunWrite(job.get());
  } catch (...) {
    endProgress();
    throw;
  }
  if (!ok) {
    endProgress();
    RaiseFailure(job->ctx);
  }
}

void AddPNGReaders(TReaderList& readers) {
  readers.push_back(std::make_unique<TPNGFileFormatReader>());
}

void AddPNGWriters(TWriterList& writers) {
  writers.push_back(std::make_unique<TPNGFileFormatWriter>());
}

}  // namespace pgraphic
