#include "idlnest/scanner.h"

#include <algorithm>
#include <string>

#include "core/diagnostics.h"
#include "core/prompts.h"

namespace idlnest {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_lower(char c) { return c >= 'a' && c <= 'z'; }

// The position (from 0) of the first character of `text` for which `stop` holds, or its size.
template <typename Stop>
std::size_t first_where(std::string_view text, Stop stop) {
  return static_cast<std::size_t>(std::find_if(text.begin(), text.end(), stop) - text.begin());
}

}  // namespace

int find(std::string_view text, std::string_view key, int flags) {
  constexpr std::size_t width = nest::kTextWidth;
  if (key.empty() || key.size() > width) {
    return 0;
  }
  text = text.substr(0, width);
  std::string field;
  if (key.front() == ' ') {
    // Such a key may match in the padding itself. The scanner's keys never start with a blank,
    // so spelling the padding out costs nothing in practice.
    field.assign(text);
    field.resize(width, ' ');
    text = field;
  }
  // Past the end of `text` every column is blank. A key that does not start with a blank has its
  // occurrences start inside `text`; one may run on into the padding only through the blanks
  // that end the key.
  const std::size_t key_blanks = key.size() - 1 - std::min(key.find_last_not_of(' '), key.size() - 1);
  const std::size_t key_core = key.size() - key_blanks;
  // Occurrences before `all_blank_until` have only blanks before them; before `digits_until`,
  // only blanks and digits.
  const std::size_t all_blank_until =
      (flags & kFirstWord) != 0 ? first_where(text, [](char c) { return c != ' '; }) : width;
  const std::size_t digits_until =
      (flags & kDigitsBefore) != 0
          ? first_where(text, [](char c) { return c != ' ' && !is_digit(c); })
          : width;

  const auto at = [&](std::size_t column) { return column < text.size() ? text[column] : ' '; };
  for (std::size_t p = text.find(key.substr(0, key_core)); p != std::string_view::npos;
       p = text.find(key.substr(0, key_core), p + 1)) {
    if (p > all_blank_until || p > digits_until || p + key.size() > width) {
      return 0;  // no later occurrence can pass either
    }
    bool blanks_follow = true;
    for (std::size_t k = key_core; k < key.size(); ++k) {
      if (at(p + k) != ' ') {
        blanks_follow = false;
        break;
      }
    }
    if (!blanks_follow) {
      continue;
    }
    const char before = p == 0 ? ' ' : text[p - 1];
    const char after = at(p + key.size());
    if ((flags & kBlankBefore) != 0 && before != ' ') {
      continue;
    }
    if ((flags & kBlankOrParenBefore) != 0 && before != ' ' && before != ')') {
      continue;
    }
    if ((flags & kNoWordAfter) != 0 && (is_digit(after) || is_lower(after))) {
      continue;
    }
    if ((flags & kBlankOrOpenParenAfter) != 0 && after != ' ' && after != '(') {
      continue;
    }
    return static_cast<int>(p + 1);
  }
  return 0;
}

bool Scanner::build_scan_text(std::string_view b, nest::LineState& state) {
  constexpr std::size_t width = nest::kTextWidth;
  bool in_single = false;
  bool in_double = false;
  std::size_t write = 0;  // the write position, from 0; past `width` nothing more is stored
  for (std::size_t column = 0; column < b.size(); ++column) {
    char c = b[column];
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
    if (c == ';' && !in_single && !in_double) {
      state.hascomment = true;
      break;
    }
    if (c != ' ') {
      state.hascode = true;
    }
    if (column == 0 && c == '@') {
      break;
    }
    if (c == '\'' && !in_double) {
      in_single = !in_single;
      c = ' ';
    }
    if (c == '"' && !in_single) {
      in_double = !in_double;
    }
    if (in_single || in_double) {
      c = ' ';
    }
    if (write >= width) {
      continue;  // the scan text is full; only the flags still change
    }
    if (c == ' ' && write > 0 && scan_[write - 1] == ' ') {
      continue;
    }
    if (c == ':') {
      scan_[write++] = ':';
      if (write >= width) {
        continue;
      }
      c = ' ';
    }
    scan_[write++] = c;
  }
  scan_length_ = write;
  std::fill_n(scan_.begin() + static_cast<std::ptrdiff_t>(write), kPadding, ' ');
  return in_single || in_double;
}

void Scanner::scan(std::string_view b, const nest::Form& form, nest::LineState& state,
                   nest::Streams& streams) {
  state.hascode = false;
  state.hascomment = state.incomment;
  const bool quote_open = build_scan_text(b, state);
  const std::string_view a = scan_text();
  if (quote_open && warnquote_) {
    nest::errr("unclosed quote", form, streams, b);
  }

  nest::Nesting& n = state.primary;
  n.toplev = n.oldlev;
  n.newlev = n.oldlev;
  n.nmark = 0;
  state.jump = false;

  const auto echo_unit = [&] {
    if (streams.tofile) {
      streams.console.write(" Line ");
      streams.console.write(nest::view(form));
      streams.console.put(' ');
      streams.console.record(nest::upto_lena(b));
    }
  };

  const bool unit_header = idlnest::find(a, "function ", kFirstWord) != 0 || idlnest::find(a, "pro ", kFirstWord) != 0;
  if (a.find_first_not_of(' ') != std::string_view::npos && nunit_ == 0 && !unit_header) {
    ++nunit_;
    ++nmain_;
    echo_unit();
    if (nmain_ > 1) {
      nest::errr("Too many mainlines", form, streams, b);
    }
    ++n.toplev;
    ++n.newlev;
  }

  state.jump = idlnest::find(a, "goto", kBlankOrParenBefore | kNoWordAfter) != 0 ||
               idlnest::find(a, "return", kBlankBefore | kBlankOrOpenParenAfter) != 0;

  const auto raise_marks = [&n](std::int64_t at_least) { n.nmark = std::max(n.nmark, at_least); };
  const auto forget_case_level = [&] {
    if (n.newlev < caselev_) {
      caselev_ = 0;
    }
  };
  static constexpr std::string_view kClosing[] = {"endif ",    "endfor ",  "endelse ",
                                                  "endwhile ", "endcase ", "endrep "};
  const bool closing = std::any_of(std::begin(kClosing), std::end(kClosing),
                                   [&](std::string_view key) { return idlnest::find(a, key, kFirstWord) != 0; });
  if (closing) {  // A: a typed end
    --n.newlev;
    if (idlnest::find(a, "begin  ", kBlankBefore) != 0) {
      ++n.newlev;
      raise_marks(1);
    }
    forget_case_level();
  } else if (idlnest::find(a, "case ", kBlankBefore) != 0 || idlnest::find(a, "begin  ", kBlankBefore) != 0) {
    // B: a block opens
    caselev_ = n.oldlev;
    ++n.toplev;
    ++n.newlev;
    raise_marks(1);
    if (idlnest::find(a, ": begin  ", 0) != 0) {
      raise_marks(2);
    }
    if (idlnest::find(a, "end ", kBlankBefore) != 0) {
      --n.newlev;
    }
  } else if (idlnest::find(a, "end ", kFirstWord) != 0) {  // C: a plain end
    if (n.newlev > 0 || nunit_ > 0) {
      --n.newlev;
      if (n.newlev == 0) {
        if (nunit_ != 0) {
          nunit_ = 0;
        }
      } else if (warnend_) {
        nest::warn("end type isn't specific", form, streams, a);
      }
      forget_case_level();
    }
  } else if (unit_header) {  // D: a procedure or function header
    echo_unit();
    ++nunit_;
    ++n.toplev;
    ++n.newlev;
    if (!(nunit_ == 1 && n.newlev == 1)) {
      nest::errr("Invalid diagramming index", form, streams, b);
      n.newlev = 1;
      nunit_ = 1;
    }
  } else if (caselev_ != 0 && (idlnest::find(a, ":  ", 0) != 0 || idlnest::find(a, ":", kDigitsBefore) != 0)) {
    raise_marks(1);  // E: a selector or a label
  } else if (caselev_ != 0) {
    // F: a colon outside brackets, unless the line goes on from the one before
    if (const int colon = idlnest::find(a, ":", 0); colon != 0) {
      const std::string_view head = a.substr(0, static_cast<std::size_t>(colon));
      const auto count = [&](char c) { return std::count(head.begin(), head.end(), c); };
      if (count('(') == count(')') && count('[') == count(']') && !contin_) {
        raise_marks(1);
      }
    }
  }

  contin_ = idlnest::find(a, "$  ", 0) != 0;
}

void Scanner::finish(std::string_view b, const nest::Form& form, const nest::LineState& state,
                     nest::Streams& streams) {
  if (state.primary.newlev > 0 || nunit_ != 0) {
    nest::errr("Nest levels left hanging at end", form, streams, b);
  }
}

nest::Frame frame(int numcol, int ibmpc, int maxlen) {
  nest::Frame frame;
  frame.ruler_indent = 13;
  frame.maxlen = maxlen;
  frame.render.leftcols = 0;
  frame.render.numcol = numcol;
  frame.render.ibmpc = ibmpc != 0;
  frame.render.too_many_columns = nest::Severity::kWarning;
  return frame;
}

void diagram(std::string_view filnam, std::string_view filnam2, int numcol, int ibmpc,
             int warnend, int warnquote, int maxlen, nest::Sink& console) {
  Scanner scanner(warnend != 0, warnquote != 0);
  nest::diagram(filnam, filnam2, frame(numcol, ibmpc, maxlen), scanner, console);
}

}  // namespace idlnest
