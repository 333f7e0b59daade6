#include "core/prompts.h"

#include <cstdint>
#include <string>

#include "core/text.h"
#include "core/text_helpers.h"

namespace nest {

namespace {

// Writes " <text>" as one record: the blank that begins every free-form record.
void free_form(Sink& console, std::string_view text) {
  console.put(' ');
  console.record(text);
}

[[noreturn]] void input_failure(std::string_view prompt, std::string_view reason) {
  std::string text = "standard input: ";
  text += reason;
  text += " at the question ";
  text += quoted(trimmed(prompt));
  throw Fatal(text);
}

bool is_blank_or_tab(int c) {
  return c == ' ' || c == '\t';
}
bool is_separator(int c) {
  return c == ',' || c == ';' || c == '/';
}

}  // namespace

std::string ard(std::string_view prompt, Sink& console, ByteSource& input) {
  console.put(' ');
  console.write(prompt);
  console.record(":");
  console.flush();
  std::string answer;
  if (!input.read_line(answer, kTextWidth)) {
    input_failure(prompt, "end of input");
  }
  free_form(console, shown_safely(upto_lena(answer)));
  return answer;
}

int ird(std::string_view prompt, int fallback, Sink& console, ByteSource& input) {
  console.put(' ');
  console.write(upto_lena(prompt));
  console.record(":");
  console.flush();

  std::int64_t value = fallback;
  int c = input.get_in_line();
  for (;;) {
    while (is_blank_or_tab(c)) {
      c = input.get_in_line();
    }
    if (c == ByteSource::kEnd) {
      input_failure(prompt, "end of input");
    }
    if (c != ByteSource::kLineEnd) {
      break;
    }
    c = input.get_in_line();  // an empty or blank line is no answer: wait for the next one
  }

  if (is_separator(c)) {
    input.skip_line();
  } else {
    std::string token;  // what was typed, for the diagnostic
    const bool negative = c == '-';
    if (c == '+' || c == '-') {
      token.push_back(static_cast<char>(c));
      c = input.get_in_line();
    }
    std::int64_t magnitude = 0;
    bool digits = false;
    while (c >= 0 && is_digit(static_cast<char>(c))) {
      digits = true;
      // Stop growing once past the range; the exact size no longer matters.
      if (magnitude <= INT32_MAX) {
        magnitude = magnitude * 10 + (c - '0');
      }
      if (token.size() < 40) {
        token.push_back(static_cast<char>(c));
      }
      c = input.get_in_line();
    }
    const bool ended =
        c == ByteSource::kEnd || c == ByteSource::kLineEnd || is_blank_or_tab(c) || is_separator(c);
    if (!digits || !ended) {
      if (c >= 0 && token.size() < 40) {
        token.push_back(static_cast<char>(c));
      }
      input_failure(prompt, "malformed number " + quoted(token));
    }
    value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) {
      input_failure(prompt, "number out of range " + quoted(token));
    }
    if (c != ByteSource::kEnd && c != ByteSource::kLineEnd) {
      input.skip_line();
    }
  }

  std::string echo = std::to_string(value);
  echo.insert(0, 11 - echo.size(), ' ');
  free_form(console, echo);
  return static_cast<int>(value);
}

}  // namespace nest
