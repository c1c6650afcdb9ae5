#include "app/imagepane.h"

#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <cstring>

namespace app {

using pgraphic::TPixelGraphic;

QImage ToQImage(const TPixelGraphic& g) {
  if (g.Empty() || g.Width() <= 0 || g.Height() <= 0) return QImage();
  const int w = g.Width(), h = g.Height();
  if (g.PixelFormat() == pgraphic::pf24Bit) {
    QImage image(w, h, QImage::Format_BGR888);
    if (image.isNull()) return image;
    for (int y = 0; y < h; ++y) std::memcpy(image.scanLine(y), g.ScanLine(y), size_t(w) * 3);
    return image;
  }
  QImage image(w, h, QImage::Format_Indexed8);
  if (image.isNull()) return image;
  QList<QRgb> table;
  for (int i = 0; i < g.PaletteCount(); ++i) {
    const auto c = g.PaletteColor(i);
    table << qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
  }
  while (table.size() < 256) table << qRgb(0, 0, 0);
  image.setColorTable(table);
  const int bpp = g.BitsPerPixel();
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = g.ScanLine(y);
    uint8_t* out = image.scanLine(y);
    if (bpp == 8) {
      std::memcpy(out, row, size_t(w));
    } else if (bpp == 4) {
      for (int x = 0; x < w; ++x) out[x] = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    } else {
      for (int x = 0; x < w; ++x) out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
  }
  return image;
}

class TImagePane::Canvas : public QWidget {
 public:
  explicit Canvas(TImagePane* pane) : QWidget(pane), pane_(pane) {
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter p(this);
    const QImage& img = pane_->display_.isNull() ? pane_->source_ : pane_->display_;
    if (img.isNull()) {
      p.fillRect(event->rect(), palette().window());
    } else if (img.size() == size()) {
      p.drawImage(event->rect(), img, event->rect());
    } else {
      p.drawImage(rect(), img);
    }
    emit pane_->Painted();
  }
  void mousePressEvent(QMouseEvent* event) override {
    start_ = event->globalPosition().toPoint();
    origin_ = {pane_->horizontalScrollBar()->value(), pane_->verticalScrollBar()->value()};
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (!(event->buttons() & Qt::LeftButton) || !pane_->hand_) return;
    const QPoint d = event->globalPosition().toPoint() - start_;
    pane_->horizontalScrollBar()->setValue(origin_.x() - d.x());
    pane_->verticalScrollBar()->setValue(origin_.y() - d.y());
  }

 private:
  TImagePane* pane_;
  QPoint start_, origin_;
};

TImagePane::TImagePane(QWidget* parent) : QScrollArea(parent), canvas_(new Canvas(this)) {
  setAlignment(Qt::AlignCenter);
  setWidget(canvas_);
  setWidgetResizable(false);
  setBackgroundRole(QPalette::Dark);
  canvas_->setCursor(Qt::OpenHandCursor);
  canvas_->resize(0, 0);
}

TImagePane::~TImagePane() = default;

void TImagePane::SetGraphic(std::unique_ptr<TPixelGraphic> graphic) {
  graphic_ = std::move(graphic);
  source_ = graphic_ ? ToQImage(*graphic_) : QImage();
  Relayout();
}

std::unique_ptr<TPixelGraphic> TImagePane::CopyGraphic() const {
  if (!graphic_) return nullptr;
  auto copy = std::make_unique<TPixelGraphic>();
  copy->Assign(*graphic_);
  return copy;
}

void TImagePane::LoadFromFile(const QString& fileName) {
  fileName_.clear();
  SetGraphic(nullptr);
  auto image = std::make_unique<TPixelGraphic>();
  image->LoadFromFile(fileName.toStdString());
  SetGraphic(std::move(image));
  fileName_ = fileName;
}

void TImagePane::SaveToFile(const QString& fileName) {
  if (!graphic_) throw pgraphic::EPixelGraphic("PixelGraphic is empty");
  graphic_->SaveToFile(fileName.toStdString());
  fileName_ = fileName;
}

void TImagePane::SetZoomChoice(int index) {
  zoom_ = index;
  Relayout();
}

void TImagePane::SetStretchMode(pgraphic::TStretchMode mode) {
  stretchMode_ = mode;
  RebuildDisplay();
  canvas_->update();
}

void TImagePane::SetHandTool(bool hand) {
  hand_ = hand;
  canvas_->setCursor(hand ? Qt::OpenHandCursor : Qt::CrossCursor);
}

void TImagePane::RemoveSelection() { selection_ = false; }

QSize TImagePane::DisplayedSize() const { return canvas_->size(); }

void TImagePane::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  Relayout();
}

void TImagePane::Relayout() {
  const QSize image = source_.size();
  const QSize area = maximumViewportSize();
  QSize shown = image;
  if (!image.isEmpty() && !area.isEmpty()) {
    static constexpr double factors[] = {1, 1, 1, 0.25, 0.5, 1, 2, 3};
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    switch (zoom_) {
      case 0:
        shown = image.scaled(area, Qt::KeepAspectRatio);
        break;
      case 1: {
        // As large as possible while needing at most one scroll bar.
        shown = image.scaled(area, Qt::KeepAspectRatioByExpanding);
        const double ratio = double(image.width()) / image.height();
        if (ratio < double(area.width()) / area.height())
          shown = QSize(area.width() - scrollBar, int((area.width() - scrollBar) / ratio));
        else
          shown = QSize(int((area.height() - scrollBar) * ratio), area.height() - scrollBar);
        break;
      }
      case 2:
        shown = area;
        break;
      case ShrinkToFitOnly:
        shown = image.width() <= area.width() && image.height() <= area.height()
                    ? image
                    : image.scaled(area, Qt::KeepAspectRatio);
        break;
      default:
        if (zoom_ >= 3 && zoom_ <= 7)
          shown = QSize(qRound(image.width() * factors[zoom_]), qRound(image.height() * factors[zoom_]));
    }
    shown = shown.expandedTo(QSize(1, 1));
  }
  canvas_->resize(shown);
  RebuildDisplay();
  canvas_->update();
}

void TImagePane::RebuildDisplay() {
  display_ = QImage();
  const QSize shown = canvas_->size();
  if (source_.isNull() || shown == source_.size() || stretchMode_ == pgraphic::smFast) return;
  display_ = source_.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace app
