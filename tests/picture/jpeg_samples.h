// Helpers that make JPEG files for the decoder's tests and benchmark: reading the sample
// picture, writing variants of it with libjpeg's compression API, patching bytes of a
// file, running djpeg and reading its PPM/PGM output.
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>
// jpeglib.h expects FILE and size_t to be declared before it.
#include <jpeglib.h>

namespace jpeg_samples {

// Interleaved 8-bit samples, `components` per pixel, rows top to bottom.
struct RawImage {
  int width = 0;
  int height = 0;
  int components = 0;
  std::vector<std::uint8_t> samples;

  RawImage() = default;
  RawImage(int w, int h, int c)
      : width(w), height(h), components(c), samples(static_cast<std::size_t>(w) * h * c) {}
  std::uint8_t* Pixel(int x, int y) {
    return samples.data() + (static_cast<std::size_t>(y) * width + x) * components;
  }
  const std::uint8_t* Pixel(int x, int y) const {
    return samples.data() + (static_cast<std::size_t>(y) * width + x) * components;
  }
};

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// The file's pixels as RGB (libjpeg's default settings, or another DCT). These helpers only
// handle files they made themselves or the samples; libjpeg's default error handler ends the
// program on a broken file, which then is a broken test setup.
inline RawImage ReadJpegRgb(const std::filesystem::path& path, J_DCT_METHOD dct = JDCT_ISLOW) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw std::runtime_error("cannot open " + path.string());
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, file);
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  cinfo.dct_method = dct;
  jpeg_start_decompress(&cinfo);
  RawImage image(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = image.Pixel(0, static_cast<int>(cinfo.output_scanline));
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(file);
  return image;
}

struct WriteOptions {
  int quality = 90;
  bool progressive = false;
  // Colour space of the samples given (JCS_RGB, JCS_GRAYSCALE, JCS_CMYK, JCS_UNKNOWN).
  J_COLOR_SPACE input = JCS_RGB;
  // Colour space stored in the file; JCS_UNKNOWN keeps libjpeg's default for `input`.
  J_COLOR_SPACE stored = JCS_UNKNOWN;
  // libjpeg writes an Adobe marker for CMYK and YCCK files; false leaves it out.
  bool adobeMarker = true;
  // Sampling factors of the first component of a colour file (2 x 2 is libjpeg's 4:2:0).
  int lumaH = 2;
  int lumaV = 2;
};

inline void WriteJpeg(const std::filesystem::path& path, const RawImage& image,
                      const WriteOptions& options = {}) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) throw std::runtime_error("cannot create " + path.string());
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = static_cast<JDIMENSION>(image.width);
  cinfo.image_height = static_cast<JDIMENSION>(image.height);
  cinfo.input_components = image.components;
  cinfo.in_color_space = options.input;
  jpeg_set_defaults(&cinfo);
  if (options.stored != JCS_UNKNOWN) jpeg_set_colorspace(&cinfo, options.stored);
  if (!options.adobeMarker) cinfo.write_Adobe_marker = FALSE;
  if (cinfo.num_components == 3) {
    cinfo.comp_info[0].h_samp_factor = options.lumaH;
    cinfo.comp_info[0].v_samp_factor = options.lumaV;
  }
  jpeg_set_quality(&cinfo, options.quality, TRUE);
  if (options.progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.Pixel(0, static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(file);
}

// Nearest-neighbour resampling to width x height.
inline RawImage Resize(const RawImage& source, int width, int height) {
  RawImage result(width, height, source.components);
  for (int y = 0; y < height; ++y) {
    const int sy = static_cast<int>(static_cast<long long>(y) * source.height / height);
    for (int x = 0; x < width; ++x) {
      const int sx = static_cast<int>(static_cast<long long>(x) * source.width / width);
      std::copy_n(source.Pixel(sx, sy), source.components, result.Pixel(x, y));
    }
  }
  return result;
}

// Luma of an RGB image, for greyscale files.
inline RawImage ToGrey(const RawImage& rgb) {
  RawImage grey(rgb.width, rgb.height, 1);
  for (int y = 0; y < rgb.height; ++y) {
    for (int x = 0; x < rgb.width; ++x) {
      const std::uint8_t* p = rgb.Pixel(x, y);
      *grey.Pixel(x, y) =
          static_cast<std::uint8_t>((299 * p[0] + 587 * p[1] + 114 * p[2] + 500) / 1000);
    }
  }
  return grey;
}

// Reads a binary PGM (P5) or PPM (P6) file with maxval 255.
inline RawImage ReadNetpbm(const std::filesystem::path& path) {
  const std::vector<std::uint8_t> bytes = ReadBytes(path);
  std::size_t pos = 0;
  auto next_token = [&]() {
    while (pos < bytes.size() && (std::isspace(bytes[pos]) || bytes[pos] == '#')) {
      if (bytes[pos] == '#') {
        while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
      } else {
        ++pos;
      }
    }
    std::string token;
    while (pos < bytes.size() && !std::isspace(bytes[pos]))
      token += static_cast<char>(bytes[pos++]);
    return token;
  };
  const std::string magic = next_token();
  if (magic != "P5" && magic != "P6")
    throw std::runtime_error("not a PGM/PPM file: " + path.string());
  const int width = std::stoi(next_token());
  const int height = std::stoi(next_token());
  if (std::stoi(next_token()) != 255)
    throw std::runtime_error("maxval is not 255: " + path.string());
  ++pos;  // the single whitespace byte before the samples
  RawImage image(width, height, magic == "P5" ? 1 : 3);
  if (bytes.size() - pos != image.samples.size()) {
    throw std::runtime_error("wrong sample count in " + path.string());
  }
  std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(pos), bytes.end(), image.samples.begin());
  return image;
}

// Runs `djpeg <arguments> -outfile <output> <input>`; returns true when djpeg wrote its
// output (exit status 0, or 2 for "finished with warnings").
inline bool RunDjpeg(const std::string& arguments, const std::filesystem::path& input,
                     const std::filesystem::path& output) {
  const std::string command = "djpeg " + arguments + " -outfile '" + output.string() + "' '" +
                              input.string() + "' 2>/dev/null";
  const int status = std::system(command.c_str());
  return status != -1 && WIFEXITED(status) &&
         (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 2);
}

// Offset of the `occurrence`-th marker FF `code` of a JPEG stream (0 = the first), found
// by walking the marker segments and skipping entropy-coded data; npos if there is none.
inline std::size_t FindMarker(const std::vector<std::uint8_t>& bytes, std::uint8_t code,
                              int occurrence = 0) {
  std::size_t pos = 2;  // after SOI
  while (pos + 3 < bytes.size()) {
    if (bytes[pos] != 0xFF) return std::string::npos;
    const std::uint8_t marker = bytes[pos + 1];
    if (marker == 0xFF) {  // fill byte
      ++pos;
      continue;
    }
    if (marker == code && occurrence-- == 0) return pos;
    if (marker == 0xD9) return std::string::npos;  // EOI
    pos += 2 + ((bytes[pos + 2] << 8) | bytes[pos + 3]);
    if (marker == 0xDA) {  // SOS: skip the scan's data up to the next real marker
      while (pos + 1 < bytes.size() && !(bytes[pos] == 0xFF && bytes[pos + 1] != 0x00 &&
                                         (bytes[pos + 1] < 0xD0 || bytes[pos + 1] > 0xD7))) {
        ++pos;
      }
    }
  }
  return std::string::npos;
}

// A folder of its own under the system's temporary folder, removed with its contents.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-jpeg-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace jpeg_samples
