// Caps the address space of this process at its current size plus `headroom` bytes, and
// restores the old cap when it goes: allocations beyond it fail as on a machine out of memory.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

namespace testsupport {

class AddressSpaceCap {
 public:
  explicit AddressSpaceCap(long long headroom) {
    getrlimit(RLIMIT_AS, &old_);
    long long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit capped = old_;
    capped.rlim_cur = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + headroom);
    ok_ = setrlimit(RLIMIT_AS, &capped) == 0;
  }
  ~AddressSpaceCap() { setrlimit(RLIMIT_AS, &old_); }
  AddressSpaceCap(const AddressSpaceCap&) = delete;
  AddressSpaceCap& operator=(const AddressSpaceCap&) = delete;
  bool ok() const { return ok_; }

 private:
  rlimit old_{};
  bool ok_ = false;
};

}  // namespace testsupport
