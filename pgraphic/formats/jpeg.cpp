#include "pgraphic/formats/jpeg.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>

#include "pgraphic/formats/warning.h"

namespace pgraphic {

TPGSetting<int> PGJPEGReadDCTMethod = 0;
TPGSetting<int> PGJPEGWriteDCTMethod = 2;
TPGSetting<int> PGJPEGQuality = 80;
TPGSetting<bool> PGJPEGProgressive = false;
TPGSetting<int> PGJPEGMaxScans = 1000;

namespace {

constexpr const char* kPrefix = "JPG: ";
constexpr size_t kBufferSize = 16384;

// The library sees the common part of both objects through one pointer type.
static_assert(offsetof(jpeg_decompress_struct, err) == offsetof(jpeg_common_struct, err));
static_assert(offsetof(jpeg_compress_struct, err) == offsetof(jpeg_common_struct, err));
static_assert(offsetof(jpeg_decompress_struct, mem) == offsetof(jpeg_common_struct, mem));
static_assert(offsetof(jpeg_compress_struct, mem) == offsetof(jpeg_common_struct, mem));

[[noreturn]] void Raise(int entry) {
  RaisePG<EPGJPGFileFormatReaderWriter>(kPrefix, entry);
}
[[noreturn]] void Raise(int entry, const char* s1) {
  RaisePG<EPGJPGFileFormatReaderWriter>(kPrefix, entry, s1);
}

// The library's standard error manager with the fatal-error and warning entries
// replaced. A fatal error (or an exception raised by our own code inside a
// library callback) ends the library call with a long jump back to the driving
// function, which is written so that no C++ object lives across the jump; the
// caller then destroys the library object and raises the recorded error.
struct TErrorManager {
  jpeg_error_mgr pub;  // first: the library only sees this part
  std::jmp_buf jump;
  TPGWarningAction action;
  char message[JMSG_LENGTH_MAX + 64];  // the final text of a fatal error
  std::exception_ptr pending;          // an exception caught inside a callback
};

TErrorManager* Manager(j_common_ptr cinfo) {
  return reinterpret_cast<TErrorManager*>(cinfo->err);
}

[[noreturn]] void Jump(j_common_ptr cinfo) {
  std::longjmp(Manager(cinfo)->jump, 1);
}

void SetMessage(TErrorManager* err, const char* text) {
  std::snprintf(err->message, sizeof err->message, "%s%s", kPrefix, text);
}

void ErrorExit(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  SetMessage(Manager(cinfo), text);
  Jump(cinfo);
}

// Applies the warning action; returns true when the library call must stop
// (the reason is then recorded in the manager).
bool HandleWarning(TErrorManager* err, const char* text) {
  return ApplyWarningAction(err, "JPG", text, SetMessage);
}

// Called by the library for its warnings (with the default trace level only for
// the first warning of an image).
void OutputMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  if (HandleWarning(Manager(cinfo), text)) Jump(cinfo);
}

void InitErrorManager(TErrorManager& err, TPGWarningAction action) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.output_message = OutputMessage;
  err.action = action;
  err.message[0] = 0;
}

// ---- Stream-backed source -------------------------------------------------------

struct TStreamSource {
  jpeg_source_mgr pub;
  TStream* stream;
  bool startOfFile;
  JOCTET buffer[kBufferSize];
};

void InitSource(j_decompress_ptr cinfo) {
  reinterpret_cast<TStreamSource*>(cinfo->src)->startOfFile = true;
}

// Reads the next chunk; SIZE_MAX when the stream raised (recorded as pending).
size_t ReadChunk(TStreamSource* src, TErrorManager* err) {
  try {
    return src->stream->Read(src->buffer, kBufferSize);
  } catch (...) {
    err->pending = std::current_exception();
    return std::numeric_limits<size_t>::max();
  }
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<TStreamSource*>(cinfo->src);
  size_t n = ReadChunk(src, Manager(reinterpret_cast<j_common_ptr>(cinfo)));
  if (n == std::numeric_limits<size_t>::max()) Jump(reinterpret_cast<j_common_ptr>(cinfo));
  if (n == 0) {
    if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    // An inserted end-of-image marker lets the library finish what it has.
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = n;
  src->startOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  while (count > static_cast<long>(src->bytes_in_buffer)) {
    count -= static_cast<long>(src->bytes_in_buffer);
    (*src->fill_input_buffer)(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

void AttachSource(jpeg_decompress_struct& cinfo, TStreamSource& src, TStream& stream) {
  src.stream = &stream;
  src.pub.init_source = InitSource;
  src.pub.fill_input_buffer = FillInputBuffer;
  src.pub.skip_input_data = SkipInputData;
  src.pub.resync_to_restart = jpeg_resync_to_restart;
  src.pub.term_source = TermSource;
  src.pub.bytes_in_buffer = 0;
  src.pub.next_input_byte = nullptr;
  cinfo.src = &src.pub;
}

// ---- Stream-backed destination ----------------------------------------------------

struct TStreamDestination {
  jpeg_destination_mgr pub;
  TStream* stream;
  JOCTET buffer[kBufferSize];
};

bool WriteChunk(TStreamDestination* dest, TErrorManager* err, size_t n) {
  try {
    dest->stream->WriteBuffer(dest->buffer, n);
    return true;
  } catch (...) {
    err->pending = std::current_exception();
    return false;
  }
}

void InitDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TStreamDestination*>(cinfo->dest);
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = kBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TStreamDestination*>(cinfo->dest);
  auto* common = reinterpret_cast<j_common_ptr>(cinfo);
  if (!WriteChunk(dest, Manager(common), kBufferSize)) Jump(common);
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = kBufferSize;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TStreamDestination*>(cinfo->dest);
  auto* common = reinterpret_cast<j_common_ptr>(cinfo);
  const size_t n = kBufferSize - dest->pub.free_in_buffer;
  if (n > 0 && !WriteChunk(dest, Manager(common), n)) Jump(common);
}

void AttachDestination(jpeg_compress_struct& cinfo, TStreamDestination& dest, TStream& stream) {
  dest.stream = &stream;
  dest.pub.init_destination = InitDestination;
  dest.pub.empty_output_buffer = EmptyOutputBuffer;
  dest.pub.term_destination = TermDestination;
  cinfo.dest = &dest.pub;
}

// ---- Library release check ------------------------------------------------------------

struct TProbe {
  TErrorManager err;
  jpeg_decompress_struct decompress;
  jpeg_compress_struct compress;
};

// Creating a library object makes the linked library compare its own version
// and record size with the ones this program was compiled against. Returns
// the library's message code of a failure, 0 when both objects were created.
int ProbeLibrary(TProbe* probe, bool compress) {
  if (setjmp(probe->err.jump) != 0) return probe->err.pub.msg_code;
  if (compress) {
    jpeg_CreateCompress(&probe->compress, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));
  } else {
    jpeg_CreateDecompress(&probe->decompress, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
  }
  return 0;
}

int Probe(bool compress) {
  auto probe = std::make_unique<TProbe>();
  InitErrorManager(probe->err, pgwaRaise);
  probe->decompress.err = &probe->err.pub;
  probe->compress.err = &probe->err.pub;
  const int code = ProbeLibrary(probe.get(), compress);
  jpeg_destroy_decompress(&probe->decompress);
  jpeg_destroy_compress(&probe->compress);
  return code;
}

void CheckLibrary() {
  static const bool matches = Probe(false) == 0 && Probe(true) == 0;
  if (!matches)
    throw EPGJPGFileFormatReaderWriter(std::string(kPrefix) + "Invalid library version");
}

// Memory the library may take for one image: enough for the coefficients of a
// multi-scan file of the largest image allowed, never unbounded.
long LibraryMemoryLimit() {
  const int64_t limit = 3 * PGMaxImageSize + (16 << 20);
  return static_cast<long>(std::min<int64_t>(limit, std::numeric_limits<long>::max()));
}

// ---- Reading ------------------------------------------------------------------------------

struct TReadJob {
  TErrorManager err;
  TStreamSource src;
  jpeg_decompress_struct cinfo;
  TPixelGraphic* graphic;
  bool headerOnly;
  int reduceTo;  // 0: full size; else the longest side the reduced picture must reach
  bool progressStarted;
  bool progressEnded;
  int dctMethod;   // PGJPEGReadDCTMethod when the read started
  int maxScans;    // PGJPEGMaxScans when the read started
  bool absorbing;  // the scans are being taken in, before the first row
  jpeg_progress_mgr monitor;
};

// Called by the library before each row of coefficients it takes in, also
// while it takes in every scan of a multi-scan file before the first row comes
// out, which may be long: a file of too many scans is refused there, and the
// image's abort flag is asked (the rows ask it themselves in the read loop).
void MonitorRead(j_common_ptr common) {
  auto* job = static_cast<TReadJob*>(common->client_data);
  if (job->cinfo.input_scan_number > job->maxScans) {
    char text[64];
    std::snprintf(text, sizeof text, "More than %d scans", job->maxScans);
    SetMessage(&job->err, text);
    Jump(common);
  }
  if (!job->absorbing) return;
  bool stop = true;
  try {
    if (job->graphic->Progress(0, static_cast<int>(job->cinfo.output_height)))
      SetMessage(&job->err, LangStr(msgAborted).c_str());
    else
      stop = false;
  } catch (...) {
    job->err.pending = std::current_exception();
  }
  if (stop) Jump(common);
}

enum TRunResult { rrDone, rrFailed, rrUnsupported };

// Drives the library. Library errors and exceptions caught in callbacks come
// back as rrFailed through the long jump; exceptions of the image itself (its
// size, the progress handlers) pass through normally. No object with a
// destructor may live in this frame across a library call.
TRunResult RunRead(TReadJob* job) {
  if (setjmp(job->err.jump) != 0) return rrFailed;
  jpeg_create_decompress(&job->cinfo);
  job->cinfo.mem->max_memory_to_use = LibraryMemoryLimit();
  AttachSource(job->cinfo, job->src, *job->src.stream);
  jpeg_read_header(&job->cinfo, TRUE);
  if (job->headerOnly) return rrDone;

  // A reduced read takes the smallest of the library's sizes N/8 whose longest
  // side still reaches the wanted one: the decoder then skips the coefficients
  // that size does not need.
  int scaleNum = 8;
  if (job->reduceTo > 0) {
    const int64_t longest = std::max(job->cinfo.image_width, job->cinfo.image_height);
    while (scaleNum > 1 && (longest * (scaleNum - 1) + 7) / 8 >= job->reduceTo) --scaleNum;
  }
  job->cinfo.scale_num = static_cast<unsigned>(scaleNum);
  job->cinfo.scale_denom = 8;
  job->cinfo.dct_method = static_cast<J_DCT_METHOD>(job->dctMethod);
  job->cinfo.quantize_colors = FALSE;
  job->cinfo.two_pass_quantize = FALSE;
  job->cinfo.dither_mode = JDITHER_NONE;
  // Colour arrives in the pixel buffer's blue-green-red order.
  if (job->cinfo.out_color_space == JCS_RGB) job->cinfo.out_color_space = JCS_EXT_BGR;
  jpeg_calc_output_dimensions(&job->cinfo);
  if (job->cinfo.out_color_components != 1 && job->cinfo.out_color_components != 3) {
    return rrUnsupported;
  }
  // A file of several scans is held as coefficients (64 16-bit values per
  // block) until its last scan: that and the picture must fit the decode
  // budget, and the library may take no more than what the picture leaves.
  int64_t coefficientBytes = 0;
  if (jpeg_has_multiple_scans(&job->cinfo)) {
    for (int c = 0; c < job->cinfo.num_components; ++c) {
      const jpeg_component_info& comp = job->cinfo.comp_info[c];
      const int64_t across = (comp.width_in_blocks + comp.h_samp_factor - 1) / comp.h_samp_factor;
      const int64_t down = (comp.height_in_blocks + comp.v_samp_factor - 1) / comp.v_samp_factor;
      coefficientBytes += across * comp.h_samp_factor * down * comp.v_samp_factor * 128;
    }
  }
  const int64_t budgetLeft = CheckDecodeBudget(
      static_cast<int>(job->cinfo.output_width), static_cast<int>(job->cinfo.output_height),
      job->cinfo.out_color_components == 1 ? 8 : 24, coefficientBytes);
  job->cinfo.mem->max_memory_to_use =
      static_cast<long>(std::min<int64_t>(LibraryMemoryLimit(), budgetLeft + coefficientBytes));
  // The image is sized (and its limit checked) before the library allocates
  // its own buffers for the whole image.
  TPixelGraphic* graphic = job->graphic;
  if (job->cinfo.out_color_components == 1) {
    graphic->SetSize(static_cast<int>(job->cinfo.output_width),
                     static_cast<int>(job->cinfo.output_height), pf8Bit);
    graphic->SetPaletteIdent(pGray256);
  } else {
    graphic->SetSize(static_cast<int>(job->cinfo.output_width),
                     static_cast<int>(job->cinfo.output_height), pf24Bit);
  }
  job->maxScans = std::max(1, static_cast<int>(PGJPEGMaxScans));
  job->monitor = {};
  job->monitor.progress_monitor = MonitorRead;
  job->cinfo.client_data = job;
  job->cinfo.progress = &job->monitor;
  job->progressStarted = true;
  graphic->ProgressStart();
  job->absorbing = true;
  jpeg_start_decompress(&job->cinfo);
  job->absorbing = false;
  const int height = static_cast<int>(job->cinfo.output_height);
  while (job->cinfo.output_scanline < job->cinfo.output_height) {
    JSAMPROW row = graphic->ScanLine(static_cast<int>(job->cinfo.output_scanline));
    jpeg_read_scanlines(&job->cinfo, &row, 1);
    if (graphic->Progress(static_cast<int>(job->cinfo.output_scanline), height)) break;
  }
  job->progressEnded = true;
  graphic->ProgressEnd();
  jpeg_finish_decompress(&job->cinfo);
  return rrDone;
}

struct TReadJobCleanup {
  TReadJob* job;
  ~TReadJobCleanup() { jpeg_destroy_decompress(&job->cinfo); }
};

// Runs a read job and raises what it left behind; the library object is
// destroyed in every case and a started progress is always ended.
void ExecuteRead(TReadJob* job, TStream& stream) {
  job->cinfo.err = &job->err.pub;
  job->src.stream = &stream;
  TReadJobCleanup cleanup{job};
  auto endProgress = [job] {
    if (job->progressStarted && !job->progressEnded) {
      job->progressEnded = true;
      job->graphic->ProgressEnd();
    }
  };
  TRunResult result;
  try {
    result = RunRead(job);
  } catch (...) {
    endProgress();
    throw;
  }
  if (result == rrDone) return;
  endProgress();
  if (job->err.pending) std::rethrow_exception(job->err.pending);
  if (result == rrUnsupported) Raise(msgNotSupportedSubformat);
  throw EPGJPGFileFormatReaderWriter(job->err.message);
}

std::string ColorsText(int components) {
  switch (components) {
    case 1:
      return "256";
    case 2:
      return "64K";
    case 3:
      return "16.7M";
    case 4:
      return "4294.9M";
    default:
      return "?";
  }
}

const char* ColorSpaceName(J_COLOR_SPACE space) {
  switch (space) {
    case JCS_GRAYSCALE:
      return "GrayScale";
    case JCS_RGB:
      return "RGB";
    case JCS_YCbCr:
      return "YCbCr";
    case JCS_CMYK:
      return "CMYK";
    case JCS_YCCK:
      return "YCbCrK";
    default:
      return "unknown";
  }
}

// ---- Writing -------------------------------------------------------------------------------

struct TWriteJob {
  TErrorManager err;
  TStreamDestination dest;
  jpeg_compress_struct cinfo;
  TPixelGraphic* graphic;
  bool gray;
  bool progressStarted;
  bool progressEnded;
  // The settings when the write started.
  int quality;
  int dctMethod;
  bool progressive;
};

// Drives the compressor under the same rules as RunRead.
bool RunWrite(TWriteJob* job) {
  if (setjmp(job->err.jump) != 0) return false;
  jpeg_create_compress(&job->cinfo);
  AttachDestination(job->cinfo, job->dest, *job->dest.stream);
  TPixelGraphic* graphic = job->graphic;
  job->cinfo.image_width = static_cast<JDIMENSION>(graphic->Width());
  job->cinfo.image_height = static_cast<JDIMENSION>(graphic->Height());
  if (job->gray) {
    job->cinfo.input_components = 1;
    job->cinfo.in_color_space = JCS_GRAYSCALE;
  } else {
    // RGB taken from the buffer's blue-green-red order.
    job->cinfo.input_components = 3;
    job->cinfo.in_color_space = JCS_EXT_BGR;
  }
  jpeg_set_defaults(&job->cinfo);
  if (job->progressive) jpeg_simple_progression(&job->cinfo);
  jpeg_set_quality(&job->cinfo, job->quality, TRUE);
  job->cinfo.dct_method = static_cast<J_DCT_METHOD>(job->dctMethod);
  jpeg_start_compress(&job->cinfo, TRUE);
  job->progressStarted = true;
  graphic->ProgressStart();
  const int height = graphic->Height();
  while (job->cinfo.next_scanline < job->cinfo.image_height) {
    JSAMPROW row = graphic->ScanLine(static_cast<int>(job->cinfo.next_scanline));
    jpeg_write_scanlines(&job->cinfo, &row, 1);
    // Writing always runs to the end: a half-written file is of no use.
    graphic->Progress(static_cast<int>(job->cinfo.next_scanline), height);
  }
  job->progressEnded = true;
  graphic->ProgressEnd();
  jpeg_finish_compress(&job->cinfo);
  return true;
}

struct TWriteJobCleanup {
  TWriteJob* job;
  ~TWriteJobCleanup() { jpeg_destroy_compress(&job->cinfo); }
};

bool ValidDCTMethod(int method) {
  return method >= JDCT_ISLOW && method <= JDCT_FLOAT;
}

}  // namespace

void CheckJPEGLibraryLayouts() {
  if (Probe(false) == JERR_BAD_STRUCT_SIZE) {
    throw EPixelGraphic("jpeg_decompress_struct: the sizes of the program and the library differ");
  }
  if (Probe(true) == JERR_BAD_STRUCT_SIZE) {
    throw EPixelGraphic("jpeg_compress_struct: the sizes of the program and the library differ");
  }
}

// ---- Readers --------------------------------------------------------------------------------

TJPGFileFormatReader::TJPGFileFormatReader() {
  Primary = true;
  Extension = "jpg";
  Description = "JPEG (JFIF compliant)";
  ClassName = "TJPGFileFormatReader";
  SignatureCheck = true;
}

TJPEGFileFormatReader::TJPEGFileFormatReader() {
  Primary = false;
  Extension = "jpeg";
  ClassName = "TJPEGFileFormatReader";
}

TJIFFileFormatReader::TJIFFileFormatReader() {
  Primary = false;
  Extension = "jif";
  ClassName = "TJIFFileFormatReader";
}

bool TJPGFileFormatReader::IsFormat(THeader header) {
  return header[0] == 0xFF && header[1] == 0xD8;
}

void TJPGFileFormatReader::ReadGraphicBody(TStream& stream, TPixelGraphic& graphic, int index) {
  if (index != 0) Raise(msgInvalid, "Index");
  // JPEG carries no gamma: the image stays at the display gamma it starts with.
  CheckLibrary();
  const int dctMethod = PGJPEGReadDCTMethod;
  if (!ValidDCTMethod(dctMethod)) Raise(msgInvalidValue, "PGJPEGReadDCTMethod");
  auto job = std::make_unique<TReadJob>();
  InitErrorManager(job->err, graphic.ReadWarningAction());
  job->graphic = &graphic;
  job->dctMethod = dctMethod;
  ExecuteRead(job.get(), stream);
}

void ReadJPEGReduced(TStream& stream, TPixelGraphic& graphic, int longestSide,
                     TJPEGPictureSize& full) {
  if (longestSide < 1) Raise(msgInvalidValue, "longestSide");
  CheckLibrary();
  const int dctMethod = PGJPEGReadDCTMethod;
  if (!ValidDCTMethod(dctMethod)) Raise(msgInvalidValue, "PGJPEGReadDCTMethod");
  auto job = std::make_unique<TReadJob>();
  InitErrorManager(job->err, graphic.ReadWarningAction());
  job->graphic = &graphic;
  job->dctMethod = dctMethod;
  job->reduceTo = longestSide;
  ExecuteRead(job.get(), stream);
  full.Width = static_cast<int>(job->cinfo.image_width);
  full.Height = static_cast<int>(job->cinfo.image_height);
}

void TJPGFileFormatReader::ReadInfoBody(TStream& stream, int index, TPGFileInfo& info) {
  if (index != 0) Raise(msgInvalidValue, "Index");
  auto job = std::make_unique<TReadJob>();
  InitErrorManager(job->err, pgwaRaise);
  job->headerOnly = true;
  ExecuteRead(job.get(), stream);
  const jpeg_decompress_struct& c = job->cinfo;
  info.Width = static_cast<int>(c.image_width);
  info.Height = static_cast<int>(c.image_height);
  info.BitsPerPixel = 8 * c.num_components;
  info.Colors = ColorsText(c.num_components);
  // The colour space, then the markers seen in front: "JFIF, Adope, YCbCr".
  std::string subtype;
  if (c.saw_JFIF_marker) subtype.append("JFIF, ");
  if (c.saw_Adobe_marker) subtype.append("Adope, ");
  subtype.append(ColorSpaceName(c.jpeg_color_space));
  if (c.progressive_mode) subtype.append(", Progressive");
  info.SubType = subtype;
}

// ---- Writers ---------------------------------------------------------------------------------

TJPGFileFormatWriter::TJPGFileFormatWriter() {
  Primary = true;
  Extension = "jpg";
  Description = "JPEG (JFIF compliant)";
  ClassName = "TJPGFileFormatWriter";
  CanWriteResolutions = (1u << cr256Grays) | (1u << crTrueColor);
}

TJPEGFileFormatWriter::TJPEGFileFormatWriter() {
  Primary = false;
  Extension = "jpeg";
  ClassName = "TJPEGFileFormatWriter";
}

TJIFFileFormatWriter::TJIFFileFormatWriter() {
  Primary = false;
  Extension = "jif";
  ClassName = "TJIFFileFormatWriter";
}

void TJPGFileFormatWriter::WriteGraphic(TStream& stream, TPixelGraphic& graphic) {
  CheckLibrary();
  graphic.ClassifyPalette();
  const bool gray = graphic.PixelFormat() == pf8Bit && graphic.PaletteIdent() == pGray256;
  if (graphic.PixelFormat() != pf24Bit && !gray) Raise(msgInvalidValue, "BitCount");
  auto job = std::make_unique<TWriteJob>();
  job->quality = PGJPEGQuality;
  job->dctMethod = PGJPEGWriteDCTMethod;
  job->progressive = PGJPEGProgressive;
  if (!ValidDCTMethod(job->dctMethod)) Raise(msgInvalidValue, "PGJPEGWriteDCTMethod");

  InitErrorManager(job->err, graphic.ReadWarningAction());
  job->cinfo.err = &job->err.pub;
  job->dest.stream = &stream;
  job->graphic = &graphic;
  job->gray = gray;
  TWriteJobCleanup cleanup{job.get()};
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
  if (ok) return;
  endProgress();
  if (job->err.pending) std::rethrow_exception(job->err.pending);
  throw EPGJPGFileFormatReaderWriter(job->err.message);
}

void AddJPEGReaders(TReaderList& readers) {
  readers.push_back(std::make_unique<TJPGFileFormatReader>());
  readers.push_back(std::make_unique<TJPEGFileFormatReader>());
  readers.push_back(std::make_unique<TJIFFileFormatReader>());
}

void AddJPEGWriters(TWriterList& writers) {
  writers.push_back(std::make_unique<TJPGFileFormatWriter>());
  writers.push_back(std::make_unique<TJPEGFileFormatWriter>());
  writers.push_back(std::make_unique<TJIFFileFormatWriter>());
}

}  // namespace pgraphic
