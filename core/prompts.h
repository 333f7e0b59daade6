// The console dialogue: questions for a text and for a number.
#pragma once

#include <string>
#include <string_view>

#include "core/streams.h"

namespace nest {

/// Asks for a text: writes " <prompt>:" (the prompt at its full length), reads one line of
/// console input (its first kTextWidth bytes; the rest of a longer line is thrown away), echoes
/// it without its trailing blanks, its controls shown as '?' and its tabs as tabs (see
/// shown_safely), and returns it as typed. Columns past the end of the result are blank.
/// Throws Fatal when console input ends before the answer.
std::string ard(std::string_view prompt, Sink& console, ByteSource& input);

/// Asks for a whole number: writes " <prompt>:" (trailing blanks of the prompt dropped), reads a
/// free-form integer, echoes the value right-justified in 11 columns and returns it. A comma,
/// semicolon or slash keeps `fallback`; empty and blank lines are skipped. Throws Fatal at the end
/// of console input, on a malformed number and on one outside the 32-bit signed range.
int ird(std::string_view prompt, int fallback, Sink& console, ByteSource& input);

}  // namespace nest
