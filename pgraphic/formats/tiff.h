// The baseline TIFF codec of the library (extensions tif and tiff): reads
// uncompressed and PackBits strip images in either byte order, writes one-image
// files, uncompressed or PackBits, in a byte order chosen by a setting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pgraphic/formats/fileformat.h"

namespace pgraphic {

// ---- Unit-wide settings ------------------------------------------------------
// Reader: walk the directory chain to count images (and allow index > 0).
extern TPGSetting<bool> PGTIFFCountImages;  // false
// Reader: longest directory chain the count walk accepts.
extern TPGSetting<int> PGTIFFMaxImages;  // 1000
// Writer: 1 (none) or 32773 (PackBits).
extern TPGSetting<int> PGTIFFCompression;  // 1
// Writer: 24-bit images as four-sample CMYK.
extern TPGSetting<bool> PGTIFFWriteCMYK;  // false
// Writer: bilevel and gray images as WhiteIsZero.
extern TPGSetting<bool> PGTIFFWhiteIsZero;  // false
// Writer: byte order "MM" instead of "II".
extern TPGSetting<bool> PGTIFFMotorola;  // false
// Writer: 0, 1, 2 give ResolutionUnit 1 (none), 2 (inch), 3 (centimetre).
extern TPGSetting<int> PGTIFFResolutionUnit;  // 1

struct TPGTIFFRational {
  uint32_t Numerator;
  uint32_t Denominator;
};
extern TPGSetting<TPGTIFFRational> PGTIFFXResolution;  // 300/1
extern TPGSetting<TPGTIFFRational> PGTIFFYResolution;  // 300/1

// Restores every setting above to its start-up default.
void ResetTIFFSettings();

// ---- PackBits ----------------------------------------------------------------
// Decodes PackBits packets from in[0, inSize) into out[filled, outSize) until the
// output is full or no complete packet is left in the input. Returns the number
// of input bytes consumed; `filled` advances by the bytes produced. A packet that
// would overfill the output raises EPGTIFFileFormatReader
// "TIFF (PackBits): Invalid count of bytes in row " + row.
size_t PackBitsDecode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
                      size_t& filled, int row);

// Appends the PackBits encoding of one row to `out`. Runs of two equal bytes
// next to literal bytes are sent as literals.
void PackBitsEncode(const uint8_t* row, size_t length, std::vector<uint8_t>& out);

// ---- Reader and writer -------------------------------------------------------
class TTIFFileFormatReader : public TFileFormatReader {
 public:
  TTIFFileFormatReader();
  bool IsFormat(THeader header) override;

 private:
  void ReadGraphicBody(TStream& stream, TPixelGraphic& graphic, int index) override;
  void ReadInfoBody(TStream& stream, int index, TPGFileInfo& info) override;
};

class TTIFFFileFormatReader : public TTIFFileFormatReader {
 public:
  TTIFFFileFormatReader();
};

// WriteGraphic keeps no state between calls, so threads may write through the
// one registered object at once. The multi-part calls (WriteHeader, then
// WriteBody once per image, then WriteTrailer) keep the file's state in the
// writer object: a multi-part file needs a writer object of its own.
class TTIFFileFormatWriter : public TFileFormatWriter {
 public:
  TTIFFileFormatWriter();
  void WriteGraphic(TStream& stream, TPixelGraphic& graphic) override;
  void WriteHeader(TStream& stream) override;
  void WriteBody(TStream& stream, TPixelGraphic& graphic) override;
  void WriteTrailer(TStream& stream) override;

  // One file being written: where it starts, the next-directory offset still
  // to fill, and the settings taken when its header was written.
  struct TSession {
    int64_t Start = 0;        // position of the header; every offset is relative to it
    int64_t PendingLink = 0;  // position of the next-directory offset still to fill
    bool Motorola = false;
    int Compression = 1;
    bool WriteCMYK = false;
    bool WhiteIsZero = false;
    int ResolutionUnit = 1;
    TPGTIFFRational XResolution{300, 1};
    TPGTIFFRational YResolution{300, 1};
  };

 private:
  static void Header(TSession& session, TStream& stream);
  static void Body(TSession& session, TStream& stream, TPixelGraphic& graphic);
  TSession session_;  // of the multi-part calls
};

class TTIFFFileFormatWriter : public TTIFFileFormatWriter {
 public:
  TTIFFFileFormatWriter();
};

// Appends the tif and tiff readers / writers to the lists.
void AddTIFFReaders(TReaderList& readers);
void AddTIFFWriters(TWriterList& writers);

}  // namespace pgraphic
