#include "picture/jpeg_error_guard.h"

namespace vantrel {
namespace {

void JumpBackToStep(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  std::longjmp(manager->jump, 1);
}

// Warnings (a file that ends early, corrupt entropy data) are ignored: the library mends
// what it can and the picture is shown as decoded.
void DropMessage(j_common_ptr, int) {}
void DropOutput(j_common_ptr) {}

}  // namespace

void InstallErrorManager(jpeg_decompress_struct& cinfo, JpegErrorManager& manager) {
  cinfo.err = jpeg_std_error(&manager.pub);
  manager.pub.error_exit = JumpBackToStep;
  manager.pub.emit_message = DropMessage;
  manager.pub.output_message = DropOutput;
}

bool RunJpegStep(j_decompress_ptr cinfo, JpegStep step, void* context) {
  auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  if (setjmp(manager->jump) != 0) return false;
  step(cinfo, context);
  return true;
}

}  // namespace vantrel
