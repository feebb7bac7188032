// Keeps libjpeg's errors from tearing through C++ frames.
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

struct JpegErrorManager {
  jpeg_error_mgr pub;  // first, so libjpeg's cinfo->err points at the whole struct
  std::jmp_buf jump;
};

// Points cinfo.err at `manager`, with fatal errors jumping back to RunJpegStep and
// warnings and trace messages dropped.
void InstallErrorManager(jpeg_decompress_struct& cinfo, JpegErrorManager& manager);

// A step of the decode: plain C-style code that may call into libjpeg.
using JpegStep = void (*)(j_decompress_ptr cinfo, void* context);

// Runs step(cinfo, context). Returns true when it finished, false when libjpeg raised an
// error; the library's message code is then in cinfo->err->msg_code.
bool RunJpegStep(j_decompress_ptr cinfo, JpegStep step, void* context);

}  // namespace vantrel
