#include "app/settings.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <climits>

namespace app {

namespace {
constexpr int ValueBuffer = 1024;
}

bool ParseIniInteger(const QString& text, int& value) {
  const QString t = text.trimmed();
  bool ok = false;
  qlonglong v = 0;
  if (t.startsWith("0x", Qt::CaseInsensitive))
    v = t.mid(2).toLongLong(&ok, 16);
  else if (t.startsWith('$'))
    v = t.mid(1).toLongLong(&ok, 16);
  else
    v = t.toLongLong(&ok, 10);
  if (!ok || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

TIniFile::TIniFile(const QString& fileName) {
  Load(fileName);
}

QByteArray TIniFile::Entry::Value() const {
  QByteArray value = line.mid(line.indexOf('=') + 1);
  if (value.endsWith('\r')) value.chop(1);
  return value;
}

void TIniFile::Load(const QString& fileName) {
  fileName_ = fileName;
  sections_.assign(1, Section{});
  finalLineFeed_ = true;
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return;
  const QByteArray bytes = file.readAll();
  QList<QByteArray> lines = bytes.split('\n');
  // The piece after the last line feed is empty unless the last line has none.
  finalLineFeed_ = lines.back().isEmpty();
  if (finalLineFeed_) lines.removeLast();
  for (const QByteArray& line : lines) {
    const QByteArray t = line.trimmed();
    if (t.startsWith('[') && t.endsWith(']')) {
      sections_.push_back(Section{line, t.mid(1, t.size() - 2).trimmed(), {}});
      continue;
    }
    const int eq = line.indexOf('=');
    if (eq < 0 || t.startsWith(';'))
      sections_.back().entries.push_back(Entry{line, {}, false});
    else
      sections_.back().entries.push_back(Entry{line, line.left(eq).trimmed(), true});
  }
}

const TIniFile::Entry* TIniFile::Find(const QString& section, const QString& key) const {
  const QByteArray sectionName = section.toUtf8(), keyName = key.toUtf8();
  for (size_t s = 1; s < sections_.size(); ++s) {
    if (sections_[s].name.compare(sectionName, Qt::CaseInsensitive) != 0) continue;
    for (const auto& e : sections_[s].entries)
      if (e.isPair && e.key.compare(keyName, Qt::CaseInsensitive) == 0) return &e;
  }
  return nullptr;
}

namespace {
// A value as the program sees it: blanks around it and matching quotes are
// dropped, and at most 1023 characters are read.
QString ReadValue(const QByteArray& bytes) {
  QString v = QFile::decodeName(bytes.trimmed());
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.mid(1, v.size() - 2);
  return v.left(ValueBuffer - 1);
}
}  // namespace

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
  const Entry* e = Find(section, key);
  return e ? ReadValue(e->Value()) : def;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const {
  int v = 0;
  return ParseIniInteger(ReadString(section, key, QString()), v) ? v : def;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
  if (sections_.empty()) sections_.assign(1, Section{});
  const QByteArray sectionName = section.toUtf8(), keyName = key.toUtf8();
  Section* target = nullptr;
  for (size_t s = 1; s < sections_.size() && !target; ++s)
    if (sections_[s].name.compare(sectionName, Qt::CaseInsensitive) == 0) target = &sections_[s];
  if (!target) target = &sections_.emplace_back(Section{'[' + sectionName + ']', sectionName, {}});
  for (auto& e : target->entries) {
    if (e.isPair && e.key.compare(keyName, Qt::CaseInsensitive) == 0) {
      if (ReadValue(e.Value()) == value) return;
      const bool carriageReturn = e.line.endsWith('\r');
      e.line = e.line.left(e.line.indexOf('=') + 1) + QFile::encodeName(value);
      if (carriageReturn) e.line += '\r';
      return;
    }
  }
  // New keys go after the section's last key, before trailing blank lines.
  auto at = target->entries.end();
  while (at != target->entries.begin() && !(at - 1)->isPair && (at - 1)->line.trimmed().isEmpty())
    --at;
  target->entries.insert(at, Entry{keyName + '=' + QFile::encodeName(value), keyName, true});
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
  WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
  WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QByteArray TIniFile::Bytes() const {
  QByteArray bytes;
  for (size_t s = 0; s < sections_.size(); ++s) {
    if (s > 0) bytes += sections_[s].header + '\n';
    for (const auto& e : sections_[s].entries) bytes += e.line + '\n';
  }
  if (!finalLineFeed_ && bytes.endsWith('\n')) bytes.chop(1);
  return bytes;
}

bool TIniFile::Save() const {
  QSaveFile file(fileName_);
  if (!file.open(QIODevice::WriteOnly)) return false;
  const QByteArray bytes = Bytes();
  if (file.write(bytes) != bytes.size()) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

void ReadPathSettings(const TIniFile& ini, const QString& rootDir, TStoredSettings& s) {
  s.OpenPath = ini.ReadString("Path", "Open", rootDir);
  s.SavePath = ini.ReadString("Path", "Save", rootDir);
  s.CompressPath = ini.ReadString("Path", "Compress", rootDir);
  s.ConvertPath = ini.ReadString("Path", "Convert", rootDir);
}

void ReadWindowSettings(const TIniFile& ini, TStoredSettings& s) {
  // Screen coordinates fit in 16 bits; larger ones would overflow the window's geometry.
  const auto coordinate = [&](const char* key, int def, int low) {
    return std::clamp(ini.ReadInteger("Window", key, def), low, 32767);
  };
  s.Left = coordinate("Left", s.Left, -32768);
  s.Top = coordinate("Top", s.Top, -32768);
  s.Width = coordinate("Width", s.Width, 0);
  s.Height = coordinate("Height", s.Height, 0);
  s.SplitterPosition = coordinate("Position", s.SplitterPosition, 0);
  s.ZoomIndex = ini.ReadInteger("Zoom", "Value", s.ZoomIndex);
  s.ZoomModeIndex = ini.ReadInteger("Zoom mode", "Value", s.ZoomModeIndex);
  // Seconds; the timer counts milliseconds in an int. Values of 0 or less mean
  // one second where the timer is set and stay as they are.
  s.SlideInterval =
      std::min(ini.ReadInteger("Slide show", "Interval", s.SlideInterval), MaxSlideInterval);
  s.SlideRepeat = ini.ReadBool("Slide show", "Repeat", s.SlideRepeat);
  s.SlideRandom = ini.ReadBool("Slide show", "Random", s.SlideRandom);
  s.SlideFullScreen = ini.ReadBool("Slide show", "FullScreen", s.SlideFullScreen);
  s.AskToSaveEdits = ini.ReadBool("Edited images", "Ask", s.AskToSaveEdits);
  s.ConvertJobs =
      std::clamp(ini.ReadInteger("Batch conversion", "Jobs", s.ConvertJobs), 0, MaxConvertJobs);

  s.AutoOrient = ini.ReadBool("Orientation tag", "Apply", s.AutoOrient);
}

void WriteSettings(TIniFile& ini, const TStoredSettings& s) {
  ini.WriteString("Path", "Open", s.OpenPath);
  ini.WriteString("Path", "Save", s.SavePath);
  ini.WriteString("Path", "Compress", s.CompressPath);
  ini.WriteString("Path", "Convert", s.ConvertPath);
  ini.WriteInteger("Window", "Left", s.Left);
  ini.WriteInteger("Window", "Top", s.Top);
  ini.WriteInteger("Window", "Width", s.Width);
  ini.WriteInteger("Window", "Height", s.Height);
  ini.WriteInteger("Window", "Position", s.SplitterPosition);
  ini.WriteInteger("Zoom", "Value", s.ZoomIndex);
  ini.WriteInteger("Zoom mode", "Value", s.ZoomModeIndex);
  ini.WriteInteger("Slide show", "Interval", s.SlideInterval);
  ini.WriteBool("Slide show", "Repeat", s.SlideRepeat);
  ini.WriteBool("Slide show", "Random", s.SlideRandom);
  // Written once switched on, so a file that never had it keeps its bytes.
  if (s.SlideFullScreen || !ini.ReadString("Slide show", "FullScreen", "").isEmpty())
    ini.WriteBool("Slide show", "FullScreen", s.SlideFullScreen);
  // Written once switched off, so a file that never had it keeps its bytes.
  if (!s.AskToSaveEdits || !ini.ReadString("Edited images", "Ask", "").isEmpty())
    ini.WriteBool("Edited images", "Ask", s.AskToSaveEdits);
  if (s.ConvertJobs != 0 || !ini.ReadString("Batch conversion", "Jobs", "").isEmpty())
    ini.WriteInteger("Batch conversion", "Jobs", s.ConvertJobs);

  // Written once it is off or is in the file already: a file that holds the
  // keys above and nothing else is left byte for byte while the default holds.
  if (!s.AutoOrient || ini.ReadInteger("Orientation tag", "Apply", INT_MIN) != INT_MIN)
    ini.WriteBool("Orientation tag", "Apply", s.AutoOrient);
}

}  // namespace app
