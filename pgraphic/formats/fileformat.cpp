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

// Guards the hook while it is installed or copied; the question itself is
// asked outside the lock, so a hook may take as long as the user does.
std::mutex& QuestionHookLock() {
  static std::mutex lock;
  return lock;
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
  return LangStr(msgBlackAndWhite + static_cast<int>(r));
}

void SetQuestionHook(TPGQuestionHook hook) {
  std::lock_guard<std::mutex> hold(QuestionHookLock());
  QuestionHookStorage() = std::move(hook);
}

namespace {
thread_local TPGQuestionHook* threadQuestionHook = nullptr;
}  // namespace

TThreadQuestionHook::TThreadQuestionHook(TPGQuestionHook hook)
    : hook_(std::move(hook)), previous_(threadQuestionHook) {
  threadQuestionHook = &hook_;
}

TThreadQuestionHook::~TThreadQuestionHook() {
  threadQuestionHook = previous_;
}

bool AskUser(const std::string& caption, const std::string& text, bool withCancel) {
  if (threadQuestionHook && *threadQuestionHook)
    return (*threadQuestionHook)(caption, text, withCancel);
  TPGQuestionHook hook;
  {
    std::lock_guard<std::mutex> hold(QuestionHookLock());
    hook = QuestionHookStorage();
  }
  return hook ? hook(caption, text, withCancel) : true;
}

void TFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) {
  TUpdateScope update(graphic);
  graphic.SetGamma(PGDisplayGamma);
  ReadGraphicBody(stream, graphic, index);
}

void TFileFormatReader::ReadInfo(TStream& stream, int index, TPGFileInfo& info) {
  info = TPGFileInfo();
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
  ReadInfoBody(stream, index, info);
}

TWarningAnswer AnswerWarning(TPGWarningAction action, const std::string& caption,
                             const std::string& text) {
  switch (action) {
    case pgwaIgnore:
      return TWarningAnswer::GoOn;
    case pgwaOKBox:
      AskUser(caption, text, false);
      return TWarningAnswer::GoOn;
    case pgwaOKCancelBox:
      return AskUser(caption, text, true) ? TWarningAnswer::GoOn : TWarningAnswer::Cancelled;
    case pgwaRaise:
      break;
  }
  return TWarningAnswer::Refused;
}

bool IsUnexpectedEndWarning(const std::string& text) {
  const std::string end = LangStr(msgUnexpectedEnd);
  return text.ends_with(end) || text.find("Premature end of JPEG file") != std::string::npos;
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
  if (writers.empty()) throw EPGFileFormatWritersEmpty(LangStr(msgIsEmpty, "FileFormatWriters"));
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
  throw EPGCanWriteResolutionsEmpty(LangStr(msgIsEmpty, writer.ClassName + ".CanWriteResolutions"));
}

void ReadStreamInfo(TStream& stream, const std::string& extension, int imageIndex,
                    std::string& typeName, TPGFileInfo& info) {
  TFileFormatReader* reader = FindFileFormatReader(stream, extension);
  if (!reader) throw EPGUnknownFileFormat(LangStr(msgUnknownFileFormat));
  typeName = reader->Description;
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

std::string SizeText(int width, int height) {
  // Top-down bitmaps report a negative height; their picture is as high as its absolute value.
  return std::to_string(std::abs(int64_t{width})) + "x" + std::to_string(std::abs(int64_t{height}));
}

std::string InfoText(const std::string& typeName, const TPGFileInfo& info, int64_t fileSize) {
  std::string text = "Type: " + typeName + " " + info.SubType +
                     "; Size: " + SizeText(info.Width, info.Height) + "; Colors: " + info.Colors;
  if (fileSize >= 0) text += "; File size: " + FileSizeKbText(fileSize) + " Kb";
  return text;
}

}  // namespace pgraphic
