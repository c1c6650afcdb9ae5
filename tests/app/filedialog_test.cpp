// The file dialog: information labels and preview, unsupported files, typed names,
// the extension correction and the overwrite question of the save modes; saves.
#include <sys/mount.h>

#include <QSignalSpy>

#include "app/my_open.h"
#include "app_fixture.h"
#include "metafile/metafile.h"

namespace apptest {
namespace {

class FileDialogTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    QDir(images).mkdir("sub");
    WriteImage(Image("a.bmp"), 40, 30);
    WriteImage(Image("c.vqn"), 64, 48);
    WriteText(Image("d.png"), "not a picture at all");
    Start({"a.bmp"});
    window->Settings.SavePath = images;
    window->LastFileName = Image("picture.bmp");
  }

  // Shows the dialog in `mode` (the open mode through the Open command), runs
  // `use` on it once it is up and returns whether it closed with OK.
  bool RunDialog(int mode, const std::function<void(app::TForm6*)>& use) {
    WhenModal<app::TForm6>([use](app::TForm6* dialog) { use(dialog); });
    if (mode == 1) {
      window->Item("Open1")->trigger();
      return !window->Shown.FileName.isEmpty();
    }
    window->DialogMode = static_cast<app::TDialogMode>(mode);
    return window->Form6->exec() == QDialog::Accepted;
  }

  void Choose(app::TForm6* dialog, const QString& name) {
    const int index = dialog->PTSList1->IndexOfPath(Image(name));
    ASSERT_GE(index, 0) << name.toStdString();
    const QRect rect = dialog->PTSList1->visualItemRect(dialog->PTSList1->item(index));
    QTest::mouseClick(dialog->PTSList1->viewport(), Qt::LeftButton, {}, rect.center());
  }
};

TEST_F(FileDialogTest, OpenShowsInformationAndPreview) {
  const struct {
    const char* file;
    bool preview;
    const char* size;
    const char* subtype;  // empty: not checked
    QSize previewSize;
  } cases[] = {
      {"a.bmp", true, "Size: 40x30 pixeles", "", QSize(40, 30)},
      {"c.vqn", false, "Size: 64x48 pixeles", "SubType: Wavelet 3.0", QSize()},
      {"c.vqn", true, "Size: 64x48 pixeles", "SubType: Wavelet 3.0", QSize(64, 48)},
  };
  for (const auto& c : cases) {
    const bool ok = RunDialog(1, [&](app::TForm6* dialog) {
      EXPECT_EQ(dialog->windowTitle(), "Open");
      EXPECT_EQ(dialog->Button1->text(), "Open");
      if (dialog->CheckB1->isChecked() != c.preview) Click(dialog->CheckB1);
      Choose(dialog, c.file);
      const auto labels = dialog->Labels();
      EXPECT_TRUE(labels[0].isEmpty());
      EXPECT_TRUE(labels[1].startsWith("Type: ")) << labels[1].toStdString();
      if (*c.subtype) {
        EXPECT_EQ(labels[2], c.subtype);
      }
      EXPECT_EQ(labels[3], c.size);
      EXPECT_TRUE(labels[5].startsWith("File size: ") && labels[5].endsWith(" Kb"));
      EXPECT_EQ(dialog->Edit1->text(), c.file);
      const auto* shown = dialog->Preview()->Graphic();
      EXPECT_EQ(shown && !shown->Empty() ? QSize(shown->Width(), shown->Height()) : QSize(),
                c.previewSize);
      Click(dialog->Button1);
    });
    ASSERT_TRUE(ok) << c.file;
    EXPECT_EQ(window->Shown.FileName, Image(c.file));
    EXPECT_EQ(window->PreviewTaken, c.preview) << c.file;
    EXPECT_TRUE(window->Shown.Loaded);
    EXPECT_EQ(window->PGImage1->Graphic()->Width(),
              c.previewSize.isValid() ? c.previewSize.width() : 64);
    EXPECT_EQ(window->PTSList1->ItemPath(window->PTSList1->SelectedIndex()), Image(c.file));
    EXPECT_FALSE(window->StatusText().isEmpty());
    EXPECT_EQ(window->DialogPreview[0], c.preview);
  }
}

// A metafile is described by its kind in the subtype line, always with 256
// colours; with the preview on, the drawing is taken over by the main window.
TEST_F(FileDialogTest, MetafilesShowTheirKindSizeAndPreview) {
  const QString fixtures = QString(KORVANE_TEST_DATA) + "/metafile/";
  for (const char* name : {"shapes.wmf", "shapes.emf"}) QFile::copy(fixtures + name, Image(name));
  WriteText(Image("broken.emf"), QByteArray(120, '\x01'));
  const struct {
    const char* file;
    bool preview;
    const char* subtype;
  } cases[] = {
      {"shapes.wmf", false, "Type: Windows Metafile"},
      {"shapes.emf", true, "Type: Enhanced Metafile"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = Image(c.file).toStdString();
    const auto info = metafile::ReadMetafileFileInfo(path);
    const QString size = QString("Size: %1x%2 pixeles").arg(info.Width).arg(info.Height);
    const bool ok = RunDialog(1, [&](app::TForm6* dialog) {
      if (dialog->CheckB1->isChecked() != c.preview) Click(dialog->CheckB1);
      Choose(dialog, "broken.emf");
      EXPECT_EQ(dialog->Labels()[0], "The subformat is not supported!   ");
      Choose(dialog, c.file);
      const auto labels = dialog->Labels();
      EXPECT_EQ((std::vector<QString>(labels.begin(), labels.begin() + 5)),
                (std::vector<QString>{"", "", c.subtype, size, "Colors: 256"}));
      EXPECT_TRUE(labels[5].startsWith("File size: ") && labels[5].endsWith(" Kb"));
      const auto* shown = dialog->Preview()->Graphic();
      EXPECT_EQ(shown && !shown->Empty() ? QSize(shown->Width(), shown->Height()) : QSize(),
                c.preview ? QSize(info.Width, info.Height) : QSize());
      Click(dialog->Button1);
    });
    ASSERT_TRUE(ok);
    EXPECT_EQ(window->Shown.FileName, Image(c.file));
    EXPECT_EQ(window->PreviewTaken, c.preview);
    EXPECT_TRUE(window->Shown.Loaded);
    EXPECT_EQ(window->PGImage1->Graphic()->PaletteIdent(), pgraphic::pSpecial252);
    EXPECT_TRUE(window->StatusText().startsWith("Type: " + QString(c.subtype).mid(6) + "; Size: "))
        << window->StatusText().toStdString();
  }
}

TEST_F(FileDialogTest, UnsupportedFileCannotBeOpenedAndCloseBoxDiscards) {
  const bool ok = RunDialog(1, [&](app::TForm6* dialog) {
    Choose(dialog, "d.png");
    EXPECT_EQ(dialog->Labels()[0], "The subformat is not supported!   ");
    EXPECT_TRUE(dialog->Labels()[3].isEmpty());
    Click(dialog->Button1);  // does nothing
    EXPECT_TRUE(dialog->isVisible());
    Choose(dialog, "a.bmp");
    EXPECT_EQ(window->Shown.FileName, Image("a.bmp"));
    dialog->close();
  });
  EXPECT_FALSE(ok);
  EXPECT_TRUE(window->Shown.FileName.isEmpty());
  EXPECT_FALSE(window->PreviewTaken);
}

TEST_F(FileDialogTest, TypedNamesMoveTheBrowserOrAreRefused) {
  const struct {
    QString typed;
    const char* message;  // empty: accepted
    const char* folder;   // folder shown afterwards, relative to the images
  } cases[] = {
      {images + "/sub", "", "sub"},
      {"nothere.png", "The file nothere.png does not exist.", "."},
      {"justaname", "The file justaname does not exist.", "."},
      {images + "/missing/x.png", "The folder %1/missing does not exist.", "."},
      {images + "/a.bmp", "", "."},
  };
  for (const auto& c : cases) {
    QString message;
    RunDialog(1, [&](app::TForm6* dialog) {
      dialog->PTShellCombo1->SetFolder(images);
      if (*c.message) AnswerMessageBox(QMessageBox::Ok, &message);
      dialog->Edit1->setFocus();
      dialog->Edit1->setText(c.typed);
      QTest::keyClick(dialog->Edit1, Qt::Key_Tab);  // leaving the box interprets it
      EXPECT_EQ(dialog->PTSList1->Folder(), QDir::cleanPath(images + "/" + c.folder));
      QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(message, QString(c.message).replace("%1", images)) << c.typed.toStdString();
  }
}

TEST_F(FileDialogTest, SaveCorrectsTheExtensionBeforeSaving) {
  const struct {
    const char* typed;
    int type;  // index among the save-copy types
    const char* corrected;
  } cases[] = {
      {"picture", 4, "picture.png"},
      {"picture.bmp", 1, "picture.jpg"},
      {"my.photo.PNG", 4, ""},  // already right, case ignored
  };
  for (const auto& c : cases) {
    const bool ok = RunDialog(2, [&](app::TForm6* dialog) {
      EXPECT_EQ(dialog->windowTitle(), "Save copy as");
      EXPECT_EQ(dialog->Button1->text(), "Save");
      EXPECT_EQ(dialog->FilterComboBox1->count(), 8);
      dialog->FilterComboBox1->SetItemIndex(c.type);
      dialog->Edit1->setText(c.typed);
      Click(dialog->Button1);
      if (*c.corrected) {
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->Edit1->text(), c.corrected);
        Click(dialog->Button1);
      }
    });
    ASSERT_TRUE(ok) << c.typed;
    EXPECT_EQ(window->SaveFileName, Image(*c.corrected ? c.corrected : c.typed));
    EXPECT_EQ(window->DialogFilterIndex[1], c.type);
  }
}

TEST_F(FileDialogTest, SavingOverAnExistingFileAsksFirst) {
  QString question;
  const bool ok = RunDialog(2, [&](app::TForm6* dialog) {
    dialog->FilterComboBox1->SetItemIndex(0);
    dialog->Edit1->setText("a.bmp");
    AnswerMessageBox(QMessageBox::No, &question);
    Click(dialog->Button1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !question.isEmpty(); }));
    EXPECT_TRUE(dialog->isVisible());
    AnswerMessageBox(QMessageBox::Yes);
    Click(dialog->Button1);
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(question, "File: " + Image("a.bmp") + " already exists. Overwrite?");
  EXPECT_EQ(window->SaveFileName, Image("a.bmp"));
}

TEST_F(FileDialogTest, SaveVqnModeOffersOnlyVqn) {
  window->Settings.CompressPath = images;
  const bool ok = RunDialog(3, [&](app::TForm6* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Save as VQN-file");
    EXPECT_EQ(dialog->FilterComboBox1->count(), 1);
    EXPECT_EQ(dialog->Edit1->text(), "picture.vqn");
    Click(dialog->Button1);
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(window->SaveFileName, Image("picture.vqn"));
}

// Answers Yes to the overwrite question and records the error message.
void AnswerBoxes(QString* error) {
  WhenModal<QMessageBox>([error](QMessageBox* box) {
    if (auto* yes = box->button(QMessageBox::Yes)) {
      AnswerBoxes(error);
      return Click(yes);
    }
    *error = box->text();
    Click(box->button(QMessageBox::Ok));
  });
}

// Failed saves tell the file and the reason and keep what was there; Enter
// saves from a complete name and on the focused Save button.
TEST_F(FileDialogTest, SavesTellWhyTheyFailAndEnterSaves) {
  window->Shown.CompressedData = io::Compress(*window->PGImage1->Graphic(), 41);
  window->Shown.Compressed = true;
  const QString full = Image("sub");  // filled up when a small tmpfs can be mounted (as root)
  const bool mounted = ::mount("tmpfs", full.toUtf8(), "tmpfs", 0, "size=64k") == 0;
  WriteText(full + "/old.bmp", "old bytes");
  WriteText(full + "/filler", QByteArray(256 * 1024, 'x'));
  const struct {
    QString folder, name;
    int enters;      // Enter presses, the first in the name box; 0: a click on Save
    QString reason;  // empty: saved
  } cases[] = {
      {"/proc", "x.bmp", 0, "No such file or directory"},
      {"/proc", "x.jpg", 1, "No such file or directory"},
      {"/proc", "x.vqn", 1, "No such file or directory"},
      {full, "old.bmp", 1, "No space left on device"},
      {images, "new.bmp", 1, ""},
      {images, "sub", 3, ""},  // a folder: focus to Save, which makes it sub.bmp, then saves
  };
  QSignalSpy released(window->PTSList1, &widgets::TPTShellList::KeyReleased);
  for (const auto& c : cases) {
    if (c.folder == full && !mounted) continue;
    window->Settings.SavePath = window->Settings.CompressPath = c.folder;
    const bool jpeg = c.name.endsWith(".jpg"), vqn = c.name.endsWith(".vqn");
    window->DialogFilterIndex[1] = jpeg ? 1 : 0;
    const QString path = c.folder + "/" + c.name;
    const QByteArray before = ReadText(path);
    QString error;
    if (!c.reason.isEmpty()) AnswerBoxes(&error);
    if (jpeg) WhenModal<app::TForm4>([](app::TForm4* q) { Click(q->OkButton); });
    WhenModal<app::TForm6>([&](app::TForm6* dialog) {
      dialog->Edit1->setText(c.name);
      if (c.enters == 0) Click(dialog->Button1);
      for (int i = 1; i <= c.enters; ++i) {
        QWidget* focused = i == 1 ? dialog->Edit1 : dialog->focusWidget();
        i < c.enters ? QTest::keyClick(focused, Qt::Key_Return)
                     : QTest::keyPress(focused, Qt::Key_Return);
      }
    });
    window->Item(vqn ? "Compress11" : "Saveas1")->trigger();
    // The release of the Enter that closed the dialog comes to the main window.
    QTest::keyRelease(window->PTSList1, Qt::Key_Return);
    EXPECT_EQ(released.count(), 0) << path.toStdString();
    if (c.reason.isEmpty()) {
      EXPECT_TRUE(QFileInfo::exists(c.name.contains('.') ? path : path + ".bmp"));
      continue;
    }
    EXPECT_EQ(error,
              "Can not perform this operation.\nCannot write file \"" + path + "\": " + c.reason);
    EXPECT_EQ(ReadText(path), before) << path.toStdString();
    if (c.folder == "/proc") continue;
    EXPECT_EQ(QDir(c.folder).entryList({".kvtmp-*"}, QDir::Hidden | QDir::Files), QStringList());
  }
  if (mounted) ::umount2(full.toUtf8(), MNT_DETACH);
}

}  // namespace
}  // namespace apptest
