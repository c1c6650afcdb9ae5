// Shared fixture of the desktop program's tests: a scratch folder with a settings
// folder and a folder of small images, the main window started on them, and a
// helper that answers the next modal dialog the way a user would.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/compr.h"
#include "codec/vqn.h"
#include "pgraphic/image/pixelgraphic.h"

namespace apptest {

// Writes a w x h true-colour picture with a diagonal gradient, in the format of
// the path's extension (".vqn" through the wavelet codec).
inline void WriteImage(const QString& path, int w, int h) {
  pgraphic::TPixelGraphic g;
  g.SetSize(w, h, pgraphic::pf24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      g.SetPixelColor(x, y, pgraphic::TRGB((x * 255 / w) | ((y * 255 / h) << 8) | (128 << 16)));
  if (path.endsWith(".vqn", Qt::CaseInsensitive))
    codec::CompressBatch(g, codec::QualityFromPosition(60), path.toStdString());
  else
    g.SaveToFile(path.toStdString());
}

inline void WriteText(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

inline QByteArray ReadText(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whether a dialog takes input: shown, and no button disabled (the file dialog
// disables its buttons while it examines a file).
inline bool Ready(QWidget* dialog) {
  if (!dialog->isVisible()) return false;
  for (auto* button : dialog->findChildren<QAbstractButton*>())
    if (button->isVisible() && !button->isEnabled()) return false;
  return true;
}

// Runs `answer` on the first modal widget of type T that is ready for input
// within ten seconds. Installed before the command that opens the dialog.
template <class T = QWidget>
void WhenModal(std::function<void(T*)> answer) {
  auto* timer = new QTimer(qApp);
  auto deadline = std::make_shared<QDeadlineTimer>(10000);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, deadline, answer] {
    auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
    if (modal && Ready(modal)) {
      timer->stop();
      timer->deleteLater();
      answer(modal);
    } else if (deadline->hasExpired()) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "no modal dialog appeared";
    }
  });
  timer->start(20);
}

inline void Click(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton);
}

// Answers the next message box with `button` and records its text.
inline void AnswerMessageBox(QMessageBox::StandardButton button, QString* text = nullptr) {
  WhenModal<QMessageBox>([button, text](QMessageBox* box) {
    if (text) *text = box->text();
    Click(box->button(button));
  });
}

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.isValid());
    config = scratch_.filePath("config");
    images = scratch_.filePath("images");
    QDir().mkpath(config);
    QDir().mkpath(images);
  }
  void TearDown() override {
    if (window) window->Shown.Edited = false;  // a test's edits end with it, unasked
    if (window) window->close();
    window.reset();
  }

  QString Image(const QString& name) const { return QDir(images).filePath(name); }
  QString IniPath() const { return QDir(config).filePath("tesslora.ini"); }

  // Starts the main window with these arguments; unless told otherwise a settings
  // file naming the images folder as the open folder is written first.
  app::TForm1& Start(const QStringList& arguments = {}, bool writeSettings = true) {
    app::TStartOptions options;
    options.ConfigDir = config;
    options.StartDir = images;
    options.Arguments = arguments;
    if (writeSettings && !QFile::exists(IniPath()))
      WriteText(IniPath(), QByteArray("[Path]\nOpen=") + images.toUtf8() + "\n");
    window = std::make_unique<app::TForm1>(options);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return *window;
  }

  // Selects the list item with this file name the way a click does.
  void ClickItem(const QString& name) {
    auto* list = window->PTSList1;
    const int index = list->IndexOfPath(Image(name));
    ASSERT_GE(index, 0) << name.toStdString();
    const QRect rect = list->visualItemRect(list->item(index));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
  }

  QString config, images;
  std::unique_ptr<app::TForm1> window;

 private:
  QTemporaryDir scratch_;
};

}  // namespace apptest
