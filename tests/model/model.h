// A deliberately plain model of the per-line work of both programs, for differential tests only.
//
// Everything here works the long way round, as the algorithms are written down: every text is a
// full 5000-column buffer padded with blanks, lena steps back from column 5000, the scan texts are
// built over every column, each keyword is tried at every start position, and every record is
// filled over all 5000 columns. It is slow on purpose and shares no code with the programs, so
// that a difference between the two points at a misreading on one side or the other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace model {

/// Width of every text buffer.
inline constexpr int kWidth = 5000;

/// Integers of the model. Wide enough that nothing the tests feed in overflows.
using Int = std::int64_t;

/// A blank-padded text buffer: always exactly kWidth characters.
using Text = std::string;

/// A buffer of kWidth blanks.
Text blank_text();

/// `s` cut or padded with blanks to kWidth characters.
Text padded(const std::string& s);

/// The console (stream 6) and the listing file (stream 2) of one run. With `tofile` 0 the
/// listing is written to the console.
struct Output {
  int tofile = 0;
  std::string console;
  std::string file;

  /// Appends one record, ended by CR LF, to the console.
  void to_console(const std::string& record);
  /// Appends one record to the listing stream: the file when tofile is 1, else the console.
  void to_listing(const std::string& record);
};

/// The source file as a sequence of bytes, read from `next` on.
struct Source {
  std::string bytes;
  std::size_t next = 0;
};

/// The significant length of `a`: the position of its last non-blank character, 1 when blank.
Int lena(const std::string& a);

/// `a` as the page header shows it: each control written as '?' (a byte below 32 but the tab,
/// 127, a byte from 128 to 159 outside a UTF-8 sequence, and U+0080 to U+009F in UTF-8).
std::string shown_safely(const std::string& a);

/// Reports an error: listing record (when tofile is 1), console record, line on the console
/// (when tofile is 1), bell.
void errr(const std::string& message, const std::string& form, int tofile, const Text& a,
          Output& out);

/// Reports a warning; as errr with the other tag.
void warn(const std::string& message, const std::string& form, int tofile, const Text& a,
          Output& out);

/// Reads the next line of `source` into `a` and counts it; true at the end of the source.
bool irdlin(Source& source, int tofile, Int maxlen, Text& a, Int& linecount, std::string& form,
            Output& out);

/// The eight glyphs of the margin.
struct Glyphs {
  char blockbegin = '/';
  char blockend = '\\';
  char blockelse = '+';
  char blockcontinue = '|';
  char blockhoriz = '-';
  char blockbeginh = '/';
  char blockendh = '\\';
  char blockelseh = '+';
};

/// How "Too many columns to diagram" is reported: 0 as a warning, 1 as an error.
struct RendererKind {
  int too_many_is_error = 0;
};

/// Composes and writes one listing record; the eighteen arguments in their order, then the
/// glyph table of the run, the kind of program and the output.
void formline(const Text& b, int tofile, Int leftcols, Int& oldlev, Int& toplev, Int& newlev,
              Int& nmark, Int& oldlev2, Int& toplev2, Int& newlev2, Int& nmark2, Int jump,
              Int numcol, std::string& form, Int incomment, Int hascode, Int& hascomment,
              Int& ibmpc, Glyphs& glyphs, RendererKind kind, Output& out);

/// The IDL keyword search over the whole 5000-column text; `matchpos` is the last occurrence
/// examined.
bool idl_find(const Text& a, const std::string& key, int flags, Int& matchpos);

/// The C keyword search over the whole 5000-column text.
bool c_find(const Text& a, const std::string& key, int flags);

/// Answers of a run that matter to the listing.
struct Options {
  std::string filnam = "t.src";
  int tofile = 1;
  Int numcol = 0;
  Int ibmpc = 0;
  Int warnend = 0;
  Int warnquote = 0;
  Int maxlen = 160;
};

/// One run of idlnest's listing over `source_bytes`. `trace`, when given, gets one entry per
/// line naming the scanner's and the renderer's values (see trace formats in the test).
void idl_diagram(const std::string& source_bytes, const Options& options, Output& out,
                 std::vector<std::string>* trace);

/// The IDL scan text that the last idl_step built, and the step itself, for unit comparisons.
struct IdlCarried {
  Int oldlev = 0, toplev = 0, newlev = 0, nmark = 0;
  Int jump = 0, hascode = 0, hascomment = 0;
  Int nunit = 0, nmain = 0, caselev = 0, contin = 0;
  Int matchpos = 0;
};

/// The IDL per-line step over the line `b`, building the scan text `a`.
void idl_step(const Text& b, const std::string& form, int tofile, Int warnend, Int warnquote,
              IdlCarried& s, Text& a, Output& out);

/// One run of cnest's listing over `source_bytes`; `warnend` and `warnquote` are not used.
void c_diagram(const std::string& source_bytes, const Options& options, Output& out,
               std::vector<std::string>* trace);

/// One trace entry: the values a line leaves, in the form both sides of a differential test use.
std::string trace_entry(Int line, const std::vector<std::pair<std::string, std::string>>& values);

}  // namespace model
