// Opens one JPEG file as the window does and prints the process's peak resident memory
// against the size of the decoded 32-bit bitmap. Run on its own, so that nothing else
// (a benchmark library, a source picture) counts towards the peak.
//   open_peak_memory <file.jpg>  ->  "<peak bytes> <bitmap bytes> <ratio>"
#include <sys/resource.h>

#include <cstdio>
#include <exception>

#include "core/bitmap32.h"
#include "picture/jpeg_decoder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: open_peak_memory <file.jpg>\n");
    return 2;
  }
  vantrel::Bitmap32 picture;
  try {
    vantrel::DecodeJpegFile(argv[1], picture);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "open_peak_memory: %s\n", error.what());
    return 1;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double peak = static_cast<double>(usage.ru_maxrss) * 1024.0;
  const double bitmap = 4.0 * picture.Width() * picture.Height();
  std::printf("%.0f %.0f %.4f\n", peak, bitmap, peak / bitmap);
  return 0;
}
