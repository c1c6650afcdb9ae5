#include "app/jquality.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "app/commands.h"
#include "app/compr.h"

namespace app {

void CentreOnScreen(QWidget* dialog) {
  dialog->adjustSize();
  dialog->setFixedSize(dialog->sizeHint().expandedTo(dialog->minimumSizeHint()));
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = dialog->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    dialog->move(frame.topLeft());
  }
}

QLabel* SliderValueLabel(QSlider* slider) {
  auto* label = new QLabel(slider->parentWidget());
  label->setObjectName(slider->objectName() + "Value");
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setMinimumWidth(
      label->fontMetrics().horizontalAdvance(QString::number(slider->maximum())));
  label->setNum(slider->value());
  QObject::connect(slider, &QSlider::valueChanged, label, qOverload<int>(&QLabel::setNum));
  return label;
}

void ShowErrorBox(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, ApplicationTitle, text, QMessageBox::Ok, parent);
  box.exec();
}

void ShowInfoBox(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Information, ApplicationTitle, text, QMessageBox::Ok, parent);
  box.exec();
}

bool AskYesNo(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, ApplicationTitle, text, QMessageBox::Yes | QMessageBox::No,
                  parent);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void ShowSaveFailed(QWidget* parent, const QString& fileName, std::exception_ptr error) {
  QString reason;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    reason = QString::fromStdString(e.what());
  } catch (...) {
  }
  // The library's write failures already read "Cannot write file "NAME": REASON".
  const QString line = reason.contains(fileName)
                           ? reason
                           : "Cannot write file \"" + fileName + "\"" +
                                 (reason.isEmpty() ? QString() : ": " + reason);
  ShowErrorBox(parent, QString(CannotPerformText) + "\n" + line);
}

TForm4::TForm4(TForm1* owner) : QDialog(owner), owner_(owner) {
  setObjectName("Form4");
  setWindowTitle("JPEG quality");
  auto* grid = new QGridLayout(this);
  TrBar1 = new QSlider(Qt::Horizontal, this);
  TrBar1->setObjectName("TrBar1");
  TrBar1->setRange(5, 95);
  TrBar1->setValue(75);
  TrBar1->setSingleStep(10);
  TrBar1->setPageStep(10);
  TrBar1->setTickInterval(10);
  TrBar1->setTickPosition(QSlider::TicksBelow);
  TrBar1->setMinimumWidth(260);
  grid->addWidget(TrBar1, 0, 0, 1, 2);
  grid->addWidget(SliderValueLabel(TrBar1), 0, 2);
  grid->addWidget(new QLabel("Low", this), 1, 0, Qt::AlignLeft);
  grid->addWidget(new QLabel("High", this), 1, 1, Qt::AlignRight);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  OkButton = buttons->button(QDialogButtonBox::Ok);
  OkButton->setText("OK");
  CancelButton = buttons->button(QDialogButtonBox::Cancel);
  CancelButton->setText("Cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  grid->addWidget(buttons, 2, 0, 1, 3);
  CentreOnScreen(this);
}

void TForm4::done(int result) {
  owner_->QualityValue = result == QDialog::Accepted ? static_cast<int16_t>(TrBar1->value()) : -1;
  QDialog::done(result);
}

}  // namespace app
