#include "bench/corpus.h"

#include <array>
#include <string_view>
#include <vector>

namespace bench {

std::uint64_t Random::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

namespace {

template <typename T, std::size_t N>
const T& pick(Random& random, const T (&items)[N]) {
  return items[random.below(N)];
}

const char* const kNames[] = {"value",  "count",  "total",  "index",  "data",  "image", "mask",
                              "width",  "height", "flux",   "noise",  "limit", "scale", "result",
                              "buffer", "offset", "status", "weight", "angle", "radius"};

std::string name(Random& random) {
  std::string n = pick(random, kNames);
  if (random.chance(30)) {
    n += std::to_string(random.below(10));
  }
  return n;
}

// The words of a long line: an array or initialiser written out on one line.
std::string long_line(Random& random, std::string head, std::size_t columns) {
  while (head.size() < columns - 8) {
    head += std::to_string(random.below(100000));
    head += ", ";
  }
  head += "0";
  return head;
}

// ---- IDL -----------------------------------------------------------------------------------

class IdlWriter {
 public:
  IdlWriter(std::string& out, Random& random) : out_(out), random_(random) {}

  void unit(int number) {
    const bool function = random_.chance(40);
    comment_block();
    line(0, (function ? "function " : "pro ") + name() + "_" + std::to_string(number) + ", " +
                name() + ", " + name() + (random_.chance(30) ? ", /keyword" : ""));
    line(1, "compile_opt idl2");
    block_body(1, 2 + static_cast<int>(random_.below(4)));
    if (function) {
      line(1, "return, " + name());
    }
    line(0, "end");
    out_ += "\n";
  }

  void main_level() {
    line(0, "; main level: run the procedures above");
    for (int k = 0; k < 5; ++k) {
      statement(0);
    }
    line(0, "end");
  }

 private:
  std::string name() { return bench::name(random_); }

  void line(int depth, const std::string& text) {
    if (random_.chance(10)) {
      out_.append(static_cast<std::size_t>(depth), '\t');
    } else {
      out_.append(static_cast<std::size_t>(depth) * 2, ' ');
    }
    out_ += text;
    if (random_.chance(8)) {
      out_ += "   ; " + std::string(pick(random_, kRemarks));
    }
    out_ += '\n';
  }

  void comment_block() {
    const int lines = 1 + static_cast<int>(random_.below(4));
    for (int k = 0; k < lines; ++k) {
      out_ += "; ";
      out_ += pick(random_, kRemarks);
      out_ += '\n';
    }
  }

  void statement(int depth) {
    switch (random_.below(12)) {
      case 0:
        line(depth, "print, 'the " + name() + " isn''t ready: ', " + name() + ", \"done\"");
        break;
      case 1:
        line(depth, "if " + name() + " gt " + std::to_string(random_.below(50)) + " then return");
        break;
      case 2:
        line(depth, name() + " = " + name() + "[" + std::to_string(random_.below(9)) + ":*] + $");
        line(depth + 2, name() + " * " + std::to_string(random_.below(9)) + ".5");
        break;
      case 3:
        line(depth, name() + " = fltarr(" + std::to_string(random_.below(512)) + ", " +
                        std::to_string(random_.below(512)) + ")");
        break;
      case 4:
        line(depth, "; " + std::string(pick(random_, kRemarks)));
        break;
      case 5:
        line(depth, name() + " = where(" + name() + " ne 0, " + name() + ")");
        break;
      case 6:
        line(depth, "if n_elements(" + name() + ") eq 0 then goto, skip");
        break;
      case 7:
        if (random_.chance(2)) {
          line(depth, long_line(random_, name() + " = [", 4950 + random_.below(40)));
        } else {
          line(depth, name() + " = " + name() + " + 1");
        }
        break;
      default:
        line(depth, name() + " = " + name() + " * " + name() + " + " +
                        std::to_string(random_.below(1000)));
        break;
    }
  }

  void block_body(int depth, int statements) {
    for (int k = 0; k < statements; ++k) {
      if (depth < 7 && random_.chance(28)) {
        block(depth);
      } else {
        statement(depth);
      }
    }
  }

  void block(int depth) {
    const int inner = 1 + static_cast<int>(random_.below(4));
    switch (random_.below(6)) {
      case 0:
        line(depth, "if " + name() + " lt " + name() + " then begin");
        block_body(depth + 1, inner);
        if (random_.chance(50)) {
          line(depth, "endif else begin");
          block_body(depth + 1, inner);
          line(depth, "endelse");
        } else {
          line(depth, "endif");
        }
        break;
      case 1:
        line(depth, "for i = 0L, n_elements(" + name() + ") - 1 do begin");
        block_body(depth + 1, inner);
        line(depth, "endfor");
        break;
      case 2:
        line(depth, "while " + name() + " gt 0 do begin");
        block_body(depth + 1, inner);
        line(depth, "endwhile");
        break;
      case 3:
        line(depth, "repeat begin");
        block_body(depth + 1, inner);
        line(depth, "endrep until " + name() + " le 0");
        break;
      case 4: {
        line(depth, "case " + name() + " of");
        const int selectors = 2 + static_cast<int>(random_.below(4));
        for (int k = 0; k < selectors; ++k) {
          if (random_.chance(40)) {
            line(depth + 1, std::to_string(k) + ": begin");
            block_body(depth + 2, inner);
            line(depth + 1, "end");
          } else {
            line(depth + 1, "'" + name() + "': " + name() + " = " + std::to_string(k));
          }
        }
        line(depth + 1, "else: " + name() + " = -1");
        line(depth, "endcase");
        break;
      }
      default:
        line(depth, "if " + name() + " then begin");
        block_body(depth + 1, inner);
        line(depth, "end");
        break;
    }
  }

  static constexpr const char* kRemarks[] = {
      "scale the image to the detector's range", "TODO: handle the case of an empty mask",
      "weights are normalised to a sum of 1",    "see the notes on the calibration",
      "keep this in step with the reader",       "the loop below is the slow part"};

  std::string& out_;
  Random& random_;
};

// ---- C -------------------------------------------------------------------------------------

class CWriter {
 public:
  CWriter(std::string& out, Random& random) : out_(out), random_(random) {}

  void prologue() {
    out_ +=
        "/* generated for the throughput benchmark: a C program of many functions,\n"
        "   with their blocks, comments, strings and conditionals. */\n"
        "#include <stdio.h>\n#include <stdlib.h>\n#include <string.h>\n\n";
  }

  void function(int number) {
    if (random_.chance(30)) {
      out_ += "/*\n * " + std::string(pick(random_, kRemarks)) + "\n * " + pick(random_, kRemarks) +
              "\n */\n";
    }
    const bool conditional = random_.chance(15);
    if (conditional) {
      out_ += random_.chance(50) ? "#ifdef FEATURE_" : "#if LEVEL > ";
      out_ += std::to_string(random_.below(9)) + "\n";
    }
    line(0, "static int " + name() + "_" + std::to_string(number) + "(int " + name() +
                ", const char *" + name() + ") {");
    block_body(1, 3 + static_cast<int>(random_.below(5)));
    line(1, "return " + name() + ";");
    line(0, "}");
    if (conditional) {
      if (random_.chance(40)) {
        out_ += "#else\n";
        line(0, "static int fallback_" + std::to_string(number) + "(void) { return 0; }");
      }
      out_ += "#endif\n";
    }
    out_ += "\n";
  }

 private:
  std::string name() { return bench::name(random_); }

  void line(int depth, const std::string& text) {
    if (random_.chance(15)) {
      out_.append(static_cast<std::size_t>(depth), '\t');
    } else {
      out_.append(static_cast<std::size_t>(depth) * 4, ' ');
    }
    out_ += text;
    if (random_.chance(8)) {
      const bool block = random_.chance(50);
      out_ += block ? "  /* " : "  // ";
      out_ += pick(random_, kRemarks);
      if (block) {
        out_ += " */";
      }
    }
    out_ += '\n';
  }

  void statement(int depth) {
    switch (random_.below(13)) {
      case 0:
        line(depth,
             "printf(\"%s: \\\"" + name() + "\\\" {%d}\\n\", " + name() + ", " + name() + ");");
        break;
      case 1:
        line(depth, "if (" + name() + " < 0) return -1;");
        break;
      case 2:
        line(depth, "char c = '\\'', d = '{', e = '}';");
        break;
      case 3:
        line(depth, "/* " + std::string(pick(random_, kRemarks)) + " */");
        break;
      case 4:
        line(depth, "// " + std::string(pick(random_, kRemarks)));
        break;
      case 5:
        line(depth, "if (" + name() + " == NULL) goto fail;");
        break;
      case 6:
        if (random_.chance(2)) {
          line(depth, long_line(random_, "static const int " + name() + "[] = {",
                                4950 + random_.below(40)) +
                          "};");
        } else {
          line(depth, name() + " += " + name() + " * 2;");
        }
        break;
      case 7:
        line(depth, "#if DEBUG");
        line(depth, "fprintf(stderr, \"" + name() + " = %d\\n\", " + name() + ");");
        line(depth, "#endif");
        break;
      default:
        line(depth, name() + " = " + name() + " * " + name() + " + " +
                        std::to_string(random_.below(1000)) + ";");
        break;
    }
  }

  void block_body(int depth, int statements) {
    for (int k = 0; k < statements; ++k) {
      if (depth < 7 && random_.chance(28)) {
        block(depth);
      } else {
        statement(depth);
      }
    }
  }

  void block(int depth) {
    const int inner = 1 + static_cast<int>(random_.below(4));
    switch (random_.below(5)) {
      case 0:
        line(depth, "if (" + name() + " > " + name() + ") {");
        block_body(depth + 1, inner);
        if (random_.chance(50)) {
          line(depth, "} else {");
          block_body(depth + 1, inner);
        }
        line(depth, "}");
        break;
      case 1:
        line(depth, "for (int i = 0; i < " + name() + "; ++i) {");
        block_body(depth + 1, inner);
        if (random_.chance(30)) {
          line(depth + 1, "if (" + name() + ") continue;");
        }
        line(depth, "}");
        break;
      case 2:
        line(depth, "while (" + name() + "-- > 0)");
        line(depth, "{");
        block_body(depth + 1, inner);
        line(depth, "}");
        break;
      case 3: {
        line(depth, "switch (" + name() + ") {");
        const int labels = 2 + static_cast<int>(random_.below(4));
        for (int k = 0; k < labels; ++k) {
          line(depth, "case " + std::to_string(k) + ":");
          block_body(depth + 1, 1);
          line(depth + 1, "break;");
        }
        line(depth, "default:");
        line(depth + 1, "exit(1);");
        line(depth, "}");
        break;
      }
      default:
        line(depth, "do {");
        block_body(depth + 1, inner);
        line(depth, "} while (" + name() + ");");
        break;
    }
  }

  static constexpr const char* kRemarks[] = {
      "scale the image to the detector's range", "TODO: handle the case of an empty mask",
      "weights are normalised to a sum of 1",    "see the notes on the calibration",
      "keep this in step with the reader",       "the loop below is the slow part"};

  std::string& out_;
  Random& random_;
};

}  // namespace

std::string idl_source(std::uint64_t bytes, std::uint64_t seed) {
  Random random(seed);
  std::string out;
  out.reserve(bytes + 100000);
  out += "; generated for the throughput benchmark: an IDL library of many routines\n\n";
  IdlWriter writer(out, random);
  for (int number = 0; out.size() < bytes; ++number) {
    writer.unit(number);
  }
  writer.main_level();
  return out;
}

std::string c_source(std::uint64_t bytes, std::uint64_t seed) {
  Random random(seed);
  std::string out;
  out.reserve(bytes + 100000);
  CWriter writer(out, random);
  writer.prologue();
  for (int number = 0; out.size() < bytes; ++number) {
    writer.function(number);
  }
  return out;
}

std::string wide_source(const std::string& language, std::uint64_t bytes) {
  Random random(7);
  std::string out;
  out.reserve(bytes + 10000);
  const bool c = language == "c";
  out += c ? "int wide(void) {\n" : "pro wide\n";
  while (out.size() < bytes) {
    std::string text = long_line(random, c ? "    x = f(" : "  x = [", 4996);
    text += c ? ");" : "]";
    text.resize(5000, ' ');
    text.back() = c ? ';' : '1';
    out += text;
    out += '\n';
  }
  out += c ? "}\n" : "end\n";
  return out;
}

std::string deep_source(const std::string& language, std::uint64_t levels) {
  std::string out;
  const bool c = language == "c";
  out += c ? "int deep(int x) {\n" : "pro deep, x\n";
  for (std::uint64_t k = 0; k < levels; ++k) {
    out += c ? "  if (x > 0) {  /* one level deeper */\n" : "  if x gt 0 then begin  ; deeper\n";
  }
  for (std::uint64_t k = 0; k < levels; ++k) {
    out += c ? "  }  /* and back */\n" : "  endif  ; and back\n";
  }
  out += c ? "}\n" : "end\n";
  return out;
}

void write_one_line(std::FILE* out, std::uint64_t bytes) {
  Random random(3);
  std::string chunk;
  while (chunk.size() < (1U << 20)) {
    chunk += name(random);
    chunk += random.chance(50) ? " = " : ", ";
  }
  chunk.resize(1U << 20);
  for (std::uint64_t written = 0; written < bytes; written += chunk.size()) {
    const std::uint64_t now = std::min<std::uint64_t>(chunk.size(), bytes - written);
    std::fwrite(chunk.data(), 1, now, out);
  }
  std::fputc('\n', out);
}

std::string empty_lines(std::uint64_t count) {
  return std::string(count, '\n');
}

}  // namespace bench
