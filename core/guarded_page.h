// Memory for tests of code that must read nothing past a text: a page with an unreadable page
// after it.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace nest::testing {

/// Two pages, the second unreadable: text placed at the end of the first has nothing readable
/// after it, so any read past it faults.
class GuardedPage {
 public:
  GuardedPage();
  GuardedPage(const GuardedPage&) = delete;
  GuardedPage& operator=(const GuardedPage&) = delete;
  ~GuardedPage();

  bool ready() const { return base_ != nullptr; }
  /// `text` copied so that it ends `gap` bytes before the unreadable page; every byte around it
  /// is a '#', never a blank.
  std::string_view place(std::string_view text, std::size_t gap = 0) {
    char* const at = base_ + size_ - gap - text.size();
    std::memset(base_, '#', size_);
    std::memcpy(at, text.data(), text.size());
    return {at, text.size()};
  }

 private:
  std::size_t size_ = 0;
  char* base_ = nullptr;
};

}  // namespace nest::testing
