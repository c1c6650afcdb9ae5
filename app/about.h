// TForm2, the About box: the product's name, version and links.
#pragma once

#include <QDialog>

namespace app {

class TForm2 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm2(QWidget* parent);
};

}  // namespace app
