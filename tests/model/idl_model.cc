// idlnest's per-line step and its keyword search, the long way round.
#include "tests/model/model.h"

namespace model {

namespace {

bool digit(char c) {
  return c >= '0' && c <= '9';
}
bool lower(char c) {
  return c >= 'a' && c <= 'z';
}

std::string without_trailing_blanks(const Text& a) {
  if (lena(a) == 1 && a[0] == ' ') {
    return "";
  }
  return a.substr(0, static_cast<std::size_t>(lena(a)));
}

const std::string kRuler =
    "....,....1....,....2....,....3....,....4....,....5....,....6....,....7....,....8";

}  // namespace

bool idl_find(const Text& a, const std::string& key, int flags, Int& matchpos) {
  const Int n = kWidth;
  const Int m = static_cast<Int>(key.size());
  for (Int i = 1; i <= n - m + 1; ++i) {
    bool equal = true;
    for (Int k = 0; k < m; ++k) {
      if (a[static_cast<std::size_t>(i - 1 + k)] != key[static_cast<std::size_t>(k)]) {
        equal = false;
        break;
      }
    }
    if (!equal) {
      continue;
    }
    matchpos = i;
    const char before = i == 1 ? ' ' : a[static_cast<std::size_t>(i - 2)];
    const char after = i + m - 1 >= n ? ' ' : a[static_cast<std::size_t>(i + m - 1)];
    const auto everything_before = [&](auto allowed) {
      for (Int k = 1; k < i; ++k) {
        if (!allowed(a[static_cast<std::size_t>(k - 1)])) {
          return false;
        }
      }
      return true;
    };
    bool pass = true;
    if ((flags & 1) != 0 && before != ' ') {
      pass = false;
    }
    if ((flags & 2) != 0 && !everything_before([](char c) { return c == ' '; })) {
      pass = false;
    }
    if ((flags & 8) != 0 && before != ' ' && before != ')') {
      pass = false;
    }
    if ((flags & 32) != 0 && (digit(after) || lower(after))) {
      pass = false;
    }
    if ((flags & 128) != 0 && after != ' ' && after != '(') {
      pass = false;
    }
    if ((flags & 256) != 0 && !everything_before([](char c) { return c == ' ' || digit(c); })) {
      pass = false;
    }
    if (pass) {
      return true;
    }
  }
  return false;
}

void idl_step(const Text& b, const std::string& form, int tofile, Int warnend, Int warnquote,
              IdlCarried& s, Text& a, Output& out) {
  // 1: the scan text.
  a = blank_text();
  Int position = 1;
  s.hascode = 0;
  s.hascomment = 0;
  int single = 0;
  int dbl = 0;
  const Int length = lena(b);
  for (Int column = 1; column <= length; ++column) {
    char c = b[static_cast<std::size_t>(column - 1)];
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
    if (c == ';' && single == 0 && dbl == 0) {
      s.hascomment = 1;
      break;
    }
    if (c != ' ') {
      s.hascode = 1;
    }
    if (c == '@' && column == 1) {
      break;
    }
    if (c == '\'' && dbl == 0) {
      single = 1 - single;
      c = ' ';
    }
    if (c == '"' && single == 0) {
      dbl = 1 - dbl;
    }
    if (single != 0 || dbl != 0) {
      c = ' ';
    }
    if (c == ' ' && position > 1 && position - 1 <= kWidth &&
        a[static_cast<std::size_t>(position - 2)] == ' ') {
      continue;
    }
    if (c == ':') {
      if (position <= kWidth) {
        a[static_cast<std::size_t>(position - 1)] = ':';
      }
      position = position + 1;
      c = ' ';
    }
    if (position <= kWidth) {
      a[static_cast<std::size_t>(position - 1)] = c;
    }
    position = position + 1;
  }

  // 2
  if ((single != 0 || dbl != 0) && warnquote != 0) {
    errr("unclosed quote", form, tofile, b, out);
  }
  // 3
  s.toplev = s.oldlev;
  s.newlev = s.oldlev;
  s.nmark = 0;
  s.jump = 0;

  const auto echo = [&] {
    if (tofile == 1) {
      out.to_console(" Line " + form + " " + b.substr(0, static_cast<std::size_t>(lena(b))));
    }
  };
  const auto find = [&](const std::string& key, int flags) {
    return idl_find(a, key, flags, s.matchpos);
  };
  const auto at_least = [&](Int value) {
    if (s.nmark < value) {
      s.nmark = value;
    }
  };

  // 4: main-level code.
  const bool all_blank = lena(a) == 1 && a[0] == ' ';
  if (!all_blank && s.nunit == 0 && !(find("function ", 2) || find("pro ", 2))) {
    s.nunit = s.nunit + 1;
    s.nmain = s.nmain + 1;
    echo();
    if (s.nmain > 1) {
      errr("Too many mainlines", form, tofile, b, out);
    }
    s.toplev = s.toplev + 1;
    s.newlev = s.newlev + 1;
  }

  // 5: jumps.
  if (find("goto", 40) || find("return", 129)) {
    s.jump = 1;
  }

  // 6: the first rule whose test holds.
  if (find("endif ", 2) || find("endfor ", 2) || find("endelse ", 2) || find("endwhile ", 2) ||
      find("endcase ", 2) || find("endrep ", 2) || find("endforeach ", 2)) {
    s.newlev = s.newlev - 1;
    if (find("begin  ", 1)) {
      s.newlev = s.newlev + 1;
      at_least(1);
    }
    if (s.newlev < s.caselev) {
      s.caselev = 0;
    }
  } else if (find("case ", 1) || find("begin  ", 1)) {
    s.caselev = s.oldlev;
    s.toplev = s.toplev + 1;
    s.newlev = s.newlev + 1;
    at_least(1);
    if (find(": begin  ", 0)) {
      at_least(2);
    }
    if (find("end ", 1)) {
      s.newlev = s.newlev - 1;
    }
  } else if (find("end ", 2)) {
    if (s.newlev > 0 || s.nunit > 0) {
      s.newlev = s.newlev - 1;
      if (s.newlev == 0) {
        if (s.nunit != 0) {
          s.nunit = 0;
        }
      } else if (warnend != 0) {
        warn("end type isn't specific", form, tofile, a, out);
      }
      if (s.newlev < s.caselev) {
        s.caselev = 0;
      }
    }
  } else if (find("function ", 2) || find("pro ", 2)) {
    echo();
    s.nunit = s.nunit + 1;
    s.toplev = s.toplev + 1;
    s.newlev = s.newlev + 1;
    if (!(s.nunit == 1 && s.newlev == 1)) {
      errr("Invalid diagramming index", form, tofile, b, out);
      s.newlev = 1;
      s.nunit = 1;
    }
  } else if (s.caselev != 0 && (find(":  ", 0) || find(":", 256))) {
    at_least(1);
  } else if (s.caselev != 0 && find(":", 0)) {
    Int open = 0, close = 0, open_square = 0, close_square = 0;
    for (Int k = 1; k <= s.matchpos; ++k) {
      const char c = a[static_cast<std::size_t>(k - 1)];
      open += c == '(' ? 1 : 0;
      close += c == ')' ? 1 : 0;
      open_square += c == '[' ? 1 : 0;
      close_square += c == ']' ? 1 : 0;
    }
    if (open == close && open_square == close_square && s.contin == 0) {
      at_least(1);
    }
  }

  // 7
  s.contin = find("$  ", 0) ? 1 : 0;
}

void idl_diagram(const std::string& source_bytes, const Options& options, Output& out,
                 std::vector<std::string>* trace) {
  out.tofile = options.tofile;
  const int tofile = options.tofile;
  const Text filnam = padded(options.filnam);
  if (tofile == 1) {
    out.file += " \f=============--" +
                shown_safely(filnam.substr(0, static_cast<std::size_t>(lena(filnam)))) +
                "--=============\r\n";
  }
  out.to_listing(std::string(13, ' ') + kRuler);
  out.to_listing("");

  Source source{source_bytes, 0};
  IdlCarried s;
  Int linecount = 0;
  std::string form = "     ";
  Text line = blank_text();
  Text b = blank_text();
  Text a = blank_text();
  Glyphs glyphs;
  Int ibmpc = options.ibmpc;
  while (!irdlin(source, tofile, options.maxlen, line, linecount, form, out)) {
    b = line;
    idl_step(b, form, tofile, options.warnend, options.warnquote, s, a, out);
    std::vector<std::pair<std::string, std::string>> values = {
        {"top", std::to_string(s.toplev)},
        {"new", std::to_string(s.newlev)},
        {"mark", std::to_string(s.nmark)},
        {"jump", std::to_string(s.jump)},
        {"code", std::to_string(s.hascode)},
        {"comment", std::to_string(s.hascomment)},
        {"nunit", std::to_string(s.nunit)},
        {"nmain", std::to_string(s.nmain)},
        {"caselev", std::to_string(s.caselev)},
        {"contin", std::to_string(s.contin)},
        {"scan", "[" + without_trailing_blanks(a) + "]"}};
    Int leftcols = 0, oldlev2 = 0, toplev2 = 0, newlev2 = 0, nmark2 = 0;
    formline(b, tofile, leftcols, s.oldlev, s.toplev, s.newlev, s.nmark, oldlev2, toplev2, newlev2,
             nmark2, s.jump, options.numcol, form, 0, s.hascode, s.hascomment, ibmpc, glyphs,
             RendererKind{0}, out);
    values.insert(values.end(), {{"drawn-old", std::to_string(s.oldlev)},
                                 {"drawn-top", std::to_string(s.toplev)},
                                 {"drawn-new", std::to_string(s.newlev)},
                                 {"drawn-mark", std::to_string(s.nmark)}});
    if (trace != nullptr) {
      trace->push_back(trace_entry(linecount, values));
    }
  }
  if (s.newlev > 0 || s.nunit != 0) {
    errr("Nest levels left hanging at end", form, tofile, b, out);
  }
}

}  // namespace model
