# Installs the library and its development files into a fresh prefix, then
# builds and runs a small program that finds them with find_package(Tessarin)
# and nothing else, the same program against the build tree's package, and
# once more with only pkg-config and the compiler. Run with:
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DCONSUMER_DIR=... -DGENERATOR=... -DCXX=... -P checkinstall.cmake
foreach(var BUILD_DIR WORK_DIR CONSUMER_DIR GENERATOR CXX)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()

set(prefix ${WORK_DIR}/prefix)
set(consumer_build ${WORK_DIR}/consumer-build)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run step)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${step} failed (${result}):\n${out}\n${err}")
    endif()
    message(STATUS "${step}: ok")
    set(last_output "${out}" PARENT_SCOPE)
endfunction()

# Only what a program built on the library needs, so the check does not wait
# for the window and the tools to be built.
run("install library" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component library)
run("install devel" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component devel)

# A library built with sanitizers needs their runtime in the program too.
set(consumer_flags)
if(DEFINED CONSUMER_LINK_FLAGS AND NOT CONSUMER_LINK_FLAGS STREQUAL "")
    list(APPEND consumer_flags "-DCMAKE_EXE_LINKER_FLAGS=${CONSUMER_LINK_FLAGS}")
endif()

# The consumer sees the installed prefix only, never the build tree.
run("configure consumer" ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${consumer_build} -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF ${consumer_flags})
file(STRINGS ${consumer_build}/CMakeCache.txt tessarin_dir REGEX "^Tessarin_DIR:")
string(FIND "${tessarin_dir}" "${prefix}" at)
if(NOT at GREATER -1)
    message(FATAL_ERROR "find_package(Tessarin) did not take the installed package: ${tessarin_dir}")
endif()
run("build consumer" ${CMAKE_COMMAND} --build ${consumer_build})
run("run consumer" ${consumer_build}/consumer)
message(STATUS "${last_output}")

# Uninstalled: the package config the build tree exports.
set(tree_build ${WORK_DIR}/consumer-tree-build)
run("configure consumer on the build tree" ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${tree_build} -G ${GENERATOR}
    -DTessarin_DIR=${BUILD_DIR}/link -DCMAKE_BUILD_TYPE=Release -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF ${consumer_flags})
run("build consumer on the build tree" ${CMAKE_COMMAND} --build ${tree_build})
run("run consumer on the build tree" ${tree_build}/consumer)

# pkg-config users get their flags from tessarin.pc alone.
file(GLOB_RECURSE pc_file ${prefix}/tessarin.pc)
if(NOT pc_file)
    message(FATAL_ERROR "tessarin.pc was not installed")
endif()
get_filename_component(pc_dir ${pc_file} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run("pkg-config" pkg-config --cflags --libs tessarin)
separate_arguments(pc_flags UNIX_COMMAND "${last_output}")
separate_arguments(link_flags UNIX_COMMAND "${CONSUMER_LINK_FLAGS}")
run("build consumer with pkg-config" ${CXX} -std=c++17 -fPIC ${CONSUMER_DIR}/main.cpp ${pc_flags} ${link_flags}
    -o ${WORK_DIR}/consumer-pc)
get_filename_component(lib_dir ${pc_dir} DIRECTORY)
set(ENV{LD_LIBRARY_PATH} ${lib_dir})
run("run consumer built with pkg-config" ${WORK_DIR}/consumer-pc)
