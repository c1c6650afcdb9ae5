#include "io/thumbnails.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "io/files.h"
#include "pgraphic/formats/jpeg.h"
#include "pgraphic/formats/orientation.h"
#include "pgraphic/image/pixelgraphic.h"
#include "pgraphic/stream.h"

namespace io {

namespace {

// Entries larger than the largest size of the cache are not thumbnails.
constexpr png_uint_32 kMaxEntrySide = 1024;
// Largest picture opened whole for a thumbnail: several are made at once beside
// the image shown, so each takes much less than a decode may.
constexpr int64_t kMaxWholePictureBytes = int64_t{512} << 20;

// ---- MD5 (RFC 1321) ------------------------------------------------------------

uint32_t RotateLeft(uint32_t x, int c) {
  return (x << c) | (x >> (32 - c));
}

void Md5Block(std::array<uint32_t, 4>& state, const uint8_t* block) {
  static constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                     5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                     4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                     6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
  // floor(abs(sin(i + 1)) * 2^32)
  static constexpr uint32_t kSine[64] = {
      0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
      0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
      0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
      0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
      0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
      0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
      0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
      0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
      0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
      0xeb86d391};
  uint32_t m[16];
  for (int i = 0; i < 16; ++i)
    m[i] = uint32_t{block[4 * i]} | uint32_t{block[4 * i + 1]} << 8 |
           uint32_t{block[4 * i + 2]} << 16 | uint32_t{block[4 * i + 3]} << 24;
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    const uint32_t next = b + RotateLeft(a + f + kSine[i] + m[g], kShift[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

// ---- PNG entries ---------------------------------------------------------------

// What the library calls of one read or write share. A library error long-jumps
// back to the driving function, which keeps no object with a destructor in its
// frame across library calls.
struct TPngJob {
  std::FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  TThumbnail* picture = nullptr;
  TThumbnailKeys* keys = nullptr;
  std::vector<png_bytep>* rows = nullptr;
  const std::vector<png_text>* texts = nullptr;
  bool alpha = false;
};

void PngError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

int64_t ParseInteger(const char* text) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  return (end == text || *end || errno) ? -1 : value;
}

void TakeKeys(TPngJob* job) {
  png_textp text = nullptr;
  const int count = png_get_text(job->png, job->info, &text, nullptr);
  for (int i = 0; i < count; ++i) {
    const char* key = text[i].key;
    const char* value = text[i].text ? text[i].text : "";
    if (!std::strcmp(key, "Thumb::URI"))
      job->keys->Uri = value;
    else if (!std::strcmp(key, "Thumb::MTime"))
      job->keys->MTime = ParseInteger(value);
    else if (!std::strcmp(key, "Thumb::Size"))
      job->keys->Size = ParseInteger(value);
    else if (!std::strcmp(key, "Thumb::Image::Width"))
      job->keys->ImageWidth =
          static_cast<int>(std::clamp<int64_t>(ParseInteger(value), 0, 1 << 30));
    else if (!std::strcmp(key, "Thumb::Image::Height"))
      job->keys->ImageHeight =
          static_cast<int>(std::clamp<int64_t>(ParseInteger(value), 0, 1 << 30));
  }
}

bool RunPngRead(TPngJob* job) {
  if (setjmp(png_jmpbuf(job->png))) return false;
  png_init_io(job->png, job->file);
  png_set_user_limits(job->png, kMaxEntrySide, kMaxEntrySide);
  png_read_info(job->png, job->info);
  png_set_expand(job->png);
  png_set_strip_16(job->png);
  png_set_gray_to_rgb(job->png);
  png_set_add_alpha(job->png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(job->png);
  png_read_update_info(job->png, job->info);
  const png_uint_32 width = png_get_image_width(job->png, job->info);
  const png_uint_32 height = png_get_image_height(job->png, job->info);
  if (png_get_rowbytes(job->png, job->info) != width * 4) return false;
  TThumbnail& picture = *job->picture;
  picture.Width = static_cast<int>(width);
  picture.Height = static_cast<int>(height);
  picture.Rgba.resize(size_t{width} * height * 4);
  job->rows->resize(height);
  for (png_uint_32 y = 0; y < height; ++y) (*job->rows)[y] = &picture.Rgba[size_t{y} * width * 4];
  png_read_image(job->png, job->rows->data());
  // Keys may stand before or after the picture data.
  png_read_end(job->png, job->info);
  TakeKeys(job);
  return true;
}

bool RunPngWrite(TPngJob* job) {
  if (setjmp(png_jmpbuf(job->png))) return false;
  png_init_io(job->png, job->file);
  const TThumbnail& picture = *job->picture;
  png_set_IHDR(job->png, job->info, static_cast<png_uint_32>(picture.Width),
               static_cast<png_uint_32>(picture.Height), 8,
               job->alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_text(job->png, job->info, const_cast<png_textp>(job->texts->data()),
               static_cast<int>(job->texts->size()));
  png_write_info(job->png, job->info);
  // Opaque pictures are stored as RGB: the alpha bytes are left out.
  if (!job->alpha) png_set_filler(job->png, 0, PNG_FILLER_AFTER);
  png_write_image(job->png, job->rows->data());
  png_write_end(job->png, job->info);
  return true;
}

// Makes the folder and any missing parent with mode 0700.
void MakeFolders(const std::string& folder) {
  std::string part;
  for (size_t at = 1; at <= folder.size(); ++at) {
    if (at < folder.size() && folder[at] != '/') continue;
    part = folder.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
      throw std::runtime_error("Can not make the folder " + part);
  }
}

// The picture as RGBA rows, fitted into side x side.
TThumbnail FitIntoThumbnail(const pgraphic::TPixelGraphic& image, int side) {
  const int w = image.Width(), h = image.Height();
  if (w <= 0 || h <= 0) throw std::runtime_error("The picture is empty");
  int tw = w, th = h;
  if (w > side || h > side) {
    if (w >= h) {
      tw = side;
      th = std::max(1, static_cast<int>((int64_t{h} * side + w / 2) / w));
    } else {
      th = side;
      tw = std::max(1, static_cast<int>((int64_t{w} * side + h / 2) / h));
    }
  }
  pgraphic::TPixelGraphic fitted;
  fitted.SetStretchMode(pgraphic::smPrecise);
  fitted.SetSize(tw, th, pgraphic::pf24Bit);
  fitted.CopyFrom(image);
  TThumbnail out;
  out.Width = tw;
  out.Height = th;
  out.Rgba.resize(size_t(tw) * th * 4);
  uint8_t* to = out.Rgba.data();
  for (int y = 0; y < th; ++y) {
    const uint8_t* bgr = fitted.ScanLine(y);
    for (int x = 0; x < tw; ++x, bgr += 3, to += 4) {
      to[0] = bgr[2];
      to[1] = bgr[1];
      to[2] = bgr[0];
      to[3] = 0xFF;
    }
  }
  return out;
}

bool IsJpegFile(const std::string& path) {
  uint8_t head[2] = {};
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  return f && std::fread(head, 1, 2, f.get()) == 2 && head[0] == 0xFF && head[1] == 0xD8;
}

}  // namespace

std::string AbsoluteCleanPath(const std::string& path) {
  std::filesystem::path p(path);
  if (p.is_relative()) p = std::filesystem::current_path() / p;
  std::string clean = p.lexically_normal().string();
  while (clean.size() > 1 && clean.back() == '/') clean.pop_back();
  return clean;
}

std::string FileUri(const std::string& path) {
  static constexpr char kKept[] = "!$&'()*+,-./:=@_~";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const unsigned char c : AbsoluteCleanPath(path)) {
    if (std::isalnum(c) && c < 0x80) {
      uri += static_cast<char>(c);
    } else if (c && std::strchr(kKept, c)) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

std::string Md5Hex(const std::string& bytes) {
  std::array<uint32_t, 4> state = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  std::string padded = bytes;
  padded += '\x80';
  while (padded.size() % 64 != 56) padded += '\0';
  const uint64_t bits = uint64_t{bytes.size()} * 8;
  for (int i = 0; i < 8; ++i) padded += static_cast<char>((bits >> (8 * i)) & 0xFF);
  for (size_t at = 0; at < padded.size(); at += 64)
    Md5Block(state, reinterpret_cast<const uint8_t*>(padded.data() + at));
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (uint32_t word : state)
    for (int i = 0; i < 4; ++i, word >>= 8) {
      hex += kHex[(word >> 4) & 15];
      hex += kHex[word & 15];
    }
  return hex;
}

std::string ThumbnailFolder(TThumbnailSize size) {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  std::string base;
  if (cache && cache[0] == '/') {
    base = cache;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home ? home : "") + "/.cache";
  }
  return AbsoluteCleanPath(base) + "/thumbnails/" +
         (size == TThumbnailSize::Large ? "large" : "normal");
}

std::string ThumbnailPath(const std::string& path, TThumbnailSize size) {
  return ThumbnailFolder(size) + "/" + Md5Hex(FileUri(path)) + ".png";
}

bool ReadThumbnailFile(const std::string& path, TThumbnailKeys& keys, TThumbnail& picture) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) return false;
  uint8_t signature[8];
  if (std::fread(signature, 1, 8, file.get()) != 8 || png_sig_cmp(signature, 0, 8)) return false;
  std::rewind(file.get());
  TPngJob job;
  std::vector<png_bytep> rows;
  job.file = file.get();
  job.picture = &picture;
  job.keys = &keys;
  job.rows = &rows;
  job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!job.png) return false;
  job.info = png_create_info_struct(job.png);
  const bool ok = job.info && RunPngRead(&job);
  png_destroy_read_struct(&job.png, &job.info, nullptr);
  if (!ok) picture = TThumbnail();
  return ok;
}

void WriteThumbnailFile(const std::string& path, const TThumbnail& picture,
                        const TThumbnailKeys& keys) {
  if (picture.Width <= 0 || picture.Height <= 0 ||
      picture.Rgba.size() != size_t(picture.Width) * picture.Height * 4)
    throw std::runtime_error("Not a thumbnail picture");
  const std::string folder = std::filesystem::path(path).parent_path().string();
  MakeFolders(folder);
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) throw std::runtime_error("Can not write into " + folder);
  fchmod(fd, 0600);
  std::FILE* file = fdopen(fd, "wb");
  if (!file) {
    close(fd);
    unlink(temp.c_str());
    throw std::runtime_error("Can not write " + temp);
  }
  // The keys as text chunks.
  const std::string mtime = std::to_string(keys.MTime), size = std::to_string(keys.Size);
  const std::string width = std::to_string(keys.ImageWidth);
  const std::string height = std::to_string(keys.ImageHeight);
  std::vector<std::pair<const char*, const std::string*>> pairs = {{"Thumb::URI", &keys.Uri},
                                                                   {"Thumb::MTime", &mtime}};
  if (keys.Size >= 0) pairs.push_back({"Thumb::Size", &size});
  if (keys.ImageWidth > 0 && keys.ImageHeight > 0) {
    pairs.push_back({"Thumb::Image::Width", &width});
    pairs.push_back({"Thumb::Image::Height", &height});
  }
  std::vector<png_text> texts;
  for (const auto& [key, value] : pairs) {
    png_text text{};
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = const_cast<char*>(key);
    text.text = const_cast<char*>(value->c_str());
    text.text_length = value->size();
    texts.push_back(text);
  }
  std::vector<png_bytep> rows(size_t(picture.Height));
  for (int y = 0; y < picture.Height; ++y)
    rows[size_t(y)] = const_cast<png_bytep>(&picture.Rgba[size_t(y) * picture.Width * 4]);
  TPngJob job;
  job.file = file;
  job.picture = const_cast<TThumbnail*>(&picture);
  job.rows = &rows;
  job.texts = &texts;
  for (size_t i = 3; i < picture.Rgba.size() && !job.alpha; i += 4)
    job.alpha = picture.Rgba[i] != 0xFF;
  job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  job.info = job.png ? png_create_info_struct(job.png) : nullptr;
  bool ok = job.png && job.info && RunPngWrite(&job);
  png_destroy_write_struct(&job.png, &job.info);
  ok = (std::fflush(file) == 0) && ok;
  ok = (std::fclose(file) == 0) && ok;
  if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    throw std::runtime_error("Can not write " + path);
  }
}

TThumbnail MakeThumbnail(const std::string& path, TThumbnailSize size, TThumbnailKeys& keys) {
  const int side = static_cast<int>(size);
  pgraphic::TPixelGraphic image;
  // Nobody is asked anything about a thumbnail: a damaged file shows what was read.
  image.SetReadWarningAction(pgraphic::pgwaIgnore);
  image.SetStretchMode(pgraphic::smPrecise);
  if (FileKindOf(path) == TFileKind::Image && IsJpegFile(path)) {
    pgraphic::TFileStream stream(path, pgraphic::TFileStream::fmOpenRead);
    pgraphic::TJPEGPictureSize full;
    pgraphic::ReadJPEGReduced(stream, image, side, full);
    keys.ImageWidth = full.Width;
    keys.ImageHeight = full.Height;
  } else {
    if (PictureBytes(DescribeFile(path)) > kMaxWholePictureBytes)
      throw std::runtime_error("The picture is too large for a thumbnail");
    OpenImage(path, image);
    keys.ImageWidth = image.Width();
    keys.ImageHeight = image.Height();
  }
  // Thumbnails are shared with other programs, which show photographs upright.
  const int orientation = FileOrientation(path);
  Orient(image, orientation);
  if (pgraphic::OrientationSwapsAxes(orientation)) std::swap(keys.ImageWidth, keys.ImageHeight);
  return FitIntoThumbnail(image, side);
}

TThumbnail LoadThumbnail(const std::string& path, TThumbnailSize size) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) throw std::runtime_error("Can not read " + path);
  const std::string uri = FileUri(path);
  const std::string entry = ThumbnailFolder(size) + "/" + Md5Hex(uri) + ".png";
  TThumbnailKeys keys;
  TThumbnail cached;
  if (ReadThumbnailFile(entry, keys, cached) && keys.Uri == uri &&
      keys.MTime == int64_t{st.st_mtime} && (keys.Size < 0 || keys.Size == int64_t{st.st_size})) {
    cached.FromCache = true;
    return cached;
  }
  keys = TThumbnailKeys();
  TThumbnail made = MakeThumbnail(path, size, keys);
  keys.Uri = uri;
  keys.MTime = st.st_mtime;
  keys.Size = st.st_size;
  const std::string cacheRoot = std::filesystem::path(ThumbnailFolder(size)).parent_path().string();
  if (AbsoluteCleanPath(path).rfind(cacheRoot + "/", 0) == 0) return made;
  try {
    WriteThumbnailFile(entry, made, keys);
  } catch (const std::runtime_error&) {
    // A cache that cannot be written only costs the next listing the work again.
  }
  return made;
}

}  // namespace io
