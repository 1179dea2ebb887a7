// The bit reader of the fax decoder: the coded bytes, most significant bit first, through a
// 64-bit window whose top bit is the next bit of the stream. Bytes past the end of the data
// read as 0, so a lookup never runs off the data; since no CCITT code is all zeros, a decoder
// that reaches the end finds no code there. The reader counts the bits it hands out, which
// gives the bytes used and left over.
#ifndef FAX_READER_H
#define FAX_READER_H

#include <cstdint>
#include <cstring>

namespace fax {

class Reader {
 public:
  Reader(const uint8_t *data, int32_t length) : data_(data), length_(length) { refill(); }

  // The next n bits (1 to 32), right-aligned.
  uint32_t peek(int n) const { return static_cast<uint32_t>(window_ >> (64 - n)); }
  // Makes sure at least 32 bits are in the window, loading whole bytes only when fewer are:
  // enough for any code, and cheap between codes.
  void ensure32() {
    if (bits_ < 32) refill();
  }
  // Makes sure at least 57 bits are in the window.
  void refill() {
    if (bits_ > 56) return;
    if (length_ - position_ >= 8) {
      uint64_t v;
      std::memcpy(&v, data_ + position_, 8);
      const int take = (64 - bits_) >> 3;
      window_ |= __builtin_bswap64(v) >> bits_;
      // Bits beyond the counted ones are the next bytes' own, so ORing them again later
      // changes nothing; only the counted ones are ever looked at.
      window_ &= ~uint64_t{0} << (64 - bits_ - take * 8);
      position_ += take;
      bits_ += take * 8;
      return;
    }
    while (bits_ <= 56) {
      const uint64_t byte = position_ < length_ ? data_[position_++] : (++padBytes_, 0);
      window_ |= byte << (56 - bits_);
      bits_ += 8;
    }
  }
  void consume(int n) {
    window_ <<= n;
    bits_ -= n;
  }
  // Reads one bit.
  uint32_t bit() {
    refill();
    const uint32_t b = peek(1);
    consume(1);
    return b;
  }
  // Leading zero bits of the window (64 when it is all zero).
  int leadingZeros() const { return window_ ? __builtin_clzll(window_) : 64; }
  // True when every bit of the data has been taken into the window.
  bool dataLoaded() const { return position_ >= length_; }
  // Bits handed out so far, counting only bits of the data.
  int64_t bitsUsed() const {
    const int64_t used = int64_t{position_} * 8 + int64_t{padBytes_} * 8 - bits_;
    return used < int64_t{length_} * 8 ? used : int64_t{length_} * 8;
  }
  // Bytes from the start up to and including the byte that holds the last bit used.
  int32_t bytesUsed() const { return static_cast<int32_t>((bitsUsed() + 7) / 8); }
  int32_t length() const { return length_; }

 private:
  const uint8_t *data_;
  int32_t length_;
  int32_t position_ = 0;  // next byte to load
  int64_t padBytes_ = 0;  // zero bytes loaded past the end
  uint64_t window_ = 0;
  int bits_ = 0;  // valid bits in the window
};

}  // namespace fax

#endif
