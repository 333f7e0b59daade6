// Texts whose buffers own the bytes just past them, so that vector code may read a whole block of
// 16 bytes from any column of the text without reading memory that is not the program's.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nest {

/// The bytes that every padded buffer owns past the end of its text.
inline constexpr std::size_t kPadding = 16;

/// A view of a text that is followed, in the buffer it lies in, by at least kPadding bytes that
/// the buffer owns. What those bytes hold is not part of the text and may be anything; they are
/// there only so that a block of 16 bytes can be read from any column of the text. Made by the
/// buffers that keep the padding (LineBuffer, PaddedString); the views of its first columns and
/// of its columns from one on are padded as well.
class PaddedView {
 public:
  /// The empty text.
  PaddedView() : text_(kNothing, 0) {}

  std::string_view text() const { return text_; }
  operator std::string_view() const { return text_; }  // NOLINT: a padded text is a text
  const char* data() const { return text_.data(); }
  std::size_t size() const { return text_.size(); }
  bool empty() const { return text_.empty(); }
  char operator[](std::size_t column) const { return text_[column]; }

  /// The first `count` columns (all of them when there are fewer).
  PaddedView first(std::size_t count) const {
    return PaddedView(text_.data(), count < text_.size() ? count : text_.size());
  }
  /// The columns from `from` on (none when `from` is past the end).
  PaddedView from(std::size_t from) const {
    from = from < text_.size() ? from : text_.size();
    return PaddedView(text_.data() + from, text_.size() - from);
  }
  /// The text without its trailing blanks.
  PaddedView trimmed() const {
    std::size_t size = text_.size();
    while (size > 0 && text_[size - 1] == ' ') {
      --size;
    }
    return PaddedView(text_.data(), size);
  }

  /// The view of the `size` bytes at `data`, which the caller's buffer follows with kPadding
  /// bytes of its own.
  static PaddedView over(const char* data, std::size_t size) { return PaddedView(data, size); }

 private:
  PaddedView(const char* data, std::size_t size) : text_(data, size) {}

  static constexpr char kNothing[kPadding] = {};
  std::string_view text_;
};

/// A copy of a text in a buffer of its own, with the padding after it (zero bytes): for texts
/// that do not come from a padded buffer of the program, in tests and benchmarks.
class PaddedString {
 public:
  explicit PaddedString(std::string_view text) : size_(text.size()) {
    bytes_.reserve(text.size() + kPadding);
    bytes_.assign(text);
    bytes_.append(kPadding, '\0');
  }

  PaddedView view() const { return PaddedView::over(bytes_.data(), size_); }
  operator PaddedView() const { return view(); }  // NOLINT: used where a padded text is asked for

 private:
  std::string bytes_;
  std::size_t size_;
};

}  // namespace nest
