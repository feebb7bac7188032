// A bitmap of 32 bits per pixel whose rows are arrays of PackedRGB words
// (in memory: blue, green, red, and a fourth byte that nothing reads).
#pragma once

#if !defined(__EMSCRIPTEN__)
#include <sys/mman.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace vantrel {

// Pixel storage. Large buffers (a whole photo) are mapped straight from the system, in
// transparent huge pages where it offers them: touching a fresh 96 MB picture 4 KiB page
// by page costs several times more than decoding the JPEG into it. Mapped pages start as
// zero and take memory only when written, so a large canvas that stays mostly black (the
// first frame of an animation on a huge canvas) costs what is drawn on it.
struct PixelAllocator {
  using value_type = std::uint32_t;
  template <class U>
  struct rebind {  // vector only ever rebinds to its own element type
    using other = PixelAllocator;
  };
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;

  // Whether a buffer of n words is mapped, and so starts as zero.
  static bool Mapped(std::size_t n) { return n * sizeof(std::uint32_t) >= 2 * kHugePage; }

  std::uint32_t* allocate(std::size_t n) {
    if (!Mapped(n)) return std::allocator<std::uint32_t>().allocate(n);
    if (n > (SIZE_MAX - 2 * kHugePage) / sizeof(std::uint32_t)) throw std::bad_alloc();
#if defined(__EMSCRIPTEN__)
    // WebAssembly has one linear memory and no pages to map: zeroed memory from the heap.
    void* zeroed = std::calloc(n, sizeof(std::uint32_t));
    if (zeroed == nullptr) throw std::bad_alloc();
    return static_cast<std::uint32_t*>(zeroed);
#else
    const std::size_t rounded = Rounded(n);
    // One huge page more than needed, then the ends cut off so that it starts on one.
    void* area = mmap(nullptr, rounded + kHugePage, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) throw std::bad_alloc();
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(area);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start) munmap(area, aligned - start);
    if (const std::size_t tail = start + kHugePage - aligned; tail > 0) {
      munmap(reinterpret_cast<void*>(aligned + rounded), tail);
    }
    void* block = reinterpret_cast<void*>(aligned);
#if defined(MADV_HUGEPAGE)
    madvise(block, rounded, MADV_HUGEPAGE);  // only a hint; failure changes nothing
#endif
    return static_cast<std::uint32_t*>(block);
#endif
  }
  void deallocate(std::uint32_t* block, std::size_t n) noexcept {
    if (!Mapped(n)) {
      std::allocator<std::uint32_t>().deallocate(block, n);
    } else {
#if defined(__EMSCRIPTEN__)
      std::free(block);
#else
      munmap(block, Rounded(n));
#endif
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

 private:
  static std::size_t Rounded(std::size_t n) {
    return (n * sizeof(std::uint32_t) + kHugePage - 1) / kHugePage * kHugePage;
  }
};

class Bitmap32 {
 public:
  Bitmap32() = default;
  Bitmap32(int width, int height) { SetSize(width, height); }

  // Sizes the bitmap and clears it to 0; may throw std::bad_alloc.
  void SetSize(int width, int height) {
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (n > words_.capacity() && PixelAllocator::Mapped(n)) {
      // Newly mapped pages are zero already; writing them would only take them all now.
      std::vector<std::uint32_t, PixelAllocator> fresh;
      fresh.resize(n);
      words_.swap(fresh);
    } else {
      words_.assign(n, 0u);
    }
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
