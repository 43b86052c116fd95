# Debian packages from `cpack -G DEB` in the build folder:
#   quorvel          the program, quorvel-cli, quorvel-vboard, menu entry, icon
#   libtessarin<N>   the shared library
#   libtessarin-dev  headers, the .so link and the CMake package config
# Dependencies on Qt come from dpkg-shlibdeps; the packages depend on each
# other by exact version.
set(QUORVEL_PACKAGE_CONTACT "Ombrek <quorvel@ombrek.invalid>" CACHE STRING "Maintainer of the Debian packages")

set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "Ombrek")
set(CPACK_PACKAGE_CONTACT "${QUORVEL_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Maintenance tool for digital I/O boards on RS-485, USB and TCP")
set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL runtime library devel)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libTessarin is ours, not in any installed package: let dpkg-shlibdeps find
# it in the build tree and leave it to the component dependency below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/link")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_RUNTIME_DEPENDS library)
set(CPACK_COMPONENT_DEVEL_DEPENDS library)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME quorvel)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "Maintenance tool for digital I/O boards\n"
    "Reads the identity of a board, edits its DI/DO and RS-485 configuration, and\n"
    "replaces its firmware, over USB virtual COM, RS-485 COM ports or TCP. Comes\n"
    "with quorvel-cli for scripts and quorvel-vboard, a virtual board.")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME "libtessarin${PROJECT_VERSION_MAJOR}")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_LIBRARY_DESCRIPTION
    "Board transports and connection bar of Quorvel\n"
    "Serial, USB and TCP transports with the framed RS-485 protocol, and the\n"
    "Qt connection bar widget.")
set(CPACK_DEBIAN_DEVEL_PACKAGE_NAME libtessarin-dev)
set(CPACK_DEBIAN_DEVEL_PACKAGE_SECTION libdevel)
# The headers include Qt's; a program built on them needs Qt's development files.
set(CPACK_DEBIAN_DEVEL_PACKAGE_DEPENDS "qtbase5-dev, libqt5serialport5-dev")
set(CPACK_COMPONENT_DEVEL_DESCRIPTION
    "Development files of libtessarin\n"
    "Headers and the CMake package: find_package(Tessarin) and link Tessarin::Tessarin.")

include(CPack)
