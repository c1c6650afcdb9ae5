// The display copy of TPGImage: deciding when one is needed, building it (on a
// pooled worker or directly), and installing it when its build is still the
// current one.
#include <QMetaObject>
#include <QStyle>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "pgraphic/image/colorres.h"
#include "pgraphic/image/pixelrows.h"
#include "pgraphic/view/bandcopy.h"
#include "pgraphic/view/pgimage.h"
#include "pgraphic/view/render.h"
#include "pgraphic/view/viewparts.h"

namespace pgraphic {

namespace {

int64_t TickMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Whether a fresh image needs a display copy at this displayed size.
TDisplayCopyInput CopyDecisionInput(const TPixelGraphic& image, TSize2 displayed,
                                    const TDisplaySettings& s) {
  TDisplayCopyInput in;
  in.ScreenDepth = s.ScreenDepth;
  in.ImageBits = image.BitsPerPixel();
  in.ImagePalette = image.PaletteIdent();
  in.StretchMode = s.StretchMode;
  in.ReduceOnLoad = s.ReduceOnLoad;
  in.Image = {image.Width(), image.Height()};
  in.Displayed = displayed;
  in.RebuildPending = true;
  in.Palette8BitSys8BitGraphic = s.Palette8BitSys8BitGraphic;
  return in;
}

// Sets up the work of one display copy of `image` shown at `displayed`: the copy
// (and a true-colour intermediate where the plan needs one), sized and with the
// view's colour settings. `builtFor` receives the copy's size before anything is
// allocated; raises when the memory cannot be had.
void PrepareCopy(TCreatePaintPGThread& w, const TPixelGraphic& image, TSize2 displayed,
                 const TDisplaySettings& s, TSize2& builtFor) {
  w.FPixelGraphic = &image;
  TDisplayCopyPlanInput planIn;
  planIn.ScreenDepth = s.ScreenDepth;
  planIn.TrueColorSource = image.PixelFormat() == pf24Bit;
  planIn.StretchMode = s.StretchMode;
  planIn.SizeDiffers = displayed != TSize2{image.Width(), image.Height()};
  planIn.Allow24BitStretch = s.Allow24BitStretch;
  planIn.Palette8BitSys24BitGraphic = s.Palette8BitSys24BitGraphic;
  planIn.Palette8BitSys8BitGraphic = s.Palette8BitSys8BitGraphic;
  const TDisplayCopyPlan plan = PlanDisplayCopy(planIn);
  const TSize2 size = s.StretchMode != smFast ? displayed : TSize2{image.Width(), image.Height()};
  builtFor = size;
  TCreatePaintPGThread* worker = &w;
  auto progress = [worker](TPixelGraphic&, int step, int max, bool& abort) {
    worker->Progress(step, max, abort);
  };
  if (plan.ResampleFirst) {
    w.FHelpOwned = std::make_unique<TPixelGraphic>();
    w.FHelpOwned->SetStretchMode(s.StretchMode);
    w.FHelpOwned->OnProgress = progress;
    w.FHelpOwned->SetSize(size.Width, size.Height, pf24Bit);
    w.FHelpPixelGraphic = w.FHelpOwned.get();
  } else {
    w.FHelpPixelGraphic = &image;
  }
  auto copy = std::make_unique<TPixelGraphic>();
  copy->SetSize(size.Width, size.Height, plan.Format);
  if (plan.Palette != pNone) copy->SetPaletteIdent(plan.Palette);
  if (plan.AssignSourcePalette) copy->AssignPalette(image);
  copy->SetStretchMode(s.StretchMode);
  copy->SetDither(s.Dither);
  copy->SetDitherErrorLimit(s.DitherErrorLimit);
  copy->SetDitherErrorLimitAuto(s.DitherErrorLimitAuto);
  copy->SetDitherErrorLimitSoft(s.DitherErrorLimitSoft);
  copy->SetRGBWeighting(s.RGBWeighting);
  copy->OnProgress = progress;
  w.FPaintPixelGraphic = std::move(copy);
  w.ResampleFirst = plan.ResampleFirst;
  w.OptimizePalette = plan.OptimizePalette;
}

}  // namespace

// ---- Building one copy ----------------------------------------------------------------

void TCreatePaintPGThread::Progress(int step, int max, bool& abort) {
  const int percent = max == 0 ? 100 : static_cast<int>(static_cast<int64_t>(step) * 100 / max);
  const int64_t tick = TickMs();
  if (percent != lastPercent_ && tick / 50 != lastTick_ / 50) {
    lastPercent_ = percent;
    lastTick_ = tick;
    if (Report) Report(step_, percent);
  }
  abort = Terminated();
}

void TCreatePaintPGThread::DoTheWork() {
  step_ = 1;
  lastPercent_ = 0;
  lastTick_ = TickMs();
  try {
    if (!Terminated() && ResampleFirst && FHelpOwned) {
      FHelpOwned->CopyFrom(*FPixelGraphic);
      ++step_;
    }
    TPixelGraphic& copy = *FPaintPixelGraphic;
    const TPixelGraphic& source = *FHelpPixelGraphic;
    if (!Terminated() && OptimizePalette) {
      BuildOptimizedPalette(copy, source, 252, true);
      ++step_;
    }
    if (!Terminated()) {
      if (OptimizePalette && source.PixelFormat() == pf8Bit && source.Width() == copy.Width() &&
          source.Height() == copy.Height()) {
        // Same size, both 8-bit: map each source entry once, then every pixel
        // through that table.
        uint8_t table[256] = {};
        const bool cached = copy.UseColorCache();
        copy.SetUseColorCache(false);
        for (int i = 0; i < source.PaletteCount() && i < 256; ++i)
          table[i] = static_cast<uint8_t>(copy.NearestIndex(source.PaletteColor(i)));
        copy.SetUseColorCache(cached);
        const TConstPixelRows from = PixelRows(source);
        const TPixelRows to = PixelRows(copy);
        copy.ProgressStart();
        for (int y = 0; y < from.Height; ++y) {
          const uint8_t* s = from.Row(y);
          uint8_t* d = to.Row(y);
          for (int x = 0; x < from.Width; ++x) d[x] = table[s[x]];
          if (copy.Progress(y, from.Height)) break;
        }
        copy.ProgressEnd();
      } else {
        // Resampling to true colour runs on every core, with exactly the rows of
        // one CopyFrom.
        const unsigned cores = std::max(std::thread::hardware_concurrency(), 1u);
        BandedCopyFrom(copy, source, static_cast<int>(cores), [this] { return Terminated(); });
      }
      ++step_;
    }
    if (Terminated()) {
      FPaintPixelGraphic.reset();
    } else if (Deliver) {
      FPaintPixelGraphic->OnProgress = nullptr;
      Deliver(std::move(FPaintPixelGraphic));
    }
  } catch (...) {
    // A failed copy shows nothing until the next rebuild.
    FPaintPixelGraphic.reset();
  }
  FHelpOwned.reset();
}

// ---- The view's copy ----------------------------------------------------------------

void TPGImage::StopPaintThread() {
  pendingLaunch_.reset();
  copyWorker_.Cancel();
  copyWorker_.Wait();
  building_ = false;
}

void TPGImage::WaitForPaintThread() {
  copyWorker_.Wait();
}

void TPGImage::DropCopy() {
  copy_.reset();
}

void TPGImage::InstallCopy(std::unique_ptr<TPixelGraphic> copy) {
  copy->OnProgress = nullptr;
  if (reduceOnLoad_) {
    // The reduced copy becomes the shown image once the task that read the old
    // one has returned.
    WaitForPaintThread();
    if (image_) ClearEvents(*image_);
    image_ = std::move(copy);
    DropCopy();
    RouteEvents(*image_);
  } else {
    copy_ = std::move(copy);
  }
  copyArrived_ = true;
  viewport()->update();
}

bool TPGImage::CopyDue(bool& needed) {
  needed = false;
  if (!image_ || image_->Empty()) {
    DropCopy();
    return false;
  }
  TDisplayCopyInput in;
  in.ScreenDepth = screenDepth_;
  in.ImageBits = image_->BitsPerPixel();
  in.ImagePalette = image_->PaletteIdent();
  in.StretchMode = stretchMode_;
  in.ReduceOnLoad = reduceOnLoad_;
  // The image's own size: a reduced copy that replaced it has the displayed size.
  in.Image = {image_->Width(), image_->Height()};
  in.Displayed = displayed_;
  in.CopyBuiltFor = copyBuiltFor_;
  in.RebuildPending = rebuild_;
  in.Palette8BitSys8BitGraphic = palette8_;
  const TDisplayCopyDecision d = DecideDisplayCopy(in);
  rebuild_ = d.Rebuild;
  needed = d.Needed;
  if (!needed || (rebuild_ && !(keepOldPaintPixelGraphic_ && useThread_))) DropCopy();
  return needed && imageBusy_ == 0 && (rebuild_ || (!copy_ && !job_));
}

void TPGImage::StartCopy() {
  StopPaintThread();
  job_.reset();
  progressStep_ = 1;
  progressPercent_ = 0;
  rebuild_ = false;
  copyArrived_ = false;
  copyFailed_ = false;
  auto job = std::make_shared<TCreatePaintPGThread>();
  try {
    PrepareCopy(*job, *image_, displayed_, DisplaySettings(), copyBuiltFor_);
  } catch (const std::exception&) {
    // No memory for a copy of this size: until the next rebuild the view draws the
    // image itself, stretched, rather than nothing.
    copyFailed_ = true;
    job_ = std::move(job);
    return;
  }
  job_ = job;
  if (!useThread_) {
    job->Deliver = [this](std::unique_ptr<TPixelGraphic> copy) { InstallCopy(std::move(copy)); };
    job->DoTheWork();
    return;
  }
  // The build is set up (so a copy that cannot be had is known to this paint);
  // it goes to the worker after the current event.
  building_ = true;
  pendingLaunch_ = job;
  QMetaObject::invokeMethod(
      this, [this] { LaunchCopy(); }, Qt::QueuedConnection);
}

void TPGImage::LaunchCopy() {
  const std::shared_ptr<TCreatePaintPGThread> job = std::move(pendingLaunch_);
  if (!job) return;  // stopped meanwhile
  // Progress and the copy reach the view only while this build is the worker's
  // latest: a copy of a replaced image or of old settings is dropped.
  copyWorker_.Start(
      [this, job](TWorkerTask& task) {
        job->ExternalAbort = &task.CancelFlag();
        job->Report = [this, &task](int step, int percent) {
          task.Post([this, step, percent] {
            progressStep_ = step;
            progressPercent_ = percent;
            viewport()->update(picBox_->geometry());
          });
        };
        std::unique_ptr<TPixelGraphic> copy;
        job->Deliver = [&copy](std::unique_ptr<TPixelGraphic> built) { copy = std::move(built); };
        job->DoTheWork();
        job->Report = nullptr;
        return copy;
      },
      [this](std::unique_ptr<TPixelGraphic> copy) {
        building_ = false;
        if (copy) InstallCopy(std::move(copy));
      });
}

TDisplaySettings TPGImage::DisplaySettings() const {
  TDisplaySettings s;
  s.PixelRatio = std::max(viewport()->devicePixelRatioF(), 1.0);
  const auto device = [&](int logical) {
    return static_cast<int>(std::floor(logical * s.PixelRatio + 1e-9));
  };
  s.Available = {device(std::max(width() - 2 * frameWidth(), 0)),
                 device(std::max(height() - 2 * frameWidth(), 0))};
  s.ScrollBarExtent = device(style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this));
  s.Stretch = stretch_;
  s.ZoomFactor = zoomFactor_;
  s.StretchMode = stretchMode_;
  s.ScreenDepth = screenDepth_;
  s.ReduceOnLoad = reduceOnLoad_;
  s.Allow24BitStretch = allow24BitStretch_;
  s.Palette8BitSys24BitGraphic = palette24_;
  s.Palette8BitSys8BitGraphic = palette8_;
  s.Dither = dither_;
  s.DitherErrorLimit = ditherErrorLimit_;
  s.DitherErrorLimitAuto = ditherErrorLimitAuto_;
  s.DitherErrorLimitSoft = ditherErrorLimitSoft_;
  s.RGBWeighting = rgbWeighting_;
  return s;
}

namespace {

// The copy of `image` for showing it at `displayed`; nullptr when none is needed.
std::unique_ptr<TPixelGraphic> BuildCopyAt(const TPixelGraphic& image, TSize2 displayed,
                                           const TDisplaySettings& settings,
                                           const std::atomic<bool>* aborted) {
  if (!DecideDisplayCopy(CopyDecisionInput(image, displayed, settings)).Needed) return nullptr;
  TCreatePaintPGThread work;
  work.ExternalAbort = aborted;
  TSize2 builtFor;
  PrepareCopy(work, image, displayed, settings, builtFor);
  std::unique_ptr<TPixelGraphic> copy;
  work.Deliver = [&copy](std::unique_ptr<TPixelGraphic> built) { copy = std::move(built); };
  work.DoTheWork();
  if (work.Terminated()) copy.reset();
  return copy;
}

}  // namespace

TPrebuiltCopy BuildDisplayCopy(const TPixelGraphic& image, const TDisplaySettings& settings,
                               const std::atomic<bool>* aborted) {
  TPrebuiltCopy result;
  result.For = settings;
  if (image.Empty() || settings.ReduceOnLoad) return result;
  const TSize2 displayed = LayoutFor({image.Width(), image.Height()}, settings).Displayed;
  try {
    result.Copy = BuildCopyAt(image, displayed, settings, aborted);
  } catch (const std::exception&) {
  }
  return result;
}

TSize2 DisplayedSizeFor(TSize2 image, const TDisplaySettings& settings) {
  return LayoutFor(image, settings).Displayed;
}

std::unique_ptr<TPixelGraphic> BuildStandIn(std::unique_ptr<TPixelGraphic> reduced,
                                            TSize2 imageSize, const TDisplaySettings& settings,
                                            const std::atomic<bool>* aborted) {
  if (!reduced || reduced->Empty()) return nullptr;
  const TSize2 displayed = LayoutFor(imageSize, settings).Displayed;
  std::unique_ptr<TPixelGraphic> copy = BuildCopyAt(*reduced, displayed, settings, aborted);
  if (aborted && aborted->load(std::memory_order_relaxed)) return nullptr;
  return copy ? std::move(copy) : std::move(reduced);
}

void TPGImage::AdoptCopy(TPrebuiltCopy prebuilt) {
  if (!prebuilt.Copy || !image_ || image_->Empty() || !(prebuilt.For == DisplaySettings())) return;
  // Only the copy the view would start now is taken: one is needed, and it has
  // the size and format a build would give it.
  const TDisplayCopyDecision d =
      DecideDisplayCopy(CopyDecisionInput(*image_, displayed_, DisplaySettings()));
  const TSize2 size =
      stretchMode_ != smFast ? displayed_ : TSize2{image_->Width(), image_->Height()};
  if (!d.Needed || imageBusy_ != 0 || prebuilt.Copy->Width() != size.Width ||
      prebuilt.Copy->Height() != size.Height)
    return;
  StopPaintThread();
  job_.reset();
  prebuilt.Copy->OnProgress = nullptr;
  copy_ = std::move(prebuilt.Copy);
  copyBuiltFor_ = size;
  rebuild_ = false;
  copyArrived_ = true;
  copyFailed_ = false;
  progressStep_ = 1;
  progressPercent_ = 0;
  viewport()->update();
}

}  // namespace pgraphic
