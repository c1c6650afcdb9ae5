// A small read-ahead buffer over a TStream for byte-oriented decoders: refills
// with at most the bytes left and tells the caller when a refill found nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "pgraphic/stream.h"

namespace pgraphic {

class TBufferedInput {
 public:
  explicit TBufferedInput(TStream& stream, size_t capacity = 1 << 16)
      : stream_(stream), buffer_(capacity) {}

  // Next byte, or -1 when the stream has no more bytes.
  int Get() {
    if (pos_ == end_ && !Refill()) return -1;
    return buffer_[pos_++];
  }

  // Next byte without taking it, or -1 at the end of the stream.
  int Peek() {
    if (pos_ == end_ && !Refill()) return -1;
    return buffer_[pos_];
  }

  // Bytes read ahead from the stream and not yet taken.
  size_t Buffered() const { return end_ - pos_; }

  // Copies up to n bytes; returns how many were available.
  size_t Read(uint8_t* dest, size_t n) {
    size_t done = 0;
    while (done < n) {
      if (pos_ == end_) {
        // Large requests go straight to the stream once the buffer is drained.
        if (n - done >= buffer_.size()) {
          size_t got = stream_.Read(dest + done, n - done);
          done += got;
          return done;
        }
        if (!Refill()) break;
      }
      size_t take = end_ - pos_;
      if (take > n - done) take = n - done;
      std::memcpy(dest + done, buffer_.data() + pos_, take);
      pos_ += take;
      done += take;
    }
    return done;
  }

  // Skips up to n bytes; returns how many were skipped.
  size_t Skip(size_t n) {
    size_t done = 0;
    while (done < n) {
      if (pos_ == end_ && !Refill()) break;
      size_t take = end_ - pos_;
      if (take > n - done) take = n - done;
      pos_ += take;
      done += take;
    }
    return done;
  }

 private:
  bool Refill() {
    pos_ = 0;
    end_ = stream_.Read(buffer_.data(), buffer_.size());
    return end_ != 0;
  }

  TStream& stream_;
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
};

}  // namespace pgraphic
