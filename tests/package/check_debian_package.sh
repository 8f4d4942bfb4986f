#!/usr/bin/env bash
# Checks the Debian package as a Linux user gets it, without installing it:
#
#   tests/package/check_debian_package.sh BUILD_DIR VERSION ROOT
#
# Makes the package with CPack's DEB generator from BUILD_DIR (what
# `cpack -G DEB` in the build folder does) into a scratch folder, then checks:
#   - its file name, drez-host_VERSION_<dpkg's architecture>.deb;
#   - its metadata (dpkg-deb --info): package, version, architecture,
#     maintainer, section, a description, and dependencies that name the C
#     and C++ runtimes;
#   - what it installs under /usr: drez-host, its default panel library and
#     data files, the framework's headers, static libraries and CMake
#     package, the guide, drez-host's manual and the examples;
#   - unpacked with dpkg -x into ROOT (emptied first): ROOT/usr/bin/drez-host
#     plays its demo with ROOT/usr/lib/libVantrel.so as its default panel
#     library, and reads its data files from ROOT/usr/share/drez-host;
#   - lintian's errors, where lintian is installed.
# ROOT stays for the projects built against it (package.debian_project).
# On a failure it prints what went wrong with the output of the command and
# exits 1; a wrong call exits 2.
set -euo pipefail

fail() {
  echo "check_debian_package: FAILED: $*" >&2
  exit 1
}
# show FILE: a command's output, framed, on stderr.
show() {
  echo "---- $1" >&2
  cat "$1" >&2
  echo "---- end of $1" >&2
}

[ $# -eq 3 ] || {
  echo "usage: $0 BUILD_DIR VERSION ROOT" >&2
  exit 2
}
build=$(realpath -e "$1") || fail "no build folder '$1'"
version=$2
root=$3
for tool in cpack dpkg-deb dpkg; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
arch=$(dpkg --print-architecture)

work=$(mktemp -d "${TMPDIR:-/tmp}/drez-deb.XXXXXX")
trap 'status=$?; if [ "$status" -eq 0 ]; then rm -rf "$work"; else
  echo "check_debian_package: the package is kept in $work" >&2; fi' EXIT

# ---- The package, made as the package target makes it.
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1; then
  show "$work/cpack.log"
  fail "cpack -G DEB"
fi
deb=$work/drez-host_${version}_$arch.deb
if [ ! -f "$deb" ]; then
  show "$work/cpack.log"
  fail "cpack made no $(basename "$deb"): $(cd "$work" && ls -- *.deb 2>/dev/null || echo none)"
fi

# ---- Its metadata.
dpkg-deb --info "$deb" >"$work/info"
field() { dpkg-deb --field "$deb" "$1"; }
expect_field() {
  local value
  value=$(field "$1")
  [[ $value =~ $2 ]] || {
    show "$work/info"
    fail "field $1 is '$value', not matching '$2'"
  }
}
expect_field Package '^drez-host$'
expect_field Version "^${version//./\\.}\$"
expect_field Architecture "^$arch\$"
expect_field Maintainer '^.+ <.+@.+>$'
expect_field Section '^devel$'
expect_field Description '^simulated panel host'
expect_field Depends '(^|, )libc6( |,|$)'
expect_field Depends '(^|, )libstdc\+\+6( |,|$)'

# ---- What it installs under /usr.
dpkg-deb --contents "$deb" | awk '{ print $NF }' | sed 's|^\./|/|' >"$work/contents"
required=(
  /usr/bin/drez-host /usr/lib/libVantrel.so
  /usr/share/drez-host/studio_a.scn /usr/share/drez-host/demo.scn
  /usr/include/drez/drez_script_helper.h /usr/include/drez/drez_export.h
  /usr/lib/libdrez_script_helper.a /usr/lib/libdrez_string.a /usr/lib/libdrez_abi.a
  /usr/lib/cmake/drez_script_helper/drez_script_helperConfig.cmake
  /usr/lib/cmake/drez_script_helper/DrezPanelTest.cmake
  /usr/share/doc/drez-host/docs/panel_authors.md /usr/share/doc/drez-host/drez_host/README.md
  /usr/share/doc/drez-host/examples/newsroom_panel/CMakeLists.txt
)
for file in "${required[@]}"; do
  grep -qx -- "$file" "$work/contents" || {
    show "$work/contents"
    fail "the package does not install $file"
  }
done
if grep -Ev '^/usr(/|$)' "$work/contents" >"$work/outside"; then
  show "$work/outside"
  fail "the package installs files outside /usr"
fi

# ---- Unpacked into a scratch root, drez-host runs from it.
rm -rf "$root"
mkdir -p "$root"
dpkg -x "$deb" "$root"
run_demo() {
  local status=0
  env -u DREZ_HOST_SCRIPT "$root/usr/bin/drez-host" >"$work/$1.log" 2>&1 </dev/null || status=$?
  if [ "$status" -ne 0 ] || ! grep -q "^==== $2" "$work/$1.log"; then
    show "$work/$1.log"
    fail "$1: $root/usr/bin/drez-host exited $status, or without '==== $2'"
  fi
}
run_demo demo PASSED
grep -qx "drez-host: panel library $root/usr/lib/libVantrel.so" "$work/demo.log" || {
  show "$work/demo.log"
  fail "demo: the default panel library is not $root/usr/lib/libVantrel.so"
}
# drez-host reads the demo from /usr/share/drez-host, not its built-in copy.
heading="the demo of the package's share/drez-host/demo.scn"
echo "say $heading" >"$root/usr/share/drez-host/demo.scn"
run_demo data-files "$heading\$"

# ---- lintian, where it is installed (it is not part of the build's
# dependencies: it brings some 150 packages).
if command -v lintian >/dev/null; then
  if ! lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1; then
    show "$work/lintian.log"
    fail "lintian found errors"
  fi
fi

echo "check_debian_package: $(basename "$deb") passed: its metadata, $(wc -l <"$work/contents")" \
  "entries under /usr, drez-host run from a dpkg -x of it with its default panel and data files"
