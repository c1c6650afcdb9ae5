// Geometry options of the convert pipeline: --crop X,Y,W,H, --mirror
// vertical|horizontal, --rotate 180|left|right, --stretch fast|medium|precise and
// --resize WxH, applied in that order (before the colour resolution).
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "pgraphic/image/geometry.h"

namespace cli {
namespace {

// Non-negative decimal integers separated by sep; false when the text is not
// exactly count of them.
bool ParseInts(const std::string& text, char sep, size_t count, std::vector<long long>& out) {
  out.clear();
  size_t pos = 0;
  while (true) {
    size_t end = text.find(sep, pos);
    const std::string part =
        text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    if (part.empty() || part.size() > 9 ||
        part.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    out.push_back(std::atoll(part.c_str()));
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return out.size() == count;
}

const TConvertStepRegistrar crop({
    .option = {"--crop", true, "X,Y,W,H"},
    .order = 100,
    .validate =
        [](const std::string& value) {
          std::vector<long long> v;
          if (!ParseInts(value, ',', 4, v) || v[2] == 0 || v[3] == 0) {
            throw UsageError("--crop takes X,Y,W,H with W and H greater than 0");
          }
        },
    .apply =
        [](std::unique_ptr<pgraphic::TPixelGraphic>& image, const std::string& value) {
          std::vector<long long> v;
          ParseInts(value, ',', 4, v);
          if (v[0] + v[2] > image->Width() || v[1] + v[3] > image->Height()) {
            throw pgraphic::EPixelGraphic(
                "The crop rectangle " + value + " does not lie inside the " +
                std::to_string(image->Width()) + "x" + std::to_string(image->Height()) + " image");
          }
          image = pgraphic::CropImage(*image, static_cast<int>(v[0]), static_cast<int>(v[1]),
                                      static_cast<int>(v[2]), static_cast<int>(v[3]));
        },
});

const TConvertStepRegistrar mirror({
    .option = {"--mirror", true, "vertical|horizontal"},
    .order = 110,
    .validate = [](const std::string& value) { MirrorOption(value); },
    .apply =
        [](std::unique_ptr<pgraphic::TPixelGraphic>& image, const std::string& value) {
          AttachProgress(*image, "mirror");
          const io::TBatchMirror m = MirrorOption(value);
          if (m == io::TBatchMirror::Vertical) image->MirrorVertical();
          if (m == io::TBatchMirror::Horizontal) image->MirrorHorizontal();
        },
});

const TConvertStepRegistrar rotate({
    .option = {"--rotate", true, "180|left|right"},
    .order = 120,
    .validate = [](const std::string& value) { RotateOption(value); },
    .apply =
        [](std::unique_ptr<pgraphic::TPixelGraphic>& image, const std::string& value) {
          const io::TBatchRotate r = RotateOption(value);
          if (r == io::TBatchRotate::None) return;
          const pgraphic::TTurn turn = r == io::TBatchRotate::Half   ? pgraphic::TTurn::Half
                                       : r == io::TBatchRotate::Left ? pgraphic::TTurn::Left90
                                                                     : pgraphic::TTurn::Right90;
          image = pgraphic::TurnImage(*image, turn);
        },
});

const TConvertStepRegistrar stretch({
    .option = {"--stretch", true, "fast|medium|precise"},
    .order = 125,
    .validate =
        [](const std::string& value) {
          if (value != "fast" && value != "medium" && value != "precise") {
            throw UsageError("--stretch takes fast, medium or precise");
          }
        },
    .apply =
        [](std::unique_ptr<pgraphic::TPixelGraphic>& image, const std::string& value) {
          image->SetStretchMode(value == "fast"     ? pgraphic::smFast
                                : value == "medium" ? pgraphic::smMedium
                                                    : pgraphic::smPrecise);
        },
});

const TConvertStepRegistrar resize({
    .option = {"--resize", true, "WxH"},
    .order = 130,
    .validate =
        [](const std::string& value) {
          std::vector<long long> v;
          if (!ParseInts(value, 'x', 2, v) || v[0] == 0 || v[1] == 0) {
            throw UsageError("--resize takes WxH with W and H greater than 0");
          }
        },
    .apply =
        [](std::unique_ptr<pgraphic::TPixelGraphic>& image, const std::string& value) {
          std::vector<long long> v;
          ParseInts(value, 'x', 2, v);
          auto resized = pgraphic::NewImageLike(*image, static_cast<int>(v[0]),
                                                static_cast<int>(v[1]), image->PixelFormat());
          AttachProgress(*resized, "resize");
          resized->CopyFrom(*image);
          image = std::move(resized);
        },
});

}  // namespace

// "none" leaves the image as it is (the batch dialog's first choice).
io::TBatchMirror MirrorOption(const std::string& value) {
  if (value == "none") return io::TBatchMirror::None;
  if (value == "vertical") return io::TBatchMirror::Vertical;
  if (value == "horizontal") return io::TBatchMirror::Horizontal;
  throw UsageError("--mirror takes vertical or horizontal");
}

io::TBatchRotate RotateOption(const std::string& value) {
  if (value == "none") return io::TBatchRotate::None;
  if (value == "180") return io::TBatchRotate::Half;
  if (value == "left") return io::TBatchRotate::Left;
  if (value == "right") return io::TBatchRotate::Right;
  throw UsageError("--rotate takes 180, left or right");
}

}  // namespace cli
