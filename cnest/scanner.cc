#include "cnest/scanner.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "core/diagnostics.h"
#include "core/scan_text.h"
#include "core/simd.h"
#include "core/text_helpers.h"

namespace cnest {

namespace {

constexpr std::size_t kWidth = nest::kTextWidth;

using nest::is_digit;
using nest::is_lower;

// Inside a comment every column is a blank except a "/" or a "*", which may begin "/*" or "*/":
// moves `i` on to the next of those (or the end) and puts one blank in the scan text for
// the columns passed, unless one stands at its end already.
void skip_comment(std::string_view line, std::size_t& i, char* out, std::size_t& length) {
  const auto comment_mark = [](char c) { return c == '/' || c == '*'; };
#if NEST_SSE2
  const std::size_t j = nest::sse2::find_byte(
      line, i,
      [](__m128i block) {
        return nest::sse2::bits(_mm_or_si128(nest::sse2::equal_bytes(block, '/'),
                                             nest::sse2::equal_bytes(block, '*')));
      },
      comment_mark);
#else
  const std::size_t j = nest::portable::find_byte(
      line, i,
      [](nest::portable::Word word) {
        return nest::portable::equal_marks(word, '/') | nest::portable::equal_marks(word, '*');
      },
      comment_mark);
#endif
  if (j > i) {
    if (length == 0 || out[length - 1] != ' ') {
      out[length++] = ' ';
    }
    i = j;
  }
}

}  // namespace

bool Scanner::character_steps(nest::PaddedView b, const nest::Form& form, nest::LineState& state,
                              nest::Streams& streams) {
  // The columns past the end of `b` are blanks up to column 5000. A blank changes no state; it
  // only adds one blank to the scan text, unless one stands at its end already. So the steps run
  // over the line's own characters and the blank columns after them are settled at once.
  const nest::PaddedView line = b.first(kWidth);
  nest::Nesting& braces = state.primary;
  bool insingle = false;
  bool indouble = false;
  storage_[0] = ' ';  // the column before the first
  char* const out = storage_.data() + 1;
  std::size_t length = 0;
  // The column after a character; past the line, and past column 5000, a blank. So a "/" or a
  // "*" in column 5000 starts no pair.
  const auto next_of = [&](std::size_t i) { return i + 1 < line.size() ? line[i + 1] : ' '; };

  // The character step for column `i`, with every rule; moves `i` past the column (and past the
  // second character of a comment mark). False when a "//" outside a comment ends the steps of the
  // line.
  const auto step = [&](std::size_t& i) {
    char c = line[i];
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
    // A backslash right before the quote that would close a literal keeps it open.
    const auto after_backslash = [&] { return i > 0 && line[i - 1] == '\\'; };
    switch (c) {
      case '\'':
        if (!indouble && !incomment_) {
          insingle = !insingle || after_backslash();
        }
        break;
      case '"':
        if (!insingle && !incomment_) {
          indouble = !indouble || after_backslash();
        }
        break;
      case '/':
        if (!insingle && !indouble) {
          const char next = next_of(i);
          if (next == '/' && !incomment_) {
            // The rest of the line is a comment. Inside a "/*" comment a "//" is comment text
            // (a URL, say): the steps go on, and a "*/" after it closes the comment.
            state.hascomment = true;
            return false;
          }
          if (next == '*') {
            if (incomment_) {
              nest::warn("nested comment", form, streams, b);
            }
            incomment_ = true;
            state.hascomment = true;
            c = ' ';
            ++i;
          }
        }
        break;
      case '*':
        if (!insingle && !indouble && next_of(i) == '/') {
          if (!incomment_) {
            nest::errr("/ without /* clause", form, streams, b);
          }
          incomment_ = false;
          c = ' ';
          ++i;
        }
        break;
      default:
        break;
    }
    if (incomment_) {
      c = ' ';
    }
    if (c != ' ') {
      state.hascode = true;
    }
    // The quote flags do not guard the braces: literals are followed only so that comment
    // marks inside them are text, and a brace in a literal counts like any other.
    if (c == '{') {
      if (streams.tofile && braces.newlev == 0) {
        nest::echo_line(form, b, streams.console);
      }
      ++braces.newlev;
      braces.nmark = std::max<std::int64_t>(braces.nmark, 1);
    } else if (c == '}') {
      --braces.newlev;
      // The drop is counted before the level is put back to 0, so that the line still gets
      // the mark of the block it tried to close.
      braces.nmark = std::max(braces.nmark, braces.oldlev - braces.newlev);
      if (braces.newlev < 0) {
        nest::errr("Invalid diagramming index", form, streams, b);
        braces.newlev = 0;
      }
    }
    if (c != ' ' || length == 0 || out[length - 1] != ' ') {
      out[length++] = c;
    }
    ++i;
    return true;
  };

  // Between the columns that some rule acts on, whole runs are copied (or, in a comment,
  // passed over) at once; which columns stop a run depends on the state.
  std::size_t i = 0;
  if (!incomment_ && line.size() >= 2 && line[0] == ' ' && line[1] == ' ') {
    // The indentation: one blank in the scan text.
    out[length++] = ' ';
    i = nest::next_nonblank(line, 0);
  }
  while (i < line.size()) {
    if (incomment_) {
      skip_comment(line, i, out, length);
    } else if (insingle) {
      if (nest::copy_lowered_run<'\'', '{', '}'>(line, i, out, length)) {
        state.hascode = true;
      }
    } else if (indouble) {
      if (nest::copy_lowered_run<'"', '{', '}'>(line, i, out, length)) {
        state.hascode = true;
      }
    } else {
      if (nest::copy_lowered_run<'\'', '"', '/', '*', '{', '}'>(line, i, out, length)) {
        state.hascode = true;
      }
    }
    if (i >= line.size()) {
      break;
    }
    if (line[i] == ' ') {
      // A run stopped at a blank after a blank. Blanks change no state and collapse in the scan
      // text, so the rest of the run is passed over at once.
      i = nest::next_nonblank(line, i);
      continue;
    }
    if (!step(i)) {
      scan_length_ = length;
      return false;  // no literal is open here
    }
  }
  if (line.size() < kWidth && (length == 0 || out[length - 1] != ' ')) {
    out[length++] = ' ';
  }
  scan_length_ = length;
  return insingle || indouble;
}

void Scanner::scan(nest::PaddedView b, const nest::Form& form, nest::LineState& state,
                   nest::Streams& streams) {
  nest::Nesting& braces = state.primary;
  nest::Nesting& conditionals = state.secondary;
  // The renderer has moved the old levels on already; doing it here as well keeps the step
  // whole when it runs without one.
  braces.oldlev = braces.newlev;
  conditionals.oldlev = conditionals.newlev;
  braces.nmark = 0;
  conditionals.nmark = 0;
  state.hascode = false;
  state.hascomment = incomment_;

  if (character_steps(b, form, state, streams)) {
    nest::errr("Unclosed quote", form, streams, b);
  }
  const std::string_view a = scan_text();

  // The rows of preprocessor conditionals, tried in order, the first that matches deciding:
  // the model's c_find(a, key, 2) for the keys "#if", "# if"; "#else", "# else", "#elif",
  // "# elif"; "#endif", "# endif". Flag 2 leaves them only the first non-blank column and tests
  // nothing after them; blank runs are collapsed, so the first character that is not a blank is
  // the first or second, and the word after the "#" and the one blank that may follow it decide.
  const std::size_t first = !a.empty() && a[0] == ' ' ? 1 : 0;
  if (first < a.size() && a[first] == '#') {
    std::string_view word = nest::columns(a, first + 1);
    if (!word.empty() && word.front() == ' ') {
      word.remove_prefix(1);
    }
    if (word.starts_with("if")) {
      ++conditionals.newlev;
      conditionals.nmark = 1;
    } else if (word.starts_with("else") || word.starts_with("elif")) {
      conditionals.nmark = 1;
    } else if (word.starts_with("endif")) {
      // Not checked against 0: the renderer reports a level below 0 and puts it back.
      --conditionals.newlev;
      conditionals.nmark = 1;
    }
  }

  // The jumps and the case labels, in one pass: the model's c_find(a, key, 576) for "go to" and
  // "goto"; c_find(a, key, 544) for "return", "break", "continue", "exit" and "case";
  // c_find(a, key, 512) for "default " and "default:".
  const StatementWords words = statement_words();
  state.jump = words.jump;
  if (words.label) {
    braces.nmark = std::max<std::int64_t>(braces.nmark, 1);
  }
  state.incomment = incomment_;
}

namespace {

// A jump or case label key as 8 bytes compared at once: its bytes and a mask of them, in memory
// order whatever the byte order.
struct Key {
  std::uint64_t bytes = 0;
  std::uint64_t mask = 0;
  std::size_t size = 0;
};

constexpr Key key_of(std::string_view word) {
  Key key;
  for (std::size_t k = 0; k < word.size(); ++k) {
    const std::size_t shift = 8 * (std::endian::native == std::endian::little ? k : 7 - k);
    key.bytes |= std::uint64_t{static_cast<unsigned char>(word[k])} << shift;
    key.mask |= std::uint64_t{0xFF} << shift;
  }
  key.size = word.size();
  return key;
}

constexpr Key kGoto = key_of("goto");
constexpr Key kGoTo = key_of("go to");
constexpr Key kReturn = key_of("return");
constexpr Key kBreak = key_of("break");
constexpr Key kExit = key_of("exit");
constexpr Key kContinue = key_of("continue");
constexpr Key kCase = key_of("case");
constexpr Key kDefault = key_of("default");

}  // namespace

Scanner::StatementWords Scanner::statement_words() const {
  // Every jump and case label key must follow a blank, ";", ")", "{", "}" or the start of the
  // text, so only the starts of statements need looking at, with exactly the conditions that
  // c_find tests for the keys' flags (512, and what each tests after the key).
  const std::string_view a = scan_text();
  const std::size_t n = a.size();
  StatementWords words;
  if (n < 4) {
    return words;  // every key is four characters long or longer
  }
  const auto at = [&](std::size_t column) { return column < n ? a[column] : ' '; };
  // Looks at a candidate: a column `p` that follows a character ending a statement.
  const auto check = [&](std::size_t p) {
    // The 8 bytes from `p`, to compare with a key at once. The storage has room for them past
    // any column of the text; what lies past its end is masked off or, where the key would run
    // past it, never compared.
    std::uint64_t here = 0;
    std::memcpy(&here, a.data() + p, sizeof here);
    const auto is = [&](const Key& key) {
      return key.size <= n - p && (here & key.mask) == key.bytes;
    };
    const auto no_word_after = [&](std::size_t size) {
      return !is_digit(at(p + size)) && !is_lower(at(p + size));
    };
    switch (a[p]) {
      case 'g':  // "goto" and "go to", 576: no letter after
        if ((is(kGoto) && !is_lower(at(p + 4))) || (is(kGoTo) && !is_lower(at(p + 5)))) {
          words.jump = true;
        }
        break;
      case 'r':  // 544: no digit or letter after
        words.jump = words.jump || (is(kReturn) && no_word_after(6));
        break;
      case 'b':
        words.jump = words.jump || (is(kBreak) && no_word_after(5));
        break;
      case 'e':
        words.jump = words.jump || (is(kExit) && no_word_after(4));
        break;
      case 'c':
        words.jump = words.jump || (is(kContinue) && no_word_after(8));
        words.label = words.label || (is(kCase) && no_word_after(4));
        break;
      case 'd':  // "default " and "default:", nothing after; the blank must lie within 5000 columns
        if (is(kDefault) && (at(p + 7) == ':' || (at(p + 7) == ' ' && p + 8 <= kWidth))) {
          words.label = true;
        }
        break;
      default:
        break;
    }
  };
  // "goto" and "go to", "return", "break", "exit", "continue", "case" and "default", after a
  // blank, ";", ")", "{" or "}".
  nest::for_each_key_start(a, " ;){}", "gorebrexcocade", check);
  return words;
}

void Scanner::finish(std::string_view b, const nest::Form& form, const nest::LineState& state,
                     nest::Streams& streams) {
  if (state.primary.newlev > 0 || state.secondary.newlev > 0) {
    nest::errr("Some nest levels unclosed at end", form, streams, b);
  }
}

nest::Frame frame(int numcol, int ibmpc, int maxlen) {
  nest::Frame frame;
  frame.ruler_indent = 11;
  frame.maxlen = maxlen;
  frame.render.leftcols = 3;
  frame.render.numcol = numcol;
  frame.render.ibmpc = ibmpc != 0;
  frame.render.too_many_columns = nest::Severity::kError;
  return frame;
}

void diagram(std::string_view filnam, std::string_view filnam2, int numcol, int ibmpc, int maxlen,
             nest::Sink& console) {
  Scanner scanner;
  nest::diagram(filnam, filnam2, frame(numcol, ibmpc, maxlen), scanner, console);
}

}  // namespace cnest
