#!/usr/bin/env bash
# Checks the Windows bundle as a panel author gets it:
#
#   tests/package/check_windows_bundle.sh ZIP ARCH     ARCH: i686 or x86_64
#
# Unpacks ZIP (cmake --build --preset windows-ARCH --target package) into an
# empty folder of its own, checks SHA256SUMS there (every file listed, every
# listed file unchanged), checks what the bundle holds (what an author needs,
# nothing of the tests, every program and DLL built for ARCH), and then runs,
# under Wine from the bundle's folder:
#   bin/drez-host.exe                             the demo: exit 0, "==== PASSED",
#                                                 with bin/Vantrel.dll as the default
#   bin/drez-host.exe validate --script bin/Vantrel.dll
#   bin/drez-host.exe validate --script examples/msvc_abi_panel/msvc_abi_panel.dll
#                                                 exit 0, every check passed
#   bin/drez-host.exe --script examples/msvc_abi_panel/msvc_abi_panel.dll
#                     examples/msvc_abi_panel/newsroom.scn
#                                                 exit 0, "==== PASSED"
#   bin/drez-host.exe with a demo.scn of its own  its heading: the data files
#                                                 are read from share/drez-host
# and builds, from the bundle alone, what its READMEs say an author builds:
#   examples/msvc_abi_panel/ by hand             the commands of its README.md
#                                                 for ARCH, run in its folder with
#                                                 clang-cl, llvm-dlltool and
#                                                 lld-link only; the DLL validated
#   examples/msvc_abi_panel/ with CMake           cmake/toolchains/clang-msvc-ARCH.cmake;
#                                                 the DLL validated
#   examples/newsroom_panel/ with MinGW           cmake/toolchains/mingw-ARCH.cmake
#                                                 and the bundle's package, found
#                                                 with no prefix; its tests
#                                                 (drez_add_panel_test) pass under
#                                                 Wine with bin/drez-host.exe
# Needs Wine ready (. scripts/wine-env.sh, as scripts/stages/windows.sh does),
# clang, lld, llvm and the posix MinGW-w64 compilers (scripts/install-deps.sh
# cross). On a failure it prints what went wrong with the output of the
# command, keeps the unpacked bundle and exits 1; a wrong call exits 2.
set -euo pipefail

usage() {
  echo "usage: $0 ZIP ARCH   (ARCH: i686 or x86_64)" >&2
  exit 2
}
fail() {
  echo "check_windows_bundle: FAILED ($arch): $*" >&2
  exit 1
}
# show FILE: a command's output, framed, on stderr.
show() {
  echo "---- $1" >&2
  cat "$1" >&2
  echo "---- end of $1" >&2
}

[ $# -eq 2 ] || usage
arch=$2
# The PE machine field of every program and DLL, and the Wine loader, as
# cmake/toolchains/mingw-*.cmake and scripts/wine-env.sh choose it.
case "$arch" in
  i686)
    machine=014c
    wine=$(command -v wine) || fail "wine is not installed"
    ;;
  x86_64)
    machine=8664
    wine=$(command -v /usr/lib/wine/wine64 wine64 | head -n 1)
    [ -n "$wine" ] || fail "wine64 is not installed"
    export WINE_ENV_SKIP_32BIT=1
    ;;
  *) usage ;;
esac
zip=$(realpath -e "$1" 2>/dev/null) || fail "no bundle '$1'"
name=$(basename "$zip" .zip)
[[ $name == drez-host-*-windows-$arch ]] || fail "'$zip' is not named drez-host-VERSION-windows-$arch.zip"
repo=$(cd "$(dirname "$0")/../.." && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/drez-bundle-$arch.XXXXXX")
trap 'status=$?; if [ "$status" -eq 0 ]; then rm -rf "$work"; else
  echo "check_windows_bundle: the unpacked bundle is kept in $work" >&2; fi' EXIT

# ---- Unpacked into an empty folder: one top folder named as the zip.
(cd "$work" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
top=$(ls -A "$work")
[ "$top" = "$name" ] || fail "the zip must hold one folder, $name, not: $top"
bundle=$work/$name
logs=$work/logs
mkdir "$logs"
cd "$bundle"

# ---- SHA256SUMS: every listed file unchanged, and every file listed.
[ -f SHA256SUMS ] || fail "the bundle has no SHA256SUMS"
if ! sha256sum -c --strict --quiet SHA256SUMS >"$logs/sha256sum.log" 2>&1; then
  show "$logs/sha256sum.log"
  fail "sha256sum -c SHA256SUMS"
fi
LC_ALL=C sed 's/^[0-9a-f]\{64\}  //' SHA256SUMS | LC_ALL=C sort >"$logs/listed"
find . -type f ! -path ./SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort >"$logs/present"
if ! diff "$logs/listed" "$logs/present" >"$logs/listed.diff"; then
  show "$logs/listed.diff"
  fail "SHA256SUMS does not list exactly the bundle's files (< listed only, > present only)"
fi

# ---- What the bundle holds.
required=(
  bin/drez-host.exe bin/Vantrel.dll
  share/drez-host/studio_a.scn share/drez-host/demo.scn
  README.md drez_host/README.md
  include/drez/drez_abi.h include/drez/drez_client_callback.h include/drez/drez_client_host.h
  include/drez/drez_commands.h include/drez/drez_export.h include/drez/drez_records.h
  include/drez/drez_script_helper.h include/drez/drez_string.h
  lib/libdrez_abi.a lib/libdrez_string.a lib/libdrez_script_helper.a
  lib/cmake/drez_script_helper/drez_script_helperConfig.cmake
  lib/cmake/drez_script_helper/drez_script_helperConfigVersion.cmake
  lib/cmake/drez_script_helper/drez_script_helperTargets.cmake
  lib/cmake/drez_script_helper/DrezPanelScript.cmake
  examples/msvc_abi_panel/msvc_abi_panel.dll examples/msvc_abi_panel/msvc_abi_panel.cpp
  examples/msvc_abi_panel/freestanding_runtime.h examples/msvc_abi_panel/kernel32.def
  examples/msvc_abi_panel/kernel32_x86_64.def examples/msvc_abi_panel/newsroom.scn
  examples/msvc_abi_panel/README.md examples/msvc_abi_panel/CMakeLists.txt
  examples/hello_panel/CMakeLists.txt examples/newsroom_panel/CMakeLists.txt
  examples/newsroom_panel/newsroom_scenario.scn
  "cmake/toolchains/mingw-$arch.cmake" cmake/toolchains/mingw-common.cmake
  "cmake/toolchains/clang-msvc-$arch.cmake" cmake/toolchains/clang-msvc-common.cmake
  lib/cmake/drez_script_helper/DrezPanelTest.cmake
  bin/drez_tap.dll drez_tap/README.md docs/panel_authors.md docs/capture_format.md
)
for file in "${required[@]}"; do
  [ -f "$file" ] || fail "the bundle lacks $file"
done

# The 2 bytes at the offset that the MZ header's word at 0x3c names, plus 4
# ("PE\0\0" before them): the machine the program was built for.
pe_machine() {
  local offset
  [ "$(head -c 2 "$1")" = MZ ] || return 0
  offset=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
  od -An -tx2 -j $((offset + 4)) -N 2 "$1" | tr -d ' '
}

# Programs and libraries only these, each built for ARCH; nothing a test
# build installs, nothing native.
while IFS= read -r file; do
  case "$file" in
    *gtest* | *gmock* | *benchmark* | *_test*) fail "a test file leaked into the bundle: $file" ;;
    bin/drez-host.exe | bin/Vantrel.dll | examples/msvc_abi_panel/msvc_abi_panel.dll) ;;
    # The recording panel library and the tool that reads its captures,
    # where they are built (MinGW names a shared library without PREFIX ""
    # lib*.dll).
    bin/drez_tap.dll | bin/libdrez_tap.dll | bin/capture_check.exe) ;;
    lib/libdrez_abi.a | lib/libdrez_string.a | lib/libdrez_script_helper.a) ;;
    *.exe | *.dll | *.a | *.lib | *.pdb | *.so | *.so.* | *.dylib)
      fail "a program or library that no panel author needs: $file" ;;
  esac
  if [ "$(head -c 4 "$file" | od -An -tx1 | tr -d ' ')" = 7f454c46 ]; then
    fail "a native Linux (ELF) file in the Windows bundle: $file"
  fi
  case "$file" in
    *.exe | *.dll)
      found=$(pe_machine "$file")
      [ "$found" = "$machine" ] || fail "$file is built for PE machine '${found:-none}', not $arch ($machine)"
      ;;
  esac
done <"$logs/present"

# ---- Under Wine, from the bundle's folder, as an author runs it.
# run_drez_host LABEL STATUS ARG...: runs bin/drez-host.exe ARG... and fails,
# showing its output, unless it exits with STATUS. The output goes to a file,
# never a pipe (the Wine services the first program starts keep its stderr
# open), without the CRs of Windows' text mode: $output names it.
run_drez_host() {
  local label=$1 expected=$2 status=0
  shift 2
  output=$logs/$label.log
  timeout 600 env -u DREZ_HOST_SCRIPT bash "$repo/scripts/wine-env.sh" run "$wine" bin/drez-host.exe "$@" \
    >"$output.raw" 2>&1 </dev/null || status=$?
  tr -d '\r' <"$output.raw" >"$output"
  if [ "$status" -ne "$expected" ]; then
    show "$output"
    fail "$label: bin/drez-host.exe $*: exit status $status, expected $expected"
  fi
}
# expect_line LABEL REGEX: the output of the last run has a line matching REGEX.
expect_line() {
  if ! grep -Eq -- "$2" "$output"; then
    show "$output"
    fail "$1: no line matches '$2'"
  fi
}
# expect_all_checks_passed LABEL: validate's summary "==== N checks: P passed,
# [S skipped, ]0 failed, 0 bad input, 0 crashed or hung" with P + S equal to N,
# P not 0 (a check skips, saying why, where a panel offers nothing to reach).
expect_all_checks_passed() {
  local summary checks passed skipped
  summary=$(sed -n 's/^==== \([0-9][0-9]*\) checks: \([0-9][0-9]*\) passed, \(\([0-9][0-9]*\) skipped, \)\{0,1\}0 failed, 0 bad input, 0 crashed or hung$/\1 \2 \4/p' "$output" | tail -n 1)
  read -r checks passed skipped <<<"$summary" || true
  if [ -z "$summary" ] || [ "$passed" -eq 0 ] || [ $((passed + ${skipped:-0})) -ne "$checks" ]; then
    show "$output"
    fail "$1: the summary must read '==== N checks: P passed, [S skipped, ]0 failed, ...' with P + S = N, P > 0"
  fi
  echo "check_windows_bundle ($arch): $1: $passed of $checks checks passed"
}

run_drez_host demo 0
expect_line demo '^==== PASSED'
# The default panel library is the one beside drez-host.exe in this bundle.
library=$(sed -n 's/^drez-host: panel library //p' "$output" | head -n 1)
if [[ $library != *"\\$name\\bin\\Vantrel.dll" ]]; then
  show "$output"
  fail "demo: the default panel library is '$library', not $name\\bin\\Vantrel.dll"
fi

run_drez_host validate-vantrel 0 validate --script bin/Vantrel.dll
expect_all_checks_passed validate-vantrel
msvc=examples/msvc_abi_panel
run_drez_host validate-msvc-panel 0 validate --script $msvc/msvc_abi_panel.dll
expect_all_checks_passed validate-msvc-panel
run_drez_host newsroom 0 --script $msvc/msvc_abi_panel.dll $msvc/newsroom.scn
expect_line newsroom '^==== PASSED'

# ---- What an author builds from the bundle alone.
builds_started=$SECONDS
# build LABEL DIR COMMAND...: runs COMMAND in DIR, its output in a log shown
# on a failure.
build() {
  local label=$1 dir=$2
  shift 2
  if ! (cd "$dir" && "$@") >"$logs/$label.log" 2>&1; then
    show "$logs/$label.log"
    fail "$label: $*"
  fi
}
# The tools of the MSVC-ABI route only: clang as clang-cl (what its README
# says `clang --driver-mode=cl` is), lld-link and llvm-dlltool.
tools=$work/tools
mkdir "$tools"
for tool in clang lld-link llvm-dlltool; do
  # The plain name, or Debian's versioned one (lld-link-14).
  found=$(command -v "$tool" || true)
  if [ -z "$found" ]; then
    for versioned in /usr/bin/"$tool"-[0-9]*; do
      [ -x "$versioned" ] && found=$versioned && break
    done
  fi
  [ -n "$found" ] || fail "$tool is not installed (scripts/install-deps.sh cross)"
  ln -s "$found" "$tools/$tool"
done
ln -s "$tools/clang" "$tools/clang-cl"
# The README's commands for ARCH, as written: the fenced block after its
# "<!-- build ARCH -->" line, which then rebuilds the DLL in place.
sed -n "/^<!-- build $arch -->\$/,/^\`\`\`\$/p" $msvc/README.md | sed '1,2d;$d' >"$logs/msvc-by-hand.sh"
[ -s "$logs/msvc-by-hand.sh" ] || fail "$msvc/README.md has no build commands for $arch"
rm $msvc/msvc_abi_panel.dll
build msvc-by-hand $msvc env PATH="$tools:/usr/bin:/bin" bash -eu "$logs/msvc-by-hand.sh"
[ -f $msvc/msvc_abi_panel.dll ] || fail "the commands of $msvc/README.md made no msvc_abi_panel.dll"
run_drez_host validate-msvc-by-hand 0 validate --script $msvc/msvc_abi_panel.dll
expect_all_checks_passed validate-msvc-by-hand

# The same with CMake and the bundle's clang-msvc toolchain file.
build msvc-cmake "$bundle" env PATH="$tools:$PATH" cmake -S $msvc -B $msvc/build -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$bundle/cmake/toolchains/clang-msvc-$arch.cmake"
build msvc-cmake-build "$bundle" cmake --build $msvc/build
run_drez_host validate-msvc-cmake 0 validate --script $msvc/build/msvc_abi_panel.dll
expect_all_checks_passed validate-msvc-cmake

# A framework panel with MinGW: the bundle's toolchain file, and its package
# found with no prefix given; its drez_add_panel_test tests run the bundle's
# drez-host.exe under Wine.
newsroom=$bundle/examples/newsroom_panel
build mingw-newsroom "$bundle" cmake -S "$newsroom" -B "$work/newsroom" -G Ninja \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$bundle/cmake/toolchains/mingw-$arch.cmake"
grep -q "^drez_script_helper_DIR:PATH=$bundle/lib/cmake/drez_script_helper\$" \
  "$work/newsroom/CMakeCache.txt" || fail "mingw-newsroom: the package found is not the bundle's"
build mingw-newsroom-build "$bundle" cmake --build "$work/newsroom"
build mingw-newsroom-tests "$bundle" ctest --test-dir "$work/newsroom" --output-on-failure \
  --timeout 900
for test in scenario.newsroom_scenario validate monkey; do
  grep -Eq "Test +#[0-9]+: NewsroomPanel\.$test \.+ +Passed" "$logs/mingw-newsroom-tests.log" || {
    show "$logs/mingw-newsroom-tests.log"
    fail "mingw-newsroom-tests: NewsroomPanel.$test did not pass"
  }
done
builds_took=$((SECONDS - builds_started))

# drez-host.exe reads its data files from the bundle, not its built-in
# copies: a demo.scn of one heading is what it plays. (Last: it changes a
# file that SHA256SUMS lists.)
heading="the demo of this bundle's share/drez-host/demo.scn"
echo "say $heading" >share/drez-host/demo.scn
run_drez_host data-files 0
expect_line data-files "^==== $heading\$"

echo "check_windows_bundle ($arch): $name.zip passed: $(wc -l <"$logs/present") files and SHA256SUMS," \
  "the demo, validate of Vantrel.dll and msvc_abi_panel.dll, newsroom.scn, the data files;" \
  "msvc_abi_panel built by hand and with CMake and validated, newsroom_panel built with MinGW" \
  "and its tests passed (the builds and their runs: ${builds_took} s of ${SECONDS} s)"
