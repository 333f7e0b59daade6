// The C block scanner: for each line, the brace level, the comment and quote state, the scan
// text and the keywords in it (preprocessor conditionals, jumps, case labels); and the C
// program's listing run.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "core/diagram.h"
#include "core/streams.h"
#include "core/text.h"

namespace cnest {

/// The per-line step of cnest: braces, comments, quotes, preprocessor conditionals, jumps and
/// case labels. The primary nesting of the line state is the brace level, the secondary one the
/// level of preprocessor conditionals.
///
/// Its rules stand one by one, as plainly as they can be written, in the literal model of
/// tests/model/c_model.cc, which searches the scan text `a` with its keyword search
/// `c_find(a, key, flags)` alone (flags: 2 only blanks before, 32 no digit or letter after, 64 no
/// letter after, 512 a blank, ";", ")", "{" or "}" before). The differential test checks this
/// scanner against the model, step by step, on random sources. This scanner uses matchers
/// instead; the comment at each names the model's c_find calls that it stands for.
class Scanner : public nest::BlockScanner {
 public:
  /// Sets the line's nesting values and flags: the brace level and its marks, the conditional
  /// level and its mark, jump, hascode, hascomment, and incomment as the comment state at the
  /// end of the line. Reports "nested comment", "/ without /* clause", "Invalid diagramming
  /// index" (a "}" below level 0) and "Unclosed quote"; when listing to a file, echoes the line
  /// on the console for every "{" met at brace level 0.
  ///
  /// performance-critical; please benchmark any changes.
  void scan(nest::PaddedView b, const nest::Form& form, nest::LineState& state,
            nest::Streams& streams) override;

  /// Reports "Some nest levels unclosed at end" when a brace level or a conditional is open.
  /// A comment still open is not reported.
  void finish(std::string_view b, const nest::Form& form, const nest::LineState& state,
              nest::Streams& streams) override;

  /// The scan text of the last line scanned: lower case, comments blanked, quoted text kept,
  /// blank runs collapsed, nothing after a "//" comment start. Columns past its end are blank.
  std::string_view scan_text() const { return {storage_.data() + 1, scan_length_}; }

 private:
  // Runs the character step over `b`: builds the scan text, follows the comment and quote
  // state and counts braces. Returns true when a quoted literal is still open at the end.
  //
  // performance-critical; please benchmark any changes.
  bool character_steps(nest::PaddedView b, const nest::Form& form, nest::LineState& state,
                       nest::Streams& streams);

  bool incomment_ = false;  // inside a "/*" comment; carried over line ends
  // Whether the scan text holds a jump statement and a case label: the model's c_find(a, key,
  // 576) for "go to" and "goto"; c_find(a, key, 544) for "return", "break", "continue", "exit"
  // (jumps) and "case" (a label); c_find(a, key, 512) for "default " and "default:" (labels).
  struct StatementWords {
    bool jump = false;
    bool label = false;
  };
  //
  // performance-critical; please benchmark any changes.
  StatementWords statement_words() const;

  // The scan text with a blank before it (so that the column before the first can always be
  // read) and room past the 5000 columns for whole blocks of 16 written at once.
  std::array<char, 1 + nest::kTextWidth + 32> storage_{};
  std::size_t scan_length_ = 0;
};

/// The C program's listing run: the listing frame with this scanner, an 11-blank ruler, the
/// preprocessor level in three margin columns, and "Too many columns to diagram" as an error.
void diagram(std::string_view filnam, std::string_view filnam2, int numcol, int ibmpc, int maxlen,
             nest::Sink& console);

/// The frame settings of cnest for the given answers.
nest::Frame frame(int numcol, int ibmpc, int maxlen);

}  // namespace cnest
