// The one seekable byte stream the library reads and writes through: files on
// disk, growable memory buffers and read-only views of foreign memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace pgraphic {

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to n bytes; returns how many were read (short at end of stream).
  virtual size_t Read(void* buffer, size_t n) = 0;
  // Writes n bytes; returns how many were written.
  virtual size_t Write(const void* buffer, size_t n) = 0;
  // Moves to an absolute position; positions beyond the end are allowed.
  virtual void Seek(int64_t position) = 0;
  virtual int64_t Position() const = 0;
  virtual int64_t Size() const = 0;

  // Writes all n bytes or raises EPixelGraphic "Write failed", followed by the
  // system's reason when the stream knows it.
  void WriteBuffer(const void* buffer, size_t n);
  // The system's error number of the first write that failed; 0 when none did
  // or the stream cannot tell.
  virtual int WriteError() const { return 0; }
  // Bytes left between the position and the end (0 when beyond the end).
  int64_t Remaining() const;
};

// Opens a file for reading and returns its descriptor (close-on-exec). Only a
// regular file is accepted, also behind a symbolic link: a FIFO, socket,
// device or directory raises EPixelGraphic naming the file and what it is,
// before anything is read, and the opening itself never waits for a writer.
int OpenRegularFileForReading(const std::string& name);

// A file opened for reading (only a regular file), or created (truncated) for
// writing.
class TFileStream : public TStream {
 public:
  enum Mode { fmOpenRead, fmCreate };
  // Raises EPixelGraphic when the file cannot be opened.
  TFileStream(const std::string& name, Mode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  size_t Read(void* buffer, size_t n) override;
  size_t Write(const void* buffer, size_t n) override;
  void Seek(int64_t position) override;
  int64_t Position() const override;
  int64_t Size() const override;
  // Flushes and closes; raises when buffered data could not be written.
  void Close();
  int WriteError() const override { return writeError_; }
  // Takes over a file already opened for writing and reading ("w+b").
  explicit TFileStream(std::FILE* file);

 private:
  std::FILE* file_ = nullptr;
  bool writing_ = false;
  int writeError_ = 0;
  int64_t position_ = 0;
  mutable int64_t size_ = -1;
};

// A growable in-memory stream that owns its bytes.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  size_t Read(void* buffer, size_t n) override;
  size_t Write(const void* buffer, size_t n) override;
  void Seek(int64_t position) override { position_ = position < 0 ? 0 : position; }
  int64_t Position() const override { return position_; }
  int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::vector<uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  int64_t position_ = 0;
};

// A read-only view of memory owned elsewhere (fuzzers, clipboard blocks).
class TReadOnlyMemoryStream : public TStream {
 public:
  TReadOnlyMemoryStream(const void* data, size_t size)
      : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  size_t Read(void* buffer, size_t n) override;
  size_t Write(const void*, size_t) override { return 0; }
  void Seek(int64_t position) override { position_ = position < 0 ? 0 : position; }
  int64_t Position() const override { return position_; }
  int64_t Size() const override { return static_cast<int64_t>(size_); }

 private:
  const uint8_t* data_;
  size_t size_;
  int64_t position_ = 0;
};

// Writes a file so that a failure never destroys what was there: `write` fills
// a temporary file beside the target, which is renamed over the target only
// after `write` returned and the data were flushed. An existing file keeps its
// permission bits, a new one gets the usual ones (0666 less the umask); saving
// through a symbolic link replaces the file the link points to, not the link,
// and a link that points nowhere yet creates that file.
// The temporary name is short and of fixed length (TempFilePrefix, the writer's
// process id in 7 digits, "-" and 6 random characters), so any name the folder
// can hold can be written. Temporary files of that pattern left behind by a
// writer that was killed are removed by a process's first save into their
// folder.
// On any failure the temporary file is removed and the exception passes on;
// a failure to create, write or rename reads "Cannot write file "<fileName>":
// <the system's reason>".
void SaveFileSafely(const std::string& fileName, const std::function<void(TStream&)>& write);

inline constexpr const char* TempFilePrefix = ".kvtmp-";
// Whether `name` (without folder) is a temporary file name of SaveFileSafely;
// `pid` receives the writer's process id.
bool IsSaveTempName(const std::string& name, long& pid);
// Removes the temporary files of SaveFileSafely in `folder` whose writer is gone
// and which were not written to for a minute, and any not written to for a day
// (the writer's id was reused). Files of other owners and links are left alone.
void RemoveStaleSaveTemps(const std::string& folder);

}  // namespace pgraphic
