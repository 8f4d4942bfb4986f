// The Vantrel panel's export through the tap (drez_tap/), in this process:
// the tap's forwarding objects around the panel linked into the benchmark,
// recording into a real capture file through the tap's own shared mapping,
// as the studio's tap does. What the tap adds to an event is the
// difference between an event delivered to a panel made here and to one
// made by the export directly.
//
// The capture is a temporary file that nobody reads: removed from its
// folder once open, and written from its start again past 64 MiB, so that
// a long run measures recording throughout and fills no disk.
//
// Threading: single-threaded.

#ifndef BENCH_TAPPED_EXPORT_H_
#define BENCH_TAPPED_EXPORT_H_

#include "drez_export.h"

namespace drezbench {

// Has the signature of load_drez_client_script. The first call opens the
// capture; throws std::runtime_error when it cannot.
drez_client_callback* tappedExport(drez_client_host* host, const char* path);

}  // namespace drezbench

#endif  // BENCH_TAPPED_EXPORT_H_
