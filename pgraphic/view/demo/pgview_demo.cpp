// A small window around one TPGImage, for looking at what the view draws:
//   pgview-demo [--stretch N] [--zoom F] [--mode fast|medium|precise] [--tiling N]
//               [--flip h|v|hv] [--center] [--action N] [--select L,T,W,H]
//               [--size WxH] [FILE]
// Without a file it shows a generated test picture.
#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "pgraphic/formats/fileformat.h"
#include "pgraphic/view/pgimage.h"

using namespace pgraphic;

namespace {

// Colour wheel rings on a gradient, with a grid every 32 pixels.
std::unique_ptr<TPixelGraphic> TestPicture(int w, int h) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, pf24Bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = g->ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const double dx = x - w * 0.5, dy = y - h * 0.5;
      const double a = std::atan2(dy, dx), r = std::sqrt(dx * dx + dy * dy);
      const bool ring = static_cast<int>(r / 24) % 2 == 0;
      int red = 255 * x / w, green = 255 * y / h, blue = 128;
      if (ring) {
        red = static_cast<int>(127 + 127 * std::cos(a));
        green = static_cast<int>(127 + 127 * std::cos(a + 2.094));
        blue = static_cast<int>(127 + 127 * std::cos(a + 4.189));
      }
      if (x % 32 == 0 || y % 32 == 0) red = green = blue = 255;
      row[3 * x] = static_cast<uint8_t>(blue);
      row[3 * x + 1] = static_cast<uint8_t>(green);
      row[3 * x + 2] = static_cast<uint8_t>(red);
    }
  }
  return g;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  PGraphicStartup();
  QMainWindow window;
  auto* view = new TPGImage(&window);
  window.setCentralWidget(view);
  window.resize(800, 600);
  std::string file;
  int select[4] = {0, 0, 0, 0};
  bool hasSelection = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : "";
    if (a == "--stretch") {
      view->SetStretch(static_cast<TStretch>(std::atoi(next))), ++i;
    } else if (a == "--zoom") {
      view->SetZoomFactor(std::strtold(next, nullptr)), ++i;
    } else if (a == "--mode") {
      view->SetStretchMode(std::strcmp(next, "precise") == 0  ? smPrecise
                           : std::strcmp(next, "medium") == 0 ? smMedium
                                                              : smFast);
      ++i;
    } else if (a == "--tiling") {
      view->SetTiling(static_cast<TTiling>(std::atoi(next))), ++i;
    } else if (a == "--flip") {
      view->SetFlipHorizontal(std::strchr(next, 'h') != nullptr);
      view->SetFlipVertical(std::strchr(next, 'v') != nullptr);
      ++i;
    } else if (a == "--center") {
      view->SetCenter(true);
    } else if (a == "--action") {
      view->SetActionMode(static_cast<TActionMode>(std::atoi(next))), ++i;
    } else if (a == "--select") {
      hasSelection =
          std::sscanf(next, "%d,%d,%d,%d", &select[0], &select[1], &select[2], &select[3]) == 4;
      ++i;
    } else if (a == "--size") {
      int w = 0, h = 0;
      if (std::sscanf(next, "%dx%d", &w, &h) == 2) window.resize(w, h);
      ++i;
    } else {
      file = a;
    }
  }
  try {
    if (file.empty())
      view->SetPixelGraphic(TestPicture(640, 480));
    else
      view->SetFileName(file);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pgview-demo: %s\n", e.what());
    return 1;
  }
  if (hasSelection) {
    view->SetSelection(true);
    view->SetSelectionRect(select[0], select[1], select[2], select[3]);
  }
  auto status = [&window, view](TPGImage&) {
    const TPixelGraphic* g = view->PixelGraphicNoWait();
    window.statusBar()->showMessage(QString("%1 x %2  zoom %3  selection %4,%5 %6 x %7")
                                        .arg(g ? g->Width() : 0)
                                        .arg(g ? g->Height() : 0)
                                        .arg(static_cast<double>(view->EffectiveZoom()))
                                        .arg(view->SelectionLeft())
                                        .arg(view->SelectionTop())
                                        .arg(view->SelectionWidth())
                                        .arg(view->SelectionHeight()));
  };
  view->OnZoomFactorChange = status;
  view->OnSelectionChange = status;
  status(*view);
  window.show();
  return app.exec();
}
