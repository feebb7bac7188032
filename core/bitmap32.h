// A bitmap of 32 bits per pixel whose rows are arrays of PackedRGB words
// (in memory: blue, green, red, and a fourth byte that nothing reads).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vantrel {

// Pixel storage. Large buffers (a whole photo) are asked for in transparent huge pages
// where the system offers them: touching a fresh 96 MB picture 4 KiB page by page costs
// several times more than decoding the JPEG into it.
struct PixelAllocator {
  using value_type = std::uint32_t;
  template <class U>
  struct rebind {  // vector only ever rebinds to its own element type
    using other = PixelAllocator;
  };
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;

  std::uint32_t* allocate(std::size_t n) {
    const std::size_t bytes = n * sizeof(std::uint32_t);
    if (bytes < 2 * kHugePage) return std::allocator<std::uint32_t>().allocate(n);
    if (bytes > SIZE_MAX - kHugePage) throw std::bad_alloc();
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (block == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    madvise(block, rounded, MADV_HUGEPAGE);  // only a hint; failure changes nothing
#endif
    return static_cast<std::uint32_t*>(block);
  }
  void deallocate(std::uint32_t* block, std::size_t n) noexcept {
    if (n * sizeof(std::uint32_t) < 2 * kHugePage) {
      std::allocator<std::uint32_t>().deallocate(block, n);
    } else {
      std::free(block);
    }
  }
  // Elements inserted without a value are left uninitialised (see SetSizeForOverwrite).
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  bool operator==(const PixelAllocator&) const = default;
};

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

  // Sizes the bitmap leaving its pixels undefined, for a decoder that writes every one.
  // Pages are only taken as rows are written, so a file that declares a large picture but
  // fails early costs little.
  void SetSizeForOverwrite(int width, int height) {
    words_.clear();
    words_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
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
  std::vector<std::uint32_t, PixelAllocator> words_;
};

}  // namespace vantrel
