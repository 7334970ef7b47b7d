// The trace: diagnostic lines that go nowhere unless a host sets a sink.
#pragma once

namespace tqla {

// Formats and passes one line to the sink; with no sink nothing is formatted.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Passes one fixed text to the sink.
void TraceText(const char* text);

bool TraceEnabled();

// A failure's reason: traced like any line, and kept as the calling thread's
// last error (TqlaLastError) until its next export starts.
void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
void FailText(const char* text);

// The calling thread's last error ("" when none); cleared as an export starts.
const char* LastErrorText();
void ClearLastError();

}  // namespace tqla
