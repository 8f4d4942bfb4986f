// The debug-output channel: where a script writes its diagnostic lines.
//
// By default a line goes to OutputDebugStringA on Windows and to standard
// error elsewhere. A host or a test may install its own sink to capture the
// lines. The sink is process-wide (per copy of this library: a panel library
// that links it statically has its own) and is not synchronised: install it
// before scripts run, on the thread that drives them.

#ifndef DREZ_HOST_DREZ_DEBUG_OUTPUT_H_
#define DREZ_HOST_DREZ_DEBUG_OUTPUT_H_

// Receives one text, NUL-terminated and never null, exactly as the script
// wrote it (no line end is added). `context` is the value given at install.
using drez_debug_sink = void (*)(const char* text, void* context);

// Writes `text` to the current sink; a null `text` writes nothing.
void drez_debug_output(const char* text);

// Installs `sink` with its `context`; a null `sink` restores the default.
// Returns the sink that was installed before (null when it was the default)
// and stores its context in `*previous_context` when that is not null.
drez_debug_sink drez_set_debug_sink(drez_debug_sink sink, void* context,
                                    void** previous_context = nullptr);

#endif  // DREZ_HOST_DREZ_DEBUG_OUTPUT_H_
