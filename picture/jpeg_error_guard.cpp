// libjpeg's error manager turned into exceptions and its scan and memory limits.
#include "picture/jpeg_error_guard.h"

// libjpeg's message codes.
#include <jerror.h>

namespace vantrel {
namespace {

JpegErrorManager& Manager(j_common_ptr cinfo) {
  return *reinterpret_cast<JpegErrorManager*>(cinfo->err);
}

void JumpBackToStep(j_common_ptr cinfo) { std::longjmp(Manager(cinfo).jump, 1); }

// Warnings (corrupt entropy data and the like) are otherwise ignored: the library mends
// what it can and the picture is shown as decoded. Running out of data is the one the
// user is told about, since part of the picture is then missing.
void NoteWarning(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) Manager(cinfo).endedEarly = true;
}
void DropOutput(j_common_ptr) {}

// Called at least once per scan while libjpeg reads the input.
void LimitScans(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans) {
    Manager(cinfo).tooManyScans = true;
    JumpBackToStep(cinfo);
  }
}

}  // namespace

void InstallErrorManager(jpeg_decompress_struct& cinfo, JpegErrorManager& manager) {
  cinfo.err = jpeg_std_error(&manager.pub);
  manager.pub.error_exit = JumpBackToStep;
  manager.pub.emit_message = NoteWarning;
  manager.pub.output_message = DropOutput;
  manager.endedEarly = false;
  manager.tooManyScans = false;
}

void InstallScanLimit(j_decompress_ptr cinfo) {
  JpegErrorManager& manager = Manager(reinterpret_cast<j_common_ptr>(cinfo));
  manager.progress = {};
  manager.progress.progress_monitor = LimitScans;
  cinfo->progress = &manager.progress;
}

bool RunJpegStep(j_decompress_ptr cinfo, JpegStep step, void* context) {
  JpegErrorManager& manager = Manager(reinterpret_cast<j_common_ptr>(cinfo));
  if (setjmp(manager.jump) != 0) return false;
  step(cinfo, context);
  return true;
}

}  // namespace vantrel
