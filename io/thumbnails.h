// Thumbnails of image files, kept in the per-user thumbnail cache that file
// managers and other viewers share: one PNG per file under
// $XDG_CACHE_HOME/thumbnails/normal (pictures fitted into 128 x 128) or
// .../large (256 x 256), named after the MD5 of the file's file:// URI, and
// carrying that URI and the file's modification time as the text keys
// Thumb::URI and Thumb::MTime. An entry whose time (or size) no longer matches
// the file is made again.
//
// Threads: every call works on its own state; several threads may make
// thumbnails at once. Nothing here asks the user: a file that cannot be read
// fails with an exception.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace io {

// The sides of the cache's two sizes.
enum class TThumbnailSize : int { Normal = 128, Large = 256 };

// A thumbnail's picture: 8-bit red, green, blue, alpha, rows top to bottom.
struct TThumbnail {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgba;
  bool FromCache = false;  // taken from a valid cache entry rather than made
};

// The keys of a cache entry. MTime and Size are -1, and the picture sides 0,
// when the entry lacks them.
struct TThumbnailKeys {
  std::string Uri;
  int64_t MTime = -1;
  int64_t Size = -1;
  int ImageWidth = 0;
  int ImageHeight = 0;
};

// The path made absolute and lexically clean (no "." or ".." parts, single
// slashes); symbolic links are kept as they are named.
std::string AbsoluteCleanPath(const std::string& path);
// "file://" and the absolute path with every byte percent-encoded but the
// letters, digits and !$&'()*+,-./:=@_~ .
std::string FileUri(const std::string& path);
// The 32 lower-case hex digits of the MD5 of the bytes.
std::string Md5Hex(const std::string& bytes);
// The cache folder of a size: $XDG_CACHE_HOME/thumbnails/<normal|large>, with
// $HOME/.cache in place of an unset or relative $XDG_CACHE_HOME.
std::string ThumbnailFolder(TThumbnailSize size);
// Where the entry of the file would be.
std::string ThumbnailPath(const std::string& path, TThumbnailSize size);

// Reads a cache entry: its keys and its picture (any PNG colour type becomes
// RGBA). False when it is missing, not a PNG, corrupt, or larger than a
// thumbnail can be.
bool ReadThumbnailFile(const std::string& path, TThumbnailKeys& keys, TThumbnail& picture);
// Writes a cache entry as an 8-bit RGB(A) PNG with the keys: into a temporary
// file in the same folder (mode 0600), renamed over the entry when complete.
// The folder is made (mode 0700) when missing. Raises std::runtime_error when
// it cannot be written; an existing entry then stays as it was.
void WriteThumbnailFile(const std::string& path, const TThumbnail& picture,
                        const TThumbnailKeys& keys);

// Makes the thumbnail of an image file without the cache: the picture fitted
// into size x size (never enlarged). A JPEG is decoded at the smallest reduced
// size the decoder offers that still covers the thumbnail; other files are
// opened whole and resampled (none larger than 512 MB of pixels). `keys` gets
// the picture's full size. Raises pgraphic::EPixelGraphic (or codec::EVQN) when
// the file cannot be read, std::runtime_error when it is too large.
TThumbnail MakeThumbnail(const std::string& path, TThumbnailSize size, TThumbnailKeys& keys);

// The thumbnail of an image file: the cache entry when it is valid for the
// file as it is now, else a new one, stored in the cache (a cache that cannot
// be written is passed over; files inside the cache itself get no entries).
// Raises as MakeThumbnail.
TThumbnail LoadThumbnail(const std::string& path, TThumbnailSize size);

}  // namespace io
