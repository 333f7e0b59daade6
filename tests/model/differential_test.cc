// The programs against the plain model: seeded random sources and the bundled examples run
// through the real listing path and through the model, compared record for record, message for
// message and value for value.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cnest/scanner.h"
#include "core/diagram.h"
#include "core/formline.h"
#include "core/reader.h"
#include "core/test_support.h"
#include "idlnest/scanner.h"
#include "tests/model/model.h"

namespace {

// A deterministic source of choices: the engine's output is fixed by the standard, and the
// reduction below is ours, so every platform draws the same lines.
class Draw {
 public:
  explicit Draw(std::uint64_t seed) : engine_(seed) {}
  // A number from 0 to n - 1.
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(engine_() % n); }
  bool chance(int percent) { return below(100) < static_cast<std::size_t>(percent); }
  template <typename T, std::size_t N>
  const T& pick(const T (&items)[N]) {
    return items[below(N)];
  }

 private:
  std::mt19937_64 engine_;
};

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Changes the case of some letters.
std::string shuffle_case(std::string text, Draw& draw) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z' && draw.chance(15)) {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return text;
}

// Bytes that end no line: blanks, tabs, a form feed, control and high bytes.
const char* const kOddBytes[] = {" ",    "  ",   "\t",   "\f", "\x01", "\x1b",
                                 "\x7f", "\x80", "\xff", "\v", "\0"};

std::string odd_byte(Draw& draw) {
  const char* const odd = draw.pick(kOddBytes);
  return odd[0] == '\0' ? std::string(1, '\0') : std::string(odd);
}

// Pads `line` with filler words until its raw length is `length` (the filler is cut to fit),
// then appends `tail`.
std::string reach(std::string line, std::size_t length, const std::string& tail, Draw& draw) {
  static const char* const kFiller[] = {"x", " ", "a1", "= ", "(", ")", "+", "y", "  ", "0"};
  while (line.size() + tail.size() < length) {
    line += draw.pick(kFiller);
  }
  line.resize(length > tail.size() ? length - tail.size() : 0);
  return line + tail;
}

// Source lines built from the words of IDL, their near misses and the bytes that matter.
std::string idl_line(Draw& draw) {
  static const char* const kWhole[] = {
      "pro p",
      "pro q, a, b",
      "function f, x",
      "end",
      "endif",
      "endfor",
      "endelse",
      "endwhile",
      "endcase",
      "endrep",
      "endforeach",
      "endswitch",
      "foreach x, list do begin",
      "FOREACH v, h, k DO BEGIN",
      "endforeach else begin",
      "endif else begin",
      "end else begin",
      "if x then begin",
      "for i=0,9 do begin",
      "while 1 do begin",
      "case x of",
      "switch x of",
      "1: begin",
      "else: begin",
      "'abc': y = 3",
      "y = a[1:2]",
      "x = f(a, $",
      "  b)",
      "label:",
      "goto, label",
      "return, x",
      "return",
      "if a then return",
      "x = 1 & endif",
      "@batch",
      "'only quoted'",
      "\"only double\"",
      "begin y = 1 & end",
      "0: y = 2",
      "x: y = 1",
      "a(1): b",
      "a[2]: c",
      "end ; closes",
      "if x then begin ; c",
      "gotox = 1",
      "GOTO, L1",
      "x = (return)",
      "repeat begin",
      "endrep until x",
      "print, 'a;b' ; c",
      "s = \"it's\"",
      "x = 'a' + \"b",
      "   ; comment",
      "data = [1, 2]",
      ": begin",
      "case",
      "begin",
      "end: x",
      " 12 : x",
      "$",
      "if(x)goto, l",
      "f(goto)",
      "if (a) return(1)",
      "x=return (1)",
      "x",
      ")",
      "7",
      "\"",
  };
  static const char* const kWords[] = {
      "pro",     "function",   "end",         "endif",  "endfor", "endelse", "endwhile", "endcase",
      "endrep",  "begin",      "case",        "of",     "then",   "else",    "if",       "goto",
      "foreach", "endforeach", "endforeachx", "return", "begins", "xbegin",  "endi",     "returns",
      "goto1",   "gotox",      "pro_x",       "ends",   ":",      "::",      "$",        ";",
      "'",       "\"",         "(",           ")",      "[",      "]",       ",",        "=",
      "&",       "@",          "7",           "12",     "x",      "y",       " ",        "  ",
      "\t",      ": ",         "(x)",         "(goto",  ")goto",  ")return", "return(",  "goto_",
      "$ ",      "begin ",     "end ",
  };
  std::string line;
  if (draw.chance(8)) {
    line += draw.chance(70) ? "\f" : "\f\f";
  }
  if (draw.chance(30)) {
    line += std::string(draw.below(12), draw.chance(70) ? ' ' : '\t');
  }
  if (draw.chance(55)) {
    line += draw.pick(kWhole);
  } else {
    const std::size_t words = draw.below(9);
    for (std::size_t k = 0; k < words; ++k) {
      line += draw.pick(kWords);
      if (draw.chance(60)) {
        line += ' ';
      }
    }
  }
  if (draw.chance(10)) {
    line += odd_byte(draw);
  }
  if (draw.chance(10)) {
    line += draw.pick(kWords);
  }
  if (draw.chance(8)) {
    line += " ; note 'it' \"begin";
  }
  if (draw.chance(4)) {
    // Text that reaches the last columns of the buffer, or passes them.
    const std::size_t length = 4985 + draw.below(draw.chance(80) ? 16 : 120);
    line = reach(line, length, draw.chance(50) ? draw.pick(kWords) : draw.pick(kWhole), draw);
  }
  if (draw.chance(3)) {
    line = std::string(draw.below(5000), ' ') + line;  // text starting far to the right
  }
  if (draw.chance(2)) {
    line = reach("", 4990 + draw.below(12), ":" + std::string(draw.below(4), ':'), draw);
  }
  return shuffle_case(line, draw);
}

// Source lines built from the words of C, their near misses and the bytes that matter.
std::string c_line(Draw& draw) {
  static const char* const kWhole[] = {
      "int main(void) {",
      "}",
      "} else {",
      "{ } {",
      "} {",
      "if (x) {",
      "/* comment */",
      "/* open",
      "still inside",
      "close */",
      "*/ x = 1;",
      "x = 1; // note {",
      "/* a /* b */",
      "/*/ x",
      "// /* not opened",
      "/* // */ y",
      "/* <https://www.gnu.org/licenses/>.  */",
      "   see http://example.com // still inside",
      "/*//*/ x {",
      "x = 1; //* not opened */",
      "#if X",
      "#ifdef X",
      "#ifndef X",
      "#IF Y",
      "#   if Z",
      "# if A",
      "#else",
      "# else",
      "#elif B",
      "# elif",
      "#endif",
      "# endif",
      "x = 1; #if",
      "#error don't do this",
      "s = \"a\\\\\";",
      "s = \"line \\",
      "continued\";",
      "c = '{';",
      "c = '\\'';",
      "p(\"{\");",
      "p(\"/* no */\");",
      "p('// no');",
      "return 0;",
      "return_value = 0;",
      "returns",
      "exit1",
      "goto1;",
      "goto done;",
      "go to x;",
      "if(x)return;",
      "}return;",
      "x=(return);",
      "RETURN;",
      "GOTO L;",
      "p(\" return \");",
      "break;",
      "continue;",
      "exit(1);",
      "case 3: return 0;",
      "case 1:",
      "default:",
      "default :",
      "default;",
      "switch (x) {",
      "done:",
      "",
  };
  static const char* const kWords[] = {
      "{",    "}",   "/*",     "*/",     "//",     "/",    "*",    "'",        "\"",
      "\\",   "\\'", "#if",    "#endif", "#",      " ",    "  ",   "\t",       ";",
      ")",    "(",   "return", "goto",   "go",     "to",   "case", "default",  "break",
      "exit", "x",   "7",      "CASE",   "Return", "Exit", ":",    "continue", "e",
  };
  std::string line;
  if (draw.chance(5)) {
    line += "\f";
  }
  if (draw.chance(30)) {
    line += std::string(draw.below(12), draw.chance(70) ? ' ' : '\t');
  }
  if (draw.chance(55)) {
    line += draw.pick(kWhole);
  } else {
    const std::size_t words = draw.below(9);
    for (std::size_t k = 0; k < words; ++k) {
      line += draw.pick(kWords);
      if (draw.chance(50)) {
        line += ' ';
      }
    }
  }
  if (draw.chance(8)) {
    line += odd_byte(draw);
  }
  if (draw.chance(10)) {
    line += draw.pick(kWords);
  }
  if (draw.chance(5)) {
    // Text that reaches the last columns of the buffer, or passes them, often ending in the
    // halves of comment marks.
    static const char* const kEnds[] = {"/", "*", "//", "/*", "*/", "x/", "x*", "'", "{", "}"};
    const std::size_t length = 4985 + draw.below(draw.chance(80) ? 16 : 120);
    line = reach(line, length, draw.pick(kEnds), draw);
  }
  if (draw.chance(3)) {
    line = std::string(draw.below(5000), ' ') + line;
  }
  return shuffle_case(line, draw);
}

// A whole source: lines with every kind of line end, sometimes no end after the last.
std::string source_of(std::size_t lines, std::uint64_t seed, std::string (*line_of)(Draw&)) {
  Draw draw(seed);
  std::string source;
  for (std::size_t k = 0; k < lines; ++k) {
    source += line_of(draw);
    const std::size_t end = draw.below(20);
    source += end == 0 ? "\r" : end == 1 ? "\r\n" : "\n";
  }
  if (draw.chance(50)) {
    source += line_of(draw);
  }
  return source;
}

// A line of `LineOf`, or, one time in three, one that loses what follows its 5000th byte: made up
// to about 5000 bytes with a run of bytes that take fewer columns or none (blanks, tabs, bytes
// that are dropped) or one each, then a piece that holds text, or only what is never listed.
template <std::string (*LineOf)(Draw&)>
std::string maybe_cut_line(Draw& draw) {
  std::string line = LineOf(draw);
  if (!draw.chance(33)) {
    return line;
  }
  static const char* const kRuns[] = {" ", "\t", "\xc3\xa9", "\x01", "\x80", "x", " \t"};
  static const char* const kLost[] = {"",      "   ", "\t\x01", "\xc3\xa9", "}", "*/",
                                      "endif", "end", "\x7f",   " x",       "/*"};
  const std::string run = draw.pick(kRuns);
  const std::size_t length = 4990 + draw.below(20);
  while (line.size() < length) {
    line += run;
  }
  line.resize(length);
  return line + draw.pick(kLost);
}

struct Listing {
  std::string console;
  std::string file;
  std::vector<std::string> trace;
};

// The real idlnest scanner, with its values written down after each step.
class TracingIdlScanner : public nest::BlockScanner {
 public:
  TracingIdlScanner(bool warnend, bool warnquote, std::vector<std::string>& trace)
      : real_(warnend, warnquote), trace_(trace) {}

  void scan(nest::PaddedView b, const nest::Form& form, nest::LineState& state,
            nest::Streams& streams) override {
    close_entry(state);
    real_.scan(b, form, state, streams);
    const nest::Nesting& n = state.primary;
    std::string text(real_.scan_text());
    text.erase(text.find_last_not_of(' ') + 1);
    pending_ = {{"top", std::to_string(n.toplev)},
                {"new", std::to_string(n.newlev)},
                {"mark", std::to_string(n.nmark)},
                {"jump", std::to_string(state.jump)},
                {"code", std::to_string(state.hascode)},
                {"comment", std::to_string(state.hascomment)},
                {"nunit", std::to_string(real_.nunit())},
                {"nmain", std::to_string(real_.nmain())},
                {"caselev", std::to_string(real_.caselev())},
                {"contin", std::to_string(real_.contin())},
                {"scan", "[" + text + "]"}};
    ++line_;
  }

  void finish(std::string_view b, const nest::Form& form, const nest::LineState& state,
              nest::Streams& streams) override {
    close_entry(state);
    real_.finish(b, form, state, streams);
  }

 private:
  // The values the renderer left for the line before.
  void close_entry(const nest::LineState& state) {
    if (line_ == 0) {
      return;
    }
    const nest::Nesting& n = state.primary;
    pending_.insert(pending_.end(), {{"drawn-old", std::to_string(n.oldlev)},
                                     {"drawn-top", std::to_string(n.toplev)},
                                     {"drawn-new", std::to_string(n.newlev)},
                                     {"drawn-mark", std::to_string(n.nmark)}});
    trace_.push_back(model::trace_entry(line_, pending_));
    pending_.clear();
  }

  idlnest::Scanner real_;
  std::vector<std::string>& trace_;
  std::vector<std::pair<std::string, std::string>> pending_;
  std::int64_t line_ = 0;
};

// The real cnest scanner, with its values written down after each step.
class TracingCScanner : public nest::BlockScanner {
 public:
  explicit TracingCScanner(std::vector<std::string>& trace) : trace_(trace) {}

  void scan(nest::PaddedView b, const nest::Form& form, nest::LineState& state,
            nest::Streams& streams) override {
    close_entry(state);
    real_.scan(b, form, state, streams);
    std::string text(real_.scan_text());
    text.erase(text.find_last_not_of(' ') + 1);
    pending_ = {{"new", std::to_string(state.primary.newlev)},
                {"mark", std::to_string(state.primary.nmark)},
                {"new2", std::to_string(state.secondary.newlev)},
                {"mark2", std::to_string(state.secondary.nmark)},
                {"jump", std::to_string(state.jump)},
                {"code", std::to_string(state.hascode)},
                {"comment", std::to_string(state.hascomment)},
                {"incomment", std::to_string(state.incomment)},
                {"scan", "[" + text + "]"}};
    ++line_;
  }

  void finish(std::string_view b, const nest::Form& form, const nest::LineState& state,
              nest::Streams& streams) override {
    close_entry(state);
    real_.finish(b, form, state, streams);
  }

 private:
  void close_entry(const nest::LineState& state) {
    if (line_ == 0) {
      return;
    }
    const nest::Nesting& n = state.primary;
    const nest::Nesting& n2 = state.secondary;
    pending_.insert(pending_.end(), {{"drawn-old", std::to_string(n.oldlev)},
                                     {"drawn-top", std::to_string(n.toplev)},
                                     {"drawn-new", std::to_string(n.newlev)},
                                     {"drawn-mark", std::to_string(n.nmark)},
                                     {"drawn-old2", std::to_string(n2.oldlev)},
                                     {"drawn-top2", std::to_string(n2.toplev)},
                                     {"drawn-new2", std::to_string(n2.newlev)},
                                     {"drawn-mark2", std::to_string(n2.nmark)},
                                     {"drawn-comment", std::to_string(state.hascomment)}});
    trace_.push_back(model::trace_entry(line_, pending_));
    pending_.clear();
  }

  cnest::Scanner real_;
  std::vector<std::string>& trace_;
  std::vector<std::pair<std::string, std::string>> pending_;
  std::int64_t line_ = 0;
};

// Lists `source_bytes` with `scanner`.
template <typename Scanner>
void list(const std::string& source_bytes, const model::Options& o, const nest::Frame& frame,
          Scanner& scanner, Listing& run) {
  nest::testing::Captured out(o.tofile == 1);
  nest::ByteSource source(source_bytes);
  nest::list_source(source, o.filnam, frame, scanner, out.streams());
  run.console = out.console();
  run.file = out.file();
}

Listing real_c(const std::string& source_bytes, const model::Options& o) {
  const nest::Frame frame = cnest::frame(static_cast<int>(o.numcol), static_cast<int>(o.ibmpc),
                                         static_cast<int>(o.maxlen));
  Listing run;
  TracingCScanner scanner(run.trace);
  list(source_bytes, o, frame, scanner, run);
  return run;
}

Listing model_c(const std::string& source_bytes, const model::Options& o) {
  Listing run;
  model::Output out;
  model::c_diagram(source_bytes, o, out, &run.trace);
  run.console = out.console;
  run.file = out.file;
  return run;
}

Listing real_idl(const std::string& source_bytes, const model::Options& o) {
  const nest::Frame frame = idlnest::frame(static_cast<int>(o.numcol), static_cast<int>(o.ibmpc),
                                           static_cast<int>(o.maxlen));
  Listing run;
  TracingIdlScanner scanner(o.warnend != 0, o.warnquote != 0, run.trace);
  list(source_bytes, o, frame, scanner, run);
  return run;
}

Listing model_idl(const std::string& source_bytes, const model::Options& o) {
  Listing run;
  model::Output out;
  model::idl_diagram(source_bytes, o, out, &run.trace);
  run.console = out.console;
  run.file = out.file;
  return run;
}

// The records of `bytes`, one per element, so that a difference names its record.
std::vector<std::string> records(const std::string& bytes) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", at);
    if (end == std::string::npos) {
      out.push_back(bytes.substr(at) + "<no record end>");
      break;
    }
    out.push_back(bytes.substr(at, end - at));
    at = end + 2;
  }
  return out;
}

// Compares two runs; reports the first differing record or trace entry of each kind.
void expect_same(const Listing& real, const Listing& modelled, const std::string& what) {
  const auto first_difference = [&](const std::vector<std::string>& r,
                                    const std::vector<std::string>& m, const char* kind) {
    for (std::size_t k = 0; k < std::max(r.size(), m.size()); ++k) {
      const std::string left = k < r.size() ? r[k] : "<none>";
      const std::string right = k < m.size() ? m[k] : "<none>";
      if (left != right) {
        ADD_FAILURE() << what << ": " << kind << " " << k + 1 << " differs\n  real:  " << left
                      << "\n  model: " << right;
        return;
      }
    }
  };
  first_difference(records(real.file), records(modelled.file), "file record");
  first_difference(records(real.console), records(modelled.console), "console record");
  first_difference(real.trace, modelled.trace, "trace entry");
  EXPECT_EQ(real.file, modelled.file) << what;
  EXPECT_EQ(real.console, modelled.console) << what;
}

// The answers the runs are made with: both sides of tofile and of the glyph set, line numbers
// and length limits at ordinary values and at the edges of the record, and a source name for the
// page header with controls (C0, DEL, C1 in UTF-8 and alone), a tab and UTF-8 sequences good and
// bad.
const model::Options kOptions[] = {
    {"demo.pro", 1, 0, 0, 0, 0, 160},
    {"demo.pro", 0, 80, 1, 1, 1, 60},
    {"  leading blank.pro", 1, 4987, 7, 1, 1, 4989},
    {"demo.pro", 0, 1, 0, 0, 1, -1},
    {"demo.pro", 1, 30, 1, 0, 1, 5000},
    {"\x1b]0;title\x07 \tcaf\xc3\xa9\x7f \xc2\x9b[2J \x9b \xc4\x9b \xe9 \xed\xa0\x80 "
     "\xf0\x9f\x98\x80.pro",
     1, 0, 0, 0, 0, 160},
};

std::string describe(const model::Options& o) {
  std::ostringstream text;
  text << "tofile " << o.tofile << ", numcol " << o.numcol << ", ibmpc " << o.ibmpc << ", warnend "
       << o.warnend << ", warnquote " << o.warnquote << ", maxlen " << o.maxlen;
  return text.str();
}

TEST(IdlDifferentialTest, RandomSources) {
  for (std::uint64_t seed = 1; seed <= 2; ++seed) {
    const std::string source = source_of(700, seed, idl_line);
    for (const model::Options& o : kOptions) {
      expect_same(real_idl(source, o), model_idl(source, o),
                  "seed " + std::to_string(seed) + ", " + describe(o));
    }
  }
}

TEST(IdlDifferentialTest, LinesCutAtTheirCap) {
  const std::string source = source_of(300, 3, maybe_cut_line<idl_line>);
  for (const model::Options& o : kOptions) {
    expect_same(real_idl(source, o), model_idl(source, o), "cut lines, " + describe(o));
  }
}

TEST(IdlDifferentialTest, BundledExample) {
  const std::string source = read_file(NEST_SOURCE_DIR "/examples/demo.pro");
  ASSERT_FALSE(source.empty());
  for (const model::Options& o : kOptions) {
    expect_same(real_idl(source, o), model_idl(source, o), "demo.pro, " + describe(o));
  }
}

// One renderer call on both sides, with the same arguments.
struct RenderCall {
  std::string b;
  int tofile = 0;
  model::Int leftcols = 0;
  model::Int primary[4] = {};    // old, top, new, mark
  model::Int secondary[4] = {};  // old, top, new, mark
  bool jump = false, incomment = false, hascode = false, hascomment = false;
  model::Int numcol = 0;
  model::Int ibmpc = 0;
  std::string form;
};

model::Int nesting_value(Draw& draw) {
  if (draw.chance(5)) {
    return -static_cast<model::Int>(draw.below(3)) - 1;
  }
  if (draw.chance(5)) {
    return static_cast<model::Int>(draw.below(6000));
  }
  return static_cast<model::Int>(draw.below(16));
}

RenderCall render_call(Draw& draw) {
  static const char* const kForms[] = {"    1", "   12", "12345", "*****", "  999"};
  static const model::Int kNumcols[] = {-1, 0, 1, 2, 20, 80, 4984, 4986, 4987, 4988, 4990, 9000};
  RenderCall call;
  call.b = draw.chance(20) ? "" : idl_line(draw).substr(0, model::kWidth);
  // The renderer gets lines the reader delivered: printable, tabs expanded.
  for (char& c : call.b) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte >= 128) {
      c = ' ';
    }
  }
  call.tofile = draw.chance(50) ? 1 : 0;
  call.leftcols = draw.chance(50) ? 3 : 0;
  for (model::Int& v : call.primary) {
    v = nesting_value(draw);
  }
  for (model::Int& v : call.secondary) {
    v = nesting_value(draw);
  }
  call.jump = draw.chance(20);
  call.incomment = draw.chance(10);
  call.hascode = draw.chance(70);
  call.hascomment = draw.chance(30);
  call.numcol = draw.pick(kNumcols);
  call.ibmpc = draw.chance(10) ? static_cast<model::Int>(draw.below(3)) : 0;
  call.form = draw.pick(kForms);
  return call;
}

TEST(CoreDifferentialTest, FormlineOnRandomNestings) {
  Draw draw(5);
  model::Glyphs model_glyphs;
  nest::GlyphTable real_glyphs;
  for (int round = 0; round < 1500; ++round) {
    const RenderCall call = render_call(draw);
    const std::string what = "round " + std::to_string(round) + ", line [" + call.b + "]";

    model::Output model_out;
    model_out.tofile = call.tofile;
    model::Int m[4], m2[4];
    std::copy(std::begin(call.primary), std::end(call.primary), m);
    std::copy(std::begin(call.secondary), std::end(call.secondary), m2);
    model::Int hascomment = call.hascomment ? 1 : 0;
    model::Int ibmpc = call.ibmpc;
    std::string model_form = call.form;
    model::formline(model::padded(call.b), call.tofile, call.leftcols, m[0], m[1], m[2], m[3],
                    m2[0], m2[1], m2[2], m2[3], call.jump ? 1 : 0, call.numcol, model_form,
                    call.incomment ? 1 : 0, call.hascode ? 1 : 0, hascomment, ibmpc, model_glyphs,
                    model::RendererKind{call.leftcols > 0 ? 1 : 0}, model_out);

    nest::testing::Captured out(call.tofile == 1);
    nest::LineState state;
    state.primary = {call.primary[0], call.primary[1], call.primary[2], call.primary[3]};
    state.secondary = {call.secondary[0], call.secondary[1], call.secondary[2], call.secondary[3]};
    state.jump = call.jump;
    state.incomment = call.incomment;
    state.hascode = call.hascode;
    state.hascomment = call.hascomment;
    nest::RenderSettings settings;
    settings.leftcols = static_cast<int>(call.leftcols);
    settings.numcol = static_cast<int>(call.numcol);
    settings.ibmpc = call.ibmpc != 0;
    settings.too_many_columns =
        call.leftcols > 0 ? nest::Severity::kError : nest::Severity::kWarning;
    nest::Form form;
    std::copy(call.form.begin(), call.form.end(), form.begin());
    formline(call.b, state, form, settings, real_glyphs, out.streams());

    expect_same({out.console(), out.file(), {}}, {model_out.console, model_out.file, {}}, what);
    EXPECT_EQ(std::string(form.begin(), form.end()), model_form) << what;
    EXPECT_EQ(state.primary.oldlev, m[0]) << what;
    EXPECT_EQ(state.primary.toplev, m[1]) << what;
    EXPECT_EQ(state.primary.newlev, m[2]) << what;
    EXPECT_EQ(state.primary.nmark, m[3]) << what;
    if (call.leftcols > 0) {
      EXPECT_EQ(state.secondary.oldlev, m2[0]) << what;
      EXPECT_EQ(state.secondary.toplev, m2[1]) << what;
      EXPECT_EQ(state.secondary.newlev, m2[2]) << what;
      EXPECT_EQ(state.secondary.nmark, m2[3]) << what;
    }
    EXPECT_EQ(state.hascomment, hascomment != 0) << what;
  }
}

TEST(CDifferentialTest, RandomSources) {
  for (std::uint64_t seed = 1; seed <= 2; ++seed) {
    const std::string source = source_of(600, seed, c_line);
    for (const model::Options& o : kOptions) {
      expect_same(real_c(source, o), model_c(source, o),
                  "seed " + std::to_string(seed) + ", " + describe(o));
    }
  }
}

TEST(CDifferentialTest, LinesCutAtTheirCap) {
  const std::string source = source_of(300, 3, maybe_cut_line<c_line>);
  for (const model::Options& o : kOptions) {
    expect_same(real_c(source, o), model_c(source, o), "cut lines, " + describe(o));
  }
}

TEST(CDifferentialTest, BundledExample) {
  const std::string source = read_file(NEST_SOURCE_DIR "/examples/demo.c");
  ASSERT_FALSE(source.empty());
  for (const model::Options& o : kOptions) {
    expect_same(real_c(source, o), model_c(source, o), "demo.c, " + describe(o));
  }
}

}  // namespace
