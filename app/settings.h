// The settings file: a private-profile INI file ("[Section]" lines and
// "Key=Value" lines) read and written with the section and key names verbatim,
// and the program's table of remembered values kept in it. The file is handled
// as bytes: every line the program does not change (other sections and keys,
// comments, blank lines, values in an encoding other than UTF-8) is written
// back byte for byte, and values are file-system text (QFile::encodeName).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace app {

class TIniFile {
 public:
  TIniFile() = default;
  explicit TIniFile(const QString& fileName);

  // Reads the file; a missing or unreadable file reads as empty.
  void Load(const QString& fileName);
  QString FileName() const { return fileName_; }

  // Section and key names match without regard to case. A value is read through
  // a 1024-character buffer, so at most 1023 characters of it are seen.
  QString ReadString(const QString& section, const QString& key, const QString& def) const;
  // Decimal, or hexadecimal after a leading "0x"/"0X"; anything else gives `def`.
  int ReadInteger(const QString& section, const QString& key, int def) const;
  bool ReadBool(const QString& section, const QString& key, bool def) const;

  // Replaces the value in place, or appends the key to its section (the section
  // to the file) when it is new. A value that reads back as `value` already is
  // left as its bytes are, so a path the program cannot spell survives.
  void WriteString(const QString& section, const QString& key, const QString& value);
  void WriteInteger(const QString& section, const QString& key, int value);
  void WriteBool(const QString& section, const QString& key, bool value);

  // Writes the whole file to a temporary file beside it and renames it over the
  // old one, so a crash or a full disk never leaves it truncated. False on failure.
  bool Save() const;
  QByteArray Bytes() const;

 private:
  // One line as it is in the file, without its line feed.
  struct Entry {
    QByteArray line;
    QByteArray key;  // for a "key=value" line, the key without blanks
    bool isPair = false;
    QByteArray Value() const;  // what follows the "=", without a carriage return
  };
  struct Section {
    QByteArray header;  // the "[name]" line as it is in the file
    QByteArray name;
    std::vector<Entry> entries;
  };
  const Entry* Find(const QString& section, const QString& key) const;
  QString fileName_;
  std::vector<Section> sections_;  // sections_[0] holds lines before any section
  bool finalLineFeed_ = true;      // whether the file's last line ended with one
};

// Parses an integer the way the settings file stores them; false when `text`
// is not a number.
bool ParseIniInteger(const QString& text, int& value);

// The longest slide interval in seconds, as its settings dialog offers.
inline constexpr int MaxSlideInterval = 10000;
// The most files the batch conversion may convert at the same time.
inline constexpr int MaxConvertJobs = 64;

// The values the program keeps in the settings file, in the order they are written,
// with the program's defaults for them (its only ones: the window starts from them).
struct TStoredSettings {
  QString OpenPath, SavePath, CompressPath, ConvertPath;
  int Left = 0, Top = 0, Width = 800, Height = 600;
  int SplitterPosition = 225;
  int ZoomIndex = 5;
  int ZoomModeIndex = 1;
  int SlideInterval = 2;
  bool SlideRepeat = false;
  bool SlideRandom = false;
  bool SlideFullScreen = false;  // the show takes the whole screen
  // Whether leaving an image with unsaved edits asks first.
  bool AskToSaveEdits = true;
  // Files the batch conversion converts at the same time; 0 is one per core.
  // Written only once it was changed, so that files without it stay as they are.
  int ConvertJobs = 0;

  // Added after the values above, in a section of its own (written once it is
  // off, or is in the file): photographs are shown upright by their orientation tag.
  bool AutoOrient = true;
};

// The four folders with `rootDir` as the default of each.
void ReadPathSettings(const TIniFile& ini, const QString& rootDir, TStoredSettings& s);
// Everything else; values missing from the file keep what `s` holds. The slide
// interval is held to what its dialog offers (at most 10000 seconds), window
// bounds and the splitter position to 16-bit screen coordinates; zoom values are
// kept as they are (one out of range is not applied and is written back).
void ReadWindowSettings(const TIniFile& ini, TStoredSettings& s);
// All keys, in the table's order.
void WriteSettings(TIniFile& ini, const TStoredSettings& s);

}  // namespace app
