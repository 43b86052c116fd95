# Hardening as Debian builds its packages: the flags come from dpkg-buildflags
# (stack protector, format checks, _FORTIFY_SOURCE, RELRO), so they follow
# whatever the distribution decides. Their -g is taken when the build type
# gives none (Release), so that the -dbgsym packages of any build type hold
# debug information, as Debian's do. Optimisation stays with
# CMAKE_BUILD_TYPE; the path-mapping flag is left out because it names the
# source folder and would keep the compiler cache from sharing objects, and
# -Wdate-time because the About box shows the build time on purpose.
# Debug, sanitizer and fuzz builds go without: _FORTIFY_SOURCE warns at -O0
# and hides the accesses the sanitizers are there to see.
find_program(DPKG_BUILDFLAGS_EXECUTABLE dpkg-buildflags)
set(_quorvel_default_hardening OFF)
if(DPKG_BUILDFLAGS_EXECUTABLE AND NOT QUORVEL_SANITIZE AND NOT QUORVEL_FUZZ
   AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    set(_quorvel_default_hardening ON)
endif()
option(QUORVEL_DEB_BUILDFLAGS "Add the hardening flags of dpkg-buildflags" ${_quorvel_default_hardening})

if(QUORVEL_DEB_BUILDFLAGS)
    if(NOT DPKG_BUILDFLAGS_EXECUTABLE)
        message(FATAL_ERROR "QUORVEL_DEB_BUILDFLAGS needs dpkg-buildflags (package dpkg-dev)")
    endif()
    string(TOUPPER "${CMAKE_BUILD_TYPE}" _build_type)
    set(_drop "^-O[0-9s]?$|^-f(file|debug)-prefix-map=|^-Wdate-time$")
    if(" ${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${_build_type}} " MATCHES " -g ")
        string(APPEND _drop "|^-g$")
    endif()
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(COMMAND ${DPKG_BUILDFLAGS_EXECUTABLE} --get ${kind}
            OUTPUT_VARIABLE _flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _result)
        if(NOT _result EQUAL 0)
            message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
        endif()
        separate_arguments(_flags UNIX_COMMAND "${_flags}")
        list(FILTER _flags EXCLUDE REGEX "${_drop}")
        set(QUORVEL_DEB_${kind} ${_flags})
    endforeach()
    add_compile_options(${QUORVEL_DEB_CPPFLAGS} ${QUORVEL_DEB_CXXFLAGS})
    add_link_options(${QUORVEL_DEB_LDFLAGS})
    message(STATUS "Hardening flags from dpkg-buildflags: ${QUORVEL_DEB_CPPFLAGS} ${QUORVEL_DEB_CXXFLAGS} ${QUORVEL_DEB_LDFLAGS}")
endif()
