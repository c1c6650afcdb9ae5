// The main window: its command table, opening files, undo of zoom and zoom mode,
// saving a copy with the JPEG quality question, help and About.
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QSlider>
#include <QTextBrowser>

#include "app/about.h"
#include "app/commands.h"
#include "app/convers.h"
#include "app/help.h"
#include "app/jquality.h"
#include "app/my_open.h"
#include "app/quality.h"
#include "app/startup.h"
#include "app_fixture.h"
#include "io/files.h"
#include "support/peer_image.h"

namespace apptest {
namespace {

TEST(CommandLineTest, HelpVersionAndUsageErrors) {
  using Action = app::TCommandLine::Action;
  const struct {
    QStringList args;
    Action what;
    QStringList files;
  } cases[] = {
      {{}, Action::Run, {}},
      {{"a.png", "b.png"}, Action::Run, {"a.png", "b.png"}},
      {{"--help"}, Action::Help, {}},
      {{"a.png", "-h"}, Action::Help, {}},
      {{"--version"}, Action::Version, {}},
      {{"--frobnicate"}, Action::UsageError, {}},
      {{"--", "-odd-name.png"}, Action::Run, {"-odd-name.png"}},
  };
  for (const auto& c : cases) {
    const auto line = app::ParseCommandLine(c.args);
    EXPECT_EQ(line.What, c.what) << c.args.join(' ').toStdString();
    if (c.what == Action::Run) {
      EXPECT_EQ(line.Files, c.files);
    }
    if (c.what == Action::UsageError) {
      EXPECT_EQ(line.Message.find('\n'), std::string::npos);
      EXPECT_NE(line.Message.find("korvane --help"), std::string::npos);
    }
  }
}

class MainWindowTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    WriteImage(Image("a.bmp"), 40, 30);
    WriteImage(Image("b.png"), 48, 32);
    WriteImage(Image("c.VQN"), 64, 48);
    WriteText(Image("d.png"), "not a picture at all");
  }
};

TEST_F(MainWindowTest, EveryCommandExistsWithItsHandlerInMenuOrder) {
  auto& w = Start();
  for (const auto& def : app::MainMenuItems()) {
    if (QString(def.Caption) == "-") continue;
    QAction* item = w.Item(def.Name);
    ASSERT_NE(item, nullptr) << def.Name;
    EXPECT_EQ(item->text(), def.Caption);
    EXPECT_EQ(item->shortcut(), QKeySequence(def.Shortcut)) << def.Name;
    if (!def.Submenu) {
      EXPECT_NE(def.Handler, nullptr) << def.Name;
    }
  }
  for (const auto& def : app::ToolButtons()) {
    if (QString(def.Name) != "-") {
      EXPECT_NE(def.Handler, nullptr) << def.Name;
    }
  }

  QStringList titles;
  for (QAction* a : w.menuBar()->actions())
    if (a->isVisible()) titles << a->text();
  EXPECT_EQ(titles,
            QStringList({"&File", "&Edit", "&Image", "&Slide show", "Fi&lter", "&View", "&Help"}));
  QStringList popup;
  for (QAction* a : w.PopupMenu1->actions()) popup << a->text();
  EXPECT_EQ(popup, QStringList({"&Zoom", "Zoom Mo&de", "&Mirror Image/Selection", "&Rotate Image",
                                "Image &Size...", "&Color Resolution", "Co&py to Clipboard",
                                "&Undo Last", "&About..."}));
  EXPECT_EQ(w.windowTitle(), "Korvane v3.52");
  EXPECT_EQ(w.Button("SB17")->toolTip(), "Next Image");
  EXPECT_EQ(w.Button("SB9")->size(), QSize(35, 36));
}

TEST_F(MainWindowTest, StartsWithImageCommandsDisabled) {
  auto& w = Start();
  for (const char* name : {"Saveas1", "Compress11", "Print1", "U1", "N10", "C5", "ImS1", "C4",
                           "RGB1", "C3", "Zoom1", "Stretchmode1", "N19", "S5"})
    EXPECT_FALSE(w.Item(name)->isEnabled()) << name;
  for (const char* name : {"Open1", "N17", "Exit1", "S6", "About1", "Help2"})
    EXPECT_TRUE(w.Item(name)->isEnabled()) << name;
  EXPECT_TRUE(w.Button("SB1")->isEnabled());
  EXPECT_TRUE(w.Button("SB3")->isEnabled());
  EXPECT_FALSE(w.Button("SB2")->isEnabled());
  EXPECT_FALSE(w.Button("SB17")->isEnabled());
}

struct OpenCase {
  const char* file;
  bool shown;
  const char* statusStart;
};

TEST_F(MainWindowTest, CommandLineMissingFileOrFolderShowsNothing) {
  QDir(images).mkdir("sub");
  for (const QString arg : {"sub/gone.png", "no/gone.png", "sub"}) {
    auto& w = Start({arg});
    EXPECT_EQ(w.PTSList1->Folder(), arg.startsWith("no") ? images : Image("sub"));
    EXPECT_EQ(w.StatusText(), arg.endsWith(".png") ? "File not found: \"" + Image(arg) + '"' : "");
    EXPECT_EQ(w.windowTitle(), "Korvane v3.52");
    EXPECT_FALSE(w.Shown.Loaded || w.Panel1Caption->isVisible() || w.Item("Saveas1")->isEnabled());
  }
}

TEST_F(MainWindowTest, CommandLineFileOpensWithTheBrowserShowingIt) {
  const OpenCase cases[] = {
      {"a.bmp", true, "Type: "},
      {"c.VQN", true, "Type: VQN, Wavelet 3.0; Size: 64x48; Colors: 16.7M; File size: "},
      {"d.png", false, ""},
  };
  for (const auto& c : cases) {
    auto& w = Start({c.file});
    const QString path = Image(c.file);
    EXPECT_EQ(w.Shown.FileName, path);
    EXPECT_EQ(w.PTSList1->Folder(), images);
    EXPECT_EQ(w.PTSList1->ItemPath(w.PTSList1->SelectedIndex()), path);
    EXPECT_EQ(w.windowTitle(), "Korvane v3.52 - " + path);
    EXPECT_EQ(w.Shown.Loaded, c.shown) << c.file;
    if (c.shown) {
      EXPECT_TRUE(w.StatusText().startsWith(c.statusStart)) << w.StatusText().toStdString();
    } else {
      EXPECT_TRUE(w.StatusText().isEmpty());
    }
    EXPECT_EQ(w.Panel1Caption->isVisible(), !c.shown);
    EXPECT_EQ(w.Panel1Caption->text(), "Sorry, the image can't be viewed");
    EXPECT_EQ(w.Item("Saveas1")->isEnabled(), c.shown);
    EXPECT_EQ(w.Button("SB14")->isEnabled(), c.shown);
    EXPECT_EQ(w.PopupAttached(), c.shown);
    EXPECT_FALSE(w.Item("U1")->isEnabled());
    EXPECT_FALSE(w.StartFileGiven);
    w.close();
    window.reset();
  }
}

TEST_F(MainWindowTest, CancellingOpenKeepsTheImageButClearsTheName) {
  auto& w = Start({"a.bmp"});
  w.Item("N2002")->trigger();  // arms Undo
  ASSERT_TRUE(w.Item("U1")->isEnabled());
  WhenModal<app::TForm6>([](app::TForm6* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Open");
    Click(dialog->Button2);
  });
  w.Item("Open1")->trigger();
  EXPECT_TRUE(w.Shown.FileName.isEmpty());
  EXPECT_TRUE(w.Shown.Loaded);
  EXPECT_NE(w.PGImage1->Graphic(), nullptr);
  EXPECT_TRUE(w.Shown.UndoBlocked);
  EXPECT_FALSE(w.Item("U1")->isEnabled());
  EXPECT_TRUE(w.Item("Saveas1")->isEnabled());
}

struct UndoCase {
  const char* first;
  const char* second;
  const char* restored;  // item checked after one Undo
  app::TUndoKind kind;
};

TEST_F(MainWindowTest, UndoRestoresZoomOrZoomModeOnce) {
  const UndoCase cases[] = {
      {"N2002", "N502", "N2002", app::TUndoKind::Zoom},
      {"ShrinktoFit1", "N3002", "ShrinktoFit1", app::TUndoKind::Zoom},
      {"Precise1", "Fast1", "Precise1", app::TUndoKind::ZoomMode},
  };
  auto& w = Start({"a.bmp"});
  for (const auto& c : cases) {
    w.Item(c.first)->trigger();
    w.Item(c.second)->trigger();
    EXPECT_EQ(w.Shown.UndoKind, c.kind);
    EXPECT_TRUE(w.Button("SB9")->isEnabled());
    Click(w.Button("SB9"));
    EXPECT_TRUE(w.Item(c.restored)->isChecked()) << c.restored;
    EXPECT_FALSE(w.Item("U1")->isEnabled());
    EXPECT_FALSE(w.Button("SB9")->isEnabled());
    w.Item(c.second)->trigger();  // the second Undo in a row does nothing
    w.U1Click();
    w.U1Click();
    EXPECT_TRUE(w.Item(c.restored)->isChecked());
  }
  // The pop-up twins follow the main menu.
  EXPECT_TRUE(w.Item("Precise2")->isChecked());
  EXPECT_TRUE(w.Item("ShrinktoFit2")->isChecked());
  EXPECT_EQ(w.PGImage1->StretchMode(), pgraphic::smPrecise);
}

struct SaveCase {
  const char* name;
  bool asksQuality;
  bool qualityOk;
  bool saved;
};

TEST_F(MainWindowTest, SaveCopyAsksForJpegQualityOnlyForLowerCaseJpg) {
  const SaveCase cases[] = {
      {"copy.Jpg", false, false, true},
      {"copy.jpg", true, false, false},
      {"copy2.jpg", true, true, true},
      {"copy.png", false, false, true},
  };
  auto& w = Start({"a.bmp"});
  w.Settings.SavePath = images;
  for (const auto& c : cases) {
    bool asked = false;
    WhenModal<app::TForm6>([&](app::TForm6* dialog) {
      EXPECT_EQ(dialog->windowTitle(), "Save copy as");
      dialog->FilterComboBox1->SetItemIndex(QString(c.name).endsWith("png") ? 4 : 1);
      dialog->Edit1->setText(c.name);
      if (c.asksQuality) {
        WhenModal<app::TForm4>([&](app::TForm4* quality) {
          asked = true;
          Click(c.qualityOk ? quality->OkButton : quality->CancelButton);
        });
      }
      Click(dialog->Button1);
    });
    w.Item("Saveas1")->trigger();
    EXPECT_EQ(asked, c.asksQuality) << c.name;
    EXPECT_EQ(QFile::exists(Image(c.name)), c.saved) << c.name;
    EXPECT_FALSE(w.Busy);
  }
  EXPECT_EQ(w.Settings.SavePath, images);
  EXPECT_EQ(w.QualityValue, 75);
}

TEST_F(MainWindowTest, JpegQualityOpensAt75ThenAtTheLastChoice) {
  auto& w = Start();
  const struct {
    Qt::Key key;
    bool ok;
    int shownAtStart;
    int result;
  } steps[] = {
      {Qt::Key_PageUp, true, 75, 85},
      {Qt::Key_Left, false, 85, -1},
      {Qt::Key_End, true, 75, 95},
  };
  for (const auto& s : steps) {
    WhenModal<app::TForm4>([&](app::TForm4* dialog) {
      EXPECT_EQ(dialog->windowTitle(), "JPEG quality");
      EXPECT_EQ(dialog->TrBar1->value(), s.shownAtStart);
      QTest::keyClick(dialog->TrBar1, s.key);
      if (s.ok)
        Click(dialog->OkButton);
      else
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    w.Form4->exec();
    EXPECT_EQ(w.QualityValue, s.result);
  }
}

TEST_F(MainWindowTest, HelpAndAbout) {
  auto& w = Start();
  QTest::keyClick(&w, Qt::Key_F1);
  ASSERT_NE(w.HelpWindow(), nullptr);
  EXPECT_TRUE(w.HelpWindow()->isVisible());
  const QString help = w.HelpWindow()->Browser()->toPlainText();
  for (const char* caption : {"Save copy as...", "Undo Last", "Shrink to Fit", "Next Image"})
    EXPECT_TRUE(help.contains(caption)) << caption;

  QString texts;
  WhenModal<app::TForm2>([&](app::TForm2* about) {
    for (auto* label : about->findChildren<QLabel*>()) texts += label->text() + '\n';
    QTest::keyClick(about, Qt::Key_Escape);
  });
  w.Item("About1")->trigger();
  EXPECT_TRUE(texts.contains("Korvane"));
  EXPECT_TRUE(texts.contains("3.52"));
  EXPECT_TRUE(texts.contains("href="));
}

}  // namespace
TEST_F(MainWindowTest, SelectionStripesAreWhiteAndGreenAndTheShowToggleIsCaptioned) {
  auto& w = Start();
  EXPECT_EQ(w.PGImage1->SelectionColor1(), QColor(Qt::white));
  EXPECT_EQ(w.PGImage1->SelectionColor2(), QColor(0, 128, 0));
  EXPECT_EQ(w.Button("SB20")->text(), "Slide");
  EXPECT_EQ(w.Button("SB20")->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
}

// A long command disables the commands and the panes; afterwards all come back
// but Undo and Crop, and Run or Stop as the slide-show toggle says.
TEST_F(MainWindowTest, LongCommandDisablesAndRestoresTheCommands) {
  auto& w = Start({"a.bmp"});
  const QStringList restored = {"Open1", "Saveas1",      "Print1", "Compress11", "N17", "N10",
                                "ImS1",  "Mirror1",      "N4",     "c1",         "C4",  "S6",
                                "Zoom1", "Stretchmode1", "RGB1",   "BCG1",       "C3"};
  const QStringList off = restored + QStringList{"U1", "C5", "N19", "S5"};
  w.All_Deactivate();
  for (const QString& name : off) EXPECT_FALSE(w.Item(name)->isEnabled()) << name.toStdString();
  EXPECT_TRUE(w.Item("Exit1")->isEnabled());
  EXPECT_TRUE(w.Item("N23")->isVisible());
  EXPECT_FALSE(w.PTSplitter2->isEnabled());
  w.All_Activate();
  for (const QString& name : restored) EXPECT_TRUE(w.Item(name)->isEnabled()) << name.toStdString();
  for (const char* name : {"U1", "C5", "S5"}) EXPECT_FALSE(w.Item(name)->isEnabled()) << name;
  EXPECT_TRUE(w.Item("N19")->isEnabled());
  EXPECT_FALSE(w.Item("N23")->isVisible());
  EXPECT_TRUE(w.PTSplitter2->isEnabled());
}

// A phone-style JPEG (tag 6, stored 5 x 3) opens upright with the size swapped in
// the status bar and saves upright; switched off it shows as stored, and stays off.
TEST_F(AppTest, OrientationTagTurnsThePhotographUntilSwitchedOff) {
  const std::string photo = Image("phone.jpg").toStdString();
  if (!korvane_test::WriteTaggedPhoto(photo, 6)) GTEST_SKIP() << "no ImageMagick/exiftool";
  auto& w = Start({Image("phone.jpg")});
  ASSERT_TRUE(w.Item("OrientTag1")->isChecked());
  EXPECT_TRUE(w.StatusText().contains("Size: 3x5")) << w.StatusText().toStdString();
  w.PGImage1->SaveToFile(Image("saved.png"));
  const auto upright = korvane_test::DecodeUprightWithImageMagick(photo);
  EXPECT_TRUE(upright && korvane_test::SamePicture(
                             *upright, *io::OpenImage(Image("saved.png").toStdString())));
  w.Item("OrientTag1")->trigger();
  EXPECT_TRUE(w.StatusText().contains("Size: 5x3")) << w.StatusText().toStdString();
  w.close();
  EXPECT_TRUE(apptest::ReadText(IniPath()).contains("\n[Orientation tag]\nApply=0\n"));
  EXPECT_FALSE(Start().Item("OrientTag1")->isChecked());
}

// Files dropped around or on the picture open the first one, the quality track
// bars show their number, the batch dialog starts in the folder being browsed.
TEST_F(AppTest, DropSlidersAndBatchFolder) {
  QDir().mkpath(Image("sub"));
  WriteImage(Image("a.bmp"), 7, 4);
  WriteImage(Image("sub/b.bmp"), 9, 5);
  auto& w = Start();
  QMimeData data;
  // A folder is passed over; the drop around the picture, then on it.
  const auto drop = [&](QWidget* on, QStringList files, const QString& opens) {
    QList<QUrl> urls;
    for (const QString& f : files) urls << QUrl::fromLocalFile(Image(f));
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(on, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent dropped(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(on, &dropped);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.Shown.FileName == Image(opens); }));
  };
  drop(w.Panel1, {"sub", "sub/b.bmp", "a.bmp"}, "sub/b.bmp");
  EXPECT_EQ(w.PTSList1->Folder(), Image("sub"));
  drop(w.PGImage1->PicBox(), {"a.bmp"}, "a.bmp");
  for (QSlider* slider : {w.Form4->TrBar1, app::Child<app::TForm3>(w).TrBar1}) {
    slider->setValue(40);
    EXPECT_EQ(slider->parentWidget()->findChild<QLabel*>("TrBar1Value")->text(), "40");
  }
  w.Pane->ShowFolder(Image("sub"));
  QString batchFolder;
  WhenModal<app::TForm8>([&](app::TForm8* d) {
    batchFolder = d->PTSList1->Folder();
    QTest::keyClick(d, Qt::Key_Escape);
  });
  Click(w.Button("SB3"));
  EXPECT_EQ(batchFolder, Image("sub"));
}

}  // namespace apptest
