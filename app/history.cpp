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

std::optional<Snapshot> History::Undo() { return Step(undo_, redo_); }

std::optional<Snapshot> History::Redo() { return Step(redo_, undo_); }

// The snapshot on top of `from` becomes the current one; the current one goes onto `to`.
std::optional<Snapshot> History::Step(std::deque<Snapshot>& from, std::deque<Snapshot>& to) {
  if (from.empty()) return std::nullopt;
  to.push_back(current_);
  current_ = from.back();
  from.pop_back();
  lastSource_ = ChangeSource::None;
  return current_;
}
