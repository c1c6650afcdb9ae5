#include "pgraphic/messages.h"

namespace pgraphic {

TPGSetting<int> PGLanguage = 0;

// Row number, then English, German, French, Dutch, Spanish and a sixth column
// that only row 25 uses. Rows without a translation repeat the English text.
const std::array<TPGLangStrEntry, PGLangStrCount> PGLangStrEntries = {{
    {0, {"", "", "", "", "", ""}},
    {1,
     {"X, Y index out of range", "X, Y index out of range", "X, Y index out of range",
      "X, Y index out of range", "X, Y index out of range", ""}},
    {2, {"No palette", "Keine Palette", "Pas de palette", "Geen palet", "Sin paleta", ""}},
    {3,
     {"Invalid palette index", "Invalid palette index", "Invalid palette index",
      "Invalid palette index", "Invalid palette index", ""}},
    {4,
     {"Unknown clipboard format", "Unknown clipboard format", "Unknown clipboard format",
      "Unknown clipboard format", "Unknown clipboard format", ""}},
    {5,
     {"Invalid temporary file", "Invalid temporary file", "Invalid temporary file",
      "Invalid temporary file", "Invalid temporary file", ""}},
    {6,
     {"Unknown file format", "Unbekanntes Dateiformat", "Format de fichier inconnu",
      "Onbekend bestandsformaat", "Formato de archivo desconocido", ""}},
    {7, {"%S1 invalid", "%S1 invalid", "%S1 invalid", "%S1 invalid", "%S1 invalid", ""}},
    {8,
     {"black and white", "black and white", "black and white", "black and white", "black and white",
      ""}},
    {9, {"2 colors", "2 colors", "2 colors", "2 colors", "2 colors", ""}},
    {10,
     {"16 shades of gray", "16 shades of gray", "16 shades of gray", "16 shades of gray",
      "16 shades of gray", ""}},
    {11,
     {"16 system colors", "16 system colors", "16 system colors", "16 system colors",
      "16 system colors", ""}},
    {12, {"16 colors", "16 colors", "16 colors", "16 colors", "16 colors", ""}},
    {13,
     {"256 shades of gray", "256 shades of gray", "256 shades of gray", "256 shades of gray",
      "256 shades of gray", ""}},
    {14, {"256 colors", "256 colors", "256 colors", "256 colors", "256 colors", ""}},
    {15,
     {"16.7 million colors", "16.7 million colors", "16.7 million colors", "16.7 million colors",
      "16.7 million colors", ""}},
    {16, {"%S1 is empty", "%S1 is empty", "%S1 is empty", "%S1 is empty", "%S1 is empty", ""}},
    {17,
     {"The graphic cannot be saved to a %S1 file with the current color resolution (%S2).\r\rThe "
      "graphic will be saved with a different color resolution (%S3).",
      "The graphic cannot be saved to a %S1 file with the current color resolution (%S2).\r\rThe "
      "graphic will be saved with a different color resolution (%S3).",
      "The graphic cannot be saved to a %S1 file with the current color resolution (%S2).\r\rThe "
      "graphic will be saved with a different color resolution (%S3).",
      "The graphic cannot be saved to a %S1 file with the current color resolution (%S2).\r\rThe "
      "graphic will be saved with a different color resolution (%S3).",
      "The graphic cannot be saved to a %S1 file with the current color resolution (%S2).\r\rThe "
      "graphic will be saved with a different color resolution (%S3).",
      ""}},
    {18,
     {"The graphic cannot be saved with to a %S1 file with the current color resolution (%S2)",
      "The graphic cannot be saved with to a %S1 file with the current color resolution (%S2)",
      "The graphic cannot be saved with to a %S1 file with the current color resolution (%S2)",
      "The graphic cannot be saved with to a %S1 file with the current color resolution (%S2)",
      "The graphic cannot be saved with to a %S1 file with the current color resolution (%S2)",
      ""}},
    {19,
     {"Unknown file extension \"%S1\"", "Unknown file extension \"%S1\"",
      "Unknown file extension \"%S1\"", "Unknown file extension \"%S1\"",
      "Unknown file extension \"%S1\"", ""}},
    {20,
     {"Invalid value for %S1", "Invalid value for %S1", "Invalid value for %S1",
      "Invalid value for %S1", "Invalid value for %S1", ""}},
    {21,
     {"Negative height", "Negative H\u00f6he", "Negative height", "Negative height",
      "Negative height", ""}},
    {22,
     {"Negative width", "Negative Breite", "Negative width", "Negative width", "Negative width",
      ""}},
    {23,
     {"Cannot apply this filter to a source that is identical to the target",
      "Cannot apply this filter to a source that is identical to the target",
      "Cannot apply this filter to a source that is identical to the target",
      "Cannot apply this filter to a source that is identical to the target",
      "Cannot apply this filter to a source that is identical to the target", ""}},
    {24, {"bit", "bit", "bit", "bit", "bit", ""}},
    {25,
     {"Image files", "Bilddateien", "Fichiers image", "Afbeeldingen", "Archivos de imagen",
      "Image files"}},
    {26,
     {"All files", "Alle Dateien", "Tous les fichiers", "Alle bestanden", "Todos los archivos",
      ""}},
    {27,
     {"Invalid size of %S1", "Invalid size of %S1", "Invalid size of %S1", "Invalid size of %S1",
      "Invalid size of %S1", ""}},
    {28, {"Warning", "Warnung", "Avertissement", "Waarschuwing", "Advertencia", ""}},
    {29,
     {"Operation aborted on user request", "Operation aborted on user request",
      "Operation aborted on user request", "Operation aborted on user request",
      "Operation aborted on user request", ""}},
    {30,
     {"Not supported subformat", "Not supported subformat", "Not supported subformat",
      "Not supported subformat", "Not supported subformat", ""}},
    {31, {"%S1 failed", "%S1 failed", "%S1 failed", "%S1 failed", "%S1 failed", ""}},
    {32,
     {"Unexpected end of file", "Unerwartetes Dateiende", "Unexpected end of file",
      "Unexpected end of file", "Unexpected end of file", ""}},
    {33,
     {"Unknown subformat", "Unknown subformat", "Unknown subformat", "Unknown subformat",
      "Unknown subformat", ""}},
    {34,
     {"Not a %S1 file", "Not a %S1 file", "Not a %S1 file", "Not a %S1 file", "Not a %S1 file",
      ""}},
    {35,
     {"Width = 0 or Height = 0", "Width = 0 or Height = 0", "Width = 0 or Height = 0",
      "Width = 0 or Height = 0", "Width = 0 or Height = 0", ""}},
    {36,
     {"Invalid color resolution", "Invalid color resolution", "Invalid color resolution",
      "Invalid color resolution", "Invalid color resolution", ""}},
    {37,
     {"Unsupported field type %S1", "Unsupported field type %S1", "Unsupported field type %S1",
      "Unsupported field type %S1", "Unsupported field type %S1", ""}},
    {38,
     {"Invalid count of bytes in row %S1", "Invalid count of bytes in row %S1",
      "Invalid count of bytes in row %S1", "Invalid count of bytes in row %S1",
      "Invalid count of bytes in row %S1", ""}},
    {39,
     {"Unsupported Compression", "Unsupported Compression", "Unsupported Compression",
      "Unsupported Compression", "Unsupported Compression", ""}},
    {40,
     {"Saturation=0 and Hue defined", "Saturation=0 and Hue defined",
      "Saturation=0 and Hue defined", "Saturation=0 and Hue defined",
      "Saturation=0 and Hue defined", ""}},
    {41,
     {"%S1 out of range", "%S1 out of range", "%S1 out of range", "%S1 out of range",
      "%S1 out of range", ""}},
    {42, {"OK", "OK", "OK", "OK", "OK", ""}},
    {43, {"Cancel", "Abbrechen", "Annuler", "Annuleren", "Cancelar", ""}},
    {44, {"RGB Filter", "RGB Filter", "RGB Filter", "RGB Filter", "RGB Filter", ""}},
    {45, {"R", "R", "R", "R", "R", ""}},
    {46, {"G", "G", "G", "G", "G", ""}},
    {47, {"B", "B", "B", "B", "B", ""}},
    {48, {"CMY Filter", "CMY Filter", "CMY Filter", "CMY Filter", "CMY Filter", ""}},
    {49, {"C", "C", "C", "C", "C", ""}},
    {50, {"M", "M", "M", "M", "M", ""}},
    {51, {"Y", "Y", "Y", "Y", "Y", ""}},
    {52, {"YCbCr Filter", "YCbCr Filter", "YCbCr Filter", "YCbCr Filter", "YCbCr Filter", ""}},
    {53, {"Y", "Y", "Y", "Y", "Y", ""}},
    {54, {"Cb", "Cb", "Cb", "Cb", "Cb", ""}},
    {55, {"Cr", "Cr", "Cr", "Cr", "Cr", ""}},
    {56, {"HLS Filter", "HLS Filter", "HLS Filter", "HLS Filter", "HLS Filter", ""}},
    {57, {"H", "H", "H", "H", "H", ""}},
    {58, {"L", "L", "L", "L", "L", ""}},
    {59, {"S", "S", "S", "S", "S", ""}},
    {60, {"HSV Filter", "HSV Filter", "HSV Filter", "HSV Filter", "HSV Filter", ""}},
    {61, {"V", "V", "V", "V", "V", ""}},
    {62,
     {"Negative Filter", "Negative Filter", "Negative Filter", "Negative Filter", "Negative Filter",
      ""}},
    {63, {"Gamma", "Gamma", "Gamma", "Gamma", "Gamma", ""}},
    {64, {"RGB", "RGB", "RGB", "RGB", "RGB", ""}},
    {65, {"Y", "Y", "Y", "Y", "Y", ""}},
    {66, {"Brightness", "Brightness", "Brightness", "Brightness", "Brightness", ""}},
    {67, {"Contrast", "Contrast", "Contrast", "Contrast", "Contrast", ""}},
    {68, {"Apply on", "Apply on", "Apply on", "Apply on", "Apply on", ""}},
    {69,
     {"Brightness, Contrast, Gamma Filter", "Brightness, Contrast, Gamma Filter",
      "Brightness, Contrast, Gamma Filter", "Brightness, Contrast, Gamma Filter",
      "Brightness, Contrast, Gamma Filter", ""}},
    {70,
     {"Grayscale Filter", "Grayscale Filter", "Grayscale Filter", "Grayscale Filter",
      "Grayscale Filter", ""}},
    {71, {"RGB weighting", "RGB weighting", "RGB weighting", "RGB weighting", "RGB weighting", ""}},
    {72,
     {"Std. deviation", "Std. deviation", "Std. deviation", "Std. deviation", "Std. deviation",
      ""}},
    {73, {"Strength", "Strength", "Strength", "Strength", "Strength", ""}},
    {74, {"Sharpen", "Sharpen", "Sharpen", "Sharpen", "Sharpen", ""}},
    {75, {"Detail", "Detail", "Detail", "Detail", "Detail", ""}},
    {76, {"Smooth", "Smooth", "Smooth", "Smooth", "Smooth", ""}},
    {77, {"Radius", "Radius", "Radius", "Radius", "Radius", ""}},
    {78, {"Blur", "Blur", "Blur", "Blur", "Blur", ""}},
    {79, {"Contour", "Contour", "Contour", "Contour", "Contour", ""}},
    {80, {"White", "White", "White", "White", "White", ""}},
    {81, {"Black", "Black", "Black", "Black", "Black", ""}},
    {82, {"\u00b1", "\u00b1", "\u00b1", "\u00b1", "\u00b1", ""}},
    {83, {"\u00b0", "\u00b0", "\u00b0", "\u00b0", "\u00b0", ""}},
    {84, {"", "", "", "", "", ""}},
}};

namespace {

void ReplaceFirst(std::string& text, const char* placeholder, const std::string& value) {
  auto at = text.find(placeholder);
  if (at != std::string::npos) text.replace(at, 3, value);
}

}  // namespace

std::string LangStr(int entry) {
  if (entry < 0 || entry >= PGLangStrCount) return std::string();
  const int language = PGLanguage;
  const int column = (language >= 0 && language < PGLanguageCount) ? language : 0;
  return PGLangStrEntries[entry].Texts[column];
}

std::string LangStr(int entry, const std::string& s1) {
  std::string text = LangStr(entry);
  ReplaceFirst(text, "%S1", s1);
  return text;
}

std::string LangStr(int entry, const std::string& s1, const std::string& s2) {
  std::string text = LangStr(entry, s1);
  ReplaceFirst(text, "%S2", s2);
  return text;
}

std::string LangStr(int entry, const std::string& s1, const std::string& s2,
                    const std::string& s3) {
  std::string text = LangStr(entry, s1, s2);
  ReplaceFirst(text, "%S3", s3);
  return text;
}

void CheckLangStrEntries() {
  for (int i = 0; i < PGLangStrCount; ++i) {
    if (PGLangStrEntries[i].Number != i) {
      throw EPixelGraphic("PGLangStrEntries order wrong " + std::to_string(i) + " and " +
                          std::to_string(PGLangStrEntries[i].Number) + " are not identical");
    }
  }
}

}  // namespace pgraphic
