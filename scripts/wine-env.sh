#!/usr/bin/env bash
# shellcheck shell=bash
# A quiet, non-interactive Wine for running the Windows test programs.
#
#   . scripts/wine-env.sh || exit 1     prepare Wine and export its settings
#   wine_env_stop                       (optional) stop the lingering wineserver
#   scripts/wine-env.sh                 the same checks, as a command
#   scripts/wine-env.sh run CMD ARGS    run CMD with these settings; how CTest
#                                       runs each test (cmake/toolchains/mingw-*.cmake)
#
# Settings, each kept when already set: WINEPREFIX (default
# ${XDG_CACHE_HOME:-$HOME/.cache}/wine-test-win64), WINEDEBUG=-all and
# WINEDLLOVERRIDES (no Mono or Gecko install prompts, no menu entries).
# WINEARCH=win64: one 64-bit prefix serves both the i686 and the x86-64
# builds, and its services run as 64-bit code.
#
# Preparing makes the prefix the first time (about 40 s, 1.3 GB), then only
# checks that 64-bit and 32-bit programs start (about 2 s). It returns
# non-zero, with the reason on stderr, when Wine cannot start. It leaves a
# wineserver running for WINE_ENV_LINGER seconds (default 120) after the last
# Wine program exits, so that each test program starts in about 0.3 s rather
# than 2 s. "run" only makes the prefix when it is missing and sends 32-bit
# programs to qemu-i386 when they cannot run (about 30 ms a run when ready).
#
# Some kernels cannot run 32-bit x86 programs, the i386 Wine loader among
# them. There, as root, preparing registers qemu-i386 with binfmt_misc so
# that 32-bit programs run under it. qemu 7.2 (Debian 12) crashes 32-bit Wine
# programs whose threads contend; the one in bookworm-backports (10.x) does
# not. WINE_ENV_SKIP_32BIT=1 skips the 32-bit part (x86-64 only runs).

_wine_env_fail() {
  echo "wine-env.sh: ERROR: $*" >&2
  return 1
}

_wine_env_defaults() {
  export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/wine-test-win64}"
  export WINEARCH=win64
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=,winemenubuilder.exe=d}"
  # Debian keeps the 64-bit loader outside PATH; /usr/bin/wine picks the
  # 32-bit one whenever wine32 is installed.
  _wine_env_wine64=$(command -v /usr/lib/wine/wine64 wine64 | head -n 1)
  _wine_env_server=$(command -v wineserver /usr/lib/wine/wineserver64 | head -n 1)
}

# True when this kernel, or binfmt_misc, runs a 32-bit x86 program.
_wine_env_i386_runs() {
  local loader
  for loader in /lib/ld-linux.so.2 /lib32/ld-linux.so.2; do
    [ -e "$loader" ] && { "$loader" --version >/dev/null 2>&1; return; }
  done
  return 1
}

# Sends 32-bit x86 programs to qemu-i386 through binfmt_misc. Needs root.
wine_env_register_qemu_i386() {
  local qemu binfmt=/proc/sys/fs/binfmt_misc
  qemu=$(command -v qemu-i386-static || command -v qemu-i386) ||
    { _wine_env_fail "qemu-i386 is not installed (package qemu-user-static)"; return 1; }
  if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
      { _wine_env_fail "cannot mount $binfmt (needs root)"; return 1; }
  fi
  # An entry keeps the binary it was registered with open (flag F), even
  # after an upgrade replaced it: register again.
  if [ -e "$binfmt/qemu-i386" ]; then
    echo -1 >"$binfmt/qemu-i386" ||
      { _wine_env_fail "cannot remove the old qemu-i386 entry (needs root)"; return 1; }
  fi
  # ELF, 32-bit, little endian, executable or shared object, machine i386.
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
    >"$binfmt/register" 2>/dev/null ||
    { _wine_env_fail "cannot register qemu-i386 in $binfmt (needs root)"; return 1; }
}

# Stops the prefix's wineserver and every Wine program in it.
wine_env_stop() {
  # Never fails: it runs from EXIT traps under `set -e`, where a wineserver
  # that has already gone would otherwise turn a passing stage into a failure.
  if [ -n "${WINEPREFIX:-}" ] && [ -n "${_wine_env_server:-}" ]; then
    "$_wine_env_server" -k 2>/dev/null || true
  fi
  return 0
}

_wine_env_check_32bit() {
  local qemu qemu_major
  if ! command -v wine >/dev/null || [ ! -x /usr/lib/wine/wine ]; then
    _wine_env_fail "the 32-bit Wine loader is missing (package wine32:i386)"
    return 1
  fi
  if ! _wine_env_i386_runs; then
    echo "wine-env.sh: this kernel cannot run 32-bit programs; sending them to qemu-i386" >&2
    wine_env_register_qemu_i386 || return 1
    _wine_env_i386_runs ||
      { _wine_env_fail "32-bit programs still do not run through qemu-i386"; return 1; }
  fi
  if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    qemu=$(sed -n 's/^interpreter //p' /proc/sys/fs/binfmt_misc/qemu-i386)
    qemu_major=$("$qemu" --version 2>/dev/null | sed -n 's/.*version \([0-9]*\)\..*/\1/p' | head -n 1)
    if [ -n "$qemu_major" ] && [ "$qemu_major" -lt 8 ]; then
      _wine_env_fail "qemu-i386 $qemu_major.x crashes multithreaded 32-bit Wine programs;" \
        "install qemu-user-static from bookworm-backports"
      return 1
    fi
  fi
  [ -e /usr/lib/wine/wine-preloader ] ||
    echo "wine-env.sh: warning: wine32-preloader:i386 is missing; under qemu each 32-bit" \
      "program then takes about a minute to start" >&2
  return 0
}

_wine_env_make_prefix() {
  local log tmp
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  if [ -e "$WINEPREFIX" ] && [ -n "$(ls -A "$WINEPREFIX" 2>/dev/null)" ]; then
    _wine_env_fail "WINEPREFIX=$WINEPREFIX is not empty and holds no Wine prefix"
    return 1
  fi
  echo "wine-env.sh: making the Wine prefix $WINEPREFIX (about 40 s)" >&2
  mkdir -p "$(dirname "$WINEPREFIX")" ||
    { _wine_env_fail "cannot make the folder of WINEPREFIX=$WINEPREFIX"; return 1; }
  log="$(dirname "$WINEPREFIX")/wineboot.log"
  # Made aside and then moved into place, so that an interrupted run leaves
  # no half-made prefix (a prefix holds no absolute path of its own).
  tmp="$WINEPREFIX.making"
  rm -rf "$tmp"
  # No display: wineboot shows no window. The overrides stop the prompts to
  # install Mono and Gecko, which would wait for an answer.
  if ! WINEPREFIX="$tmp" DISPLAY='' timeout 600 "$_wine_env_wine64" wineboot --init >"$log" 2>&1 ||
    ! WINEPREFIX="$tmp" timeout 300 "$_wine_env_server" -w || [ ! -f "$tmp/system.reg" ]; then
    tail -n 20 "$log" >&2
    rm -rf "$tmp"
    _wine_env_fail "wineboot could not make $WINEPREFIX (log: $log)"
    return 1
  fi
  rmdir "$WINEPREFIX" 2>/dev/null
  mv "$tmp" "$WINEPREFIX" || { _wine_env_fail "cannot move the new prefix to $WINEPREFIX"; return 1; }
}

# Makes the prefix once even when several tests start together.
_wine_env_make_prefix_locked() {
  local status=0
  mkdir -p "$(dirname "$WINEPREFIX")" 2>/dev/null
  {
    flock 9
    _wine_env_make_prefix || status=$?
  } 9>"$(dirname "$WINEPREFIX")/.wine-env.lock"
  return "$status"
}

_wine_env_setup() {
  local log out
  _wine_env_defaults
  if [ -z "$_wine_env_wine64" ] || [ -z "$_wine_env_server" ]; then
    _wine_env_fail "Wine is not installed (packages wine wine64 wine32:i386)"
    return 1
  fi
  if [ "${WINE_ENV_SKIP_32BIT:-0}" != 1 ]; then
    _wine_env_check_32bit || return 1
  fi
  _wine_env_make_prefix_locked || return 1

  # A lingering wineserver keeps the prefix's services up between tests.
  # It fails harmlessly when one already runs for this prefix.
  "$_wine_env_server" -p"${WINE_ENV_LINGER:-120}" </dev/null >/dev/null 2>&1 || true

  # The Wine services that the first program starts keep its stderr open
  # until the wineserver exits: stderr goes to a file, never to a pipe.
  log="$(dirname "$WINEPREFIX")/wine-check.log"
  out=$(DISPLAY='' timeout 120 "$_wine_env_wine64" cmd.exe /c echo wine64-ok 2>"$log" </dev/null | tr -d '\r')
  case "$out" in
    *wine64-ok*) ;;
    *) _wine_env_fail "64-bit Wine does not start in $WINEPREFIX: $out $(tail -n 5 "$log")"; return 1 ;;
  esac
  if [ "${WINE_ENV_SKIP_32BIT:-0}" != 1 ]; then
    out=$(DISPLAY='' timeout 120 wine 'C:\windows\syswow64\cmd.exe' /c echo wine32-ok 2>"$log" </dev/null | tr -d '\r')
    case "$out" in
      *wine32-ok*) ;;
      *) _wine_env_fail "32-bit Wine does not start in $WINEPREFIX: $out $(tail -n 5 "$log")"; return 1 ;;
    esac
  fi
  return 0
}

if (return 0 2>/dev/null); then
  # Sourced.
  _wine_env_status=0
  _wine_env_setup || _wine_env_status=$?
  if [ "$_wine_env_status" -ne 0 ]; then
    unset _wine_env_status
    return 1
  fi
  unset _wine_env_status
else
  case "${1:-check}" in
    run)
      shift
      _wine_env_defaults
      if [ "${WINE_ENV_SKIP_32BIT:-0}" != 1 ] && ! _wine_env_i386_runs; then
        _wine_env_check_32bit >&2 || exit 1
      fi
      if [ ! -f "$WINEPREFIX/system.reg" ]; then
        _wine_env_make_prefix_locked >&2 || exit 1
      fi
      exec "$@"
      ;;
    check)
      _wine_env_setup || exit 1
      ;;
    *)
      echo "usage: . scripts/wine-env.sh | scripts/wine-env.sh [check] | scripts/wine-env.sh run CMD [ARGS...]" >&2
      exit 2
      ;;
  esac
fi
