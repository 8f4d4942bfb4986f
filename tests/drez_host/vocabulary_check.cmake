# The host's command codes are spelled in abi/drez_commands.h alone: fails,
# naming each line, when a source of drez-host, the capture or the tap
# spells one outside a comment line. The manual's contributors' section
# gives the same check as a grep.
#
#   cmake -DROOT=<source folder> -P vocabulary_check.cmake

set(codes "PS|TP|TG|SD|XI|GS|IR|IU|IP|RR|RU|RP|ET|AS")
file(GLOB_RECURSE files
  ${ROOT}/drez_host/*.cpp ${ROOT}/drez_host/*.h
  ${ROOT}/capture/*.cpp ${ROOT}/capture/*.h
  ${ROOT}/drez_tap/*.cpp ${ROOT}/drez_tap/*.h)
if(NOT files)
  message(FATAL_ERROR "no sources under ${ROOT}: give -DROOT=<source folder>")
endif()
set(found "")
foreach(file IN LISTS files)
  file(READ ${file} text)
  # Lines as a list: list separators and brackets out of the way first.
  string(REGEX REPLACE "[][;]" " " text "${text}")
  string(REGEX MATCHALL "[^\n]*\n|[^\n]+$" lines "${text}")
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(line MATCHES "^[ \t]*//")
      continue()
    endif()
    if(line MATCHES "(^|[^A-Za-z0-9_])(${codes})([^A-Za-z0-9_]|$)")
      file(RELATIVE_PATH shown ${ROOT} ${file})
      string(STRIP "${line}" line)
      string(APPEND found "\n  ${shown}:${number}: ${line}")
    endif()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "command codes spelled outside abi/drez_commands.h:${found}")
endif()
list(LENGTH files count)
message(STATUS "${count} sources spell no command code")
