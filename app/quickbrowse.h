// Browsing with a held key: while steps come faster than a file can be read
// whole, each JPEG file the selection reaches is shown from a decode at a
// reduced size (the smallest the library's scaled decode gives that still
// covers the picture on screen), made on two workers ahead of the selection.
// Such a picture only stands in for the image on screen: the window keeps the
// image it holds for everything else and opens the file reached for real once
// the steps stop.
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "pgraphic/view/pgimage.h"

namespace widgets {
class TPTShellList;
}

namespace app {

class TImagePane;

struct TStandIn {
  QString Path;
  int Index = -1;              // in the list
  pgraphic::TSize2 ImageSize;  // of the image itself
  std::unique_ptr<pgraphic::TPixelGraphic> Picture;
  pgraphic::TDisplaySettings For;  // the view's settings it was made for
  QString InfoText;                // the status-bar text of the file
};

// Whether a stand-in can be made for the file: a JPEG file by its name.
bool MayStandIn(const QString& path);

// Reads a stand-in of `path` for a view with these settings, upright by its
// orientation tag with `autoOrient`; nullptr when the
// file cannot be read that way, is not smaller by it, or `cancelled` is raised.
std::unique_ptr<TStandIn> ReadStandIn(const QString& path,
                                      const pgraphic::TDisplaySettings& settings, bool autoOrient,
                                      const std::atomic<bool>* cancelled);

class TQuickBrowse : public QObject {
  Q_OBJECT

 public:
  TQuickBrowse(widgets::TPTShellList& list, TImagePane& view, QObject* parent = nullptr);
  ~TQuickBrowse() override;

  // The selection reached `index` by a quick step: reads from there on in the
  // direction of travel.
  void Step(int index);
  // Cancels every read and forgets what was shown.
  void Stop();
  bool Active() const { return selected_ >= 0; }
  // How many stand-ins were handed to Ready, for tests and measurements.
  int StandInsShown() const { return standInsShown_; }

  // Gets each stand-in of a file on the way from the last one shown to the
  // selection, in order.
  std::function<void(std::unique_ptr<TStandIn>)> Ready;

 private:
  struct TSlot;
  void Schedule();
  void Delivered(TSlot& slot, std::unique_ptr<TStandIn> standIn);
  void Show(std::unique_ptr<TStandIn> standIn);

  widgets::TPTShellList& list_;
  TImagePane& view_;
  std::array<std::unique_ptr<TSlot>, 2> slots_;
  std::set<int> tried_;
  std::map<int, std::unique_ptr<TStandIn>> ready_;  // read ahead of the selection
  int selected_ = -1;
  int shown_ = -1;
  int direction_ = 1;
  int standInsShown_ = 0;
};

}  // namespace app
