#include "app/settings.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>
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

TIniFile::TIniFile(const QString& fileName) { Load(fileName); }

void TIniFile::Load(const QString& fileName) {
  fileName_ = fileName;
  sections_.assign(1, Section{});
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return;
  QTextStream in(&file);
  while (!in.atEnd()) {
    const QString line = in.readLine();
    const QString t = line.trimmed();
    if (t.startsWith('[') && t.endsWith(']')) {
      sections_.push_back(Section{t.mid(1, t.size() - 2).trimmed(), {}});
      continue;
    }
    const int eq = line.indexOf('=');
    if (eq < 0 || t.startsWith(';'))
      sections_.back().entries.push_back(Entry{line, QString(), false});
    else
      sections_.back().entries.push_back(Entry{line.left(eq).trimmed(), line.mid(eq + 1), true});
  }
}

const TIniFile::Entry* TIniFile::Find(const QString& section, const QString& key) const {
  for (size_t s = 1; s < sections_.size(); ++s) {
    if (sections_[s].name.compare(section, Qt::CaseInsensitive) != 0) continue;
    for (const auto& e : sections_[s].entries)
      if (e.isPair && e.key.compare(key, Qt::CaseInsensitive) == 0) return &e;
  }
  return nullptr;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
  const Entry* e = Find(section, key);
  if (!e) return def;
  QString v = e->value.trimmed();
  // A value in matching quotes is read without them.
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.mid(1, v.size() - 2);
  return v.left(ValueBuffer - 1);
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
  Section* target = nullptr;
  for (size_t s = 1; s < sections_.size() && !target; ++s)
    if (sections_[s].name.compare(section, Qt::CaseInsensitive) == 0) target = &sections_[s];
  if (!target) target = &sections_.emplace_back(Section{section, {}});
  for (auto& e : target->entries) {
    if (e.isPair && e.key.compare(key, Qt::CaseInsensitive) == 0) {
      e.value = value;
      return;
    }
  }
  // New keys go after the section's last key, before trailing blank lines.
  auto at = target->entries.end();
  while (at != target->entries.begin() && !(at - 1)->isPair && (at - 1)->key.trimmed().isEmpty())
    --at;
  target->entries.insert(at, Entry{key, value, true});
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
  WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
  WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QString TIniFile::Text() const {
  QString text;
  for (size_t s = 0; s < sections_.size(); ++s) {
    if (s > 0) text += '[' + sections_[s].name + "]\n";
    for (const auto& e : sections_[s].entries)
      text += e.isPair ? e.key + '=' + e.value + '\n' : e.key + '\n';
  }
  return text;
}

bool TIniFile::Save() const {
  QSaveFile file(fileName_);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
  const QByteArray bytes = Text().toUtf8();
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
  s.Left = ini.ReadInteger("Window", "Left", s.Left);
  s.Top = ini.ReadInteger("Window", "Top", s.Top);
  s.Width = ini.ReadInteger("Window", "Width", s.Width);
  s.Height = ini.ReadInteger("Window", "Height", s.Height);
  s.SplitterPosition = ini.ReadInteger("Window", "Position", s.SplitterPosition);
  s.ZoomIndex = ini.ReadInteger("Zoom", "Value", s.ZoomIndex);
  s.ZoomModeIndex = ini.ReadInteger("Zoom mode", "Value", s.ZoomModeIndex);
  s.SlideInterval = ini.ReadInteger("Slide show", "Interval", s.SlideInterval);
  s.SlideRepeat = ini.ReadBool("Slide show", "Repeat", s.SlideRepeat);
  s.SlideRandom = ini.ReadBool("Slide show", "Random", s.SlideRandom);
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
}

}  // namespace app
