// Saving a copy and a VQN file: Enter in the save dialog, and failures that
// tell the file and the reason and leave what was there.
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QSignalSpy>
#include <csignal>

#include "app/my_open.h"
#include "app_fixture.h"
#include "io/files.h"

namespace apptest {
namespace {

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

TEST_F(AppTest, SavesTellWhyTheyFailAndEnterSaves) {
  WriteImage(Image("a.bmp"), 40, 30);
  QDir(images).mkdir("sub");
  Start({"a.bmp"});
  window->Shown.CompressedData = io::Compress(*window->PGImage1->Graphic(), 41);
  window->Shown.Compressed = true;
  // A full file system: a small tmpfs filled up, where it can be mounted (as root).
  const QString full = QDir(config).filePath("full");
  QDir().mkpath(full);
  const bool mounted = ::mount("tmpfs", full.toUtf8(), "tmpfs", 0, "size=64k") == 0;
  WriteText(full + "/old.bmp", "old bytes");
  WriteText(full + "/filler", QByteArray(256 * 1024, 'x'));
  const struct {
    int mode, type;
    QString folder, name;
    int enters;      // Enter presses, the first in the name box; 0: a click on Save
    QString reason;  // empty: saved as `saved`
    QString saved;
    rlim_t sizeLimit = RLIM_INFINITY;
  } cases[] = {
      {2, 0, "/proc", "x.bmp", 0, "No such file or directory"},
      {2, 1, "/proc", "x.jpg", 1, "No such file or directory"},
      {3, 0, "/proc", "x.vqn", 1, "No such file or directory"},
      {2, 0, images, "a.bmp", 0, "File too large", "", 1000},  // a write fails midway
      {2, 0, full, "old.bmp", 1, "No space left on device"},
      {2, 0, images, "new.bmp", 1, "", "new.bmp"},
      {3, 0, images, "new.vqn", 1, "", "new.vqn"},
      {2, 0, images, "sub", 3, "", "sub.bmp"},  // a folder name: focus to Save, then as Save
  };
  QSignalSpy released(window->PTSList1, &widgets::TPTShellList::KeyReleased);
  for (const auto& c : cases) {
    if (c.folder == full && !mounted) continue;
    window->Settings.SavePath = window->Settings.CompressPath = c.folder;
    window->DialogFilterIndex[1] = c.type;
    const QString path = c.folder + "/" + c.name;
    const QByteArray before = ReadText(path);
    QString error;
    if (!c.reason.isEmpty()) AnswerBoxes(&error);
    if (c.type == 1) WhenModal<app::TForm4>([](app::TForm4* q) { Click(q->OkButton); });
    const rlimit none{RLIM_INFINITY, RLIM_INFINITY}, limit{c.sizeLimit, RLIM_INFINITY};
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    WhenModal<app::TForm6>([&](app::TForm6* dialog) {
      dialog->Edit1->setText(c.name);
      ::setrlimit(RLIMIT_FSIZE, &limit);
      if (c.enters == 0) Click(dialog->Button1);
      for (int i = 1; i <= c.enters; ++i) {
        QWidget* focused = i == 1 ? dialog->Edit1 : dialog->focusWidget();
        i < c.enters ? QTest::keyClick(focused, Qt::Key_Return)
                     : QTest::keyPress(focused, Qt::Key_Return);
      }
    });
    window->Item(c.mode == 2 ? "Saveas1" : "Compress11")->trigger();
    ::setrlimit(RLIMIT_FSIZE, &none);
    std::signal(SIGXFSZ, oldHandler);
    // The release of the Enter that closed the dialog comes to the main window.
    QTest::keyRelease(window->PTSList1, Qt::Key_Return);
    EXPECT_EQ(released.count(), 0) << path.toStdString();
    if (c.reason.isEmpty()) {
      io::TFileDescription written;
      EXPECT_TRUE(io::TryDescribeFile((c.folder + "/" + c.saved).toStdString(), written));
      continue;
    }
    EXPECT_EQ(error,
              "Can not perform this operation.\nCannot write file \"" + path + "\": " + c.reason);
    EXPECT_EQ(ReadText(path), before) << path.toStdString();
    if (c.folder != "/proc")
      EXPECT_EQ(QDir(c.folder).entryList({".kvtmp-*"}, QDir::Hidden | QDir::Files), QStringList());
  }
  if (mounted) ::umount2(full.toUtf8(), MNT_DETACH);
}

}  // namespace
}  // namespace apptest
