# drez_add_panel_script(NAME SOURCES <file>... [DESCRIPTION <text>] [VERSION <a.b.c.d>])
#
# Builds a panel script library that a panel host loads: a shared library
# (NAME.dll on Windows, libNAME.so elsewhere) that exports one symbol,
# load_drez_client_script, under its plain name, with every other symbol
# hidden. One source defines that export with DREZ_PANEL_SCRIPT(<class>).
#
# On Windows the DLL carries a version record (file description DESCRIPTION,
# internal and original name NAME, file and product version VERSION, default
# 1.0.0.0) and links its C++ runtime statically, so it needs no other DLL
# beside it.
#
# NAME is the target to configure further: compile definitions, include
# directories, compile options and features, sources and libraries given to
# NAME after this call (target_compile_definitions(NAME PRIVATE ...) and the
# like) apply to every source of the library. SOURCES compile in the object
# library NAME_objects, which takes NAME's definitions, include directories,
# options and features, and which a test program may link to drive the
# script in its own process (it brings the sources' folder and the framework
# with it). Sources added to NAME later compile in NAME itself.
# Where the version record's template lives, beside this file.
set(_DREZ_PANEL_SCRIPT_DIR ${CMAKE_CURRENT_LIST_DIR})
# drez_add_panel_test, which runs drez-host on a panel library.
include(${CMAKE_CURRENT_LIST_DIR}/DrezPanelTest.cmake)
if(WIN32)
  enable_language(RC)
endif()

function(drez_add_panel_script name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DESCRIPTION;VERSION" "SOURCES")
  if(NOT arg_SOURCES)
    message(FATAL_ERROR "drez_add_panel_script(${name}): SOURCES is required")
  endif()
  if(NOT arg_VERSION)
    set(arg_VERSION 1.0.0.0)
  endif()
  if(NOT arg_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "drez_add_panel_script(${name}): VERSION must be a.b.c.d, not '${arg_VERSION}'")
  endif()
  if(NOT arg_DESCRIPTION)
    set(arg_DESCRIPTION "${name}")
  endif()

  # The panel library, and what every source of it is compiled with.
  add_library(${name} SHARED)
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE drez::drez_script_helper)
  target_compile_definitions(${name} PRIVATE DREZ_PANEL_SCRIPT_BUILD)
  set_target_properties(${name} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(MINGW AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Hosts built by Microsoft's compiler keep the stack only 4-byte aligned.
    target_compile_options(${name} PRIVATE -mincoming-stack-boundary=2)
  endif()

  # SOURCES, compiled once for the library and for the test programs that
  # link them. Whatever NAME is given, now or later, reaches them through
  # NAME's own properties, which include what the libraries NAME links ask
  # of their users.
  add_library(${name}_objects OBJECT ${arg_SOURCES})
  target_include_directories(${name}_objects
    PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}
    PRIVATE $<TARGET_PROPERTY:${name},INCLUDE_DIRECTORIES>)
  target_link_libraries(${name}_objects PUBLIC drez::drez_script_helper)
  target_compile_definitions(${name}_objects PRIVATE $<TARGET_PROPERTY:${name},COMPILE_DEFINITIONS>)
  target_compile_options(${name}_objects PRIVATE $<TARGET_PROPERTY:${name},COMPILE_OPTIONS>)
  target_compile_features(${name}_objects PRIVATE $<TARGET_PROPERTY:${name},COMPILE_FEATURES>)
  set_target_properties(${name}_objects PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_sources(${name} PRIVATE $<TARGET_OBJECTS:${name}_objects>)

  drez_panel_library_traits(${name} "${arg_DESCRIPTION}" "${arg_VERSION}")
endfunction()

# drez_panel_library_traits(<target> <description> <version>)
#
# What a library that a panel host loads has besides its sources, whoever
# builds it (drez_add_panel_script, or a library with its own export such as
# drez_tap): on Windows the version record (internal and original name the
# target's), no "lib" prefix and a statically linked C++ runtime; on Linux
# the symbols of the static libraries it links kept out of its export table.
function(drez_panel_library_traits target description version)
  if(WIN32)
    string(REPLACE "." "," DREZ_PANEL_VERSION_COMMAS "${version}")
    set(DREZ_PANEL_NAME "${target}")
    set(DREZ_PANEL_DESCRIPTION "${description}")
    set(DREZ_PANEL_VERSION "${version}")
    set(rc_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${_DREZ_PANEL_SCRIPT_DIR}/panel_version.rc.in ${rc_file} @ONLY)
    target_sources(${target} PRIVATE ${rc_file})
    set_target_properties(${target} PROPERTIES PREFIX "")
    if(MINGW)
      target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    endif()
  elseif(UNIX AND NOT APPLE)
    # Keep the statically linked framework's symbols out of the export table.
    target_link_options(${target} PRIVATE "LINKER:--exclude-libs,ALL")
  endif()
endfunction()
