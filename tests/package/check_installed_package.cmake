# Installs the project into a scratch prefix, builds one example panel as an
# outside project would (find_package against that prefix), and runs it in
# drez-host: its scenario, then validate and monkey. Run with cmake -P and:
#   BUILD_DIR     the project's build directory
#   SOURCE_DIR    the project's source directory
#   WORK_DIR      a scratch directory, emptied first
#   DREZ_HOST     the drez-host program under test
#   GENERATOR     the CMake generator to use
#   EXAMPLE       the example's folder under examples/ (hello_panel)
#   LIBRARY       the panel library's target name (HelloPanel)
#   SCENARIO      the example's scenario, a file in its folder
#   INSTALLATION  optional options that give validate and monkey the
#                 example's installation (a CMake list); none: drez-host's
#                 own choice
#   TOOLCHAIN     optional toolchain file for the example's build
#   EMULATOR      optional program that runs drez-host (wine)
#   FUZZER_OPTION optional option of the example that adds its panel fuzzer:
#                 configured with it, the installed drez_add_panel_fuzzer
#                 finds its sources and, unless the compiler is clang, says
#                 that libFuzzer needs clang
foreach(var BUILD_DIR SOURCE_DIR WORK_DIR DREZ_HOST GENERATOR EXAMPLE LIBRARY SCENARIO)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_installed_package: ${var} is not set")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    string(REPLACE ";" " " command "${ARGV}")
    message(FATAL_ERROR "failed (${result}): ${command}\n${out}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
set(example ${SOURCE_DIR}/examples/${EXAMPLE})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

set(configure ${CMAKE_COMMAND} -S ${example} -B ${WORK_DIR}/build
    -G ${GENERATOR} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
if(TOOLCHAIN)
  # A cross toolchain searches packages only under its target's root, so
  # the package is named directly.
  list(APPEND configure -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}
       -Ddrez_script_helper_DIR=${prefix}/lib/cmake/drez_script_helper)
endif()
run(${configure})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)

file(GLOB library ${WORK_DIR}/build/${LIBRARY}.dll ${WORK_DIR}/build/lib${LIBRARY}.so)
if(NOT library)
  message(FATAL_ERROR "the example built no ${LIBRARY} library in ${WORK_DIR}/build")
endif()
run(${EMULATOR} ${DREZ_HOST} --quiet --script ${library} ${example}/${SCENARIO})
# Any panel built with the framework passes every check and survives the
# random events.
run(${EMULATOR} ${DREZ_HOST} validate --script ${library} ${INSTALLATION})
run(${EMULATOR} ${DREZ_HOST} monkey --script ${library} ${INSTALLATION} --events 1000)
message(STATUS "${LIBRARY} built against the installed package, ran, validated: ${library}")

if(FUZZER_OPTION)
  string(REPLACE "${WORK_DIR}/build" "${WORK_DIR}/fuzz" configure_fuzzer "${configure}")
  execute_process(COMMAND ${configure_fuzzer} -D${FUZZER_OPTION}=ON
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0 AND NOT out MATCHES "libFuzzer comes with clang")
    message(FATAL_ERROR "the example's fuzzer did not configure, nor say it needs clang:\n${out}")
  endif()
  message(STATUS "${LIBRARY}'s fuzzer: drez_add_panel_fuzzer found its sources in the package")
endif()
