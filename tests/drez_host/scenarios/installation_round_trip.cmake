# What --print-installation writes reads back with --installation:
#
#   cmake -DFILE=<file> -DEXPECT=<regex> -P installation_round_trip.cmake -- <drez-host job...>
#
# Runs the job with --print-installation, keeps its standard output (and
# nothing else) in FILE, which must match EXPECT, then runs the job again
# with --installation FILE, which must pass (exit 0).
set(script_name installation_round_trip.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/../../../test_support/command_after_separator.cmake)

execute_process(COMMAND ${command} --print-installation RESULT_VARIABLE code
  OUTPUT_FILE "${FILE}" ERROR_VARIABLE messages)
file(READ "${FILE}" printed)
message("${printed}${messages}")
if(NOT code EQUAL 0)
  message(FATAL_ERROR "--print-installation: exit status ${code}")
endif()
if(NOT printed MATCHES "${EXPECT}")
  message(FATAL_ERROR "the installation printed does not match: ${EXPECT}")
endif()
execute_process(COMMAND ${command} --installation "${FILE}" RESULT_VARIABLE code
  OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("${out}")
if(NOT code EQUAL 0)
  message(FATAL_ERROR "--installation ${FILE}: exit status ${code}, expected 0")
endif()
