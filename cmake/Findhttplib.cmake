# Finds cpp-httplib as Debian packages it (libcpp-httplib-dev): a header and
# a compiled library described by pkg-config, with no CMake package of its
# own. Defines the imported target httplib::httplib, carrying the
# definitions the library was built with (TLS, compression), which the
# header's declarations depend on.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(PC_HTTPLIB QUIET IMPORTED_TARGET cpp-httplib)
endif()
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(httplib
  REQUIRED_VARS PC_HTTPLIB_LINK_LIBRARIES
  VERSION_VAR PC_HTTPLIB_VERSION)
if(httplib_FOUND AND NOT TARGET httplib::httplib)
  add_library(httplib::httplib INTERFACE IMPORTED)
  target_link_libraries(httplib::httplib INTERFACE PkgConfig::PC_HTTPLIB)
endif()
