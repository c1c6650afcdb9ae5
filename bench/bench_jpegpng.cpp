// Decode and encode of a 12-megapixel photograph as JPEG and PNG through the
// readers and writers, next to the bare libraries driven the simplest way with
// the same settings, so the cost of the wrapper shows.
//
// The photographs come from scripts/fetch-bench-images (build-ext/bench/); set
// KORVANE_BENCH_IMAGES to use another folder.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "pgraphic/formats/jpeg.h"
#include "pgraphic/formats/png.h"

using namespace pgraphic;

namespace {

using bench::ImageFolder;

std::vector<uint8_t> ReadBytes(const std::string& path) {
  if (!std::ifstream(path, std::ios::binary)) {
    throw std::runtime_error("missing " + path + " (run scripts/fetch-bench-images)");
  }
  return bench::ReadBytes(path);
}

void LoadPPM(const std::string& path, TPixelGraphic& g) {
  if (!bench::ReadPPM(path, g)) {
    throw std::runtime_error("cannot read " + path + " (run scripts/fetch-bench-images)");
  }
}

struct TFixture {
  TPixelGraphic photo;
  std::vector<uint8_t> jpeg;
  std::vector<uint8_t> png;
  TFixture() {
    LoadPPM(ImageFolder() + "/kleiber-12mp.ppm", photo);
    jpeg = ReadBytes(ImageFolder() + "/kleiber-12mp.jpg");
    TMemoryStream out;
    TPNGFileFormatWriter().WriteGraphic(out, photo);
    png = std::move(out.Bytes());
  }
};

TFixture& Fixture() {
  static TFixture f;
  return f;
}

// Into a fresh image each time, as loading a file does: includes allocating
// and clearing the 36 MB of pixel storage.
void JPEGDecode(benchmark::State& state) {
  const auto& bytes = Fixture().jpeg;
  for (auto _ : state) {
    TPixelGraphic g;
    TReadOnlyMemoryStream in(bytes.data(), bytes.size());
    TJPGFileFormatReader().ReadGraphic(in, g, 0);
    benchmark::DoNotOptimize(g.Bits());
  }
}

// Into the same image, as the bare decode below reuses its buffer.
void JPEGDecodeSameImage(benchmark::State& state) {
  const auto& bytes = Fixture().jpeg;
  TPixelGraphic g;
  for (auto _ : state) {
    TReadOnlyMemoryStream in(bytes.data(), bytes.size());
    TJPGFileFormatReader().ReadGraphic(in, g, 0);
    benchmark::DoNotOptimize(g.Bits());
  }
}

void JPEGEncode(benchmark::State& state) {
  TPixelGraphic& photo = Fixture().photo;
  for (auto _ : state) {
    TMemoryStream out;
    out.Bytes().reserve(4 << 20);
    TJPGFileFormatWriter().WriteGraphic(out, photo);
    benchmark::DoNotOptimize(out.Bytes().data());
  }
}

void PNGDecode(benchmark::State& state) {
  const auto& bytes = Fixture().png;
  for (auto _ : state) {
    TPixelGraphic g;
    TReadOnlyMemoryStream in(bytes.data(), bytes.size());
    TPNGFileFormatReader().ReadGraphic(in, g, 0);
    benchmark::DoNotOptimize(g.Bits());
  }
}

void PNGEncode(benchmark::State& state) {
  TPixelGraphic& photo = Fixture().photo;
  for (auto _ : state) {
    TMemoryStream out;
    out.Bytes().reserve(32 << 20);
    TPNGFileFormatWriter().WriteGraphic(out, photo);
    benchmark::DoNotOptimize(out.Bytes().data());
  }
}

// ---- The bare libraries, same settings, straight into one buffer ---------------------------

void BareJPEGDecode(benchmark::State& state) {
  const auto& bytes = Fixture().jpeg;
  std::vector<uint8_t> pixels;
  for (auto _ : state) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), bytes.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t(cinfo.output_width) * 3;
    pixels.resize(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = pixels.data() + stride * cinfo.output_scanline;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(pixels.data());
  }
}

void BareJPEGEncode(benchmark::State& state) {
  TPixelGraphic& photo = Fixture().photo;
  for (auto _ : state) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = photo.Width();
    cinfo.image_height = photo.Height();
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, PGJPEGQuality, TRUE);
    cinfo.dct_method = static_cast<J_DCT_METHOD>(PGJPEGWriteDCTMethod.Load());
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
      JSAMPROW row = photo.ScanLine(int(cinfo.next_scanline));
      jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    benchmark::DoNotOptimize(buffer);
    std::free(buffer);
  }
}

struct TMemoryReader {
  const uint8_t* data;
  size_t left;
};

void BarePNGDecode(benchmark::State& state) {
  const auto& bytes = Fixture().png;
  std::vector<uint8_t> pixels;
  for (auto _ : state) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    TMemoryReader reader{bytes.data(), bytes.size()};
    png_set_read_fn(png, &reader, [](png_structp p, png_bytep out, size_t n) {
      auto* r = static_cast<TMemoryReader*>(png_get_io_ptr(p));
      if (n > r->left) png_error(p, "short");
      std::memcpy(out, r->data, n);
      r->data += n;
      r->left -= n;
    });
    png_read_info(png, info);
    png_set_bgr(png);
    png_read_update_info(png, info);
    const size_t stride = png_get_rowbytes(png, info);
    const int h = int(png_get_image_height(png, info));
    pixels.resize(stride * h);
    for (int y = 0; y < h; ++y) png_read_row(png, pixels.data() + stride * y, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(pixels.data());
  }
}

void BarePNGEncode(benchmark::State& state) {
  TPixelGraphic& photo = Fixture().photo;
  for (auto _ : state) {
    std::vector<uint8_t> out;
    out.reserve(32 << 20);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t n) {
          auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
          v->insert(v->end(), data, data + n);
        },
        [](png_structp) {});
    png_set_IHDR(png, info, photo.Width(), photo.Height(), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int y = 0; y < photo.Height(); ++y) png_write_row(png, photo.ScanLine(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    benchmark::DoNotOptimize(out.data());
  }
}

}  // namespace

BENCHMARK(JPEGDecode)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(JPEGDecodeSameImage)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BareJPEGDecode)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(JPEGEncode)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BareJPEGEncode)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(PNGDecode)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BarePNGDecode)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(PNGEncode)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BarePNGEncode)->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
