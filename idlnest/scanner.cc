#include "idlnest/scanner.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "core/diagnostics.h"
#include "core/scan_text.h"
#include "core/text_helpers.h"

namespace idlnest {

using nest::is_digit;
using nest::is_lower;

bool Scanner::build_scan_text(nest::PaddedView b, nest::LineState& state) {
  constexpr std::size_t width = nest::kTextWidth;
  // Columns past the line's last non-blank character are not scanned, nor those past 5000.
  b = b.first(width).trimmed();
  first_colon_ = std::string_view::npos;
  bool quote_open = false;
  // Every column gives at most two characters (a colon and its blank), so the whole line fits in
  // the buffer; only the first 5000 are the scan text. Writing on past 5000 changes nothing
  // before it, so the loop need not look at the write position.
  storage_[0] = ' ';
  char* const out = storage_.data() + 1;
  std::size_t write = 0;
  const std::size_t n = b.size();
  std::size_t i = 0;
  std::size_t scanned = n;  // the columns before a comment mark, or all
  if (n > 0 && b[0] == '@') {
    state.hascode = true;  // "@" in column 1: a batch line, not scanned
    i = n;
  } else if (n > 0 && b[0] == ' ') {
    out[write++] = ' ';  // the indentation leaves one blank
    i = nest::next_nonblank(b, 0);
  }
  const std::size_t first = i;  // the first column that is not a blank (the line is trimmed)
  while (i < n) {
    // Whether the run holds code is settled for the whole line below.
    nest::copy_lowered_run<';', ':', '\'', '"'>(b, i, out, write);
    if (i >= n) {
      break;
    }
    // The run stopped at a column that a rule acts on.
    switch (b[i]) {
      case ' ':  // a blank after a blank
        if (write == 0 || out[write - 1] != ' ') {
          out[write++] = ' ';
        }
        // The rest of the run, at once: blanks collapse in the scan text.
        i = nest::next_nonblank(b, i);
        break;
      case ';':
        state.hascomment = true;
        scanned = i;
        i = n;
        break;
      case ':':
        if (first_colon_ == std::string_view::npos) {
          first_colon_ = write;
        }
        out[write++] = ':';
        out[write++] = ' ';
        ++i;
        break;
      case '\'':
      case '"': {
        // Inside quotes only the closing quote of the same kind counts; the opening quote and
        // everything up to the closing one become blanks, so one blank at most. A closing single
        // quote is a blank as well; a closing double quote stays.
        const char quote = b[i];
        if (write == 0 || out[write - 1] != ' ') {
          out[write++] = ' ';
        }
        const std::size_t close = b.text().find(quote, i + 1);
        if (close == std::string_view::npos) {
          quote_open = true;
          i = n;
          break;
        }
        if (quote == '"') {
          out[write++] = '"';
        }
        i = close + 1;
        break;
      }
      default:  // not reached: a run stops only at the columns above
        out[write++] = b[i++];
        break;
    }
  }
  // Every column before the comment mark that is not a blank counts as code, quoted ones too.
  if (first < scanned) {
    state.hascode = true;
  }
  scan_length_ = std::min(write, width);
  if (first_colon_ >= scan_length_) {
    first_colon_ = std::string_view::npos;
  }
  // At most one blank ends the scan text: blank runs are collapsed.
  code_length_ = scan_length_ > 0 && out[scan_length_ - 1] == ' ' ? scan_length_ - 1 : scan_length_;
  std::fill_n(out + scan_length_, kPadding, ' ');
  return quote_open;
}

Scanner::WordKeys Scanner::word_keys() const {
  // Each of these keys must have a blank (or, for "goto", a ")") or the start of the text before
  // it, so only the starts of words need looking at: one pass for all four, with exactly the
  // conditions that the model's find tests for their flags.
  const std::string_view a = scan_text();
  const std::size_t n = a.size();
  const auto at = [&](std::size_t column) { return column < n ? a[column] : ' '; };
  const auto is_word = [&](std::size_t p, std::string_view word) {
    return nest::word_at(a, p, word);
  };
  WordKeys keys;
  const auto check = [&](std::size_t p) {
    const char before = a.data()[static_cast<std::ptrdiff_t>(p) - 1];  // a blank before column 1
    if (before != ' ' && before != ')') {
      return;
    }
    switch (a[p]) {
      case 'g':  // find("goto", 40): a blank or ")" before, no digit or letter after
        if (is_word(p, "goto") && !is_digit(at(p + 4)) && !is_lower(at(p + 4))) {
          keys.go_to = true;
        }
        break;
      case 'r':  // find("return", 129): a blank before, a blank or "(" after
        if (before == ' ' && is_word(p, "return") && (at(p + 6) == ' ' || at(p + 6) == '(')) {
          keys.return_ = true;
        }
        break;
      case 'c':  // find("case ", 1); its blank must still lie within the 5000 columns
        if (before == ' ' && is_word(p, "case") && at(p + 4) == ' ' && p + 5 <= nest::kTextWidth) {
          keys.case_ = true;
        }
        break;
      case 'e':  // find("end ", 1)
        if (before == ' ' && is_word(p, "end") && at(p + 3) == ' ' && p + 4 <= nest::kTextWidth) {
          keys.end = true;
        }
        break;
      default:
        break;
    }
  };
  // "goto", "return", "case " and "end ", after a blank or a ")".
  nest::for_each_key_start(a, " )", "gorecaen", check);
  return keys;
}

[[gnu::always_inline]] inline bool Scanner::first_word_is(std::string_view key) const {
  // The scan text holds at most one blank before its first word.
  const std::string_view a = scan_text();
  const std::size_t first = !a.empty() && a[0] == ' ' ? 1 : 0;
  const std::string_view code = nest::columns(a, first);
  std::size_t core_size = key.size();
  while (key[core_size - 1] == ' ') {
    --core_size;
  }
  if (code.size() < core_size) {
    return false;
  }
  for (std::size_t k = 0; k < key.size(); ++k) {
    const char c = k < code.size() ? code[k] : ' ';
    if (c != key[k]) {
      return false;
    }
  }
  return first + key.size() <= nest::kTextWidth;
}

bool Scanner::colon_after_digits() const {
  // Every later colon has the first one before it, which is neither a blank nor a digit.
  if (first_colon_ == std::string_view::npos) {
    return false;
  }
  const std::string_view head = nest::columns(scan_text(), 0, first_colon_);
  return std::all_of(head.begin(), head.end(), [](char c) { return c == ' ' || is_digit(c); });
}

[[gnu::always_inline]] inline bool Scanner::code_ends_with(std::string_view key,
                                                           bool blank_before) const {
  // Blank runs are collapsed, so two blanks in a row stand only after the code's last non-blank
  // character: a key that ends in two blanks matches there or nowhere.
  const std::string_view code = nest::columns(scan_text(), 0, code_length_);
  std::size_t core_size = key.size();
  while (core_size > 0 && key[core_size - 1] == ' ') {
    --core_size;
  }
  const std::string_view core = nest::columns(key, 0, core_size);
  if (code.size() < core.size()) {
    return false;
  }
  const std::size_t start = code.size() - core.size();
  for (std::size_t k = 0; k < core.size(); ++k) {
    if (code[start + k] != core[k]) {
      return false;
    }
  }
  if (start + key.size() > nest::kTextWidth) {
    return false;  // the key's blanks would run past column 5000
  }
  if (blank_before && start > 0 && code[start - 1] != ' ') {
    return false;
  }
  return true;
}

void Scanner::scan(nest::PaddedView b, const nest::Form& form, nest::LineState& state,
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
      nest::echo_line(form, b, streams.console);
    }
  };

  // Blank runs are collapsed and code_length_ leaves out the one blank that may end the text,
  // so the scan text is all blanks exactly when no code is left.
  if (code_length_ == 0) {
    // Every key holds a character that is not a blank: on a line without code none can match,
    // so no unit starts, no rule applies and the line is no continuation.
    contin_ = false;
    return;
  }

  // The first character of the code, after the one blank that may stand before it: every
  // first-word key starts with a letter, so only the keys that start with it need testing.
  const char lead = a[0] == ' ' ? a[1] : a[0];
  const bool unit_header =
      (lead == 'f' && first_word_is("function ")) || (lead == 'p' && first_word_is("pro "));
  if (nunit_ == 0 && !unit_header) {
    ++nunit_;
    ++nmain_;
    echo_unit();
    if (nmain_ > 1) {
      nest::errr("Too many mainlines", form, streams, b);
    }
    ++n.toplev;
    ++n.newlev;
  }

  // The model's find("goto", 40), find("return", 129), find("case ", 1) and find("end ", 1), all
  // in one pass.
  const WordKeys words = word_keys();
  state.jump = words.go_to || words.return_;

  const auto raise_marks = [&n](std::int64_t at_least) { n.nmark = std::max(n.nmark, at_least); };
  const auto forget_case_level = [&] {
    if (n.newlev < caselev_) {
      caselev_ = 0;
    }
  };
  // The keys that must end the code end in its last character.
  const char last = code_length_ > 0 ? a[code_length_ - 1] : ' ';
  const bool ends_in_begin = last == 'n' && code_ends_with("begin  ", true);
  // The closing keywords, the model's find(key, 2) for "endif ", "endfor ", "endelse ",
  // "endwhile ", "endcase ", "endrep " and "endforeach ", all start with "end"; the letter after
  // it tells which one to test. ("endswitch" is none of them.)
  bool closing = false;
  if (lead == 'e') {
    const std::size_t first = a[0] == ' ' ? 1 : 0;
    if (nest::columns(a, first, 3) == "end" && a.size() > first + 3) {
      switch (a[first + 3]) {
        case 'i':
          closing = first_word_is("endif ");
          break;
        case 'f':
          closing = first_word_is("endfor ") || first_word_is("endforeach ");
          break;
        case 'e':
          closing = first_word_is("endelse ");
          break;
        case 'w':
          closing = first_word_is("endwhile ");
          break;
        case 'c':
          closing = first_word_is("endcase ");
          break;
        case 'r':
          closing = first_word_is("endrep ");
          break;
        default:
          break;
      }
    }
  }
  if (closing) {  // A: a typed end
    --n.newlev;
    if (ends_in_begin) {
      ++n.newlev;
      raise_marks(1);
    }
    forget_case_level();
  } else if (words.case_ || ends_in_begin) {
    // B: a block opens
    caselev_ = n.oldlev;
    ++n.toplev;
    ++n.newlev;
    raise_marks(1);
    if (last == 'n' && code_ends_with(": begin  ", false)) {
      raise_marks(2);
    }
    if (words.end) {
      --n.newlev;
    }
  } else if (lead == 'e' && first_word_is("end ")) {  // C: a plain end
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
  } else if (caselev_ != 0 &&
             ((last == ':' && code_ends_with(":  ", false)) || colon_after_digits())) {
    raise_marks(1);  // E: a selector or a label
  } else if (caselev_ != 0) {
    // F: a colon outside brackets, unless the line goes on from the one before
    if (first_colon_ != std::string_view::npos) {
      const std::string_view head = nest::columns(a, 0, first_colon_ + 1);
      const auto count = [&](char c) { return std::count(head.begin(), head.end(), c); };
      if (count('(') == count(')') && count('[') == count(']') && !contin_) {
        raise_marks(1);
      }
    }
  }

  contin_ = last == '$' && code_ends_with("$  ", false);
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

void diagram(std::string_view filnam, std::string_view filnam2, int numcol, int ibmpc, int warnend,
             int warnquote, int maxlen, nest::Sink& console) {
  Scanner scanner(warnend != 0, warnquote != 0);
  nest::diagram(filnam, filnam2, frame(numcol, ibmpc, maxlen), scanner, console);
}

}  // namespace idlnest
