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

// Column of the table in use; 0 = English. Nothing in the program changes it.
extern TPGSetting<int> PGLanguage;

// Text of an entry in the current language, with the first "%S1", "%S2" and "%S3"
// replaced by the given strings.
std::string LangStr(int entry);
std::string LangStr(int entry, const std::string& s1);
std::string LangStr(int entry, const std::string& s1, const std::string& s2);
std::string LangStr(int entry, const std::string& s1, const std::string& s2,
                    const std::string& s3);

// Raises EPixelGraphic when row i of the table does not carry the number i.
void CheckLangStrEntries();

// Every error of the image library; the message is the final text.
class EPixelGraphic : public std::runtime_error {
 public:
  explicit EPixelGraphic(const std::string& message) : std::runtime_error(message) {}
};

#define PG_DECLARE_EXCEPTION(Name)                                     \
  class Name : public EPixelGraphic {                                  \
   public:                                                             \
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
