// The listing frame shared by both programs: open the files, write the page header and the
// ruler, run one pass over the source with the language's scanner, report what is left open.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/formline.h"
#include "core/padded_text.h"
#include "core/streams.h"
#include "core/text.h"

namespace nest {

/// The language's part of a listing run: the per-line step and the end-of-file check.
class BlockScanner {
 public:
  virtual ~BlockScanner() = default;

  /// Works out from the line `b` (as read) its nesting values and flags in `state`, for the
  /// renderer call that follows. May write diagnostics and console echoes.
  virtual void scan(PaddedView b, const Form& form, LineState& state, Streams& streams) = 0;

  /// Called once after the last line with that line (empty when the source had none) and `form`
  /// as the renderer left it: reports blocks still open.
  virtual void finish(std::string_view b, const Form& form, const LineState& state,
                      Streams& streams) = 0;
};

/// What one program's listing run is made of, apart from its scanner.
struct Frame {
  int ruler_indent = 13;  ///< blanks before the 80-column ruler
  int maxlen = 160;       ///< lines longer than this draw a warning
  RenderSettings render;  ///< how each record is drawn
};

/// Lists `source` into `streams`: the page header (when listing to a file, naming `filnam`, its
/// controls shown as '?' by shown_safely), the ruler and an empty record, then every line through
/// `scanner` and the renderer, then the scanner's end-of-file check.
void list_source(ByteSource& source, std::string_view filnam, const Frame& frame,
                 BlockScanner& scanner, Streams& streams);

/// The listing run of a program: opens the source `filnam` (trailing blanks are not part of a
/// name), sends the listing to the screen when `filnam2` is blank or starts with a character that
/// sorts below the blank, else creates or replaces the file `filnam2`, and lists. Refuses
/// standard output redirected into the source, and an output that the run reads (see Output).
/// Throws Fatal when a file cannot be opened, read or written; the old listing is then as it was.
void diagram(std::string_view filnam, std::string_view filnam2, const Frame& frame,
             BlockScanner& scanner, Sink& console);

/// One listing of a run from the command line.
struct FileListing {
  std::string_view name;    ///< the source as the command line names it (in the page header)
  int source_fd = -1;       ///< the source when it is open already (standard input); else -1
  std::string_view output;  ///< the listing file; empty: the screen listing goes to `screen`
  std::vector<std::string> folders;  ///< made first, in this order, unless they are there
  bool utf8 = false;                 ///< the IBM PC glyphs of the listing file in UTF-8
  Reports* reports = nullptr;        ///< where each report goes besides the listing
};

/// Lists one source of a run from the command line the way diagram() does, with no console: the
/// same listing file (made and put in place as diagram() does) or the same screen listing into
/// `screen`, less its bells. Throws Fatal when a file cannot be opened, read or written.
void list_file(const FileListing& job, const Frame& frame, BlockScanner& scanner, Sink& screen);

}  // namespace nest
