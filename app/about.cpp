#include "app/about.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/commands.h"
#include "app/icons.h"
#include "app/jquality.h"

namespace app {

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
  setObjectName("Form2");
  setWindowTitle("About Korvane");
  auto* layout = new QVBoxLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(ApplicationIcon().pixmap(64, 64));
  icon->setAlignment(Qt::AlignCenter);
  layout->addWidget(icon);
  auto* name = new QLabel(QString("<h2>%1</h2>").arg(ApplicationTitle), this);
  name->setObjectName("ProductName");
  name->setAlignment(Qt::AlignCenter);
  layout->addWidget(name);
  auto* version = new QLabel(QString("Version %1").arg(ProgramVersion), this);
  version->setObjectName("Version");
  version->setAlignment(Qt::AlignCenter);
  layout->addWidget(version);
  auto* text = new QLabel(
      "An image viewer, converter and editor<br>built around its own wavelet codec (VQN files).",
      this);
  text->setAlignment(Qt::AlignCenter);
  layout->addWidget(text);
  auto* links = new QLabel(
      "<a href=\"https://example.org/korvane\">https://example.org/korvane</a><br>"
      "<a href=\"mailto:korvane@example.org\">korvane@example.org</a>",
      this);
  links->setObjectName("Links");
  links->setAlignment(Qt::AlignCenter);
  links->setOpenExternalLinks(true);
  links->setTextInteractionFlags(Qt::TextBrowserInteraction);
  layout->addWidget(links);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setText("OK");
  buttons->setCenterButtons(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  CentreOnScreen(this);
}

}  // namespace app
