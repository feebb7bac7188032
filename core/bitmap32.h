// A bitmap of 32 bits per pixel whose rows are arrays of PackedRGB words
// (in memory: blue, green, red, and a fourth byte that nothing reads).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace vantrel {

class Bitmap32 {
 public:
  Bitmap32() = default;
  Bitmap32(int width, int height) { SetSize(width, height); }

  // Sizes the bitmap and clears it to 0; may throw std::bad_alloc.
  void SetSize(int width, int height) {
    words_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0u);
    width_ = width;
    height_ = height;
  }

  int Width() const { return width_; }
  int Height() const { return height_; }
  std::uint32_t* ScanLine(int y) { return words_.data() + static_cast<std::size_t>(y) * width_; }
  const std::uint32_t* ScanLine(int y) const {
    return words_.data() + static_cast<std::size_t>(y) * width_;
  }
  std::uint32_t* Words() { return words_.data(); }
  const std::uint32_t* Words() const { return words_.data(); }

  void Swap(Bitmap32& other) noexcept {
    words_.swap(other.words_);
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
  }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint32_t> words_;
};

}  // namespace vantrel
