// The convolution filter: an integer kernel, an origin offset, a factor and a
// bias, with the kernel builders of the Sharpen, Detail, Smooth, Contour and
// Blur commands.
#pragma once

#include <cstdint>
#include <vector>

#include "pgraphic/filters/filter.h"

namespace pgraphic {

enum TDistributionShape : uint8_t { dsGaussian, dsTent, dsRect };

class TConvFilter : public TPGFilter {
 public:
  TConvFilter();

  int Width() const { return width_; }
  int Height() const { return height_; }
  // 1 .. 99; a new size clears every weight. Out of range raises EPGConvFilter
  // "TConvFilter.Width out of range" (or Height) and changes nothing.
  void SetWidth(int width);
  void SetHeight(int height);
  // Raise EPGConvFilter "X, Y index out of range" outside the kernel.
  int32_t Kernel(int column, int row) const;
  void SetKernel(int column, int row, int32_t weight);

  int OffsetX = 0, OffsetY = 0;  // position of kernel column 0 / row 0 relative to the pixel
  long double Factor = 1;        // multiplier of the weighted mean
  long double Bias = 0;          // added after the factor, in percent of 255

  // The centred kernel of a distribution with standard deviation sigma, peak 16.
  void BuildDistribution(TDistributionShape shape, bool radial, long double sigma);
  // The builders of the five commands; percent is the dialog's strength.
  void BuildSharpen(int percent, long double sigma, TDistributionShape shape = dsGaussian,
                    bool radial = true);
  void BuildDetail(int percent, long double sigma, TDistributionShape shape = dsGaussian,
                   bool radial = true);
  void BuildSmooth(int percent, long double sigma, TDistributionShape shape = dsGaussian,
                   bool radial = true);
  void BuildContour(int percent, long double sigma, bool blackBackground,
                    TDistributionShape shape = dsRect, bool radial = true);
  void BuildBlur(int percent, long double radius);

  void BeginFilter(const TPixelGraphic& source) override;
  TRGB FilterPixel(int x, int y) override;
  void EndFilter() override;
  bool FilterRow(int y, uint8_t* bgr) override;

 private:
  // Sum of all weights and the centre weight of a centred kernel.
  struct TKernelSums {
    int64_t total = 0;
    int32_t centre = 0;
  };
  TKernelSums Sums();
  int32_t& At(int column, int row);
  uint8_t Finish(int64_t sum, int64_t weightSum) const;
  const uint8_t* SourceRow(int y) const;

  int width_ = 1, height_ = 1;
  std::vector<int32_t> kernel_;
  // State of a run: the source as B, G, R rows, the kernel's interior weight
  // sum, and a table of results for every interior channel sum.
  std::vector<uint8_t> converted_;
  int64_t interiorSum_ = 0;
  int64_t magnitude_ = 0;
  int64_t lutLow_ = 0;
  std::vector<uint8_t> lut_;
  std::vector<int32_t> acc32_;
  std::vector<int64_t> acc64_;
};

}  // namespace pgraphic
