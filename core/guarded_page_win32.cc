#include <windows.h>

#include <cstring>

#include "core/guarded_page.h"

namespace nest::testing {

GuardedPage::GuardedPage() {
  SYSTEM_INFO system{};
  ::GetSystemInfo(&system);
  size_ = system.dwPageSize;
  void* pages = ::VirtualAlloc(nullptr, 2 * size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (pages == nullptr) {
    return;
  }
  base_ = static_cast<char*>(pages);
  DWORD old = 0;
  if (::VirtualProtect(base_ + size_, size_, PAGE_NOACCESS, &old) == 0) {
    ::VirtualFree(base_, 0, MEM_RELEASE);
    base_ = nullptr;
  }
}

GuardedPage::~GuardedPage() {
  if (base_ != nullptr) {
    ::VirtualFree(base_, 0, MEM_RELEASE);
  }
}

}  // namespace nest::testing
