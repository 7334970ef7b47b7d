// The trace: diagnostic lines that go nowhere unless a host sets a sink.
#pragma once

namespace tqla {

// Formats and passes one line to the sink; with no sink nothing is formatted.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Passes one fixed text to the sink.
void TraceText(const char* text);

bool TraceEnabled();

}  // namespace tqla
