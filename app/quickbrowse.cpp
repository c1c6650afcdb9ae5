#include "app/quickbrowse.h"

#include <QFileInfo>

#include "app/fileservice.h"
#include "app/imagepane.h"
#include "io/files.h"
#include "pgraphic/view/worker.h"
#include "widgets/shelllist.h"

namespace app {

bool MayStandIn(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  return suffix == "jpg" || suffix == "jpeg" || suffix == "jif";
}

std::unique_ptr<TStandIn> ReadStandIn(const QString& path,
                                      const pgraphic::TDisplaySettings& settings, bool autoOrient,
                                      const std::atomic<bool>* cancelled) {
  const std::string name = path.toStdString();
  io::TFileDescription description;
  if (!io::TryDescribeFile(name, description, 0, {.AutoOrient = autoOrient})) return nullptr;
  const pgraphic::TSize2 size{description.Info.Width, description.Info.Height};
  const pgraphic::TSize2 shown = pgraphic::DisplayedSizeFor(size, settings);
  const int denom = io::JPEGScaleDenominator(size.Width, size.Height, shown.Width, shown.Height);
  if (denom == 1) return nullptr;
  auto standIn = std::make_unique<TStandIn>();
  try {
    auto reduced = std::make_unique<pgraphic::TPixelGraphic>();
    reduced->SetReadWarningAction(pgraphic::pgwaRaise);
    reduced->OnProgress = [cancelled](pgraphic::TPixelGraphic&, int, int, bool& abort) {
      abort = cancelled->load(std::memory_order_relaxed);
    };
    io::OpenJPEGReduced(name, *reduced, denom, {.AutoOrient = autoOrient});
    reduced->OnProgress = nullptr;
    standIn->Picture = pgraphic::BuildStandIn(std::move(reduced), size, settings, cancelled);
  } catch (...) {
    return nullptr;
  }
  if (!standIn->Picture || cancelled->load()) return nullptr;
  standIn->Path = path;
  standIn->ImageSize = size;
  standIn->For = settings;
  standIn->InfoText = QString::fromStdString(fileservice::InfoText(name, autoOrient));
  return standIn;
}

// One worker and the file it reads (-1: idle).
struct TQuickBrowse::TSlot {
  explicit TSlot(QObject* context) : Worker(context) {}
  pgraphic::TWorker Worker;
  int Index = -1;
};

TQuickBrowse::TQuickBrowse(widgets::TPTShellList& list, TImagePane& view, QObject* parent)
    : QObject(parent), list_(list), view_(view) {
  for (auto& slot : slots_) slot = std::make_unique<TSlot>(this);
}

TQuickBrowse::~TQuickBrowse() {
  Stop();
}

void TQuickBrowse::Step(int index) {
  if (index < 0) return;
  if (selected_ >= 0 && index != selected_) {
    const int direction = index > selected_ ? 1 : -1;
    if (direction != direction_) {
      // Turning back: the files passed on the way are read again (only the
      // reads under way count as tried).
      tried_.clear();
      for (const auto& slot : slots_)
        if (slot->Index >= 0) tried_.insert(slot->Index);
    }
    direction_ = direction;
  }
  selected_ = index;
  // A stand-in read ahead of the selection is shown once the selection reaches it.
  for (auto it = ready_.begin(); it != ready_.end();) {
    const int i = it->first;
    if ((i - selected_) * direction_ > 0) {
      ++it;
    } else if (shown_ >= 0 && (i - shown_) * direction_ <= 0) {
      it = ready_.erase(it);
    } else {
      auto standIn = std::move(it->second);
      ready_.erase(it);
      Show(std::move(standIn));
      it = ready_.begin();
    }
  }
  Schedule();
}

void TQuickBrowse::Stop() {
  for (auto& slot : slots_) {
    slot->Worker.Cancel();
    slot->Index = -1;
  }
  tried_.clear();
  ready_.clear();
  selected_ = shown_ = -1;
}

void TQuickBrowse::Schedule() {
  constexpr int kAhead = 2;  // files read beyond the selection
  for (auto& slot : slots_) {
    if (slot->Index >= 0) continue;
    for (int k = 0; k <= kAhead; ++k) {
      const int i = selected_ + k * direction_;
      if (i < 0 || i >= list_.Count() || list_.ItemIsFolder(i) || tried_.count(i)) continue;
      const QString path = list_.ItemPath(i);
      if (!MayStandIn(path)) continue;
      tried_.insert(i);
      slot->Index = i;
      TSlot* s = slot.get();
      s->Worker.Start(
          [path, settings = view_.DisplaySettings(), orient = view_.AutoOrient(),
           i](pgraphic::TWorkerTask& task) {
            auto standIn = ReadStandIn(path, settings, orient, &task.CancelFlag());
            if (standIn) standIn->Index = i;
            return std::shared_ptr<TStandIn>(std::move(standIn));
          },
          [this, s](std::shared_ptr<TStandIn> standIn) {
            s->Index = -1;
            std::unique_ptr<TStandIn> owned;
            if (standIn) owned = std::make_unique<TStandIn>(std::move(*standIn));
            Delivered(*s, std::move(owned));
          });
      break;
    }
  }
}

void TQuickBrowse::Delivered(TSlot&, std::unique_ptr<TStandIn> standIn) {
  // Shown when it lies on the way from the last one shown to the selection (and
  // is still the file listed there), kept when it lies ahead of the selection.
  if (standIn && selected_ >= 0 && list_.ItemPath(standIn->Index) == standIn->Path) {
    const int i = standIn->Index;
    if ((i - selected_) * direction_ > 0)
      ready_[i] = std::move(standIn);
    else if (shown_ < 0 || (i - shown_) * direction_ > 0)
      Show(std::move(standIn));
  }
  if (selected_ >= 0) Schedule();
}

void TQuickBrowse::Show(std::unique_ptr<TStandIn> standIn) {
  shown_ = standIn->Index;
  ++standInsShown_;
  if (Ready) Ready(std::move(standIn));
}

}  // namespace app
