# Debian packages from `cpack -G DEB` in the build folder:
#   quorvel          the window: program, menu entry, icons, AppStream
#                    metainfo, man page; depends on the two below
#   quorvel-cli      quorvel-cli and quorvel-vboard, their man pages, the bash
#                    completion, the udev rule and the README; needs only Qt
#                    Core, Network and SerialPort, so it installs on a
#                    machine without a desktop
#   libtessarin<N>   the shared library
#   libtessarin-dev  headers, the .so link, the CMake package and tessarin.pc
# and, beside them, a -dbgsym .ddeb per package with the debug symbols that
# the packaged binaries are stripped of. Dependencies on Qt come from
# dpkg-shlibdeps; the packages depend on each other by exact version.
# `lintian` on the packages is part of CI (.ci/run) and must stay silent;
# an accepted tag gets a comment here. Configure with
# CMAKE_INSTALL_PREFIX=/usr for packages: only then does GNUInstallDirs pick
# the multiarch library folder that Debian (and lintian) expect.
set(QUORVEL_PACKAGE_CONTACT "Ombrek <quorvel@ombrek.invalid>" CACHE STRING "Maintainer of the Debian packages")

set(QUORVEL_LIBRARY_PACKAGE "libtessarin${PROJECT_VERSION_MAJOR}")

# --- what the packages carry besides the binaries -------------------------

# Debian wants the copyright and a compressed changelog in each package's
# doc folder; gzip -n keeps the file free of a time stamp.
find_program(GZIP_EXECUTABLE gzip)
if(NOT GZIP_EXECUTABLE)
    message(FATAL_ERROR "gzip not found")
endif()
set(QUORVEL_DOC_BUILD_DIR ${CMAKE_BINARY_DIR}/packaging)
add_custom_command(OUTPUT ${QUORVEL_DOC_BUILD_DIR}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORVEL_DOC_BUILD_DIR}
    COMMAND ${GZIP_EXECUTABLE} -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${QUORVEL_DOC_BUILD_DIR}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    COMMENT "Compressing the changelog" VERBATIM)
# The README, whose recipes (serial port access, the udev rule, the
# command-line tool) are what a technician looks for on the machine;
# compressed, as Debian does with documents over 4 kB.
add_custom_command(OUTPUT ${QUORVEL_DOC_BUILD_DIR}/README.md.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORVEL_DOC_BUILD_DIR}
    COMMAND ${GZIP_EXECUTABLE} -9nc ${PROJECT_SOURCE_DIR}/README.md > ${QUORVEL_DOC_BUILD_DIR}/README.md.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/README.md
    COMMENT "Compressing the README" VERBATIM)
# A target of its own: the library's packages need it without the programs.
add_custom_target(quorvel-changelog ALL DEPENDS ${QUORVEL_DOC_BUILD_DIR}/changelog.gz ${QUORVEL_DOC_BUILD_DIR}/README.md.gz)

foreach(component_package IN ITEMS "runtime;quorvel" "tools;quorvel-cli" "library;${QUORVEL_LIBRARY_PACKAGE}"
                                  "devel;libtessarin-dev")
    list(GET component_package 0 component)
    list(GET component_package 1 package)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${QUORVEL_DOC_BUILD_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

install(FILES ${QUORVEL_DOC_BUILD_DIR}/README.md.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvel-cli COMPONENT tools)

# Man pages: the window's is written by hand (it has no options); the two
# tools' are made from their own --help and --version at build time, so a new
# subcommand or option is documented by the build that adds it, with the
# sections --help has no room for (FILES, the examples one a line) from
# packaging/<program>.h2m. They run with their build folder first on PATH, so
# that the usage line names the program and not the build path.
set(QUORVEL_MAN_BUILD_DIR ${CMAKE_BINARY_DIR}/man)
add_custom_command(OUTPUT ${QUORVEL_MAN_BUILD_DIR}/Quorvel.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORVEL_MAN_BUILD_DIR}
    COMMAND ${GZIP_EXECUTABLE} -9nc ${PROJECT_SOURCE_DIR}/app/Quorvel.1 > ${QUORVEL_MAN_BUILD_DIR}/Quorvel.1.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/app/Quorvel.1
    COMMENT "Compressing the man page of Quorvel" VERBATIM)
install(FILES ${QUORVEL_MAN_BUILD_DIR}/Quorvel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
set(QUORVEL_MAN_PAGES ${QUORVEL_MAN_BUILD_DIR}/Quorvel.1.gz)

find_program(HELP2MAN_EXECUTABLE help2man)
if(NOT HELP2MAN_EXECUTABLE)
    message(WARNING "help2man not found (package help2man): quorvel-cli and quorvel-vboard get no man page")
endif()
set(QUORVEL_MAN_SYNOPSIS_quorvel-cli "command-line access to the boards that Quorvel maintains")
set(QUORVEL_MAN_SYNOPSIS_quorvel-vboard "virtual board for trying Quorvel and quorvel-cli without hardware")
foreach(program IN ITEMS quorvel-cli quorvel-vboard)
    if(NOT HELP2MAN_EXECUTABLE OR NOT TARGET ${program})
        continue()
    endif()
    set(page ${QUORVEL_MAN_BUILD_DIR}/${program}.1)
    set(include ${PROJECT_SOURCE_DIR}/packaging/${program}.h2m)
    # Sanitizer builds report Qt's process-lifetime allocations at exit.
    add_custom_command(OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORVEL_MAN_BUILD_DIR}
        COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${program}>:$ENV{PATH}" ASAN_OPTIONS=detect_leaks=0
                ${HELP2MAN_EXECUTABLE} --no-info --section=1 "--name=${QUORVEL_MAN_SYNOPSIS_${program}}"
                --include=${include} --output=${page} ${program}
        COMMAND ${GZIP_EXECUTABLE} -9nf ${page}
        DEPENDS ${program} ${include}
        COMMENT "Writing the man page of ${program} from its --help" VERBATIM)
    list(APPEND QUORVEL_MAN_PAGES ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
endforeach()
add_custom_target(quorvel-man ALL DEPENDS ${QUORVEL_MAN_PAGES})

install(FILES ${PROJECT_SOURCE_DIR}/cli/quorvel-cli.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME quorvel-cli COMPONENT tools)

# udev reads rules from /usr/lib/udev/rules.d and /usr/local/lib/udev/rules.d,
# never from the multiarch library folder.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/70-quorvel.rules DESTINATION lib/udev/rules.d COMPONENT tools)

# --- the packages ---------------------------------------------------------

set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "Ombrek")
set(CPACK_PACKAGE_CONTACT "${QUORVEL_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
# No CPACK_PACKAGE_DESCRIPTION_SUMMARY: CPack would put that one line in
# front of every package's own synopsis.
set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL runtime tools library devel)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libTessarin is ours, not in any installed package: let dpkg-shlibdeps find
# it in the build tree and leave it to the component dependency below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/link")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# The window's users keep the command-line tools, the udev rule and the README
# they had when the programs came in one package.
set(CPACK_COMPONENT_RUNTIME_DEPENDS library tools)
set(CPACK_COMPONENT_DEVEL_DEPENDS library)
# Stripped binaries; the symbols go to -dbgsym packages keyed by build id,
# which are empty without -g (dpkg-buildflags gives it, see
# QuorvelBuildFlags.cmake).
string(TOUPPER "${CMAKE_BUILD_TYPE}" _quorvel_build_type)
list(JOIN QUORVEL_DEB_CXXFLAGS " " _quorvel_deb_cxxflags)
if(NOT " ${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${_quorvel_build_type}} ${_quorvel_deb_cxxflags} " MATCHES " -g ")
    message(WARNING "This build has no debug information (-g): its -dbgsym packages would hold no symbols")
endif()
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

# Each description is one string: a CMake list would put ";" into the text.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME quorvel)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "maintenance tool for digital I/O boards
Quorvel reads the identity of a board, edits the configuration of its
digital inputs and outputs and of its two RS-485 ports (ModBus RTU slave
or IEC 60870-5-101 station), and replaces its firmware. It reaches the
board over a USB virtual COM port, an RS-485 COM port or TCP.
.
This package contains the window; it brings quorvel-cli, the same commands
for scripts and production lines, with it.")
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME quorvel-cli)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line tools for the digital I/O boards of Quorvel
quorvel-cli reads the identity of a board, saves, compares and writes its
configuration, switches its mode, reboots it, finds the boards on a line
and replaces their firmware, from a shell, a script or a production line.
It reaches the board over a USB virtual COM port, an RS-485 COM port or
TCP, and lists the serial ports of the machine.
.
quorvel-vboard plays a board of the family, over TCP or a pseudo-terminal,
for trying the tools without hardware.
.
Both need only Qt Core, Network and SerialPort, so the package installs on
a machine without a desktop. It also holds a udev rule that keeps
ModemManager away from common USB-RS485 adapters.")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME ${QUORVEL_LIBRARY_PACKAGE})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "board transports and connection bar of Quorvel
libTessarin holds the serial, USB virtual COM and TCP transports with the
framed RS-485 protocol of the boards that Quorvel maintains, and the Qt
connection bar widget that chooses and opens them.
.
This package contains the shared library.")
set(CPACK_DEBIAN_DEVEL_PACKAGE_NAME libtessarin-dev)
set(CPACK_DEBIAN_DEVEL_PACKAGE_SECTION libdevel)
# The headers include Qt's; a program built on them needs Qt's development files.
set(CPACK_DEBIAN_DEVEL_PACKAGE_DEPENDS "qtbase5-dev, libqt5serialport5-dev")
set(CPACK_DEBIAN_DEVEL_DESCRIPTION "board transports of Quorvel - development files
libTessarin holds the serial, USB virtual COM and TCP transports with the
framed RS-485 protocol of the boards that Quorvel maintains, and the Qt
connection bar widget that chooses and opens them.
.
This package contains the headers (under include/Tessarin), the CMake
package for find_package(Tessarin) and the pkg-config file tessarin.pc.")

# The ldconfig trigger and the -dbgsym packages' md5sums are put right after
# CPack has built the packages.
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/QuorvelDebPostBuild.cmake)
set(CPACK_QUORVEL_LIBRARY_PACKAGE ${QUORVEL_LIBRARY_PACKAGE})

include(CPack)
