#include "core/guarded_page.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace nest::testing {

GuardedPage::GuardedPage() {
  size_ = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  void* pages =
      ::mmap(nullptr, 2 * size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) {
    return;
  }
  base_ = static_cast<char*>(pages);
  if (::mprotect(base_ + size_, size_, PROT_NONE) != 0) {
    ::munmap(base_, 2 * size_);
    base_ = nullptr;
  }
}

GuardedPage::~GuardedPage() {
  if (base_ != nullptr) {
    ::munmap(base_, 2 * size_);
  }
}

}  // namespace nest::testing
