// The image library's numbered message table and its exception family. Every
// text the library raises or shows comes from this table.
#pragma once

#include <array>
#include <stdexcept>
#include <string>

#include "pgraphic/settings.h"

namespace pgraphic {

inline constexpr int PGLangStrCount = 85;
inline constexpr int PGLanguageCount = 6;  // English, German, French, Dutch, Spanish, extra

struct TPGLangStrEntry {
  int Number;
  std::array<const char*, PGLanguageCount> Texts;
};

extern const std::array<TPGLangStrEntry, PGLangStrCount> PGLangStrEntries;

// Names of the rows of the table: LangStr(msgUnexpectedEnd) rather than a bare
// row number. Rows 8 to 15 name the colour resolutions in TPGColorResolution
// order; rows 44 to 83 are captions of the filter dialogs.
enum TPGMsg : int {
  msgNone = 0,
  msgXYIndexOutOfRange = 1,
  msgNoPalette = 2,
  msgInvalidPaletteIndex = 3,
  msgUnknownClipboardFormat = 4,
  msgInvalidTemporaryFile = 5,
  msgUnknownFileFormat = 6,
  msgInvalid = 7,
  msgBlackAndWhite = 8,
  msg2Colors = 9,
  msg16Grays = 10,
  msg16SysColors = 11,
  msg16Colors = 12,
  msg256Grays = 13,
  msg256Colors = 14,
  msgTrueColor = 15,
  msgIsEmpty = 16,
  msgSavedWithOtherResolution = 17,
  msgCannotSaveWithResolution = 18,
  msgUnknownExtension = 19,
  msgInvalidValue = 20,
  msgNegativeHeight = 21,
  msgNegativeWidth = 22,
  msgFilterSourceIsTarget = 23,
  msgBit = 24,
  msgImageFiles = 25,
  msgAllFiles = 26,
  msgInvalidSize = 27,
  msgWarning = 28,
  msgAborted = 29,
  msgNotSupportedSubformat = 30,
  msgFailed = 31,
  msgUnexpectedEnd = 32,
  msgUnknownSubformat = 33,
  msgNotAFile = 34,
  msgZeroSize = 35,
  msgInvalidColorResolution = 36,
  msgUnsupportedFieldType = 37,
  msgInvalidRowByteCount = 38,
  msgUnsupportedCompression = 39,
  msgSaturationZeroHueDefined = 40,
  msgOutOfRange = 41,
  msgOK = 42,
  msgCancel = 43,
  msgRGBFilter = 44,
  msgR = 45,
  msgG = 46,
  msgB = 47,
  msgCMYFilter = 48,
  msgC = 49,
  msgM = 50,
  msgY = 51,
  msgYCbCrFilter = 52,
  msgYCbCrY = 53,
  msgCb = 54,
  msgCr = 55,
  msgHLSFilter = 56,
  msgH = 57,
  msgL = 58,
  msgS = 59,
  msgHSVFilter = 60,
  msgV = 61,
  msgNegativeFilter = 62,
  msgGamma = 63,
  msgApplyOnRGB = 64,
  msgApplyOnY = 65,
  msgBrightness = 66,
  msgContrast = 67,
  msgApplyOn = 68,
  msgBCGFilter = 69,
  msgGrayscaleFilter = 70,
  msgRGBWeighting = 71,
  msgStdDeviation = 72,
  msgStrength = 73,
  msgSharpen = 74,
  msgDetail = 75,
  msgSmooth = 76,
  msgRadius = 77,
  msgBlur = 78,
  msgContour = 79,
  msgWhite = 80,
  msgBlack = 81,
  msgPlusMinus = 82,
  msgDegree = 83,
  msgUnused = 84,
};
static_assert(msgUnused == PGLangStrCount - 1);

// Column of the table in use; 0 = English. Nothing in the program changes it.
extern TPGSetting<int> PGLanguage;

// Text of an entry in the current language, with the first "%S1", "%S2" and "%S3"
// replaced by the given strings.
std::string LangStr(int entry);
std::string LangStr(int entry, const std::string& s1);
std::string LangStr(int entry, const std::string& s1, const std::string& s2);
std::string LangStr(int entry, const std::string& s1, const std::string& s2, const std::string& s3);

// Raises EPixelGraphic when row i of the table does not carry the number i.
void CheckLangStrEntries();

// Every error of the image library; the message is the final text.
class EPixelGraphic : public std::runtime_error {
 public:
  explicit EPixelGraphic(const std::string& message) : std::runtime_error(message) {}
};

#define PG_DECLARE_EXCEPTION(Name)                                        \
  class Name : public EPixelGraphic {                                     \
   public:                                                                \
    explicit Name(const std::string& message) : EPixelGraphic(message) {} \
  };

PG_DECLARE_EXCEPTION(EPGXYIndexOutOfRange)
PG_DECLARE_EXCEPTION(EPGNoPalette)
PG_DECLARE_EXCEPTION(EPGInvalidPaletteIndex)
PG_DECLARE_EXCEPTION(EPGEmpty)
PG_DECLARE_EXCEPTION(EPGCanWriteResolutionsEmpty)
PG_DECLARE_EXCEPTION(EPGCannotWriteColorRes)
PG_DECLARE_EXCEPTION(EPGFileFormatWritersEmpty)
PG_DECLARE_EXCEPTION(EPGUnknownExtension)
PG_DECLARE_EXCEPTION(EPGUnknownFileFormat)
PG_DECLARE_EXCEPTION(EPGUnknownClipboardFormat)
PG_DECLARE_EXCEPTION(EPGBMPFileFormatReader)
PG_DECLARE_EXCEPTION(EPGJPGFileFormatReaderWriter)
PG_DECLARE_EXCEPTION(EPGPNGFileFormatReaderWriter)
PG_DECLARE_EXCEPTION(EPGPCXFileFormatReader)
PG_DECLARE_EXCEPTION(EPGPxMFileFormatReader)
PG_DECLARE_EXCEPTION(EPGPxMFileFormatWriter)
PG_DECLARE_EXCEPTION(EPGTGAFileFormatReader)
PG_DECLARE_EXCEPTION(EPGTIFFileFormatReader)
PG_DECLARE_EXCEPTION(EPGTIFFileFormatWriter)
PG_DECLARE_EXCEPTION(EPGInvalidBitCountNum)
PG_DECLARE_EXCEPTION(EPGInvalidSize)
PG_DECLARE_EXCEPTION(EPGFilter)
PG_DECLARE_EXCEPTION(EPGSaturationHue)
PG_DECLARE_EXCEPTION(EPGConvFilter)

#undef PG_DECLARE_EXCEPTION

// Raises E with prefix + LangStr(entry, args...), the form of every reader and
// writer message ("BMP: Index invalid").
template <class E, class... Args>
[[noreturn]] void RaisePG(const char* prefix, int entry, const Args&... args) {
  throw E(std::string(prefix) + LangStr(entry, std::string(args)...));
}

}  // namespace pgraphic
