# drez_mingw_flavour(<out>): the flavour of the MinGW-w64 GCC that compiles
# this project's C++, as "GCC <major>, <model> threads, <model> exceptions"
# (Debian's i686 posix compiler: "GCC 12, posix threads, dwarf2 exceptions";
# its x86_64 one has seh exceptions); empty text where the C++ compiler is not
# MinGW's GCC.
#
# Static C++ libraries carry their flavour with them: a program of another
# thread model or exception model (sjlj, dwarf2, seh), or of an older GCC,
# fails to link them or, worse, links and breaks when an exception or a
# thread crosses. The framework's package records the flavour it was built
# with, and its config compares it with the one of the project using it.
function(drez_mingw_flavour out)
  set(flavour "")
  if(MINGW AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    string(REGEX MATCH "^[0-9]+" major "${CMAKE_CXX_COMPILER_VERSION}")
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -v
      OUTPUT_VARIABLE about ERROR_VARIABLE about RESULT_VARIABLE ignored)
    set(threads unknown)
    if(about MATCHES "Thread model: ([A-Za-z0-9]+)")
      set(threads ${CMAKE_MATCH_1})
    endif()
    # The compiler's predefined macros name its exception model.
    set(empty ${CMAKE_BINARY_DIR}${CMAKE_FILES_DIRECTORY}/drez_mingw_flavour.cpp)
    file(WRITE ${empty} "")
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dM -E -x c++ ${empty}
      OUTPUT_VARIABLE macros ERROR_QUIET RESULT_VARIABLE ignored)
    if(macros MATCHES "__USING_SJLJ_EXCEPTIONS__")
      set(exceptions sjlj)
    elseif(macros MATCHES "#define __SEH__ ")
      set(exceptions seh)
    else()
      set(exceptions dwarf2)
    endif()
    set(flavour "GCC ${major}, ${threads} threads, ${exceptions} exceptions")
  endif()
  set(${out} "${flavour}" PARENT_SCOPE)
endfunction()

# drez_mingw_flavour_fits(<out> <built> <used>): whether static libraries of
# flavour <built> link into a project of flavour <used>: the same thread and
# exception models, and a GCC at least as new (its C++ library reads what an
# older one compiled, not the other way round). TRUE or FALSE in <out>.
function(drez_mingw_flavour_fits out built used)
  set(fits FALSE)
  if(built MATCHES "^GCC ([0-9]+), (.*)$")
    set(built_major ${CMAKE_MATCH_1})
    set(built_models "${CMAKE_MATCH_2}")
    if(used MATCHES "^GCC ([0-9]+), (.*)$" AND CMAKE_MATCH_2 STREQUAL built_models
       AND CMAKE_MATCH_1 GREATER_EQUAL built_major)
      set(fits TRUE)
    endif()
  endif()
  set(${out} ${fits} PARENT_SCOPE)
endfunction()
