# drez_add_panel_script(NAME SOURCES <file>... [DESCRIPTION <text>] [VERSION <a.b.c.d>])
#
# Builds a panel script library that a panel host loads: a shared library
# (NAME.dll on Windows, libNAME.so elsewhere) that exports one symbol,
# load_drez_client_script, under its plain name, with every other symbol
# hidden. The sources define that export with DREZ_PANEL_EXPORT.
#
# The compiled sources are also the object library NAME_objects, which a
# test program can link to drive the script in its own process.
function(drez_add_panel_script name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DESCRIPTION;VERSION" "SOURCES")
  if(NOT arg_SOURCES)
    message(FATAL_ERROR "drez_add_panel_script(${name}): SOURCES is required")
  endif()
  add_library(${name}_objects OBJECT ${arg_SOURCES})
  target_include_directories(${name}_objects PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_objects PUBLIC drez_script_helper)
  target_compile_definitions(${name}_objects PRIVATE DREZ_PANEL_SCRIPT_BUILD)
  set_target_properties(${name}_objects PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)

  add_library(${name} SHARED $<TARGET_OBJECTS:${name}_objects>)
  target_link_libraries(${name} PRIVATE drez_script_helper)
  if(WIN32)
    set_target_properties(${name} PROPERTIES PREFIX "")
  elseif(UNIX AND NOT APPLE)
    # Keep the statically linked framework's symbols out of the export table.
    target_link_options(${name} PRIVATE "LINKER:--exclude-libs,ALL")
  endif()
endfunction()
