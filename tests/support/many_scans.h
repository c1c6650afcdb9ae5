// Progressive JPEG files of many scans, made from a real one by repeating its
// last scan: a repeated first-pass scan is legal and costs the decoder a pass
// over the picture each time.
#pragma once

#include <cstdint>
#include <vector>

namespace korvane_test {

// `jpeg` with its last scan repeated until it has `extra` more; empty when the
// bytes end in no scan.
inline std::vector<uint8_t> RepeatLastScan(const std::vector<uint8_t>& jpeg, int extra) {
  size_t end = jpeg.size();
  while (end >= 2 && !(jpeg[end - 2] == 0xFF && jpeg[end - 1] == 0xD9)) --end;
  size_t sos = end >= 2 ? end - 2 : 0;
  while (sos > 0 && !(jpeg[sos - 1] == 0xFF && jpeg[sos] == 0xDA)) --sos;
  if (sos == 0 || end < 2) return {};
  const std::vector<uint8_t> scan(jpeg.begin() + static_cast<long>(sos) - 1,
                                  jpeg.begin() + static_cast<long>(end) - 2);
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + static_cast<long>(end) - 2);
  for (int i = 0; i < extra; ++i) out.insert(out.end(), scan.begin(), scan.end());
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

}  // namespace korvane_test
