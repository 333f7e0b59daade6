#include "cnest/scanner.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>

#include "core/diagnostics.h"
#include "core/prompts.h"

namespace cnest {

namespace {

constexpr std::size_t kWidth = nest::kTextWidth;

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_lower(char c) {
  return c >= 'a' && c <= 'z';
}
bool ends_statement(char c) {
  return c == ' ' || c == ';' || c == ')' || c == '{' || c == '}';
}

struct Keyword {
  std::string_view key;
  int flags;
};

constexpr Keyword kJumps[] = {
    {"go to", kStatementBefore | kNoLetterAfter},  {"goto", kStatementBefore | kNoLetterAfter},
    {"return", kStatementBefore | kNoWordAfter},   {"break", kStatementBefore | kNoWordAfter},
    {"continue", kStatementBefore | kNoWordAfter}, {"exit", kStatementBefore | kNoWordAfter},
};

constexpr Keyword kCaseLabels[] = {
    {"case", kStatementBefore | kNoWordAfter},
    {"default ", kStatementBefore},
    {"default:", kStatementBefore},
};

bool any_found(std::string_view text, std::initializer_list<Keyword> keywords) {
  return std::any_of(keywords.begin(), keywords.end(),
                     [&](const Keyword& k) { return cnest::find(text, k.key, k.flags); });
}

template <std::size_t N>
bool any_found(std::string_view text, const Keyword (&keywords)[N]) {
  return std::any_of(std::begin(keywords), std::end(keywords),
                     [&](const Keyword& k) { return cnest::find(text, k.key, k.flags); });
}

// The console note for a brace that opens a block at level 0, while the listing goes to a file.
void echo(std::string_view b, const nest::Form& form, nest::Sink& console) {
  console.write(" Line ");
  console.write(nest::view(form));
  console.put(' ');
  console.record(nest::upto_lena(b));
}

}  // namespace

bool find(std::string_view text, std::string_view key, int flags) {
  if (key.size() > kWidth) {
    return false;
  }
  // Only the significant part of the field is stored; every column after it is blank.
  text = nest::trimmed(text.substr(0, std::min(text.size(), kWidth)));
  const std::size_t last_start = kWidth - key.size();  // the last start position, from 0
  // The key up to its last non-blank character must lie inside `text`; its trailing blanks may
  // run on into the blank columns after it.
  const std::string_view core = nest::trimmed(key);
  const auto at = [&](std::size_t column) { return column < text.size() ? text[column] : ' '; };

  // An occurrence with only blanks before it starts at the first non-blank column or earlier.
  const std::size_t first_nonblank = std::min(text.find_first_not_of(' '), text.size());
  std::size_t stop = (flags & kFirstWord) != 0 ? std::min(first_nonblank, last_start) : last_start;
  // A key of blanks alone fits anywhere in the blank columns; past the column after the text
  // every start looks the same, so none later is worth trying.
  stop = std::min(stop, text.size() + 1);
  const auto next_start = [&](std::size_t from) {
    return core.empty() ? from : text.find(core, from);
  };
  for (std::size_t p = next_start(0); p != std::string_view::npos && p <= stop;
       p = next_start(p + 1)) {
    bool blanks_follow = true;
    for (std::size_t k = core.size(); k < key.size(); ++k) {
      if (at(p + k) != ' ') {
        blanks_follow = false;
        break;
      }
    }
    if (!blanks_follow) {
      continue;
    }
    const char before = p == 0 ? ' ' : at(p - 1);
    const char after = at(p + key.size());
    if ((flags & kNoWordAfter) != 0 && (is_digit(after) || is_lower(after))) {
      continue;
    }
    if ((flags & kNoLetterAfter) != 0 && is_lower(after)) {
      continue;
    }
    if ((flags & kStatementBefore) != 0 && !ends_statement(before)) {
      continue;
    }
    return true;
  }
  return false;
}

bool Scanner::character_steps(std::string_view b, const nest::Form& form, nest::LineState& state,
                              nest::Streams& streams) {
  // The columns past the end of `b` are blanks up to column 5000. A blank changes no state; it
  // only adds one blank to the scan text, unless one stands at its end already. So the steps run
  // over the line's own characters and the blank columns after them are settled at once.
  const std::string_view line = b.substr(0, std::min(b.size(), kWidth));
  nest::Nesting& braces = state.primary;
  bool insingle = false;
  bool indouble = false;
  std::size_t length = 0;
  // The column after a character; past the line, and past column 5000, a blank. So a "/" or a
  // "*" in column 5000 starts no pair.
  const auto next_of = [&](std::size_t i) { return i + 1 < line.size() ? line[i + 1] : ' '; };

  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
    // A backslash right before the quote that would close a literal keeps it open.
    const bool after_backslash = i > 0 && line[i - 1] == '\\';
    if (c == '\'' && !indouble && !incomment_) {
      insingle = !insingle || after_backslash;
    }
    if (c == '"' && !insingle && !incomment_) {
      indouble = !indouble || after_backslash;
    }
    if (c == '/' && !insingle && !indouble) {
      const char next = next_of(i);
      if (next == '/') {
        // The rest of the line is a comment, even inside a "/*" comment: a "*/" after it on
        // the same line is not seen.
        state.hascomment = true;
        scan_length_ = length;
        return false;  // no literal is open here
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
    } else if (c == '*' && !insingle && !indouble && next_of(i) == '/') {
      if (!incomment_) {
        nest::errr("/ without /* clause", form, streams, b);
      }
      incomment_ = false;
      c = ' ';
      ++i;
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
        echo(b, form, streams.console);
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
    if (c != ' ' || length == 0 || scan_[length - 1] != ' ') {
      scan_[length++] = c;
    }
  }
  if (line.size() < kWidth && (length == 0 || scan_[length - 1] != ' ')) {
    scan_[length++] = ' ';
  }
  scan_length_ = length;
  return insingle || indouble;
}

void Scanner::scan(std::string_view b, const nest::Form& form, nest::LineState& state,
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

  // Only a directive that starts the line counts; the first row that matches decides.
  if (any_found(a, {{"#if", kFirstWord}, {"# if", kFirstWord}})) {
    ++conditionals.newlev;
    conditionals.nmark = 1;
  } else if (any_found(a, {{"#else", kFirstWord},
                           {"# else", kFirstWord},
                           {"#elif", kFirstWord},
                           {"# elif", kFirstWord}})) {
    conditionals.nmark = 1;
  } else if (any_found(a, {{"#endif", kFirstWord}, {"# endif", kFirstWord}})) {
    // Not checked against 0: the renderer reports a level below 0 and puts it back.
    --conditionals.newlev;
    conditionals.nmark = 1;
  }

  state.jump = any_found(a, kJumps);
  if (any_found(a, kCaseLabels)) {
    braces.nmark = std::max<std::int64_t>(braces.nmark, 1);
  }
  state.incomment = incomment_;
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
