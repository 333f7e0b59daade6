// Fuzz harness: the whole cnest listing path in-process, on arbitrary source bytes and answers.
//
// Input: the answers numcol, ibmpc and maxlen (see FuzzInput::answer), a source file name of up
// to 64 bytes (FuzzInput::text), then the source bytes. The source is listed once to a file and
// once to the screen, and the pair is checked; it is listed to a file again with its lines read
// ahead, which must change nothing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cnest/scanner.h"
#include "core/diagram.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  nest::fuzz::FuzzInput input(data, size);
  const int numcol = input.answer();
  const int ibmpc = input.answer();
  const int maxlen = input.answer();
  // A name typed at the console holds no line end.
  std::string filnam(input.text(64));
  std::erase_if(filnam, [](char c) { return c == '\r' || c == '\n'; });
  const std::string_view source = input.rest();

  const nest::Frame frame = cnest::frame(numcol, ibmpc, maxlen);
  // Kept from run to run: a listing is fifty times its source, and fresh memory for it each
  // time would cost more than the listing.
  static nest::fuzz::CapturedRun to_file(true);
  static nest::fuzz::CapturedRun to_screen(false);
  for (nest::fuzz::CapturedRun* run : {&to_file, &to_screen}) {
    run->clear();
    nest::ByteSource bytes{std::string(source)};
    cnest::Scanner scanner;
    nest::list_source(bytes, filnam, frame, scanner, run->streams());
    run->flush();
  }
  // Read ahead on a thread of its own, the listing to a file is the same, byte for byte. The
  // ring is small, so that it costs each input little and its batches end often.
  static nest::fuzz::CapturedRun read_ahead(true);
  {
    read_ahead.clear();
    nest::ByteSource bytes{std::string(source)};
    cnest::Scanner scanner;
    nest::Frame small_ring = frame;
    small_ring.read_ahead = nest::fuzz::kSmallRing;
    nest::list_source(bytes, filnam, small_ring, scanner, read_ahead.streams(),
                      nest::Reading::kAhead);
    read_ahead.flush();
  }
  if (read_ahead.file() != to_file.file() || read_ahead.console() != to_file.console()) {
    nest::fuzz::fail("the listing read ahead differs from the one read in turn");
  }
  nest::fuzz::check_listing_pair(to_file, to_screen, filnam, frame.ruler_indent, ibmpc != 0);
  return 0;
}
