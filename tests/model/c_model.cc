// cnest's per-line step and its keyword search, the long way round.
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

struct CState {
  Int oldlev = 0, toplev = 0, newlev = 0, nmark = 0;
  Int oldlev2 = 0, toplev2 = 0, newlev2 = 0, nmark2 = 0;
  Int incomment = 0;
  Int jump = 0, hascode = 0, hascomment = 0;
};

}  // namespace

bool c_find(const Text& a, const std::string& key, int flags) {
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
    const char before = i == 1 ? ' ' : a[static_cast<std::size_t>(i - 2)];
    const char after = i + m - 1 >= n ? ' ' : a[static_cast<std::size_t>(i + m - 1)];
    bool pass = true;
    if ((flags & 2) != 0) {
      for (Int k = 1; k < i; ++k) {
        if (a[static_cast<std::size_t>(k - 1)] != ' ') {
          pass = false;
          break;
        }
      }
    }
    if ((flags & 32) != 0 && (digit(after) || lower(after))) {
      pass = false;
    }
    if ((flags & 64) != 0 && lower(after)) {
      pass = false;
    }
    if ((flags & 512) != 0 && before != ' ' && before != ';' && before != ')' && before != '{' &&
        before != '}') {
      pass = false;
    }
    if (pass) {
      return true;
    }
  }
  return false;
}

namespace {

// The line step of cnest up to the call of the renderer.
void c_step(const Text& b, const std::string& form, int tofile, CState& s, Text& a, Output& out) {
  // 1, 2
  a = blank_text();
  s.oldlev = s.newlev;
  s.oldlev2 = s.newlev2;
  s.nmark = 0;
  s.nmark2 = 0;
  s.hascode = 0;
  Int insingle = 0;
  Int indouble = 0;
  s.hascomment = s.incomment;
  Int j = 1;
  const auto at = [&](Int position) { return b[static_cast<std::size_t>(position - 1)]; };

  // 3: the character step over every position.
  for (Int i = 1; i <= kWidth; ++i) {
    char c = at(i);
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
    if (c == '\'' && indouble == 0 && s.incomment == 0) {
      insingle = 1 - insingle;
      if (insingle == 0 && i > 1 && at(i - 1) == '\\') {
        insingle = 1;
      }
    }
    if (c == '"' && insingle == 0 && s.incomment == 0) {
      indouble = 1 - indouble;
      if (indouble == 0 && i > 1 && at(i - 1) == '\\') {
        indouble = 1;
      }
    }
    if (c == '/' && i <= 4999 && insingle == 0 && indouble == 0) {
      if (at(i + 1) == '/' && s.incomment == 0) {
        s.hascomment = 1;
        break;
      }
      if (at(i + 1) == '*') {
        if (s.incomment == 1) {
          warn("nested comment", form, tofile, b, out);
        }
        s.incomment = 1;
        s.hascomment = 1;
        c = ' ';
        i = i + 1;
      }
    }
    if (c == '*' && i <= 4999 && insingle == 0 && indouble == 0 && at(i + 1) == '/') {
      if (s.incomment == 0) {
        errr("/ without /* clause", form, tofile, b, out);
      }
      s.incomment = 0;
      c = ' ';
      i = i + 1;
    }
    if (s.incomment == 1) {
      c = ' ';
    }
    if (c != ' ') {
      s.hascode = 1;
    }
    if (c == '{') {
      if (tofile == 1 && s.newlev == 0) {
        out.to_console(" Line " + form + " " + b.substr(0, static_cast<std::size_t>(lena(b))));
      }
      s.newlev = s.newlev + 1;
      if (s.nmark < 1) {
        s.nmark = 1;
      }
    } else if (c == '}') {
      s.newlev = s.newlev - 1;
      if (s.nmark < s.oldlev - s.newlev) {
        s.nmark = s.oldlev - s.newlev;
      }
      if (s.newlev < 0) {
        errr("Invalid diagramming index", form, tofile, b, out);
        s.newlev = 0;
      }
    }
    a[static_cast<std::size_t>(j - 1)] = c;
    if (!(c == ' ' && j > 1 && a[static_cast<std::size_t>(j - 2)] == ' ')) {
      j = j + 1;
    }
  }

  // 4
  if (insingle == 1 || indouble == 1) {
    errr("Unclosed quote", form, tofile, b, out);
  }
  // 5: the first row of preprocessor conditionals with a hit.
  if (c_find(a, "#if", 2) || c_find(a, "# if", 2)) {
    s.newlev2 = s.newlev2 + 1;
    s.nmark2 = 1;
  } else if (c_find(a, "#else", 2) || c_find(a, "# else", 2) || c_find(a, "#elif", 2) ||
             c_find(a, "# elif", 2)) {
    s.nmark2 = 1;
  } else if (c_find(a, "#endif", 2)) {
    s.newlev2 = s.newlev2 - 1;
    s.nmark2 = 1;
  } else if (c_find(a, "# endif", 2)) {
    s.newlev2 = s.newlev2 - 1;
    s.nmark2 = 1;
  }
  // 6
  s.jump = 0;
  if (c_find(a, "go to", 576) || c_find(a, "goto", 576) || c_find(a, "return", 544) ||
      c_find(a, "break", 544) || c_find(a, "continue", 544) || c_find(a, "exit", 544)) {
    s.jump = 1;
  }
  // 7
  if (c_find(a, "case", 544) || c_find(a, "default ", 512) || c_find(a, "default:", 512)) {
    if (s.nmark < 1) {
      s.nmark = 1;
    }
  }
}

}  // namespace

void c_diagram(const std::string& source_bytes, const Options& options, Output& out,
               std::vector<std::string>* trace) {
  out.tofile = options.tofile;
  const int tofile = options.tofile;
  const Text filnam = padded(options.filnam);
  if (tofile == 1) {
    out.file += " \f=============--" +
                shown_safely(filnam.substr(0, static_cast<std::size_t>(lena(filnam)))) +
                "--=============\r\n";
  }
  out.to_listing(std::string(11, ' ') + kRuler);
  out.to_listing("");

  Source source{source_bytes, 0};
  CState s;
  Int linecount = 0;
  std::string form = "     ";
  Text line = blank_text();
  Text b = blank_text();
  Text a = blank_text();
  Glyphs glyphs;
  Int ibmpc = options.ibmpc;
  while (!irdlin(source, tofile, options.maxlen, line, linecount, form, out)) {
    b = line;
    c_step(b, form, tofile, s, a, out);
    std::vector<std::pair<std::string, std::string>> values = {
        {"new", std::to_string(s.newlev)},
        {"mark", std::to_string(s.nmark)},
        {"new2", std::to_string(s.newlev2)},
        {"mark2", std::to_string(s.nmark2)},
        {"jump", std::to_string(s.jump)},
        {"code", std::to_string(s.hascode)},
        {"comment", std::to_string(s.hascomment)},
        {"incomment", std::to_string(s.incomment)},
        {"scan", "[" + without_trailing_blanks(a) + "]"}};
    formline(b, tofile, 3, s.oldlev, s.toplev, s.newlev, s.nmark, s.oldlev2, s.toplev2, s.newlev2,
             s.nmark2, s.jump, options.numcol, form, s.incomment, s.hascode, s.hascomment, ibmpc,
             glyphs, RendererKind{1}, out);
    values.insert(values.end(), {{"drawn-old", std::to_string(s.oldlev)},
                                 {"drawn-top", std::to_string(s.toplev)},
                                 {"drawn-new", std::to_string(s.newlev)},
                                 {"drawn-mark", std::to_string(s.nmark)},
                                 {"drawn-old2", std::to_string(s.oldlev2)},
                                 {"drawn-top2", std::to_string(s.toplev2)},
                                 {"drawn-new2", std::to_string(s.newlev2)},
                                 {"drawn-mark2", std::to_string(s.nmark2)},
                                 {"drawn-comment", std::to_string(s.hascomment)}});
    if (trace != nullptr) {
      trace->push_back(trace_entry(linecount, values));
    }
  }
  if (s.newlev > 0 || s.newlev2 > 0) {
    errr("Some nest levels unclosed at end", form, tofile, b, out);
  }
}

}  // namespace model
