// Reads a fuzz target's input as a stream of values. Reading past the end
// gives zeros and empty texts, so that every input decodes to something and
// a shorter input is a prefix of the same sequence.

#ifndef FUZZ_BYTE_READER_H_
#define FUZZ_BYTE_READER_H_

#include <cstddef>
#include <cstdint>
#include <string>

class ByteReader {
 public:
  // Reads `size` bytes at `data`, which must outlive the reader.
  ByteReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const { return position_ >= size_; }

  uint8_t byte() { return empty() ? 0 : data_[position_++]; }

  // Four bytes, least significant first.
  int32_t int32() {
    uint32_t value = 0;
    for (int shift = 0; shift < 32; shift += 8) value |= static_cast<uint32_t>(byte()) << shift;
    return static_cast<int32_t>(value);
  }

  // A length byte, then that many bytes (fewer when the input ends first).
  // The bytes are taken as they are, NUL included.
  std::string text() { return bytes(byte()); }

  // The next `length` bytes (fewer when the input ends first), as they are.
  std::string bytes(std::size_t length) {
    const std::size_t available = empty() ? 0 : size_ - position_;
    const std::size_t taken = length < available ? length : available;
    std::string result(reinterpret_cast<const char*>(data_ + position_), taken);
    position_ += taken;
    return result;
  }

  // Two bytes, least significant first.
  uint16_t uint16() {
    const uint16_t low = byte();
    return static_cast<uint16_t>(low | byte() << 8);
  }

  // How many bytes were read.
  std::size_t position() const { return position_; }

  // Every byte not read yet.
  std::string rest() {
    std::string result;
    if (!empty())
      result.assign(reinterpret_cast<const char*>(data_ + position_), size_ - position_);
    position_ = size_;
    return result;
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

#endif  // FUZZ_BYTE_READER_H_
