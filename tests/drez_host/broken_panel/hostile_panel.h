// A panel library that misbehaves in ways the host can only survive from
// outside, or must diagnose before it crashes: the export's `path` argument
// chooses one misbehaviour. Built only for the tests of drez-host.
//
//   crash      event id 13 writes through a null pointer
//   abort      event id 13 calls abort()
//   hang       event id 13 never returns
//   overflow   event id 13 recurses until the stack overflows
//   exit       event id 13 calls exit(0)
//   divide     event id 13 divides an integer by zero
//   trap       event id 13 executes an illegal instruction (__builtin_trap)
//   escape     event id 13 throws an exception out of callback, as a script
//              that bypasses the framework might
//   close-fds-hang   event id 13 closes every file descriptor, then hangs
//   close-fds  event id 13 closes every file descriptor and returns
//   fork-sleep event id 13 starts a process of its own that sleeps a minute
//   fork-abort event id 13 starts a process that sleeps, then aborts
//   thread     event id 13 sends a command from a thread of its own
//   debug      event id 1 writes lines on standard error and standard output,
//              one of them not UTF-8, and one without a line end; on Windows
//              also one with OutputDebugStringA and one with OutputDebugStringW
//   xml-text   event id 1 sends commands outside the vocabulary holding
//              U+FFFE, U+FFFF and control characters
//   ignore-sigterm   ignores SIGTERM from its constructor on
//   loop       registers slots 1 to 6 of device 11, sends 100 commands a
//              delivery and polls them again from every update: with queued
//              polls, a runaway loop in one call of the host
//   poll-in-update   registers and polls slots 1 to 6 of device 11, and polls
//              them again from inside every update (re-entrant recursion)
//   leak-per-event   registers slots 1 to 6 of device 11; every update and
//              event id sends "SD 'RIR Tally Infodriver'" and keeps the reply
//   leak-many  event id 1 sends 100000 "SD" commands and keeps every reply
//   raw-text   event id 1 sends commands holding a line feed, terminal escape
//              codes, bytes that are not UTF-8, and one of 50 MB
//   static-reply     every request is answered from one static buffer
//   double-free      releasing a reply frees it twice
//   singleton  the export returns the same object while it is alive
//   nonsense   the export returns the address 16
// Any other path: a script that keeps the contract. Other event ids are
// acknowledged with "ET"; at deletion the script unregisters and sends "AS".
//
// Built once more as hostile_load_panel with DREZ_HOSTILE_LOAD, it also
// misbehaves as it is loaded or unloaded, as the environment variable
// DREZ_HOSTILE_LOAD says: crash, abort or loop in its library constructor,
// sigchld (ignores SIGCHLD from then on), exit-at-unload (_exit(0) in its
// library destructor) or crash-at-unload. POSIX only.

#ifndef TESTS_BROKEN_PANEL_HOSTILE_PANEL_H_
#define TESTS_BROKEN_PANEL_HOSTILE_PANEL_H_

#include <string>

#include "drez_client_callback.h"
#include "drez_client_host.h"

class HostilePanel : public drez_client_callback {
 public:
  HostilePanel(drez_client_host* host, std::string mode);
  ~HostilePanel() override;

  const char* DREZ_THISCALL callback(void* data, int kind) override;

 private:
  intptr_t send(const std::string& text);
  void onEventId(int id);

  drez_client_host* host_;
  std::string mode_;
  bool registered_ = false;
};

#endif  // TESTS_BROKEN_PANEL_HOSTILE_PANEL_H_
