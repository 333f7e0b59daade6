#include "core/diagnostics.h"

#include "core/text_helpers.h"

namespace nest {

namespace {

void message_record(Sink& sink, std::string_view tag, std::string_view message,
                    const Form& form) {
  sink.put(' ');
  sink.write(tag);
  sink.write(message);
  sink.write(": Line ");
  sink.write(upto_lena(view(form)));
  sink.record(":");
}

void diagnose(Severity severity, std::string_view tag, std::string_view message, const Form& form,
              Streams& streams, std::string_view a) {
  if (streams.tofile) {
    message_record(streams.listing, tag, message, form);
  }
  if (streams.reports != nullptr) {
    streams.reports->add(severity, message);
  }
  if (streams.quiet) {
    if (!streams.tofile) {
      message_record(streams.console, tag, message, form);
    }
    return;
  }
  message_record(streams.console, tag, message, form);
  if (streams.tofile) {
    streams.console.put(' ');
    streams.console.record(upto_lena(a));
  }
  streams.console.record(" \a");
}

}  // namespace

void errr(std::string_view message, const Form& form, Streams& streams, std::string_view a) {
  diagnose(Severity::kError, "***ERROR ", message, form, streams, a);
}

void warn(std::string_view message, const Form& form, Streams& streams, std::string_view a) {
  diagnose(Severity::kWarning, "***WARNING ", message, form, streams, a);
}

void echo_line(const Form& form, std::string_view a, Sink& console) {
  console.write(" Line ");
  console.write(view(form));
  console.put(' ');
  console.record(upto_lena(a));
}

void report(Severity severity, std::string_view message, const Form& form, Streams& streams,
            std::string_view a) {
  if (severity == Severity::kError) {
    errr(message, form, streams, a);
  } else {
    warn(message, form, streams, a);
  }
}

}  // namespace nest
