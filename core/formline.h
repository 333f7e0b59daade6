// The margin renderer: composes one listing record from a source line and its nesting, writes
// it, and moves the nesting on to the next line.
#pragma once

#include <string>
#include <string_view>

#include "core/diagnostics.h"
#include "core/streams.h"
#include "core/text.h"

namespace nest {

/// The eight glyphs of the margin. Plain ASCII until the first line drawn with the IBM PC set
/// loads code page 437 box-drawing bytes; a run never switches back.
struct GlyphTable {
  char blockbegin = '/';      ///< a block opens here
  char blockend = '\\';       ///< a block closes here
  char blockelse = '+';       ///< a branch: old level equals new level
  char blockcontinue = '|';   ///< beside every line inside a block; before a line number
  char blockhoriz = '-';      ///< the run from the deepest mark to the text
  char blockbeginh = '/';     ///< blockbegin with a run passing into it from the left
  char blockendh = '\\';      ///< blockend with a run passing into it
  char blockelseh = '+';      ///< blockelse with a run passing into it

  /// Loads the IBM PC (code page 437) set into all eight glyphs.
  void load_ibmpc();
};

/// Appends `bytes` to `out` with each byte of the IBM PC glyph set in UTF-8: the same eight
/// shapes, each still one column wide on a terminal, in three bytes where code page 437 has one.
void append_glyphs_in_utf8(std::string_view bytes, std::string& out);

/// What stays the same for every line of a run.
struct RenderSettings {
  int leftcols = 0;  ///< margin columns 2..leftcols+1 reserved for the secondary nesting (0..10)
  int numcol = 0;    ///< source column of the line number; 0 or less: no line numbers
  bool ibmpc = false;  ///< draw with the IBM PC set
  Severity too_many_columns = Severity::kWarning;  ///< how a text past column 5000 is reported
};

/// Composes and writes the record of one line: flag column, margin, the text `b` from record
/// column 14, the line number. Reports "Invalid diagramming index" for a negative nesting value
/// (and sets it to 0) and "Too many columns to diagram" for a text longer than 4987 columns, in
/// that order, before the record. Normalises the nesting (top level, mark count), may replace a
/// blank first character of `form` by the continuation glyph, sets state.hascomment when the
/// line ends inside a comment, and finally sets each old level to its new level.
///
/// performance-critical; please benchmark any changes.
void formline(std::string_view b, LineState& state, Form& form, const RenderSettings& settings,
              GlyphTable& glyphs, Streams& streams);

}  // namespace nest
