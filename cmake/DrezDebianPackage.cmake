# The Debian package (Linux builds):
#
#   cmake --build --preset default --target package     (or: cd build/default && cpack -G DEB)
#   -> build/<preset>/drez-host_<version>_<arch>.deb
#
# What `dpkg -i` installs under /usr: drez-host on the PATH (bin/), its
# default panel library (lib/libVantrel.so, which drez-host finds in ../lib
# from its own folder) and its data files (share/drez-host/); drez_tap and
# capture_check; the framework's headers (include/drez/), static libraries
# and CMake package (lib/cmake/drez_script_helper/, where find_package looks
# with no prefix given); the guides, drez-host's manual and the examples
# (share/doc/drez-host/). The dependencies are the shared libraries the
# programs link, as dpkg-shlibdeps finds them. tests/package/
# check_debian_package.sh checks the package.
if(WIN32 OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

set(DREZ_DEB_MAINTAINER "Vantrel developers <vantrel@example.org>" CACHE STRING
    "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME drez-host)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# drez-host_<version>_<arch>.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGE_CONTACT "${DREZ_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "simulated panel host that runs and checks panel scripts")
# The long description, in lines of at most 80 columns as Debian wants them.
string(JOIN "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "drez-host loads a broadcast-control panel script (a shared library with the"
  "export load_drez_client_script) as the studio's panel host does, simulates"
  "the installation it talks to, prints a numbered trace of every event and"
  "command, and checks that the script keeps the host's rules. It runs"
  "scenarios, validates and fuzzes any panel script, replays captures from the"
  "studio and serves the studio as a web page."
  "."
  "The package also holds the drez_script_helper framework (headers, static"
  "libraries and a CMake package with drez_add_panel_script and"
  "drez_add_panel_test) for writing panel scripts, the recording library"
  "drez_tap, the guides and the examples.")
# Building a panel needs the compiler the static libraries were built with.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cmake (>= 3.25), g++")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# A 32-bit build on a 64-bit machine (the m32 preset) makes an i386 package;
# otherwise dpkg names the machine's architecture.
if(CMAKE_CROSSCOMPILING AND CMAKE_SIZEOF_VOID_P EQUAL 4
   AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)
endif()
include(CPack)
