# drez_add_panel_fuzzer(<fuzzer target> PANEL <panel target>
#                       [INSTALLATION <file>] [SCENARIOS <file>...])
#
# Builds <fuzzer target>, a libFuzzer program that drives a freshly created
# script of the panel through drez-host's simulated host, input after input:
# slot and route changes, property requests, event ids, control events,
# notifies and changes made from inside the script's own commands, then its
# deletion. It is built with clang from the panel target's own sources and
# compile definitions, together with the framework and the simulated host,
# all with AddressSanitizer and UndefinedBehaviorSanitizer, the panel and the
# framework also with libFuzzer's coverage (-fsanitize=fuzzer-no-link).
#
#   INSTALLATION  the installation file the script runs in (drez-host's
#                 --installation); without it the fuzzer learns one from the
#                 script's own start-up, as drez-host's validate does.
#   SCENARIOS     scenario files whose actions seed the corpus.
#
# A crash, a sanitizer's report, a leak, a breach of the host contract that
# the simulated host reports (a reply kept or released twice, a command after
# teardown, a registration left open, a malformed command), an exception the
# framework caught and dropped, and an input that runs longer than
# drez-host's timeout (5 s) are findings. For each one it keeps, the fuzzer
# writes <input>.scn beside libFuzzer's input: the scenario, made as short as
# it stays failing, that drez-host plays (drez-host --script <the panel>
# <input>.scn). docs/panel_authors.md says how to run it.
#
# Why the sources, and not the package's libraries: libFuzzer steers by the
# coverage of the code it runs, and AddressSanitizer checks only the code
# built with it, so the panel, the framework it calls and the simulated host
# that hands it every byte must all be built by the same clang with that
# instrumentation. The package's libraries are built by whatever compiler
# made the package, without it, and a sanitizer's runtime belongs to one
# compiler version. So the package ships the sources the fuzzer needs (under
# share/drez_script_helper/panel_fuzzer/), and a project builds them once,
# with its own clang, into drez_panel_fuzzer_runtime, which every fuzzer of
# the project links. Linux only: the fuzzer starts libFuzzer as a child
# process and reads what it kept.
#
# DREZ_PANEL_FUZZER_ROOT is where those sources are (the project's own tree
# in its build; the package sets it), DREZ_PANEL_FUZZER_BUILT_IN_DATA the
# scenario room's generated source.

# The files of the fuzzer's runtime, relative to DREZ_PANEL_FUZZER_ROOT.
set(DREZ_PANEL_FUZZER_SOURCES
  abi/parsed_command.cpp
  host/drez_debug_output.cpp
  host/drez_string.cpp
  drez_script_helper/alarm_action.cpp
  drez_script_helper/command_text.cpp
  drez_script_helper/commands.cpp
  drez_script_helper/decode_drez_string.cpp
  drez_script_helper/drez_script_helper.cpp
  drez_host/simulator/command_cache.cpp
  drez_host/simulator/command_parser.cpp
  drez_host/simulator/command_window.cpp
  drez_host/simulator/debug_channel.cpp
  drez_host/simulator/host_commands.cpp
  drez_host/simulator/installation.cpp
  drez_host/simulator/installation_learner.cpp
  drez_host/simulator/records_builder.cpp
  drez_host/simulator/registrations.cpp
  drez_host/simulator/reply_ledger.cpp
  drez_host/simulator/simulated_host.cpp
  drez_host/simulator/trace.cpp
  drez_host/simulator/validator.cpp
  drez_host/scenario/data_files.cpp
  drez_host/scenario/installation_file.cpp
  drez_host/scenario/parser.cpp
  drez_host/scenario/scenario_files.cpp
  drez_host/scenario/step_row.cpp
  drez_host/scenario/step_table.cpp
  drez_host/scenario/words.cpp
  drez_host/scenario/writer.cpp
  fuzz/panel/fuzz_input.cpp
  fuzz/panel/fuzz_run.cpp
  fuzz/panel/fuzz_setup.cpp
  fuzz/panel/fuzz_supervisor.cpp
  fuzz/panel/panel_fuzzer_main.cpp)
# The headers those include besides the package's own (include/drez).
set(DREZ_PANEL_FUZZER_HEADERS
  drez_host/simulator/command_cache.h
  drez_host/simulator/command_parser.h
  drez_host/simulator/command_window.h
  drez_host/simulator/debug_channel.h
  drez_host/simulator/host_observer.h
  drez_host/simulator/installation.h
  drez_host/simulator/installation_learner.h
  drez_host/simulator/recorded_answers.h
  drez_host/simulator/records_builder.h
  drez_host/simulator/registrations.h
  drez_host/simulator/reply_ledger.h
  drez_host/simulator/simulated_host.h
  drez_host/simulator/text_hash.h
  drez_host/simulator/trace.h
  drez_host/simulator/validator.h
  drez_host/scenario/built_in_data.h
  drez_host/scenario/data_files.h
  drez_host/scenario/installation_file.h
  drez_host/scenario/parser.h
  drez_host/scenario/scenario_files.h
  drez_host/scenario/step_row.h
  drez_host/scenario/step_table.h
  drez_host/scenario/steps.h
  drez_host/scenario/words.h
  drez_host/scenario/writer.h
  fuzz/byte_reader.h
  fuzz/panel/fuzz_input.h
  fuzz/panel/fuzz_run.h
  fuzz/panel/fuzz_setup.h
  fuzz/panel/fuzz_supervisor.h
  fuzz/panel/fuzzer_settings.h)

if(NOT DEFINED DREZ_PANEL_FUZZER_BUILT_IN_DATA)
  set(DREZ_PANEL_FUZZER_BUILT_IN_DATA ${DREZ_PANEL_FUZZER_ROOT}/drez_host/scenario/built_in_data.cpp)
endif()

# drez_install_panel_fuzzer_sources(<destination>): installs the files above
# from this project's tree (and the generated one from its build) under
# <destination>, in the same layout.
function(drez_install_panel_fuzzer_sources destination)
  foreach(file IN LISTS DREZ_PANEL_FUZZER_SOURCES DREZ_PANEL_FUZZER_HEADERS)
    get_filename_component(dir ${file} DIRECTORY)
    install(FILES ${DREZ_PANEL_FUZZER_ROOT}/${file} DESTINATION ${destination}/${dir})
  endforeach()
  install(FILES ${DREZ_PANEL_FUZZER_BUILT_IN_DATA} DESTINATION ${destination}/drez_host/scenario)
endfunction()

# The flags of everything a fuzzer runs.
set(_DREZ_FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer -g)

# libFuzzer without its main(): the fuzzer has its own (panel_fuzzer_main.cpp).
function(_drez_find_libfuzzer out)
  set(arch ${CMAKE_SYSTEM_PROCESSOR})
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(arch i386)
  endif()
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libclang_rt.fuzzer_no_main-${arch}.a
    OUTPUT_VARIABLE library OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${library}" OR NOT EXISTS "${library}")
    # Newer clang keeps its runtimes in a directory per target.
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-runtime-dir
      OUTPUT_VARIABLE dir OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(library ${dir}/libclang_rt.fuzzer_no_main.a)
  endif()
  if(NOT EXISTS "${library}")
    message(FATAL_ERROR "drez_add_panel_fuzzer: ${CMAKE_CXX_COMPILER} has no libFuzzer "
      "(libclang_rt.fuzzer_no_main); on Debian it comes with the clang package")
  endif()
  set(${out} ${library} PARENT_SCOPE)
endfunction()

function(_drez_add_panel_fuzzer_runtime)
  if(TARGET drez_panel_fuzzer_runtime)
    return()
  endif()
  list(TRANSFORM DREZ_PANEL_FUZZER_SOURCES PREPEND ${DREZ_PANEL_FUZZER_ROOT}/ OUTPUT_VARIABLE sources)
  # main() comes from this library; each fuzzer links it whole.
  add_library(drez_panel_fuzzer_runtime STATIC ${sources} ${DREZ_PANEL_FUZZER_BUILT_IN_DATA})
  target_compile_features(drez_panel_fuzzer_runtime PUBLIC cxx_std_17)
  target_include_directories(drez_panel_fuzzer_runtime PUBLIC
    $<TARGET_PROPERTY:drez::drez_abi,INTERFACE_INCLUDE_DIRECTORIES>
    $<TARGET_PROPERTY:drez::drez_string,INTERFACE_INCLUDE_DIRECTORIES>
    $<TARGET_PROPERTY:drez::drez_script_helper,INTERFACE_INCLUDE_DIRECTORIES>
    ${DREZ_PANEL_FUZZER_ROOT}/drez_host
    ${DREZ_PANEL_FUZZER_ROOT}/fuzz
    ${DREZ_PANEL_FUZZER_ROOT}/fuzz/panel)
  target_compile_options(drez_panel_fuzzer_runtime PUBLIC ${_DREZ_FUZZ_FLAGS})
  # The simulated host and the fuzzer's own code are sanitized but not
  # covered: libFuzzer steers by the coverage of the panel, the framework
  # and the input's decoding. The host's thousands of edges, which every
  # input passes, would tell it nothing of the panel and cost every run
  # their bookkeeping (a third of its time, measured).
  set(uncovered ${DREZ_PANEL_FUZZER_SOURCES})
  list(FILTER uncovered EXCLUDE REGEX "^(abi|host|drez_script_helper)/|^fuzz/panel/fuzz_input\\.cpp$")
  list(TRANSFORM uncovered PREPEND ${DREZ_PANEL_FUZZER_ROOT}/)
  set_source_files_properties(${uncovered} ${DREZ_PANEL_FUZZER_BUILT_IN_DATA}
    TARGET_DIRECTORY drez_panel_fuzzer_runtime PROPERTIES COMPILE_OPTIONS -fno-sanitize=fuzzer-no-link)
  _drez_find_libfuzzer(libfuzzer)
  target_link_options(drez_panel_fuzzer_runtime INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined)
  target_link_libraries(drez_panel_fuzzer_runtime INTERFACE ${libfuzzer})
endfunction()

function(drez_add_panel_fuzzer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "PANEL;INSTALLATION" "SCENARIOS")
  foreach(file IN LISTS DREZ_PANEL_FUZZER_SOURCES DREZ_PANEL_FUZZER_HEADERS)
    if(NOT EXISTS ${DREZ_PANEL_FUZZER_ROOT}/${file})
      message(FATAL_ERROR "drez_add_panel_fuzzer(${name}): the fuzzer's source ${file} is not in "
        "${DREZ_PANEL_FUZZER_ROOT}: this package was installed without them (Linux only)")
    endif()
  endforeach()
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "drez_add_panel_fuzzer(${name}): libFuzzer comes with clang, and this "
      "build's C++ compiler is ${CMAKE_CXX_COMPILER_ID} (${CMAKE_CXX_COMPILER}). Configure a "
      "build of its own for the fuzzer: cmake -DCMAKE_CXX_COMPILER=clang++ ...")
  endif()
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    message(FATAL_ERROR "drez_add_panel_fuzzer(${name}): the panel fuzzer runs on Linux only")
  endif()
  if(NOT arg_PANEL OR NOT TARGET ${arg_PANEL})
    message(FATAL_ERROR "drez_add_panel_fuzzer(${name}): PANEL must name the panel's target")
  endif()
  # drez_add_panel_script keeps the sources in <panel>_objects.
  set(objects ${arg_PANEL})
  if(TARGET ${arg_PANEL}_objects)
    set(objects ${arg_PANEL}_objects)
  endif()
  get_target_property(panel_sources ${objects} SOURCES)
  get_target_property(panel_dir ${objects} SOURCE_DIR)
  set(sources)
  foreach(source IN LISTS panel_sources)
    if(NOT IS_ABSOLUTE ${source} AND NOT source MATCHES "^\\$<")
      set(source ${panel_dir}/${source})
    endif()
    list(APPEND sources ${source})
  endforeach()
  set(installation "")
  if(arg_INSTALLATION)
    get_filename_component(installation ${arg_INSTALLATION} ABSOLUTE)
  endif()
  set(scenarios "")
  foreach(scenario IN LISTS arg_SCENARIOS)
    get_filename_component(scenario ${scenario} ABSOLUTE)
    string(APPEND scenarios "R\"drez(${scenario})drez\", ")
  endforeach()

  _drez_add_panel_fuzzer_runtime()
  set(settings ${CMAKE_CURRENT_BINARY_DIR}/${name}_settings.cpp)
  file(GENERATE OUTPUT ${settings} CONTENT "// Generated by drez_add_panel_fuzzer.
#include \"fuzzer_settings.h\"
namespace {
const char* const kScenarios[] = {${scenarios}nullptr};
}
const drezfuzz::FuzzerSettings drezfuzz::kFuzzerSettings = {
    \"${name}\", R\"drez($<TARGET_FILE:${arg_PANEL}>)drez\", R\"drez(${installation})drez\",
    kScenarios};
")
  add_executable(${name} ${sources} ${settings})
  target_compile_definitions(${name} PRIVATE $<TARGET_PROPERTY:${objects},COMPILE_DEFINITIONS>)
  target_include_directories(${name} PRIVATE $<TARGET_PROPERTY:${objects},INCLUDE_DIRECTORIES>)
  target_link_libraries(${name} PRIVATE drez_panel_fuzzer_runtime)
endfunction()
