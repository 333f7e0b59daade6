// Reports of problems in the source: a record in the listing just above the line concerned, a
// copy on the console with the line and a bell. Nothing is counted and nothing stops.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/streams.h"
#include "core/text.h"

namespace nest {

/// The two kinds of report, for callers that choose between them.
enum class Severity { kWarning, kError };

/// Where a run from the command line sends each report about its source, besides the listing:
/// "<file>:<line>: error: <message>" and the like.
class Reports {
 public:
  virtual ~Reports() = default;
  /// A report about line `line`.
  virtual void add(Severity severity, std::string_view message) = 0;
  /// The number of the line being read, or of the last line after the end: set by the reader.
  std::int64_t line = 0;
};

/// Reports an error: " ***ERROR <message>: Line <form>:" in the listing (when it is a file) and
/// on the console; then, when listing to a file, the line `a` on the console; then the bell.
void errr(std::string_view message, const Form& form, Streams& streams, std::string_view a);

/// Reports a warning: as errr, with the tag "***WARNING ".
void warn(std::string_view message, const Form& form, Streams& streams, std::string_view a);

/// Writes the console record " Line <form> <a up to its length>", with which a scanner shows the
/// user, while the listing goes to a file, a line that starts a program unit or a block.
void echo_line(const Form& form, std::string_view a, Sink& console);

/// Calls errr or warn according to `severity`.
void report(Severity severity, std::string_view message, const Form& form, Streams& streams,
            std::string_view a);

}  // namespace nest
