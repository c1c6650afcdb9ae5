// WMF playback through libwmf's bitmap device.
#include <libwmf/api.h>
#include <libwmf/gd.h>
#include <libwmf/gd/gd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "metafile/metafile_internal.h"

namespace metafile::detail {

namespace {

// Owns one libwmf player for the length of a drawing.
class TWmfPlayer {
 public:
  TWmfPlayer() {
    wmfAPI_Options options{};
    options.function = wmf_gd_function;
    // Errors come back as codes; the library's own reports to stderr are off.
    const unsigned long flags =
        WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(&api_, flags, &options) != wmf_E_None)
      Fail("WMF: The metafile player cannot start");
  }
  ~TWmfPlayer() {
    if (api_) wmf_api_destroy(api_);
  }
  TWmfPlayer(const TWmfPlayer&) = delete;
  TWmfPlayer& operator=(const TWmfPlayer&) = delete;
  wmfAPI* Api() const { return api_; }

 private:
  wmfAPI* api_ = nullptr;
};

constexpr std::chrono::seconds kDrawingTimeLimit{20};

// The player's progress report after each record: non-zero stops it.
int PastDeadline(void* context, float) {
  return std::chrono::steady_clock::now() >
         *static_cast<std::chrono::steady_clock::time_point*>(context);
}

struct TImageDestroyer {
  void operator()(gdImagePtr image) const { gdImageDestroy(image); }
};

// Samples per pixel along each axis: 4, or fewer for large pictures. The device
// spends its time per sample, so the samples are kept within a budget (about
// 0.1 s of drawing); a picture beyond it is drawn with one sample per pixel.
int SampleFactor(int width, int height) {
  constexpr int64_t kSampleBudget = int64_t{1} << 22;
  const int64_t pixels = (int64_t{width} + 1) * (int64_t{height} + 1);
  for (int factor = 4; factor > 1; factor /= 2)
    if (pixels * factor * factor <= kSampleBudget) return factor;
  return 1;
}

// The mean of each factor x factor block of 0x..RRGGBB samples, per channel.
std::vector<uint32_t> AverageSamples(const uint32_t* samples, size_t sampleStride, int factor,
                                     size_t width, size_t height) {
  std::vector<uint32_t> pixels(width * height);
  const uint32_t count = static_cast<uint32_t>(factor * factor);
  for (size_t y = 0; y < height; ++y)
    for (size_t x = 0; x < width; ++x) {
      uint32_t sum[3] = {0, 0, 0};
      for (int sy = 0; sy < factor; ++sy) {
        const uint32_t* row = samples + (y * factor + sy) * sampleStride + x * factor;
        for (int sx = 0; sx < factor; ++sx)
          for (int c = 0; c < 3; ++c) sum[c] += (row[sx] >> (8 * c)) & 0xFF;
      }
      uint32_t value = 0;
      for (int c = 0; c < 3; ++c) value |= ((sum[c] + count / 2) / count) << (8 * c);
      pixels[y * width + x] = value;
    }
  return pixels;
}

}  // namespace

void DrawWmf(const TCheckedWmf& wmf, TPixelGraphic& target) {
  const int width = target.Width(), height = target.Height();
  TWmfPlayer player;
  wmfAPI* api = player.Api();
  // The player reads from memory it is given as writable; it gets its own copy.
  std::vector<uint8_t> bytes = wmf.Bytes;
  wmfD_Rect bounds;
  if (wmf_mem_open(api, bytes.data(), static_cast<long>(bytes.size())) != wmf_E_None)
    Fail("WMF: Cannot draw the metafile");
  // Scanning also loads the player's fonts (the fonts-urw-base35 set); without them
  // it fails even for pictures without text.
  if (wmf_scan(api, 0, &bounds) != wmf_E_None) Fail("WMF: Cannot draw the metafile");

  // The device maps its bounding box onto the whole bitmap. A bitmap one pixel
  // wider and taller, whose box starts one pixel before the frame, puts the frame's
  // top-left at (1, 1); its first width x height pixels are the picture. The device
  // draws without anti-aliasing, so it draws at up to 4 x 4 samples per pixel and
  // each pixel is the mean of its samples.
  const int factor = std::min(SampleFactor(width, height), wmf.MaxSampleFactor);
  const size_t sampledWidth = (static_cast<size_t>(width) + 1) * factor;
  const size_t sampledHeight = (static_cast<size_t>(height) + 1) * factor;
  wmf_gd_t* device = WMF_GD_GetData(api);
  const double pixelX = (wmf.Frame.Right - wmf.Frame.Left) / width;
  const double pixelY = (wmf.Frame.Bottom - wmf.Frame.Top) / height;
  device->type = wmf_gd_image;
  device->width = static_cast<unsigned>(sampledWidth);
  device->height = static_cast<unsigned>(sampledHeight);
  device->bbox.TL.x = static_cast<float>(wmf.Frame.Left - pixelX);
  device->bbox.TL.y = static_cast<float>(wmf.Frame.Top - pixelY);
  device->bbox.BR.x = static_cast<float>(wmf.Frame.Right);
  device->bbox.BR.y = static_cast<float>(wmf.Frame.Bottom);
  // A hostile file of many costly records is stopped between records.
  auto deadline = std::chrono::steady_clock::now() + kDrawingTimeLimit;
  wmf_status_function(api, &deadline, PastDeadline);
  const wmf_error_t played = wmf_play(api, 0, &bounds);
  // The device hands its image over to the caller, also after a failed play.
  std::unique_ptr<gdImage, TImageDestroyer> sampled(static_cast<gdImagePtr>(device->gd_image));
  device->gd_image = nullptr;
  if (played == wmf_E_UserExit) Fail("WMF: Drawing took too long");
  if (played != wmf_E_None || !sampled) Fail("WMF: Cannot draw the metafile");
  const int* samples = wmf_gd_image_pixels(sampled.get());
  if (!samples) Fail("WMF: Cannot draw the metafile");
  const auto pixels =
      AverageSamples(reinterpret_cast<const uint32_t*>(samples), sampledWidth, factor,
                     static_cast<size_t>(width) + 1, static_cast<size_t>(height) + 1);
  StoreXrgbRows(pixels.data(), static_cast<size_t>(width) + 1, target);
}

}  // namespace metafile::detail
