// Long passes report the picture row they work on; the window shows it in its progress bar.
#pragma once

namespace vantrel {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetProgress(int row) = 0;
};

// Tolerates a missing sink, so library callers without a window pass nullptr.
inline void ReportProgress(ProgressSink* sink, int row) {
  if (sink) sink->SetProgress(row);
}

}  // namespace vantrel
