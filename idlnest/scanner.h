// The IDL block scanner: for each line, the scan text and the keywords in it that open, branch
// and close blocks and program units; and the IDL program's listing run.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/diagram.h"
#include "core/streams.h"
#include "core/text.h"

namespace idlnest {

/// The per-line step of idlnest: program units, main-level code, blocks, branches and jumps.
///
/// Its rules stand one by one, as plainly as they can be written, in the literal model of
/// tests/model/idl_model.cc, which searches the scan text with its keyword search `find(key,
/// flags)` alone (flags: 1 a blank before, 2 only blanks before, 8 a blank or ")" before, 32 no
/// digit or letter after, 128 a blank or "(" after, 256 only blanks and digits before). The
/// differential test checks this scanner against the model, step by step, on random sources.
/// This scanner uses matchers instead; the comment at each names the model's find calls that it
/// stands for.
class Scanner : public nest::BlockScanner {
 public:
  /// `warnend`: warn when a plain "end" closes an inner block; `warnquote`: report a quote left
  /// open at the end of a line.
  Scanner(bool warnend, bool warnquote) : warnend_(warnend), warnquote_(warnquote) {}

  /// performance-critical; please benchmark any changes.
  void scan(nest::PaddedView b, const nest::Form& form, nest::LineState& state,
            nest::Streams& streams) override;

  /// Reports "Nest levels left hanging at end" when a level or a program unit is still open.
  void finish(std::string_view b, const nest::Form& form, const nest::LineState& state,
              nest::Streams& streams) override;

  /// The scan text of the last line scanned: lower case, comment and quoted text gone, a blank
  /// after every colon, blank runs collapsed.
  std::string_view scan_text() const { return {storage_.data() + 1, scan_length_}; }

  // The state carried from line to line, for tests.
  std::int64_t nunit() const { return nunit_; }
  std::int64_t nmain() const { return nmain_; }
  std::int64_t caselev() const { return caselev_; }
  bool contin() const { return contin_; }

 private:
  // Builds the scan text of `b`; sets hascode and hascomment; returns true when a quote is left
  // open at the end of the line.
  //
  // performance-critical; please benchmark any changes.
  bool build_scan_text(nest::PaddedView b, nest::LineState& state);

  // Which of the keys that may stand anywhere on a line the scan text holds: what these calls of
  // the model's find give, in one pass.
  struct WordKeys {
    bool go_to = false;    // find("goto", 40)
    bool return_ = false;  // find("return", 129)
    bool case_ = false;    // find("case ", 1)
    bool end = false;      // find("end ", 1)
  };
  //
  // performance-critical; please benchmark any changes.
  WordKeys word_keys() const;

  // The model's find(key, 2) for a key that starts with a non-blank ("function ", "pro ", "end ",
  // "endif ", ...): such a key can only match at the first non-blank column.
  bool first_word_is(std::string_view key) const;

  // The model's find(":", 256), from the first colon.
  bool colon_after_digits() const;

  // The model's find(key, 1) (`blank_before`) or find(key, 0) for a key that ends in two blanks
  // ("begin  ", ": begin  ", ":  ", "$  "): such a key can only match where the line's code ends.
  bool code_ends_with(std::string_view key, bool blank_before) const;

  bool warnend_;
  bool warnquote_;
  std::int64_t nunit_ = 0;    // open program units: 0 or 1 between lines
  std::int64_t nmain_ = 0;    // main-level code segments met so far
  std::int64_t caselev_ = 0;  // level before the latest "case" or "begin" line; 0 for none
  bool contin_ = false;       // the previous line ended with the continuation mark "$"

  // The scan text, followed by enough blanks for the longest key to match against the padding.
  // Room for twice the width: each column of a line gives at most two characters.
  // A blank stands before it too, so that the column before the first can always be read.
  static constexpr std::size_t kPadding = 32;
  std::array<char, 1 + 2 * nest::kTextWidth + kPadding> storage_{};
  std::size_t scan_length_ = 0;
  std::size_t code_length_ = 0;  // the scan text without the blank that may end it
  std::size_t first_colon_ = 0;  // position (from 0) of the first colon in the scan text, or npos
};

/// The IDL program's listing run: the listing frame with this scanner, a 13-blank ruler,
/// "Too many columns to diagram" as a warning, and no secondary nesting.
void diagram(std::string_view filnam, std::string_view filnam2, int numcol, int ibmpc, int warnend,
             int warnquote, int maxlen, nest::Sink& console);

/// The frame settings of idlnest for the given answers.
nest::Frame frame(int numcol, int ibmpc, int maxlen);

}  // namespace idlnest
