// The settings file: number parsing, the INI reader and writer, and the window's
// start-up and close with and without a settings file.
#include "app/settings.h"

#include <QRegularExpression>

#include "app_fixture.h"

namespace apptest {
namespace {

struct IntegerCase {
  const char* text;
  bool ok;
  int value;
};

TEST(IniIntegerTest, DecimalAndHexadecimalOnly) {
  const IntegerCase cases[] = {
      {"16", true, 16}, {"0x10", true, 16},        {"0X1f", true, 31}, {" 7 ", true, 7},
      {"-3", true, -3}, {"abc", false, 0},         {"", false, 0},     {"12abc", false, 0},
      {"0x", false, 0}, {"99999999999", false, 0},
  };
  for (const auto& c : cases) {
    int value = 0;
    EXPECT_EQ(app::ParseIniInteger(c.text, value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

class IniFileTest : public AppTest {};

TEST_F(IniFileTest, ReadsSectionNamesWithSpacesAndKeepsOtherLines) {
  WriteText(IniPath(),
            "; my notes\n[Zoom mode]\nValue=2\n\n[Slide show]\nInterval=0x10\nRepeat=7\n"
            "Random=yes\n[Other]\nKeep=this\n");
  app::TIniFile ini(IniPath());
  EXPECT_EQ(ini.ReadInteger("Zoom mode", "Value", 1), 2);
  EXPECT_EQ(ini.ReadInteger("slide SHOW", "interval", 2), 16);
  EXPECT_TRUE(ini.ReadBool("Slide show", "Repeat", false));
  EXPECT_FALSE(ini.ReadBool("Slide show", "Random", false));  // not a number: the default
  EXPECT_EQ(ini.ReadString("Path", "Open", "root"), "root");

  ini.WriteInteger("Zoom mode", "Value", 0);
  ini.WriteString("Path", "Open", "/somewhere else");
  ASSERT_TRUE(ini.Save());
  const QString text = ReadText(IniPath());
  EXPECT_TRUE(text.startsWith("; my notes\n[Zoom mode]\nValue=0\n")) << text.toStdString();
  EXPECT_TRUE(text.contains("[Other]\nKeep=this\n"));
  EXPECT_TRUE(text.endsWith("[Path]\nOpen=/somewhere else\n"));
  EXPECT_EQ(app::TIniFile(IniPath()).ReadString("Path", "Open", ""), "/somewhere else");
}

TEST_F(IniFileTest, SaveReplacesTheFileWholeAndReportsFailure) {
  WriteText(IniPath(), "[Zoom]\nValue=3\n");
  app::TIniFile ini(IniPath());
  ini.WriteInteger("Zoom", "Value", 4);
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(ReadText(IniPath()), "[Zoom]\nValue=4\n");
  EXPECT_EQ(QDir(config).entryList(QDir::Files), QStringList({"tesslora.ini"}));

  app::TIniFile elsewhere(QDir(config).filePath("missing/tesslora.ini"));
  elsewhere.WriteInteger("Zoom", "Value", 4);
  EXPECT_FALSE(elsewhere.Save());
}

// A session reads every key and writes every key back: lines it does not
// change keep their bytes, whatever their encoding; numbers that would not fit
// are held to their range.
TEST_F(IniFileTest, ASessionKeepsTheBytesOfWhatItDoesNotChange) {
  const QByteArray keys =
      "[Window]\nLeft=10\nTop=20\nWidth=640\nHeight=480\nPosition=200\n[Zoom]\nValue=9\n"
      "[Zoom mode]\nValue=1\n";
  const QByteArray paths =
      "[Path]\r\nOpen = /home/M\xfcller \r\nSave=\"/tmp/a b\"\nCompress=/x\nConvert=/y\n";
  const struct {
    QByteArray before, after;
  } cases[] = {
      {"; notes \xe9\xff\n\n" + paths + "[Mine]\nK\xfc=\x80\x81\n; \xfe\n\n" + keys +
           "[Slide show]\nInterval=16\nRepeat=1\nRandom=0\n[Edited images]\nAsk=0",
       ""},
      {paths + keys + "[Slide show]\nInterval=2147484\nRepeat=0\nRandom=0\n",
       paths + keys + "[Slide show]\nInterval=10000\nRepeat=0\nRandom=0\n"},
      {paths + QByteArray(keys).replace("Width=640", "Width=99999999") + "[Slide show]\n",
       paths + QByteArray(keys).replace("Width=640", "Width=32767") +
           "[Slide show]\nInterval=2\nRepeat=0\nRandom=0\n"},
  };
  for (const auto& c : cases) {
    WriteText(IniPath(), c.before);
    app::TIniFile ini(IniPath());
    app::TStoredSettings stored;
    app::ReadPathSettings(ini, "/root", stored);
    app::ReadWindowSettings(ini, stored);
    app::WriteSettings(ini, stored);
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(ReadText(IniPath()).toStdString(),
              (c.after.isEmpty() ? c.before : c.after).toStdString());
  }
  // A value the program changes is written in the file system's encoding.
  app::TIniFile ini(IniPath());
  ini.WriteString("Path", "Open", "/home/Zoë");
  EXPECT_TRUE(ini.Bytes().startsWith("[Path]\r\nOpen =/home/Zo\xc3\xab\r\n"));
}

class StartupTest : public AppTest {};

TEST_F(StartupTest, NoSettingsFileGivesDefaultsAndCloseWritesEveryKeyInOrder) {
  auto& w = Start({}, false);
  EXPECT_EQ(w.Settings.OpenPath, QDir::homePath());
  EXPECT_EQ(w.Settings.ZoomIndex, 5);
  EXPECT_EQ(w.Settings.ZoomModeIndex, 1);
  EXPECT_EQ(w.Settings.SlideInterval, 2);
  EXPECT_FALSE(w.Settings.SlideRepeat || w.Settings.SlideRandom);
  EXPECT_TRUE(w.Item("N1002")->isChecked());
  EXPECT_TRUE(w.Item("Medium1")->isChecked());
  EXPECT_FALSE(w.Busy);
  EXPECT_FALSE(QFile::exists(IniPath()));  // nothing is written before closing
  w.close();

  const QString text = ReadText(IniPath());
  QStringList lines;
  for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) lines << line.section('=', 0, 0);
  EXPECT_EQ(lines,
            QStringList({"[Path]", "Open", "Save", "Compress", "Convert", "[Window]", "Left", "Top",
                         "Width", "Height", "Position", "[Zoom]", "Value", "[Zoom mode]", "Value",
                         "[Slide show]", "Interval", "Repeat", "Random"}));
  EXPECT_TRUE(text.contains("[Zoom]\nValue=5\n[Zoom mode]\nValue=1\n"));
  EXPECT_TRUE(text.contains("Repeat=0\nRandom=0\n"));
  EXPECT_TRUE(text.contains("Open=" + QDir::homePath() + "\n"));
}

struct StoredValueCase {
  const char* zoom;
  const char* mode;
  const char* interval;
  int zoomIndex, modeIndex, slideInterval;
  const char* checkedZoom;
  const char* checkedMode;
  const char* writtenBack;  // what the file holds for the two values after closing
};

TEST_F(StartupTest, StoredValuesAppliedOnlyWhenInRange) {
  const StoredValueCase cases[] = {
      {"0x2", "2", "0x10", 2, 2, 16, "Stretchtofit1", "Precise1",
       "[Zoom]\nValue=2\n[Zoom mode]\nValue=2\n"},
      {"9", "5", "x", 9, 5, 2, "N1002", "Medium1", "[Zoom]\nValue=9\n[Zoom mode]\nValue=5\n"},
      {"-1", "abc", "3", -1, 1, 3, "N1002", "Medium1", "[Zoom]\nValue=-1\n[Zoom mode]\nValue=1\n"},
  };
  for (const auto& c : cases) {
    QFile::remove(IniPath());
    WriteText(IniPath(), QString("[Path]\nOpen=%1\n[Zoom]\nValue=%2\n[Zoom mode]\nValue=%3\n"
                                 "[Slide show]\nInterval=%4\n")
                             .arg(images, c.zoom, c.mode, c.interval)
                             .toUtf8());
    auto& w = Start();
    EXPECT_EQ(w.Settings.ZoomIndex, c.zoomIndex) << c.zoom;
    EXPECT_EQ(w.Settings.ZoomModeIndex, c.modeIndex) << c.mode;
    EXPECT_EQ(w.Settings.SlideInterval, c.slideInterval) << c.interval;
    EXPECT_TRUE(w.Item(c.checkedZoom)->isChecked()) << c.zoom;
    EXPECT_TRUE(w.Item(c.checkedMode)->isChecked()) << c.mode;
    w.close();
    EXPECT_TRUE(ReadText(IniPath()).contains(c.writtenBack)) << c.zoom;
    window.reset();
  }
}

TEST_F(StartupTest, WindowBoundsAndFoldersSurviveARun) {
  auto& first = Start();
  first.Settings.SavePath = images + "/saved";
  first.resize(700, 500);
  first.PTSplitter1->SetPosition(180);
  first.close();
  window.reset();

  auto& second = Start();
  EXPECT_EQ(second.Settings.SavePath, images + "/saved");
  EXPECT_EQ(second.size(), QSize(700, 500));
  EXPECT_EQ(second.PTSplitter1->Position(), 180);
}

}  // namespace
}  // namespace apptest
