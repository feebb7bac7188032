// How a caller follows and stops a search.
#pragma once

#include <exception>
#include <functional>

namespace vantrel {

// Both may be empty.
struct SearchControl {
  std::function<void(int permille)> progress;  // now and then, 0..1000, rising
  std::function<bool()> cancelled;             // polled between conversions
};

// Thrown out of a search whose caller cancelled it.
class SearchCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "search cancelled"; }
};

}  // namespace vantrel
