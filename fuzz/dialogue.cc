// Fuzz harness: the console dialogue of either program over arbitrary console input.
//
// Input: one byte that picks the program (even: idlnest, odd: cnest), then the console input.
// Each question is asked in the program's order until the input ends or an answer is refused;
// the refusal (a Fatal) is caught and checked, as main would print it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/prompts.h"
#include "core/text_helpers.h"
#include "core/streams.h"
#include "core/text.h"
#include "fuzz/fuzz_support.h"

namespace {

struct Question {
  std::string_view prompt;
  bool number;   // ird when true, else ard
  int fallback;  // the default of ird
};

constexpr Question kIdlnest[] = {
    {"IDL source file Name", false, 0},
    {"Output file (blank=screen)", false, 0},
    {"Column in which to write line #'s(0 for none; 80?)", true, 0},
    {"Use IBM PC graphics characters (0=no)", true, 0},
    {"Should I warn if \"end\" ends if, for... (0=no)", true, 0},
    {"Maximum line length without warning(160?)", true, 160},
    {"Should I warn about unclosed quotes(0=no)", true, 0},
};

constexpr Question kCnest[] = {
    {"C source filename", false, 0},
    {"Output file (blank=screen)?", false, 0},
    {"Column in which to write line #'s(80, 0 for none; 80?)", true, 0},
    {"Use IBM PC graphics characters (0=no)", true, 0},
    {"Maximum line length without warning(120?)", true, 120},
};

// The last record of the console output so far, without its CR LF.
std::string_view last_record(const std::string& console) {
  if (!console.ends_with("\r\n")) {
    nest::fuzz::fail("console: the echo is not a record ended by CR LF");
  }
  const std::string_view text(console.data(), console.size() - 2);
  const std::size_t start = text.rfind("\r\n");
  return start == std::string_view::npos ? text : text.substr(start + 2);
}

// Whether `echo` shows `answer` as ard must: up to its length, its controls shown as '?' by
// shown_safely, so that nothing in it drives the terminal: no byte below 32 but the tab, no 127,
// no C1 control in UTF-8 (C2 80 to C2 9F), and no byte from 0x80 to 0x9F at the start or after
// an ASCII byte, where it can be no part of a UTF-8 sequence.
bool echoes(std::string_view echo, std::string_view answer) {
  if (echo != nest::shown_safely(nest::upto_lena(answer))) {
    return false;
  }
  for (std::size_t k = 0; k < echo.size(); ++k) {
    const auto byte = static_cast<unsigned char>(echo[k]);
    const unsigned before = k == 0 ? 0 : static_cast<unsigned char>(echo[k - 1]);
    if ((byte < 32 && byte != '\t') || byte == 127) {
      return false;
    }
    if (byte >= 0x80 && byte <= 0x9F && (before < 0x80 || before == 0xC2)) {
      return false;
    }
  }
  return true;
}

template <std::size_t N>
void ask_all(const Question (&questions)[N], nest::Sink& console, const std::string& shown,
             nest::ByteSource& input) {
  for (const Question& q : questions) {
    if (q.number) {
      const int value = nest::ird(q.prompt, q.fallback, console, input);
      console.flush();
      std::string echo = std::to_string(value);
      echo.insert(0, 11 - echo.size(), ' ');
      if (last_record(shown) != " " + echo) {
        nest::fuzz::fail("ird: the echo is not the value returned");
      }
    } else {
      const std::string answer = nest::ard(q.prompt, console, input);
      console.flush();
      if (answer.size() > static_cast<std::size_t>(nest::kTextWidth) ||
          answer.find_first_of("\r\n") != std::string::npos) {
        nest::fuzz::fail("ard: an answer longer than its field or holding a line end");
      }
      const std::string_view echo = last_record(shown);
      if (!echo.starts_with(' ') || !echoes(echo.substr(1), answer)) {
        nest::fuzz::fail("ard: the echo is not the answer returned, its controls shown as '?'");
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const bool cnest = (data[0] & 1) != 0;
  std::string shown;
  nest::Sink console(&shown);
  nest::ByteSource input{std::string(reinterpret_cast<const char*>(data) + 1, size - 1)};
  try {
    if (cnest) {
      ask_all(kCnest, console, shown, input);
    } else {
      ask_all(kIdlnest, console, shown, input);
    }
  } catch (const nest::Fatal& failure) {
    // main prints it as one line on standard error.
    const std::string_view text = failure.what();
    if (!text.starts_with("standard input: ") || text.find_first_of("\r\n") != text.npos) {
      nest::fuzz::fail("a refused answer whose diagnostic is not one line about standard input");
    }
  }
  console.flush();
  return 0;
}
