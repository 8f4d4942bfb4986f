# Runs a command and checks how it ends:
#
#   cmake -DEXIT_CODE=<n> [-DINPUT=<file>] [-DEXPECT1=<regex> ... -DEXPECT5=<regex>]
#         [-DREJECT=<regex>] [-DREPORT=<file>] [-DPYTHON=<python3>]
#         -P check_run.cmake -- <command> <arguments>...
#
# Passes when the command, reading INPUT (if given) as its standard input,
# exits with EXIT_CODE, its output (standard output and standard error
# together, then the content of REPORT when given) matches every EXPECT<i>,
# and nothing of it matches REJECT. With PYTHON, a REPORT ending in .xml
# must be well-formed XML (expat reads it) and one ending in .json JSON.
set(script_name check_run.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/../../../test_support/command_after_separator.cmake)

set(input)
if(DEFINED INPUT)
  set(input INPUT_FILE "${INPUT}")
endif()
if(DEFINED REPORT)
  file(REMOVE "${REPORT}")
endif()
execute_process(COMMAND ${command} ${input} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(DEFINED REPORT)
  if(NOT EXISTS "${REPORT}")
    message(FATAL_ERROR "no report was written to ${REPORT}")
  endif()
  file(READ "${REPORT}" report)
  string(APPEND out "\n${report}")
  if(DEFINED PYTHON AND REPORT MATCHES "\\.(xml|json)$")
    execute_process(COMMAND "${PYTHON}" -c
      "import sys, json, xml.dom.minidom\nif sys.argv[1].endswith('.xml'): xml.dom.minidom.parse(sys.argv[1])\nelse: json.load(open(sys.argv[1], encoding='utf-8'))"
      "${REPORT}" RESULT_VARIABLE malformed ERROR_VARIABLE why)
    if(NOT malformed EQUAL 0)
      message("${out}")
      message(FATAL_ERROR "the report ${REPORT} is not well-formed: ${why}")
    endif()
  endif()
endif()
message("${out}")
if(NOT "${code}" STREQUAL "${EXIT_CODE}")
  message(FATAL_ERROR "exit status ${code}, expected ${EXIT_CODE}")
endif()
if(DEFINED REJECT AND out MATCHES "${REJECT}")
  message(FATAL_ERROR "the output matches what it must not: ${REJECT}")
endif()
foreach(i RANGE 1 5)
  if(DEFINED EXPECT${i} AND NOT out MATCHES "${EXPECT${i}}")
    message(FATAL_ERROR "the output does not match: ${EXPECT${i}}")
  endif()
endforeach()
