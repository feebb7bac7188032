// The undo and redo stacks, with quick changes from one source merged into one step.
#include "app/history.h"

namespace {

// Sources whose changes come in runs: a run is one step.
bool Continuous(ChangeSource source) {
  switch (source) {
    case ChangeSource::Red:
    case ChangeSource::Green:
    case ChangeSource::Blue:
    case ChangeSource::Crop:
    case ChangeSource::Scale:
      return true;
    default:
      return false;
  }
}

}  // namespace

void History::Reset(const Snapshot& now) {
  undo_.clear();
  redo_.clear();
  current_ = now;
  lastSource_ = ChangeSource::None;
}

void History::Record(const Snapshot& now, ChangeSource source) {
  if (now == current_) return;
  const bool merge = source == lastSource_ && Continuous(source) && lastChange_.isValid() &&
                     !lastChange_.hasExpired(kMergeMilliseconds) && !undo_.empty();
  if (!merge) {
    undo_.push_back(current_);
    if (undo_.size() > kMaxSteps) undo_.pop_front();
  }
  redo_.clear();
  current_ = now;
  lastSource_ = source;
  lastChange_.start();
}

std::optional<Snapshot> History::Undo() {
  if (undo_.empty()) return std::nullopt;
  redo_.push_back(current_);
  current_ = undo_.back();
  undo_.pop_back();
  lastSource_ = ChangeSource::None;
  return current_;
}

std::optional<Snapshot> History::Redo() {
  if (redo_.empty()) return std::nullopt;
  undo_.push_back(current_);
  current_ = redo_.back();
  redo_.pop_back();
  lastSource_ = ChangeSource::None;
  return current_;
}
