// Start-up trace: an opt-in record of when a program reached its milestones, for benchmarks
// that start a real program and need to see, from outside, when it showed its first frame.
//
// When the environment variable KELVANO_TRACE_STARTUP names a file, every mark appends one
// line "<mark> <CLOCK_MONOTONIC in nanoseconds>\n" to it (the clock every process shares,
// so a parent's spawn time compares directly). The screen marks "first-frame" when it first
// presents a picture, whatever the backend. Unset or empty, a mark reads one environment
// variable and does nothing else.
#pragma once

namespace host {

// Appends the mark with the time now; silent when tracing is off or the file cannot be
// written. Callable from any thread; each line is one write to a file opened for appending.
void TraceStartup(const char* pszMark);

} // namespace host
