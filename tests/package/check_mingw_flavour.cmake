# Which MinGW flavours the package's config lets link the static libraries:
# drez_mingw_flavour_fits over a table of the flavour the libraries were
# built with, the project's, and the answer. Run with cmake -P and:
#   MODULE  cmake/DrezMinGWFlavour.cmake
include(${MODULE})

set(built "GCC 12, posix threads, dwarf2 exceptions")
# Each row: the project's flavour ("-": none, a compiler that is not MinGW's
# GCC), then TRUE or FALSE; rows separated by "|".
set(rows
  "GCC 12, posix threads, dwarf2 exceptions" TRUE "|"
  "GCC 14, posix threads, dwarf2 exceptions" TRUE "|"
  "GCC 11, posix threads, dwarf2 exceptions" FALSE "|"
  "GCC 12, win32 threads, dwarf2 exceptions" FALSE "|"
  "GCC 12, mcf threads, dwarf2 exceptions" FALSE "|"
  "GCC 12, posix threads, sjlj exceptions" FALSE "|"
  "GCC 12, posix threads, seh exceptions" FALSE "|"
  "-" FALSE "|"
  "Clang 16" FALSE)
list(APPEND rows "|")
set(row "")
set(count 0)
foreach(item IN LISTS rows)
  if(NOT item STREQUAL "|")
    list(APPEND row "${item}")
    continue()
  endif()
  list(GET row 0 used)
  list(GET row 1 expected)
  if(used STREQUAL "-")
    set(used "")
  endif()
  drez_mingw_flavour_fits(fits "${built}" "${used}")
  if(NOT fits STREQUAL expected)
    message(FATAL_ERROR "libraries of '${built}' in a project of '${used}': ${fits}, not ${expected}")
  endif()
  math(EXPR count "${count} + 1")
  set(row "")
endforeach()
# Libraries built by no MinGW GCC record no flavour, and fit nothing.
drez_mingw_flavour_fits(fits "" "${built}")
if(fits)
  message(FATAL_ERROR "an empty flavour fits '${built}'")
endif()
message(STATUS "drez_mingw_flavour_fits: ${count} flavours answered as expected")
