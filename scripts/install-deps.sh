#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian machine, and
# only what is missing. Safe to run again. Needs root (or sudo).
#
#   scripts/install-deps.sh [group...]   groups: base (default), format,
#                                         bench, sanitizers, fuzz, cross, browser
set -euo pipefail

missing_packages() {
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      echo "$package"
  done
}

apt_install() {
  local missing
  missing=$(missing_packages "$@")
  [ -z "$missing" ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "installing: $missing"
  $sudo apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}

# The cross builds: MinGW-w64 (posix threads) for the Windows DLL, run under
# Wine, and g++-multilib for the -m32 build; pefile reads the DLL's export
# table and version record back; clang, lld and llvm build the test host with
# Microsoft's C++ ABI (tests/msvc_abi_host). Some kernels run no 32-bit code at all:
# there qemu-i386 runs it (scripts/wine-env.sh registers it), and Debian 12's
# qemu 7.2 crashes 32-bit Wine programs whose threads contend, so qemu comes
# from the release's backports.
install_cross() {
  local sudo="" qemu_version codename uri list=/etc/apt/sources.list.d/backports.sources
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
  fi
  # wine32-preloader: without it each 32-bit program under qemu takes a minute to start.
  apt_install g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix g++-multilib \
    wine wine64 wine32:i386 wine32-preloader:i386 python3-pefile clang lld llvm

  qemu_version=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null || true)
  if [ -z "$qemu_version" ] || dpkg --compare-versions "$qemu_version" lt 1:8; then
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    if ! grep -rqs -- "$codename-backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then
      # The same mirror as the release's own packages.
      uri=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
      [ -n "$uri" ] || uri=$(awk '$1 == "deb" && $2 !~ /security/ { print $2; exit }' /etc/apt/sources.list)
      printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$uri" "$codename" | $sudo tee "$list" >/dev/null
    fi
    echo "installing: qemu-user-static from $codename-backports"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
      -t "$codename-backports" qemu-user-static
    # A binfmt entry keeps the qemu it was registered with open: drop it, so
    # that scripts/wine-env.sh registers the new one.
    if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
      echo -1 | $sudo tee /proc/sys/fs/binfmt_misc/qemu-i386 >/dev/null
    fi
  fi
}

groups=("$@")
[ ${#groups[@]} -eq 0 ] && groups=(base)
for group in "${groups[@]}"; do
  case "$group" in
    # drez-host serve needs cpp-httplib (found through pkg-config) and nlohmann-json;
    # drez-host -i edits its lines with libedit; the Debian package's
    # dependencies come from dpkg-shlibdeps (dpkg-dev), which needs file.
    base) apt_install g++ cmake ninja-build libgtest-dev libgmock-dev libcli11-dev python3 pkgconf \
      libcpp-httplib-dev nlohmann-json3-dev libedit-dev dpkg-dev file ;;
    # The format and clang-tidy checks.
    format) apt_install clang-format clang-tidy git ;;
    # The per-event benchmarks (scripts/bench.sh).
    bench) apt_install libbenchmark-dev ;;
    # The sanitizer builds (g++ runtimes) and valgrind memcheck.
    sanitizers) apt_install libasan8 liblsan0 libubsan1 valgrind ;;
    # The libFuzzer targets: clang, its sanitizer and libFuzzer runtimes, and
    # llvm-symbolizer for readable crash reports.
    fuzz) apt_install clang libclang-rt-dev llvm ;;
    # The -m32 Linux build and the Windows builds run under Wine.
    cross) install_cross ;;
    # drez-host serve's page in a real browser: headless Chromium driven by Selenium.
    browser) apt_install chromium chromium-driver python3-selenium ;;
    *)
      echo "install-deps.sh: unknown group '$group'" >&2
      exit 2
      ;;
  esac
done
