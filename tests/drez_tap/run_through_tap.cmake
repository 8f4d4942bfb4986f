# Puts the tap in front of a real panel library in a folder of its own, runs
# a host on it, and checks the capture it leaves:
#
#   cmake -DWORK=<folder> -DTAP=<tap library> -DTAP_NAME=<its name there>
#         -DREAL=<panel library> -DREAL_NAME=<its name there>
#         -DCAPTURE_CHECK=<capture_check> -DEXPECTED_COUNTS=<file>
#         [-DEXPECTED_EXIT=<status, default 0>] [-DEMULATOR=<a|b|c>]
#         -P run_through_tap.cmake -- <host command>...
#
# The folder is made anew with the two libraries and the tap's .tap.ini
# (script=REAL_NAME, capture=tap.capture). In the host command, @TAP@
# stands for the tap's path there. The host must exit with EXPECTED_EXIT;
# then capture_check (under EMULATOR, '|' between its words) reads
# tap.capture, and what it prints must be EXPECTED_COUNTS (with the number
# of NUL bytes a dead host left written N).
cmake_minimum_required(VERSION 3.25)

set(script_name run_through_tap.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/../../test_support/command_after_separator.cmake)
foreach(required WORK TAP TAP_NAME REAL REAL_NAME CAPTURE_CHECK EXPECTED_COUNTS)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "run_through_tap.cmake: ${required} is not set")
  endif()
endforeach()
if(NOT DEFINED EXPECTED_EXIT)
  set(EXPECTED_EXIT 0)
endif()
string(REPLACE "|" ";" emulator "${EMULATOR}")

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(COPY_FILE "${TAP}" "${WORK}/${TAP_NAME}")
file(COPY_FILE "${REAL}" "${WORK}/${REAL_NAME}")
string(REGEX REPLACE "\\.[^.]*$" ".tap.ini" ini "${TAP_NAME}")
file(WRITE "${WORK}/${ini}" "# written by run_through_tap.cmake\nscript=${REAL_NAME}\ncapture=tap.capture\n")

string(REPLACE "@TAP@" "${WORK}/${TAP_NAME}" command "${command}")
execute_process(COMMAND ${command} RESULT_VARIABLE code OUTPUT_VARIABLE output ERROR_VARIABLE errors)
message("---- host\n${output}---- its standard error\n${errors}---- exit status ${code}")
if(NOT "${code}" STREQUAL "${EXPECTED_EXIT}")
  message(FATAL_ERROR "the host exited with ${code}, not ${EXPECTED_EXIT}")
endif()

if(NOT EXISTS "${WORK}/tap.capture")
  message(FATAL_ERROR "the tap made no capture ${WORK}/tap.capture")
endif()
execute_process(COMMAND ${emulator} "${CAPTURE_CHECK}" "${WORK}/tap.capture"
  RESULT_VARIABLE code OUTPUT_VARIABLE counts ERROR_VARIABLE errors)
string(REPLACE "\r\n" "\n" counts "${counts}")
string(REPLACE "${WORK}/" "" counts "${counts}")
# How much room a dead host left unused depends on the lengths of times.
string(REGEX REPLACE "then [0-9]+ NUL bytes" "then N NUL bytes" counts "${counts}")
message("---- capture_check\n${counts}${errors}----")
if(NOT "${code}" STREQUAL "0")
  message(FATAL_ERROR "capture_check could not read the capture (exit status ${code})")
endif()
file(READ "${EXPECTED_COUNTS}" expected)
string(REPLACE "\r\n" "\n" expected "${expected}")
if(NOT "${counts}" STREQUAL "${expected}")
  message(FATAL_ERROR "capture_check printed other counts than ${EXPECTED_COUNTS}")
endif()
