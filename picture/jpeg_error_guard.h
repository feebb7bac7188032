// Keeps libjpeg's errors from tearing through C++ frames, and hostile files from costing
// more than a picture should.
//
// libjpeg reports a fatal error by calling error_exit, which must not return. We leave
// it with longjmp back to the setjmp in RunJpegStep. A longjmp that skips a frame with
// a non-trivial destructor is undefined behaviour, so everything between RunJpegStep and
// the library (the step function and whatever it calls) must hold only trivially
// destructible objects and must not throw. The caller owns the decompression object and
// destroys it afterwards, which frees everything libjpeg allocated.
#pragma once

#include <csetjmp>
#include <cstdio>
// jpeglib.h expects FILE and size_t to be declared before it.
#include <jpeglib.h>

namespace vantrel {

// More scans than this end the decode with an error. Ordinary progressive files have about
// ten; each scan costs a pass over the whole picture, so thousands of tiny ones take a small
// file many seconds. libjpeg-turbo's own tools and fuzz targets stop at the same number.
inline constexpr int kMaxJpegScans = 500;

struct JpegErrorManager {
  jpeg_error_mgr pub;  // first, so libjpeg's cinfo->err points at the whole struct
  jpeg_progress_mgr progress;
  std::jmp_buf jump;
  bool endedEarly;    // the data ran out and libjpeg completed the picture in grey
  bool tooManyScans;  // the decode was stopped after kMaxJpegScans scans
};

// Points cinfo.err at `manager`, with fatal errors jumping back to RunJpegStep, and
// warnings and trace messages dropped except for noting the end-of-data warning.
void InstallErrorManager(jpeg_decompress_struct& cinfo, JpegErrorManager& manager);

// Gives the decompression object a progress monitor that stops the decode, as an error,
// after kMaxJpegScans scans. Called after jpeg_create_decompress, which clears it.
void InstallScanLimit(j_decompress_ptr cinfo);

// A step of the decode: plain C-style code that may call into libjpeg.
using JpegStep = void (*)(j_decompress_ptr cinfo, void* context);

// Runs step(cinfo, context). Returns true when it finished, false when libjpeg raised an
// error; the library's message code is then in cinfo->err->msg_code.
bool RunJpegStep(j_decompress_ptr cinfo, JpegStep step, void* context);

}  // namespace vantrel
