// The listing core, the long way round: lena, the diagnostics, the line reader, the renderer.
#include "tests/model/model.h"

namespace model {

Text blank_text() {
  return Text(kWidth, ' ');
}

Text padded(const std::string& s) {
  Text t = s.substr(0, kWidth);
  t.resize(kWidth, ' ');
  return t;
}

void Output::to_console(const std::string& record) {
  console += record;
  console += "\r\n";
}

void Output::to_listing(const std::string& record) {
  if (tofile == 1) {
    file += record;
    file += "\r\n";
  } else {
    to_console(record);
  }
}

Int lena(const std::string& a) {
  Int position = static_cast<Int>(a.size());
  while (position > 1 && a[static_cast<std::size_t>(position - 1)] == ' ') {
    --position;
  }
  return position;
}

std::string shown_safely(const std::string& a) {
  const auto byte = [&](std::size_t i) {
    return i < a.size() ? static_cast<unsigned char>(a[i]) : 0u;
  };
  std::string out;
  std::size_t i = 0;
  while (i < a.size()) {
    const unsigned c = byte(i);
    // A UTF-8 sequence: its length from the lead byte's high bits, its continuation bytes
    // 10xxxxxx, and the character it encodes neither overlong, nor a surrogate, nor past U+10FFFF.
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0;
    if ((c & 0xE0) == 0xC0) {
      length = 2;
      code = c & 0x1F;
      least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3;
      code = c & 0x0F;
      least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4;
      code = c & 0x07;
      least = 0x10000;
    }
    bool sequence = length > 0;
    for (std::size_t k = 1; sequence && k < length; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) {  // past the end, byte() is 0
        sequence = false;
      } else {
        code = (code << 6) | (byte(i + k) & 0x3F);
      }
    }
    if (sequence && code >= least && !(code >= 0xD800 && code <= 0xDFFF) && code <= 0x10FFFF) {
      // A C1 control, U+0080 to U+009F, is one '?'; any other character passes.
      out += code <= 0x9F ? std::string("?") : a.substr(i, length);
      i += length;
      continue;
    }
    // A single byte: the controls but the tab, 127, and 128 to 159 are hidden.
    out += (c < 32 && c != '\t') || (c >= 127 && c <= 159) ? '?' : a[i];
    i += 1;
  }
  return out;
}

namespace {

std::string upto(const std::string& a, Int length) {
  return a.substr(0, static_cast<std::size_t>(length));
}

void report(const std::string& tag, const std::string& message, const std::string& form, int tofile,
            const Text& a, Output& out) {
  const std::string record = " " + tag + message + ": Line " + upto(form, lena(form)) + ":";
  if (tofile == 1) {
    out.file += record + "\r\n";
  }
  out.to_console(record);
  if (tofile == 1) {
    out.to_console(" " + upto(a, lena(a)));
  }
  out.to_console(" \a");
}

}  // namespace

void errr(const std::string& message, const std::string& form, int tofile, const Text& a,
          Output& out) {
  report("***ERROR ", message, form, tofile, a, out);
}

void warn(const std::string& message, const std::string& form, int tofile, const Text& a,
          Output& out) {
  report("***WARNING ", message, form, tofile, a, out);
}

bool irdlin(Source& source, int tofile, Int maxlen, Text& a, Int& linecount, std::string& form,
            Output& out) {
  // 1, 2, 3: the next line, cut at column 5000; a line ends at LF, CR LF or a lone CR. A
  // character lost beyond the 5000th that would have been listed (33 to 127) is remembered.
  a = blank_text();
  if (source.next >= source.bytes.size()) {
    return true;
  }
  Int column = 1;
  bool lost = false;
  while (source.next < source.bytes.size()) {
    const char c = source.bytes[source.next++];
    if (c == '\n') {
      break;
    }
    if (c == '\r') {
      if (source.next < source.bytes.size() && source.bytes[source.next] == '\n') {
        ++source.next;
      }
      break;
    }
    if (column <= kWidth) {
      a[static_cast<std::size_t>(column - 1)] = c;
    } else if (static_cast<unsigned char>(c) >= 33 && static_cast<unsigned char>(c) <= 127) {
      lost = true;
    }
    ++column;
  }

  // 4: count and number.
  linecount = linecount + 1;
  if (linecount > 99999) {
    form = "*****";
  } else {
    std::string digits = std::to_string(linecount);
    form = std::string(5 - digits.size(), ' ') + digits;
  }

  // 5: a form feed in column 1 is a page break.
  if (a[0] == '\f') {
    if (tofile == 1) {
      out.file += "\f\r\n";
    } else {
      out.to_console(" ------------FORM FEED------------");
    }
    for (int i = 1; i < kWidth; ++i) {
      a[static_cast<std::size_t>(i - 1)] = a[static_cast<std::size_t>(i)];
    }
    a[kWidth - 1] = ' ';
  }

  // The console copy under a warning: the line as read without the bytes the listing drops.
  std::string kept;
  for (int i = 0; i < kWidth; ++i) {
    const auto c = static_cast<unsigned char>(a[static_cast<std::size_t>(i)]);
    if (c == '\t' || (c >= 32 && c < 128)) {
      kept += a[static_cast<std::size_t>(i)];
    }
  }
  const Text shown = padded(kept);

  // 6, 7: expansion.
  Text b = blank_text();
  Int j = 1;
  bool too_long_given = false;
  bool length_given = false;
  const Int length = lena(a);
  for (Int i = 1; i <= length; ++i) {
    const char ch = a[static_cast<std::size_t>(i - 1)];
    const auto c = static_cast<unsigned char>(ch);
    if (c == 9) {
      j = ((j - 1) / 8 + 1) * 8 + 1;
      continue;
    }
    if (c < 32 || c >= 128) {
      continue;
    }
    const Int at = j;
    if (j <= kWidth) {
      b[static_cast<std::size_t>(j - 1)] = ch;
    }
    j = j + 1;
    if (c != ' ') {
      if (at >= 4989 && !too_long_given) {
        warn("Line too long to diagram", form, tofile, shown, out);
        too_long_given = true;
      } else if (at > maxlen && !length_given) {
        warn("Line over warning length", form, tofile, shown, out);
        length_given = true;
      }
    }
  }
  // The characters lost beyond the 5000th come after all of these.
  if (lost && !too_long_given) {
    warn("Line too long to diagram", form, tofile, shown, out);
    too_long_given = true;
  }

  // 8
  a = b;
  return false;
}

namespace {

void load_ibmpc(Glyphs& g) {
  g.blockbegin = '\xDA';
  g.blockend = '\xC0';
  g.blockelse = '\xC3';
  g.blockcontinue = '\xB3';
  g.blockhoriz = '\xC4';
  g.blockbeginh = '\xC2';
  g.blockendh = '\xC1';
  g.blockelseh = '\xC5';
}

void check(Int& oldlev, Int& toplev, Int& newlev, Int& nmark, const std::string& form, int tofile,
           const Text& b, Output& out) {
  if (oldlev < 0 || toplev < 0 || newlev < 0 || nmark < 0) {
    errr("Invalid diagramming index", form, tofile, b, out);
    if (oldlev < 0) {
      oldlev = 0;
    }
    if (toplev < 0) {
      toplev = 0;
    }
    if (newlev < 0) {
      newlev = 0;
    }
    if (nmark < 0) {
      nmark = 0;
    }
  }
}

void normalise(Int oldlev, Int& toplev, Int newlev, Int& nmark) {
  toplev = oldlev > newlev ? oldlev : newlev;
  const Int change = newlev > oldlev ? newlev - oldlev : oldlev - newlev;
  if (change > nmark) {
    nmark = change;
  }
}

char& cell(Text& record, Int column) {
  return record[static_cast<std::size_t>(column - 1)];
}

// Steps 7 and 8 for one nesting: level k in column base + k + 1, nothing past `limit`; the
// column right of a mark is converted when it is not past `convert_limit`.
void draw(Text& record, Int base, Int limit, Int convert_limit, Int oldlev, Int toplev, Int newlev,
          Int nmark, const Glyphs& g) {
  if (toplev > 0) {
    for (Int k = 1; k <= toplev; ++k) {
      const Int column = base + k + 1;
      if (column <= limit) {
        cell(record, column) = g.blockcontinue;
      }
    }
    if (nmark != 0) {
      for (Int column = base + toplev + 2; column <= limit; ++column) {
        cell(record, column) = g.blockhoriz;
      }
    }
  }
  for (Int i = 1; i <= nmark; ++i) {
    const char glyph = oldlev < newlev ? g.blockbegin : oldlev > newlev ? g.blockend : g.blockelse;
    Int level = toplev - i + 1;
    if (level < 1) {
      level = 1;
    }
    const Int column = base + level + 1;
    if (column <= limit) {
      cell(record, column) = glyph;
      const Int right = column + 1;
      if (right <= convert_limit && right <= kWidth) {
        char& c = cell(record, right);
        if (c == g.blockelse) {
          c = g.blockelseh;
        }
        if (c == g.blockbegin) {
          c = g.blockbeginh;
        }
        if (c == g.blockend) {
          c = g.blockendh;
        }
      }
    }
  }
}

}  // namespace

void formline(const Text& b, int tofile, Int leftcols, Int& oldlev, Int& toplev, Int& newlev,
              Int& nmark, Int& oldlev2, Int& toplev2, Int& newlev2, Int& nmark2, Int jump,
              Int numcol, std::string& form, Int incomment, Int hascode, Int& hascomment,
              Int& ibmpc, Glyphs& glyphs, RendererKind kind, Output& out) {
  // 1
  if (ibmpc != 0) {
    ibmpc = 1;
    load_ibmpc(glyphs);
  }
  // 2, 3
  check(oldlev, toplev, newlev, nmark, form, tofile, b, out);
  normalise(oldlev, toplev, newlev, nmark);
  // 4
  Text record = blank_text();
  for (Int j = 1; j <= kWidth - 13; ++j) {
    cell(record, j + 13) = b[static_cast<std::size_t>(j - 1)];
  }
  if (lena(b) + 13 > kWidth) {
    if (kind.too_many_is_error == 1) {
      errr("Too many columns to diagram", form, tofile, b, out);
    } else {
      warn("Too many columns to diagram", form, tofile, b, out);
    }
  }
  // 5
  if (jump != 0) {
    cell(record, 1) = '*';
  }
  if (incomment != 0) {
    hascomment = 1;
  }
  if (hascode != 1 && hascomment != 0) {
    cell(record, 1) = '=';
  }
  // 6
  Int limit = 4998;
  for (Int column = 2; column <= 4999; ++column) {
    if (cell(record, column) != ' ') {
      limit = column - 2;
      break;
    }
  }
  // 7, 8
  draw(record, leftcols, limit, kWidth, oldlev, toplev, newlev, nmark, glyphs);
  // 9
  if (leftcols > 0) {
    check(oldlev2, toplev2, newlev2, nmark2, form, tofile, b, out);
    normalise(oldlev2, toplev2, newlev2, nmark2);
    draw(record, 0, leftcols + 1, leftcols + 1, oldlev2, toplev2, newlev2, nmark2, glyphs);
  }
  // 10
  if (numcol > 0) {
    const Int start = numcol + 13;
    bool blank = true;
    for (Int column = start; column <= kWidth; ++column) {
      if (cell(record, column) != ' ') {
        blank = false;
      }
    }
    if (blank) {
      if (form[0] == ' ') {
        form[0] = glyphs.blockcontinue;
      }
      for (Int k = 0; k < 5; ++k) {
        if (start + k <= kWidth) {
          cell(record, start + k) = form[static_cast<std::size_t>(k)];
        }
      }
    }
  }
  // 11
  out.to_listing(upto(record, lena(record)));
  // 12
  oldlev = newlev;
  oldlev2 = newlev2;
}

std::string trace_entry(Int line, const std::vector<std::pair<std::string, std::string>>& values) {
  std::string entry = "line " + std::to_string(line) + ":";
  for (const auto& [name, value] : values) {
    entry += " " + name + "=" + value;
  }
  return entry;
}

}  // namespace model
