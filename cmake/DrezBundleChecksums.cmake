# Writes SHA256SUMS into the bundle: one line per file, "<sha256>  <path>",
# the path relative to the bundle's top folder with forward slashes, sorted,
# as `sha256sum -c SHA256SUMS` run in that folder reads it.
#
# A CPack pre-build script (CPACK_PRE_BUILD_SCRIPTS, DrezBundle.cmake): CPack
# runs it once every install rule has filled the staging folder,
# CPACK_TEMPORARY_DIRECTORY (the top folder of the zip; CPack empties it
# before each run), and zips that folder after it.
if(NOT IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}")
  message(FATAL_ERROR "DrezBundleChecksums: no staging folder '${CPACK_TEMPORARY_DIRECTORY}'")
endif()

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${CPACK_TEMPORARY_DIRECTORY}"
     "${CPACK_TEMPORARY_DIRECTORY}/*")
list(REMOVE_ITEM files SHA256SUMS)
list(SORT files)
if(NOT files)
  message(FATAL_ERROR "DrezBundleChecksums: the staging folder '${CPACK_TEMPORARY_DIRECTORY}' is empty")
endif()

set(sums "")
foreach(file IN LISTS files)
  # sha256sum writes such names escaped; no file of the bundle needs that.
  if(file MATCHES "\\\\" OR file MATCHES "\n" OR file MATCHES "\r")
    message(FATAL_ERROR "DrezBundleChecksums: a file name holds a backslash or a line break: '${file}'")
  endif()
  file(SHA256 "${CPACK_TEMPORARY_DIRECTORY}/${file}" sum)
  string(APPEND sums "${sum}  ${file}\n")
endforeach()
file(WRITE "${CPACK_TEMPORARY_DIRECTORY}/SHA256SUMS" "${sums}")
list(LENGTH files count)
message(STATUS "SHA256SUMS: ${count} files")
