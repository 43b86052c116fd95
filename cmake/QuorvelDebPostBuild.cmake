# Run by CPack after the packages are built (CPACK_POST_BUILD_SCRIPTS). Two
# things CPack does differently from Debian's own tools are put right here:
# - the library package gets the ldconfig trigger, which dpkg runs once after
#   all packages of an operation, instead of CPack's ldconfig maintainer
#   scripts (which also kept the package in state "rc" after a removal);
# - the -dbgsym packages get md5sums with package paths (CPack writes its
#   staging paths) and their doc folder as a link to the main package's, as
#   debhelper makes them.
find_program(DPKG_DEB_EXECUTABLE dpkg-deb)
if(NOT DPKG_DEB_EXECUTABLE)
    message(FATAL_ERROR "dpkg-deb not found")
endif()

function(dpkg_deb)
    execute_process(COMMAND ${DPKG_DEB_EXECUTABLE} ${ARGN} RESULT_VARIABLE result OUTPUT_QUIET)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "dpkg-deb ${ARGN} failed")
    endif()
endfunction()

foreach(package_file IN LISTS CPACK_PACKAGE_FILES)
    get_filename_component(name ${package_file} NAME)
    set(tree ${CPACK_TOPLEVEL_DIRECTORY}/post-build)
    if(name MATCHES "^${CPACK_QUORVEL_LIBRARY_PACKAGE}_.*\\.deb$")
        file(REMOVE_RECURSE ${tree})
        dpkg_deb(--raw-extract ${package_file} ${tree})
        file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
        file(WRITE ${tree}/DEBIAN/triggers "activate-noawait ldconfig\n")
    elseif(name MATCHES "^(.*)-dbgsym_.*\\.ddeb$")
        set(main_package ${CMAKE_MATCH_1})
        file(REMOVE_RECURSE ${tree})
        dpkg_deb(--raw-extract ${package_file} ${tree})
        file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${tree} ${tree}/usr/*)
        list(SORT files)
        set(sums "")
        foreach(f IN LISTS files)
            file(MD5 ${tree}/${f} md5)
            string(APPEND sums "${md5}  ${f}\n")
        endforeach()
        file(WRITE ${tree}/DEBIAN/md5sums "${sums}")
        file(MAKE_DIRECTORY ${tree}/usr/share/doc)
        file(CREATE_LINK ${main_package} ${tree}/usr/share/doc/${main_package}-dbgsym SYMBOLIC)
    else()
        continue()
    endif()
    dpkg_deb(--root-owner-group --build ${tree} ${package_file})
    file(REMOVE_RECURSE ${tree})
    message(STATUS "${name}: put into Debian's shape")
endforeach()
