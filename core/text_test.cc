#include "core/text.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "core/scan_text.h"

namespace nest {
namespace {

// Two pages, the second unreadable: text placed at the end of the first has nothing readable
// after it, so any read past it faults.
class GuardedPage {
 public:
  GuardedPage() {
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
  GuardedPage(const GuardedPage&) = delete;
  GuardedPage& operator=(const GuardedPage&) = delete;
  ~GuardedPage() {
    if (base_ != nullptr) {
      ::munmap(base_, 2 * size_);
    }
  }

  bool ready() const { return base_ != nullptr; }
  // `text` copied so that it ends `gap` bytes before the unreadable page.
  std::string_view place(std::string_view text, std::size_t gap = 0) {
    char* const at = base_ + size_ - gap - text.size();
    std::memset(base_, '#', size_);  // what lies around the text is never blank
    std::memcpy(at, text.data(), text.size());
    return {at, text.size()};
  }

 private:
  std::size_t size_ = 0;
  char* base_ = nullptr;
};

#if defined(__SSE2__)
std::string bytes_of(__m128i block) {
  char out[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
  return {out, 16};
}

TEST(LoadTailTest, GivesTheBytesThenZerosWhereverTheTextEnds) {
  GuardedPage page;
  ASSERT_TRUE(page.ready());
  const std::string text = "ABCDEFGHIJKLMNO";
  for (std::size_t left = 1; left < 16; ++left) {
    // Ending at the page's end, and a few bytes before it: a whole block is read only where it
    // stays inside the page.
    for (const std::size_t gap : {0U, 1U, 7U, 15U, 16U, 40U}) {
      const std::string_view placed = page.place(std::string_view(text).substr(0, left), gap);
      EXPECT_EQ(bytes_of(load_tail(placed.data(), left)),
                text.substr(0, left) + std::string(16 - left, '\0'))
          << "left " << left << ", gap " << gap;
    }
  }
}

TEST(LoadTailTest, ARunCopiedUpToThePageEndReadsNothingPastIt) {
  GuardedPage page;
  ASSERT_TRUE(page.ready());
  for (std::size_t size = 1; size < 40; ++size) {
    const std::string_view line = page.place(std::string(size, 'Q'));
    char out[64 + 16] = {' '};
    std::size_t i = 0;
    std::size_t length = 1;  // out[0] is the column before the first
    EXPECT_TRUE(copy_lowered_run<'{'>(line, i, out, length));
    EXPECT_EQ(i, size);
    EXPECT_EQ(std::string_view(out + 1, length - 1), std::string(size, 'q'));
  }
}
#endif

}  // namespace
}  // namespace nest
