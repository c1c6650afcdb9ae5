// Shared by the dialog tests: answering a modal window from the test while it
// runs its own event loop, and finding its controls.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace dialogs_test {

// Runs act on the modal window as soon as one is shown (polling the event loop
// that exec() runs). act must close the window.
inline void WhenModal(std::function<void(QWidget&)> act) {
  auto* poll = new QTimer;
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    act(*modal);
  });
  poll->start();
}

// The button with the given text among the window's children.
inline QAbstractButton* Button(QWidget& window, const QString& text) {
  for (QAbstractButton* b : window.findChildren<QAbstractButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

// Clicks the button; a missing one fails the test and closes the window, so that
// the test does not wait forever.
inline void Click(QWidget& window, const QString& text) {
  QAbstractButton* b = Button(window, text);
  if (!b) {
    ADD_FAILURE() << "no button " << text.toStdString();
    window.close();
    return;
  }
  QTest::mouseClick(b, Qt::LeftButton);
}

}  // namespace dialogs_test
