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

/// Condition bits of the IDL `find`.
inline constexpr int kBlankBefore = 1;              ///< the character before is a blank
inline constexpr int kFirstWord = 2;                ///< everything before the match is blank
inline constexpr int kBlankOrParenBefore = 8;       ///< the character before is a blank or ")"
inline constexpr int kNoWordAfter = 32;             ///< the character after is no digit or letter
inline constexpr int kBlankOrOpenParenAfter = 128;  ///< the character after is a blank or "("
inline constexpr int kDigitsBefore = 256;           ///< only blanks and digits before the match

/// Searches `text` (a blank-padded field: every column past its end up to column 5000 is blank)
/// for `key`, case-sensitive, at start positions 1, 2, ... up to 5000 - length of key + 1. Returns
/// the position (matchpos, from 1) of the first occurrence that meets every condition set in
/// `flags`, or 0 when none does. Before column 1 and after column 5000 stands a blank.
///
/// Call it qualified, as idlnest::find: for std::string arguments, argument-dependent lookup would
/// prefer std::find.
///
/// The general search: the scanner's per-line step uses matchers of its own, each standing for
/// the calls of find that it names; the differential test checks the step against a model
/// that calls find itself.
int find(std::string_view text, std::string_view key, int flags);

/// The per-line step of idlnest: program units, main-level code, blocks, branches and jumps.
///
/// Its rules stand one by one, as plainly as they can be written, in the literal model of
/// tests/model/idl_model.cc, which searches with find alone; the differential test checks this
/// scanner against the model, step by step, on random sources. Where this scanner uses a matcher
/// of its own, the comment at the matcher names the find call that it stands for.
class Scanner : public nest::BlockScanner {
 public:
  /// `warnend`: warn when a plain "end" closes an inner block; `warnquote`: report a quote left
  /// open at the end of a line.
  Scanner(bool warnend, bool warnquote) : warnend_(warnend), warnquote_(warnquote) {}

  /// performance-critical; please benchmark any changes.
  void scan(std::string_view b, const nest::Form& form, nest::LineState& state,
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
  bool build_scan_text(std::string_view b, nest::LineState& state);

  // Which of the keys that may stand anywhere on a line the scan text holds: what these calls of
  // find(scan_text(), key, flags) != 0 give, in one pass.
  struct WordKeys {
    bool go_to = false;    // "goto", kBlankOrParenBefore | kNoWordAfter
    bool return_ = false;  // "return", kBlankBefore | kBlankOrOpenParenAfter
    bool case_ = false;    // "case ", kBlankBefore
    bool end = false;      // "end ", kBlankBefore
  };
  //
  // performance-critical; please benchmark any changes.
  WordKeys word_keys() const;

  // find(scan_text(), key, kFirstWord) != 0 for a key that starts with a non-blank: such a key
  // can only match at the first non-blank column.
  bool first_word_is(std::string_view key) const;

  // find(scan_text(), ":", kDigitsBefore) != 0, from the first colon.
  bool colon_after_digits() const;

  // find(scan_text(), key, flags) for a key that ends in two blanks and flags of 0 or
  // kBlankBefore: such a key can only match where the line's code ends.
  bool code_ends_with(std::string_view key, int flags) const;

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
