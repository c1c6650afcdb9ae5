// Feeds arbitrary streams to the entropy decoder alone. The first two bytes choose
// how many coefficient bytes to produce; the decoder must stay inside both buffers.
// The three-plane decoder must agree with it. A successful decoding re-encodes to a stream that
// decodes to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/entropy.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t count = 1 + (static_cast<size_t>(data[0]) | (static_cast<size_t>(data[1]) << 8)) * 4;
  // Exact-size buffers: any write or read past them is caught by the sanitizer.
  std::vector<uint8_t> stream(data + 2, data + size);
  std::vector<uint8_t> out(count);
  const auto status = codec::DecodeBytes(stream.data(), stream.size(), out.data(), out.size());
  // The three-plane form reads the same stream to the same status and bytes.
  const size_t positions = count / 3;
  std::vector<uint8_t> p0(positions), p1(positions), p2(positions);
  uint8_t* const planes[3] = {p0.data(), p1.data(), p2.data()};
  std::vector<uint8_t> whole(3 * positions);
  if (codec::DecodePlanes(stream.data(), stream.size(), planes, positions) !=
      codec::DecodeBytes(stream.data(), stream.size(), whole.data(), whole.size())) {
    __builtin_trap();
  }
  if (status == codec::DecodeStatus::Ok) {
    const auto coded = codec::EncodeBytes(out.data(), out.size());
    std::vector<uint8_t> back(count);
    if (codec::DecodeBytes(coded.data(), coded.size(), back.data(), back.size()) !=
            codec::DecodeStatus::Ok ||
        back != out) {
      __builtin_trap();
    }
  }
  return 0;
}
