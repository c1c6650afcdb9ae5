// The reader/writer lists, format dispatch, loading and saving through them, and
// the start-up of the image library.
#include "pgraphic/formats/fileformat.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <mutex>

#include "pgraphic/formats/bmp.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/image/colorres.h"

namespace pgraphic {

namespace {

TReaderList& ReaderStorage() {
  static TReaderList list;
  return list;
}

TWriterList& WriterStorage() {
  static TWriterList list;
  return list;
}

std::unique_ptr<TFileFormatWriter>& StandaloneWriterStorage() {
  static std::unique_ptr<TFileFormatWriter> writer;
  return writer;
}

TPGQuestionHook& QuestionHookStorage() {
  static TPGQuestionHook hook;
  return hook;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string DropDot(const std::string& extension) {
  if (!extension.empty() && extension[0] == '.') return extension.substr(1);
  return extension;
}

// Order of the lists: extension compared case-insensitively.
constexpr auto kByExtension = [](const auto& a, const auto& b) {
  return Lower(a->Extension) < Lower(b->Extension);
};

template <class List>
void SortIfNeeded(List& list) {
  if (!std::is_sorted(list.begin(), list.end(), kByExtension)) {
    std::stable_sort(list.begin(), list.end(), kByExtension);
  }
}

// Inserts behind every entry that does not sort after it, so entries of the
// same extension keep the order of registration.
template <class List, class Entry>
void InsertSorted(List& list, Entry entry) {
  auto at = std::upper_bound(list.begin(), list.end(), entry, kByExtension);
  list.insert(at, std::move(entry));
}

// Fallback rows: for each current resolution, the order in which the
// resolutions a writer might store are tried.
constexpr uint8_t kFallback[8][8] = {
    {0, 1, 2, 3, 4, 5, 6, 7}, {1, 4, 6, 7, 3, 0, 2, 5}, {2, 4, 5, 6, 7, 3, 0, 1},
    {3, 4, 6, 7, 2, 5, 0, 1}, {4, 6, 7, 3, 2, 5, 0, 1}, {5, 6, 7, 2, 4, 3, 0, 1},
    {6, 7, 4, 3, 5, 2, 0, 1}, {7, 6, 4, 3, 5, 2, 0, 1},
};

// Writes `graphic` with `writer` after the colour-resolution fallback and the
// warning action; `write` does the actual writing of the image it is given.
void SaveThroughWriter(TPixelGraphic& graphic, const std::string& extension,
                       const std::function<void(TFileFormatWriter&, TPixelGraphic&)>& write) {
  TFileFormatWriter* writer = FindFileFormatWriter(extension);
  if (!writer) throw EPGUnknownExtension(LangStr(19, Lower(DropDot(extension))));
  graphic.ClassifyPalette();
  const TPGColorResolution current = CurrentColorResolution(graphic);
  const TPGColorResolution target = SaveColorResolution(*writer, current);
  if (target == current) {
    write(*writer, graphic);
    return;
  }
  bool goOn = false;
  switch (graphic.SaveColorResWarningAction()) {
    case pgwaIgnore:
      goOn = true;
      break;
    case pgwaOKBox:
    case pgwaOKCancelBox: {
      const bool withCancel = graphic.SaveColorResWarningAction() == pgwaOKCancelBox;
      const std::string text = LangStr(17, writer->Description, ColorResolutionName(current),
                                       ColorResolutionName(target));
      const bool ok = AskUser(LangStr(28), text, withCancel);
      goOn = ok || !withCancel;
      break;
    }
    case pgwaRaise:
      goOn = false;
      break;
  }
  if (!goOn) {
    throw EPGCannotWriteColorRes(LangStr(18, writer->Description, ColorResolutionName(current)));
  }
  std::unique_ptr<TPixelGraphic> temp = ConvertToColorResolution(graphic, target);
  temp->OnProgress = graphic.OnProgress;
  temp->OnProgressStart = graphic.OnProgressStart;
  temp->OnProgressEnd = graphic.OnProgressEnd;
  temp->ClassifyPalette();
  write(*writer, *temp);
}

void Startup() {
  CheckLangStrEntries();
  PGLanguage = 0;
  // The unit-wide settings carry their defaults from static initialisation, so a
  // value set before the first library call is not overwritten here.
  StandaloneWriterStorage() = std::make_unique<TBMPFileFormatWriter>();
  TReaderList readers;
  TWriterList writers;
  RegisterFileFormats(readers, writers);
  for (auto& r : readers) InsertSorted(ReaderStorage(), std::move(r));
  for (auto& w : writers) InsertSorted(WriterStorage(), std::move(w));
  CheckFormatLibraries();
}

}  // namespace

std::string FileExtension(const std::string& fileName) {
  return Lower(DropDot(std::filesystem::path(fileName).extension().string()));
}

void PGraphicStartup() {
  static std::once_flag once;
  std::call_once(once, Startup);
}

TReaderList& FileFormatReaders() {
  PGraphicStartup();
  return ReaderStorage();
}

TWriterList& FileFormatWriters() {
  PGraphicStartup();
  return WriterStorage();
}

void RegisterFileFormatReader(std::unique_ptr<TFileFormatReader> reader) {
  InsertSorted(FileFormatReaders(), std::move(reader));
}

void RegisterFileFormatWriter(std::unique_ptr<TFileFormatWriter> writer) {
  InsertSorted(FileFormatWriters(), std::move(writer));
}

void SortReadersIfNeeded() {
  SortIfNeeded(FileFormatReaders());
}
void SortWritersIfNeeded() {
  SortIfNeeded(FileFormatWriters());
}

TFileFormatWriter& StandaloneBMPWriter() {
  PGraphicStartup();
  return *StandaloneWriterStorage();
}

std::string ColorResolutionName(TPGColorResolution r) {
  return LangStr(8 + static_cast<int>(r));
}

void SetQuestionHook(TPGQuestionHook hook) {
  QuestionHookStorage() = std::move(hook);
}

bool AskUser(const std::string& caption, const std::string& text, bool withCancel) {
  const TPGQuestionHook& hook = QuestionHookStorage();
  return hook ? hook(caption, text, withCancel) : true;
}

TFileFormatReader* FindFileFormatReader(TStream& stream, const std::string& extension) {
  try {
    const std::string ext = Lower(DropDot(extension));
    TFileFormatReader::THeader header{};
    const int64_t at = stream.Position();
    try {
      stream.Read(header.data(), header.size());
    } catch (...) {
      stream.Seek(at);
      throw;
    }
    stream.Seek(at);
    const TReaderList& readers = FileFormatReaders();
    for (auto& reader : readers) {
      if (reader->SignatureCheck && reader->IsFormat(header)) return reader.get();
    }
    if (!ext.empty()) {
      for (auto& reader : readers) {
        if (!reader->SignatureCheck && Lower(reader->Extension) == ext) return reader.get();
      }
    }
  } catch (...) {
  }
  return nullptr;
}

TFileFormatWriter* FindFileFormatWriter(const std::string& extension) {
  const std::string ext = Lower(DropDot(extension));
  const TWriterList& writers = FileFormatWriters();
  if (writers.empty()) throw EPGFileFormatWritersEmpty(LangStr(16, "FileFormatWriters"));
  for (auto& writer : writers) {
    if (Lower(writer->Extension) == ext) return writer.get();
  }
  return nullptr;
}

TPGColorResolution SaveColorResolution(const TFileFormatWriter& writer,
                                       TPGColorResolution current) {
  for (uint8_t r : kFallback[current & 7]) {
    if (writer.CanWrite(static_cast<TPGColorResolution>(r))) {
      return static_cast<TPGColorResolution>(r);
    }
  }
  throw EPGCanWriteResolutionsEmpty(LangStr(16, writer.ClassName + ".CanWriteResolutions"));
}

void ReadStreamInfo(TStream& stream, const std::string& extension, int imageIndex,
                    std::string& typeName, TPGFileInfo& info) {
  TFileFormatReader* reader = FindFileFormatReader(stream, extension);
  if (!reader) throw EPGUnknownFileFormat(LangStr(6));
  typeName = reader->Description;
  const int64_t at = stream.Position();
  struct Restore {
    TStream& s;
    int64_t at;
    ~Restore() {
      try {
        s.Seek(at);
      } catch (...) {
      }
    }
  } restore{stream, at};
  reader->ReadInfo(stream, imageIndex, info);
}

bool GetStreamInfo(TStream& stream, const std::string& extension, int imageIndex,
                   std::string& typeName, TPGFileInfo& info) {
  typeName.clear();
  info.Count = 0;
  info.BitsPerPixel = 0;
  info.Colors.clear();
  info.Height = 0;
  info.Width = 0;
  info.Extra.clear();
  info.SubType.clear();
  try {
    ReadStreamInfo(stream, extension, imageIndex, typeName, info);
    return true;
  } catch (...) {
    return false;
  }
}

bool GetFileInfo(const std::string& fileName, int imageIndex, std::string& typeName,
                 TPGFileInfo& info) {
  try {
    std::error_code ec;
    if (fileName.empty() || !std::filesystem::exists(fileName, ec)) return false;
    TFileStream stream(fileName, TFileStream::fmOpenRead);
    return GetStreamInfo(stream, FileExtension(fileName), imageIndex, typeName, info);
  } catch (...) {
    return false;
  }
}

std::string FileSizeKbText(int64_t bytes) {
  // Tenths of a kilobyte, rounded half to even; then printed in the shortest form.
  const long double tenths = std::nearbyint(static_cast<long double>(bytes) * 0.009765625L);
  const long long t = static_cast<long long>(tenths);
  std::string text = std::to_string(t / 10);
  if (t % 10 != 0) {
    text += '.';
    text += static_cast<char>('0' + t % 10);
  }
  return text;
}

std::string InfoText(const std::string& typeName, const TPGFileInfo& info, int64_t fileSize) {
  std::string text = "Type: " + typeName + " " + info.SubType +
                     "; Size: " + std::to_string(info.Width) + "x" + std::to_string(info.Height) +
                     "; Colors: " + info.Colors;
  if (fileSize >= 0) text += "; File size: " + FileSizeKbText(fileSize) + " Kb";
  return text;
}

// ---- Loading and saving of TPixelGraphic ---------------------------------------

void TPixelGraphic::LoadFromStreamExt(TStream& stream, const std::string& extension,
                                      int imageIndex) {
  BeginUpdate();
  struct EndGuard {
    TPixelGraphic& g;
    ~EndGuard() { g.EndUpdate(); }
  } guard{*this};
  SetSize(0, 0, pf24Bit);
  SetPaletteCount(0);
  SetPaletteIdent(pTrueColor);
  // The gamma settings as they are when the load starts.
  const long double displayGamma = PGDisplayGamma;
  const bool correctGamma = PGCorrectGammaOnLoad;
  gamma_ = displayGamma;
  TFileFormatReader* reader = FindFileFormatReader(stream, extension);
  if (!reader) throw EPGUnknownFileFormat(LangStr(6));
  reader->ReadGraphic(stream, *this, imageIndex);

  if (correctGamma && displayGamma > 0 && std::fabs(gamma_ / displayGamma - 1.0L) > 0.05L) {
    uint8_t table[256];
    const long double exponent = gamma_ / displayGamma;
    for (int i = 0; i < 256; ++i) {
      long double v = std::nearbyint(255.0L * std::pow(i / 255.0L, exponent));
      table[i] = static_cast<uint8_t>(std::clamp<long double>(v, 0, 255));
    }
    if (pixelFormat_ == pf24Bit) {
      const size_t rowBytes = 3 * static_cast<size_t>(width_);
      for (int y = 0; y < height_; ++y) {
        uint8_t* row = ScanLine(y);
        for (size_t i = 0; i < rowBytes; ++i) row[i] = table[row[i]];
      }
    } else if (paletteCount_ > 0 && paletteIdent_ != pTrueColor && paletteIdent_ != pNone) {
      for (int i = 0; i < paletteCount_; ++i) {
        const TRGB c = palette_[i];
        SetPaletteColor(i, RGB(table[GetR(c)], table[GetG(c)], table[GetB(c)]));
      }
    }
    gamma_ = displayGamma;
  }
  ClassifyPalette();
}

void TPixelGraphic::LoadFromStream(TStream& stream) {
  LoadFromStreamExt(stream, "", 0);
}

void TPixelGraphic::LoadFromFile(const std::string& fileName, int imageIndex) {
  TFileStream stream(fileName, TFileStream::fmOpenRead);
  LoadFromStreamExt(stream, FileExtension(fileName), imageIndex);
}

void TPixelGraphic::SaveToStream(TStream& stream) {
  StandaloneBMPWriter().WriteGraphic(stream, *this);
}

void TPixelGraphic::SaveToStreamExt(TStream& stream, const std::string& extension) {
  SaveThroughWriter(*this, extension, [&stream](TFileFormatWriter& writer, TPixelGraphic& g) {
    writer.WriteGraphic(stream, g);
  });
}

void TPixelGraphic::SaveToFile(const std::string& fileName) {
  SaveThroughWriter(
      *this, FileExtension(fileName), [&fileName](TFileFormatWriter& writer, TPixelGraphic& g) {
        SaveFileSafely(fileName, [&](TStream& stream) { writer.WriteGraphic(stream, g); });
      });
}

void TPixelGraphic::ReadData(TStream& stream) {
  uint8_t b[4] = {0, 0, 0, 0};
  stream.Read(b, 4);
  const uint32_t length = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
  const int64_t at = stream.Position();
  LoadFromStreamExt(stream, "bmp", 0);
  stream.Seek(at + length);
}

void TPixelGraphic::WriteData(TStream& stream) {
  const int64_t start = stream.Position();
  const uint8_t zero[4] = {0, 0, 0, 0};
  stream.WriteBuffer(zero, 4);
  SaveToStream(stream);
  const int64_t end = stream.Position();
  const uint32_t length = static_cast<uint32_t>(end - (start + 4));
  const uint8_t b[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                        static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
  stream.Seek(start);
  stream.WriteBuffer(b, 4);
  stream.Seek(end);
}

}  // namespace pgraphic
