// The run-length layer and the two splay codes: worked example, run boundaries,
// adaptation, round trips and the behaviour on corrupt streams.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "codec/entropy.h"

namespace codec {
namespace {

std::vector<uint8_t> Encode(const std::vector<uint8_t>& bytes) {
  return EncodeBytes(bytes.data(), bytes.size());
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& stream, size_t count,
                            DecodeStatus expected = DecodeStatus::Ok) {
  std::vector<uint8_t> out(count, 0xCD);
  EXPECT_EQ(DecodeBytes(stream.data(), stream.size(), out.data(), count), expected);
  return out;
}

// Reads the stream's bits least significant first.
std::vector<int> Bits(const std::vector<uint8_t>& stream) {
  std::vector<int> bits;
  for (uint8_t b : stream)
    for (int i = 0; i < 8; ++i) bits.push_back((b >> i) & 1);
  return bits;
}

TEST(SplayCodeTree, InitialCodesAreHeapOrderBinary) {
  SplayCode bytes(256), runs(3001);
  uint64_t bits;
  // Byte 5: 8 bits 00000101, first bit in bit 0.
  ASSERT_EQ(bytes.Code(5, bits), 8);
  EXPECT_EQ(bits, 0b10100000u);
  // Run lengths: 11 bits up to 1094, 12 bits from 1095, digits of A + s below the leading 1.
  EXPECT_EQ(runs.Code(1094, bits), 11);
  EXPECT_EQ(runs.Code(1095, bits), 12);
  std::vector<uint8_t> path;
  runs.PathBits(2, path);
  const int leaf = 3001 + 2;  // 0b101110111011
  ASSERT_EQ(path.size(), 11u);
  for (size_t i = 0; i < path.size(); ++i) EXPECT_EQ(path[i], (leaf >> (10 - i)) & 1) << i;
}

TEST(SplayCodeTree, RepeatedSymbolGetsNoLongerAndTreeStaysConsistent) {
  SplayCode code(256);
  std::mt19937 rng(1);
  uint64_t bits;
  for (int i = 0; i < 2000; ++i) {
    const int s = static_cast<int>(rng() % 17) * 13 % 256;
    const int first = code.Code(s, bits);
    code.Splay(s);
    const int second = code.Code(s, bits);
    ASSERT_LE(second, first);
    code.Splay(s);
  }
  // Every node's children point back to it; every leaf is reachable once.
  std::vector<int> seen(512, 0);
  std::vector<int> stack{1};
  while (!stack.empty()) {
    int n = stack.back();
    stack.pop_back();
    ++seen[static_cast<size_t>(n)];
    if (n >= 256) continue;
    for (int c : {code.Left(n), code.Right(n)}) {
      ASSERT_EQ(code.Parent(c), n);
      stack.push_back(c);
    }
  }
  for (int n = 1; n < 512; ++n) EXPECT_EQ(seen[static_cast<size_t>(n)], 1) << n;
}

TEST(EntropyCoder, SingleByteExample) {
  const auto stream = Encode({5});
  EXPECT_EQ(stream, (std::vector<uint8_t>{0x41, 0x01}));
  const std::vector<int> expected{1, 0, 0, 0, 0, 0, 1, 0, 1};
  auto bits = Bits(stream);
  bits.resize(expected.size());
  EXPECT_EQ(bits, expected);
  EXPECT_EQ(Decode(stream, 1), std::vector<uint8_t>{5});
}

TEST(EntropyCoder, RunBoundaries) {
  // A run of exactly 2 is flag 0 plus the run code, never two literals.
  auto two = Bits(Encode({7, 7}));
  EXPECT_EQ(two[0], 0);
  // 0 flag, 11 bits for run 2 (binary of 3003 below the leading 1), then byte 7.
  std::vector<int> runBits;
  for (int i = 10; i >= 0; --i) runBits.push_back((3003 >> i) & 1);
  EXPECT_EQ(std::vector<int>(two.begin() + 1, two.begin() + 12), runBits);
  EXPECT_EQ(Encode({7, 7}).size(), 3u);  // 1 + 11 + 8 = 20 bits

  // 7,001 equal bytes: runs of 3000, 3000 and 1001; 3,001 bytes: 3000 then a literal.
  for (size_t n : {size_t{3000}, size_t{3001}, size_t{6000}, size_t{7001}}) {
    std::vector<uint8_t> same(n, 128);
    const auto stream = Encode(same);
    EXPECT_EQ(Decode(stream, n), same);
    (void)LastEntropyStats();
  }
  std::vector<uint8_t> same(7001, 128);
  Encode(same);
  EXPECT_EQ(LastEntropyStats().Runs, 3u);
  EXPECT_EQ(LastEntropyStats().Literals, 0u);
  same.resize(3001);
  Encode(same);
  EXPECT_EQ(LastEntropyStats().Runs, 1u);
  EXPECT_EQ(LastEntropyStats().Literals, 1u);
}

TEST(EntropyCoder, RoundTripsMixedData) {
  std::mt19937 rng(99);
  for (size_t count :
       {size_t{1}, size_t{2}, size_t{3}, size_t{100}, size_t{4096}, size_t{200000}}) {
    std::vector<uint8_t> data(count);
    for (size_t i = 0; i < count;) {
      // Mostly 128 with occasional runs of other values and literals.
      const size_t run =
          std::min<size_t>(count - i, rng() % 50 == 0 ? rng() % 5000 : 1 + rng() % 4);
      const uint8_t v = rng() % 3 == 0 ? static_cast<uint8_t>(rng()) : 128;
      std::fill(data.begin() + i, data.begin() + i + run, v);
      i += run;
    }
    const auto stream = Encode(data);
    EXPECT_EQ(Decode(stream, count), data) << count;
  }
}

TEST(EntropyCoder, CorruptStreamsStopInsideTheBuffers) {
  std::vector<uint8_t> data(5000);
  std::mt19937 rng(5);
  for (auto& b : data) b = static_cast<uint8_t>(rng() % 4 == 0 ? rng() : 128);
  const auto stream = Encode(data);
  // Every truncation fails: the stream ends, or the zero bits read past its end
  // spell a run beyond the last position; the check on the output catches both.
  for (size_t cut = 0; cut < stream.size(); ++cut) {
    std::vector<uint8_t> shortStream(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(cut));
    std::vector<uint8_t> out(data.size() + 16, 0x5A);
    EXPECT_NE(DecodeBytes(shortStream.data(), shortStream.size(), out.data(), data.size()),
              DecodeStatus::Ok)
        << cut;
    for (size_t i = data.size(); i < out.size(); ++i) ASSERT_EQ(out[i], 0x5A);
  }
  // Asking for fewer bytes than a run carries: the run passes the end.
  const auto runs = Encode(std::vector<uint8_t>(100, 9));
  std::vector<uint8_t> out(50, 0xAA);
  std::vector<uint8_t> guard(out);
  EXPECT_EQ(DecodeBytes(runs.data(), runs.size(), out.data(), out.size()),
            DecodeStatus::RunPastEnd);
  EXPECT_EQ(out, guard);  // nothing written by the oversized run
  // An empty stream cannot produce anything.
  EXPECT_NE(DecodeBytes(nullptr, 0, out.data(), 1), DecodeStatus::Ok);
  std::vector<uint8_t> big(5000);
  EXPECT_EQ(DecodeBytes(nullptr, 0, big.data(), big.size()), DecodeStatus::StreamEnded);
  // Bytes after the stream are ignored.
  auto longer = stream;
  longer.insert(longer.end(), 64, 0xFF);
  EXPECT_EQ(Decode(longer, data.size()), data);
}

// Three planes read and written round-robin code exactly like the interleaved
// buffer, including runs that start and end in every phase.
TEST(EntropyCoder, PlanesCodeLikeTheInterleavedBytes) {
  std::mt19937 rng(21);
  for (size_t positions : {size_t{1}, size_t{2}, size_t{1001}, size_t{20000}}) {
    std::vector<uint8_t> interleaved(3 * positions);
    for (size_t i = 0; i < interleaved.size();) {
      const size_t run =
          std::min<size_t>(interleaved.size() - i, rng() % 10 == 0 ? rng() % 7000 : 1 + rng() % 5);
      std::fill(interleaved.begin() + i, interleaved.begin() + i + run,
                rng() % 2 ? 128 : static_cast<uint8_t>(rng()));
      i += run;
    }
    std::array<std::vector<uint8_t>, 3> planes;
    for (auto& p : planes) p.resize(positions);
    for (size_t i = 0; i < interleaved.size(); ++i) planes[i % 3][i / 3] = interleaved[i];
    const uint8_t* const in[3] = {planes[0].data(), planes[1].data(), planes[2].data()};
    const auto stream = EncodePlanes(in, positions);
    EXPECT_EQ(stream, Encode(interleaved));
    std::array<std::vector<uint8_t>, 3> back;
    for (auto& p : back) p.assign(positions + 1, 0xEE);  // one guard byte each
    uint8_t* const out[3] = {back[0].data(), back[1].data(), back[2].data()};
    ASSERT_EQ(DecodePlanes(stream.data(), stream.size(), out, positions), DecodeStatus::Ok);
    for (int p = 0; p < 3; ++p) {
      EXPECT_EQ(back[p][positions], 0xEE);
      back[p].pop_back();
      EXPECT_EQ(back[p], planes[p]);
    }
  }
}

// The coder splays along the path it has just walked; that must change the tree
// exactly as the parent-following splay does, for both alphabets.
TEST(SplayCodeTree, SplayAlongAWalkedPathMatchesSplay) {
  for (int alphabet : {256, 3001}) {
    SplayCode reference(alphabet), walked(alphabet);
    std::mt19937 rng(static_cast<unsigned>(alphabet));
    std::geometric_distribution<int> skewed(0.05);
    for (int i = 0; i < 20000; ++i) {
      const int s = static_cast<int>((i % 3 == 0 ? rng() : static_cast<unsigned>(skewed(rng))) %
                                     static_cast<unsigned>(alphabet));
      reference.Splay(s);
      std::vector<uint16_t> nodes{static_cast<uint16_t>(alphabet + s)};
      std::vector<uint8_t> sides;
      while (nodes.back() != 1) {
        const int parent = walked.Parent(nodes.back());
        sides.push_back(walked.Right(parent) == nodes.back() ? 1 : 0);
        nodes.push_back(static_cast<uint16_t>(parent));
      }
      walked.SplayUp(nodes.data(), sides.data(), static_cast<int>(sides.size()));
    }
    for (int n = 1; n < alphabet; ++n) {
      ASSERT_EQ(walked.Left(n), reference.Left(n)) << alphabet << " node " << n;
      ASSERT_EQ(walked.Right(n), reference.Right(n)) << alphabet << " node " << n;
    }
    for (int n = 2; n < 2 * alphabet; ++n) ASSERT_EQ(walked.Parent(n), reference.Parent(n)) << n;
  }
}

// The coded stream equals one produced bit by bit from the tree's own codes: the
// run-length layer, flag bits, run and byte codes with adaptation after each.
TEST(EntropyCoder, StreamMatchesBitByBitCoding) {
  std::mt19937 rng(7);
  std::vector<uint8_t> bytes;
  while (bytes.size() < 200000) {
    const uint8_t v = rng() % 4 == 0 ? static_cast<uint8_t>(rng()) : static_cast<uint8_t>(128);
    const size_t n = rng() % 5 == 0 ? rng() % 5000 + 1 : 1;
    bytes.insert(bytes.end(), n, v);
  }
  std::vector<uint8_t> expected{0};
  size_t bit = 0;
  auto put = [&](int b) {
    if (bit == 8 * expected.size()) expected.push_back(0);
    if (b) expected[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
    ++bit;
  };
  SplayCode byteCode(256), runCode(MaxRunLength + 1);
  auto code = [&](SplayCode& tree, int s) {
    std::vector<uint8_t> path;
    tree.PathBits(s, path);
    for (uint8_t b : path) put(b);
    tree.Splay(s);
  };
  for (size_t i = 0; i < bytes.size();) {
    size_t j = i + 1;
    while (j < bytes.size() && j - i < MaxRunLength && bytes[j] == bytes[i]) ++j;
    if (j - i == 1) {
      put(1);
    } else {
      put(0);
      code(runCode, static_cast<int>(j - i));
    }
    code(byteCode, bytes[i]);
    i = j;
  }
  EXPECT_EQ(Encode(bytes), expected);
  EXPECT_EQ(Decode(expected, bytes.size()), bytes);
}

}  // namespace
}  // namespace codec
