# drez-host as the tap's host: every check of validate through the tap, and
# each capture that leaves replayed; and a tap whose script= names itself.
#
#   cmake -DDREZ_HOST=<drez-host> -DWORK=<folder> -DTAP=<tap library>
#         -DTAP_NAME=<its name there> -DREAL=<panel library>
#         -DREAL_NAME=<its name there> [-DEMULATOR=<a|b|c>]
#         -P validate_through_tap.cmake
#
# Through the tap every check passes as without it, one capture per check
# (each runs in a process of its own), validate's script without a host
# among them (host=0), and each replays with no difference. With script=
# naming the tap itself, drez-host is served null at every check: it says
# so and fails them, and nothing crashes.
cmake_minimum_required(VERSION 3.25)

foreach(required DREZ_HOST WORK TAP TAP_NAME REAL REAL_NAME)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "validate_through_tap.cmake: ${required} is not set")
  endif()
endforeach()
string(REPLACE "|" ";" emulator "${EMULATOR}")
string(REGEX REPLACE "\\.[^.]*$" ".tap.ini" ini "${TAP_NAME}")

# Through the tap.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/recorded" "${WORK}/itself")
file(COPY_FILE "${TAP}" "${WORK}/recorded/${TAP_NAME}")
file(COPY_FILE "${REAL}" "${WORK}/recorded/${REAL_NAME}")
file(WRITE "${WORK}/recorded/${ini}" "script=${REAL_NAME}\ncapture=checks/check-%p.capture\n")
execute_process(COMMAND ${emulator} "${DREZ_HOST}" validate --script "${WORK}/recorded/${TAP_NAME}"
  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("---- validate through the tap\n${out}---- exit status ${code}")
if(NOT code EQUAL 0)
  message(FATAL_ERROR "validate through the tap exited with ${code}, not 0")
endif()
file(GLOB captures "${WORK}/recorded/checks/*.capture")
list(LENGTH captures count)
if(count LESS 10)
  message(FATAL_ERROR "validate through the tap left ${count} captures, not one per check")
endif()
set(without_host 0)
foreach(capture IN LISTS captures)
  file(STRINGS "${capture}" lines REGEX " export .* host=0$")
  if(lines)
    math(EXPR without_host "${without_host} + 1")
  endif()
  execute_process(COMMAND ${emulator} "${DREZ_HOST}" replay --quiet
      --script "${WORK}/recorded/${REAL_NAME}" "${capture}"
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT code EQUAL 0 OR NOT out MATCHES " 0 differences")
    message(FATAL_ERROR "the replay of ${capture} exited with ${code}:\n${out}")
  endif()
endforeach()
if(NOT without_host EQUAL 1)
  message(FATAL_ERROR "${without_host} captures hold an export without a host, not 1")
endif()
message("${count} captures replayed")

# A tap that names itself.
file(COPY_FILE "${TAP}" "${WORK}/itself/${TAP_NAME}")
file(WRITE "${WORK}/itself/${ini}" "script=${TAP_NAME}\ncapture=c.capture\n")
execute_process(COMMAND ${emulator} "${DREZ_HOST}" validate --script "${WORK}/itself/${TAP_NAME}"
  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("---- validate of a tap that names itself\n${out}---- exit status ${code}")
if(NOT code EQUAL 1 OR NOT out MATCHES "the export returned null" OR out MATCHES "crashed: [1-9]")
  message(FATAL_ERROR "a tap that names itself: exit status ${code}, not 1 with every check refused")
endif()
if(EXISTS "${WORK}/itself/c.capture")
  message(FATAL_ERROR "a tap that names itself made a capture")
endif()
