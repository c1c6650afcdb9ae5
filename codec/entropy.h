// Entropy coding of the coefficient bytes: a run-length layer over the byte
// sequence and two adaptive semi-splaying prefix codes (byte values and run
// lengths), with the bits packed least significant bit first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace codec {

// Longest run the run-length layer sends as one symbol.
inline constexpr int MaxRunLength = 3000;

// An adaptive prefix code over A symbols: a binary tree in arrays. Nodes 1..A-1
// are internal (node 1 is the root), nodes A..2A-1 leaves; symbol s is leaf A+s.
// Child[2j] is the left child of node j, Child[2j+1] the right one.
class SplayCode {
 public:
  explicit SplayCode(int alphabet);
  // The complete binary tree in heap order.
  void Reset();
  int Alphabet() const { return alphabet_; }
  // The code of symbol s with the bit nearest the root in bit 0; returns the
  // length, or -1 when the path is longer than 64 bits (then use PathBits).
  int Code(int symbol, uint64_t& bits) const;
  // The code bits of s, bit nearest the root first.
  void PathBits(int symbol, std::vector<uint8_t>& bits) const;
  // Moves the leaf of symbol s towards the root.
  void Splay(int symbol);
  // The tree changes of Splay, from a path already known: nodes[0] is the leaf,
  // nodes[depth] the root, and side[j] is 1 when nodes[j] is the right child of
  // nodes[j + 1]. Every step's nodes are known, so no parent is looked up.
  void SplayUp(const uint16_t* nodes, const uint8_t* side, int depth);
  // Scratch room for a path (leaf to root) of this tree.
  uint16_t* PathNodes() { return pathNodes_.data(); }
  uint8_t* PathSides() { return pathSides_.data(); }
  int Parent(int node) const { return up_[static_cast<size_t>(node)]; }
  int Left(int node) const { return child_[2 * static_cast<size_t>(node)]; }
  int Right(int node) const { return child_[2 * static_cast<size_t>(node) + 1]; }
  const uint16_t* Children() const { return child_.data(); }

 private:
  int alphabet_;
  std::vector<uint16_t> up_;
  std::vector<uint16_t> child_;
  std::vector<uint16_t> pathNodes_;
  std::vector<uint8_t> pathSides_;
};

// Codes T coefficient bytes into the stream; the result's size is C.
std::vector<uint8_t> EncodeBytes(const uint8_t* bytes, size_t count);

enum class DecodeStatus { Ok, StreamEnded, RunPastEnd };

// Decodes `stream` into exactly `count` bytes. Never reads or writes outside the
// two buffers: a stream that ends before `count` bytes are produced, or a run
// that would pass the end, stops the decoding with the matching status.
DecodeStatus DecodeBytes(const uint8_t* stream, size_t streamSize, uint8_t* out, size_t count);

// The same over coefficient bytes held as three planes of `positions` bytes each:
// byte i of the stream order is plane i % 3 at position i / 3.
std::vector<uint8_t> EncodePlanes(const uint8_t* const planes[3], size_t positions);
DecodeStatus DecodePlanes(const uint8_t* stream, size_t streamSize, uint8_t* const planes[3],
                          size_t positions);

// Decodes the stream of DecodePlanes a piece at a time, keeping one plane's bytes
// of a range of positions, so a decoder never holds all coefficients at once.
// The stream is only ever read forward; a copy goes on from the same point, so
// the state at a band's start can be kept and taken up again for each plane.
class PlaneDecoder {
 public:
  PlaneDecoder(const uint8_t* stream, size_t streamSize, size_t positions);
  PlaneDecoder(const PlaneDecoder& other);
  PlaneDecoder& operator=(const PlaneDecoder&) = delete;
  ~PlaneDecoder();
  // Decodes on to position `end` and writes the bytes of `plane` at positions
  // [begin, end) to out[0 .. end - begin); with out == nullptr it only decodes.
  // `begin` is not below the `end` of the previous call. Errors stick.
  DecodeStatus Next(int plane, size_t begin, size_t end, uint8_t* out);
  // Positions decoded so far (a run may have carried past the last `end`).
  size_t Reached() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
  size_t positions_;
};

// Statistics of the last EncodeBytes/DecodeBytes call on this thread: symbols
// coded through the two splay codes.
struct EntropyStats {
  uint64_t Literals = 0;
  uint64_t Runs = 0;
};
EntropyStats LastEntropyStats();

}  // namespace codec
