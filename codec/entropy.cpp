#include "codec/entropy.h"

#include <algorithm>
#include <cstring>

namespace codec {

namespace {

constexpr int ByteAlphabet = 256;
constexpr int RunAlphabet = MaxRunLength + 1;

thread_local EntropyStats lastStats;

// Packs bits least significant first: the first bit of the stream is bit 0 of
// byte 0.
class BitWriter {
 public:
  explicit BitWriter(size_t expected) { out_.reserve(expected); }
  // Appends `length` (0..32) bits taken from the low end of `bits`.
  void Put(uint64_t bits, int length) {
    acc_ |= bits << filled_;
    filled_ += length;
    total_ += static_cast<uint64_t>(length);
    if (filled_ >= 32) {
      uint8_t word[4];
      for (int i = 0; i < 4; ++i) word[i] = static_cast<uint8_t>(acc_ >> (8 * i));
      out_.insert(out_.end(), word, word + 4);
      acc_ >>= 32;
      filled_ -= 32;
    }
  }
  void PutLong(uint64_t bits, int length) {
    if (length > 32) {
      Put(bits & 0xFFFFFFFFu, 32);
      Put(bits >> 32, length - 32);
    } else {
      Put(bits, length);
    }
  }
  std::vector<uint8_t> Finish() {
    while (filled_ > 0) {
      out_.push_back(static_cast<uint8_t>(acc_));
      acc_ >>= 8;
      filled_ = std::max(0, filled_ - 8);
    }
    // A stream without bits still has its first (cleared) byte.
    if (out_.empty()) out_.push_back(0);
    return std::move(out_);
  }

 private:
  std::vector<uint8_t> out_;
  uint64_t acc_ = 0;
  int filled_ = 0;
  uint64_t total_ = 0;
};

// Reads bits least significant first. Past the end of the data it supplies zero
// bits and keeps counting, so the caller can tell afterwards whether the stream
// was long enough.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  // Makes at least 57 bits available.
  void Refill() {
    if (pos_ + 8 <= size_) {
      uint64_t v;
      std::memcpy(&v, data_ + pos_, 8);
      buf_ |= v << count_;
      pos_ += static_cast<size_t>((63 - count_) >> 3);
      count_ |= 56;
      return;
    }
    while (count_ <= 56) {
      uint64_t byte = pos_ < size_ ? data_[pos_] : 0;
      buf_ |= byte << count_;
      ++pos_;
      count_ += 8;
    }
  }
  int Available() const { return count_; }
  unsigned Bit() {
    unsigned b = static_cast<unsigned>(buf_ & 1);
    buf_ >>= 1;
    --count_;
    return b;
  }
  // Bits taken so far, including any zero bits beyond the end.
  uint64_t Consumed() const {
    return static_cast<uint64_t>(pos_) * 8 - static_cast<uint64_t>(count_);
  }
  bool Overrun() const { return Consumed() > static_cast<uint64_t>(size_) * 8; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  uint64_t buf_ = 0;
  int count_ = 0;
};

// Appends the code of `symbol`, then splays its leaf along the path just walked.
inline void EmitAndSplay(BitWriter& w, SplayCode& code, int symbol) {
  const uint16_t* child = code.Children();
  uint16_t* nodes = code.PathNodes();
  uint8_t* sides = code.PathSides();
  unsigned node = static_cast<unsigned>(code.Alphabet() + symbol);
  int depth = 0;
  uint64_t bits = 0;
  while (node != 1) {
    const unsigned parent = static_cast<unsigned>(code.Parent(static_cast<int>(node)));
    const unsigned side = child[2 * parent + 1] == node ? 1u : 0u;
    nodes[depth] = static_cast<uint16_t>(node);
    sides[depth] = static_cast<uint8_t>(side);
    // Noted leaf first; shifting up puts the bit nearest the root in bit 0.
    bits = (bits << 1) | side;
    ++depth;
    node = parent;
  }
  nodes[depth] = 1;
  if (depth <= 64) {
    w.PutLong(bits, depth);
  } else {
    for (int j = depth - 1; j >= 0; --j) w.Put(sides[j], 1);
  }
  code.SplayUp(nodes, sides, depth);
}

inline int DecodeSymbol(BitReader& r, SplayCode& code) {
  const uint16_t* child = code.Children();
  const unsigned alphabet = static_cast<unsigned>(code.Alphabet());
  // The path is noted root first from the top of the scratch arrays down, so it
  // ends up leaf first.
  uint16_t* top = code.PathNodes() + alphabet;
  uint8_t* topSide = code.PathSides() + alphabet;
  unsigned node = 1;
  int depth = 0;
  *top = 1;
  do {
    if (r.Available() == 0) r.Refill();
    const unsigned bit = r.Bit();
    node = child[2 * node + bit];
    ++depth;
    top[-depth] = static_cast<uint16_t>(node);
    topSide[-depth] = static_cast<uint8_t>(bit);
  } while (node < alphabet);
  code.SplayUp(top - depth, topSide - depth, depth);
  return static_cast<int>(node - alphabet);
}

}  // namespace

SplayCode::SplayCode(int alphabet)
    : alphabet_(alphabet),
      up_(2 * static_cast<size_t>(alphabet)),
      child_(2 * static_cast<size_t>(alphabet)),
      pathNodes_(static_cast<size_t>(alphabet) + 1),
      pathSides_(static_cast<size_t>(alphabet) + 1) {
  Reset();
}

void SplayCode::Reset() {
  const size_t n = 2 * static_cast<size_t>(alphabet_);
  for (size_t i = 2; i < n; ++i) {
    up_[i] = static_cast<uint16_t>(i / 2);
    child_[i] = static_cast<uint16_t>(i);  // Left[j] = 2j, Right[j] = 2j + 1
  }
  up_[0] = up_[1] = 0;
  child_[0] = child_[1] = 0;
}

int SplayCode::Code(int symbol, uint64_t& bits) const {
  unsigned node = static_cast<unsigned>(alphabet_ + symbol);
  uint64_t code = 0;
  int length = 0;
  while (node != 1) {
    const unsigned parent = up_[node];
    // Noted leaf first; shifting up puts the bit nearest the root in bit 0.
    code = (code << 1) | (child_[2 * parent + 1] == node ? 1u : 0u);
    if (++length > 64) return -1;
    node = parent;
  }
  bits = code;
  return length;
}

void SplayCode::PathBits(int symbol, std::vector<uint8_t>& bits) const {
  bits.clear();
  unsigned node = static_cast<unsigned>(alphabet_ + symbol);
  while (node != 1) {
    const unsigned parent = up_[node];
    bits.push_back(child_[2 * parent + 1] == node ? 1 : 0);
    node = parent;
  }
  std::reverse(bits.begin(), bits.end());
}

void SplayCode::Splay(int symbol) {
  unsigned a = static_cast<unsigned>(alphabet_ + symbol);
  do {
    const unsigned c = up_[a];
    if (c == 1) {
      a = c;
    } else {
      const unsigned d = up_[c];
      unsigned b = child_[2 * d];
      if (b == c) {
        b = child_[2 * d + 1];
        child_[2 * d + 1] = static_cast<uint16_t>(a);
      } else {
        child_[2 * d] = static_cast<uint16_t>(a);
      }
      if (child_[2 * c] == a) {
        child_[2 * c] = static_cast<uint16_t>(b);
      } else {
        child_[2 * c + 1] = static_cast<uint16_t>(b);
      }
      up_[a] = static_cast<uint16_t>(d);
      up_[b] = static_cast<uint16_t>(c);
      a = d;
    }
  } while (a != 1);
}

void SplayCode::SplayUp(const uint16_t* nodes, const uint8_t* side, int depth) {
  uint16_t* child = child_.data();
  uint16_t* up = up_.data();
  // a = nodes[j], its parent c = nodes[j + 1], grandparent d = nodes[j + 2]; a
  // takes the place of c's sibling b, b takes a's, and the walk goes on from d.
  for (int j = 0; j + 2 <= depth; j += 2) {
    const unsigned a = nodes[j], c = nodes[j + 1], d = nodes[j + 2];
    const unsigned other = 2 * d + 1 - side[j + 1];
    const unsigned b = child[other];
    child[other] = static_cast<uint16_t>(a);
    child[2 * c + side[j]] = static_cast<uint16_t>(b);
    up[a] = static_cast<uint16_t>(d);
    up[b] = static_cast<uint16_t>(c);
  }
}

namespace {

// Sets d[a .. b) to v. Runs are mostly short, where a call to memset costs more
// than the stores: those are written 8 bytes at a time, possibly up to 7 bytes
// past b (never past `size`). Decoding goes strictly forward, so the bytes
// written ahead are overwritten by the symbols that follow.
inline void FillAhead(uint8_t* d, size_t a, size_t b, size_t size, uint8_t v) {
  if (b - a > 128 || b + 8 > size) {
    std::memset(d + a, v, b - a);
    return;
  }
  const uint64_t pattern = 0x0101010101010101ull * v;
  for (; a < b; a += 8) std::memcpy(d + a, &pattern, 8);
}

inline uint64_t Load8(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// The coefficient bytes in one buffer, in stream order.
struct Interleaved {
  const uint8_t* bytes;
  uint8_t* out;
  size_t count;
  size_t Count() const { return count; }
  uint8_t At(size_t i) const { return bytes[i]; }
  // Index of the first byte from i on that differs from v, or `limit`.
  size_t RunEnd(size_t i, size_t limit, uint8_t v) const {
    const uint64_t pattern = 0x0101010101010101ull * v;
    while (i + 8 <= limit && Load8(bytes + i) == pattern) i += 8;
    while (i < limit && bytes[i] == v) ++i;
    return i;
  }
  void Put(size_t i, uint8_t v) { out[i] = v; }
  void Fill(size_t i, size_t n, uint8_t v) { FillAhead(out, i, i + n, count, v); }
};

// The coefficient bytes as three planes: stream byte i is plane i % 3 at
// position i / 3.
struct Planar {
  const uint8_t* const* planes;
  uint8_t* const* out;
  size_t positions;
  size_t Count() const { return 3 * positions; }
  uint8_t At(size_t i) const { return planes[i % 3][i / 3]; }
  size_t RunEnd(size_t i, size_t limit, uint8_t v) const {
    size_t k = i / 3;
    unsigned p = static_cast<unsigned>(i % 3);
    // Finish the position, then whole positions, then the rest.
    while (i < limit && p != 0) {
      if (planes[p][k] != v) return i;
      ++i;
      if (++p == 3) {
        p = 0;
        ++k;
      }
    }
    const uint8_t *a = planes[0], *b = planes[1], *c = planes[2];
    // Eight whole positions at a time (i + 24 <= limit keeps k + 8 within
    // the planes), then one at a time.
    const uint64_t pattern = 0x0101010101010101ull * v;
    while (i + 24 <= limit &&
           ((Load8(a + k) ^ pattern) | (Load8(b + k) ^ pattern) | (Load8(c + k) ^ pattern)) == 0) {
      i += 24;
      k += 8;
    }
    while (i + 3 <= limit && a[k] == v && b[k] == v && c[k] == v) {
      i += 3;
      ++k;
    }
    while (i < limit && planes[i % 3][i / 3] == v) ++i;
    return i;
  }
  void Put(size_t i, uint8_t v) { out[i % 3][i / 3] = v; }
  void Fill(size_t i, size_t n, uint8_t v) {
    const size_t end = i + n;
    for (size_t p = 0; p < 3; ++p) {
      const size_t first = i + (p + 3 - i % 3) % 3;  // first index of plane p
      if (first >= end) continue;
      const size_t a = first / 3;
      FillAhead(out[p], a, a + (end - 1 - first) / 3 + 1, positions, v);
    }
  }
};

template <class Bytes>
std::vector<uint8_t> Encode(const Bytes& bytes) {
  SplayCode byteCode(ByteAlphabet), runCode(RunAlphabet);
  const size_t count = bytes.Count();
  BitWriter writer(count / 8 + 64);
  EntropyStats stats;
  size_t i = 0;
  while (i < count) {
    const uint8_t value = bytes.At(i);
    const size_t j = bytes.RunEnd(i + 1, std::min(count, i + MaxRunLength), value);
    const int n = static_cast<int>(j - i);
    if (n == 1) {
      writer.Put(1, 1);
      ++stats.Literals;
    } else {
      writer.Put(0, 1);
      EmitAndSplay(writer, runCode, n);
      ++stats.Runs;
    }
    EmitAndSplay(writer, byteCode, value);
    i = j;
  }
  lastStats = stats;
  return writer.Finish();
}

// Where a decoding stands: the bit reader, both adaptive codes, the stream
// index reached and the last symbol (which a run may carry past the point where
// a call stopped).
struct DecodeState {
  DecodeState(const uint8_t* stream, size_t streamSize)
      : byteCode(ByteAlphabet), runCode(RunAlphabet), reader(stream, streamSize) {}
  SplayCode byteCode, runCode;
  BitReader reader;
  EntropyStats stats;
  size_t t = 0;
  size_t lastStart = 0;
  uint8_t lastValue = 0;
  DecodeStatus status = DecodeStatus::Ok;
};

// Decodes symbols until stream index `until` (at most out.Count()) is reached.
template <class Bytes>
DecodeStatus Run(DecodeState& s, Bytes& out, size_t until) {
  const size_t count = out.Count();
  BitReader& reader = s.reader;
  size_t t = s.t;
  while (t < until && s.status == DecodeStatus::Ok) {
    if (reader.Available() == 0) reader.Refill();
    s.lastStart = t;
    if (reader.Bit()) {
      s.lastValue = static_cast<uint8_t>(DecodeSymbol(reader, s.byteCode));
      out.Put(t++, s.lastValue);
      ++s.stats.Literals;
    } else {
      const size_t n = static_cast<size_t>(DecodeSymbol(reader, s.runCode));
      s.lastValue = static_cast<uint8_t>(DecodeSymbol(reader, s.byteCode));
      ++s.stats.Runs;
      if (n > count - t) {
        s.status = DecodeStatus::RunPastEnd;
        break;
      }
      out.Fill(t, n, s.lastValue);
      t += n;
    }
    if (reader.Overrun()) s.status = DecodeStatus::StreamEnded;
  }
  s.t = t;
  return s.status;
}

template <class Bytes>
DecodeStatus Decode(const uint8_t* stream, size_t streamSize, Bytes& out) {
  DecodeState s(stream, streamSize);
  const DecodeStatus status = Run(s, out, out.Count());
  lastStats = s.stats;
  return status;
}

// One plane's bytes of the stream indices [lo, hi) (positions lo / 3 on),
// written to out[0 ..]; everything else is dropped.
struct PlaneWindow {
  uint8_t* out;
  size_t positions;
  size_t plane;
  size_t lo, hi;
  size_t Count() const { return 3 * positions; }
  void Put(size_t i, uint8_t v) {
    if (i >= lo && i < hi && i % 3 == plane) out[i / 3 - lo / 3] = v;
  }
  void Fill(size_t i, size_t n, uint8_t v) {
    const size_t a = std::max(i, lo), b = std::min(i + n, hi);
    if (a >= b) return;
    // Positions k with a <= 3k + plane < b.
    const size_t first = (a + 2 - plane) / 3, end = (b + 2 - plane) / 3;
    if (end > first) std::memset(out + (first - lo / 3), v, end - first);
  }
};

}  // namespace

std::vector<uint8_t> EncodeBytes(const uint8_t* bytes, size_t count) {
  return Encode(Interleaved{bytes, nullptr, count});
}

std::vector<uint8_t> EncodePlanes(const uint8_t* const planes[3], size_t positions) {
  return Encode(Planar{planes, nullptr, positions});
}

DecodeStatus DecodeBytes(const uint8_t* stream, size_t streamSize, uint8_t* out, size_t count) {
  Interleaved bytes{nullptr, out, count};
  return Decode(stream, streamSize, bytes);
}

DecodeStatus DecodePlanes(const uint8_t* stream, size_t streamSize, uint8_t* const planes[3],
                          size_t positions) {
  Planar bytes{nullptr, planes, positions};
  return Decode(stream, streamSize, bytes);
}

struct PlaneDecoder::State : DecodeState {
  using DecodeState::DecodeState;
};

PlaneDecoder::PlaneDecoder(const uint8_t* stream, size_t streamSize, size_t positions)
    : state_(std::make_unique<State>(stream, streamSize)), positions_(positions) {}

PlaneDecoder::PlaneDecoder(const PlaneDecoder& other)
    : state_(std::make_unique<State>(*other.state_)), positions_(other.positions_) {}

PlaneDecoder::~PlaneDecoder() = default;

DecodeStatus PlaneDecoder::Next(int plane, size_t begin, size_t end, uint8_t* out) {
  State& s = *state_;
  end = std::min(end, positions_);
  PlaneWindow window{out, positions_, static_cast<size_t>(plane), 3 * begin, 3 * end};
  if (!out) window.lo = window.hi = 0;
  // The symbol that ended the previous call may reach into this window.
  if (s.t > s.lastStart) window.Fill(s.lastStart, s.t - s.lastStart, s.lastValue);
  return Run(s, window, 3 * end);
}

size_t PlaneDecoder::Reached() const {
  return state_->t / 3;
}

EntropyStats LastEntropyStats() {
  return lastStats;
}

}  // namespace codec
