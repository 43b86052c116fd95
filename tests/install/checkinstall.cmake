# Installs the library and its development files into a fresh prefix, then
# configures, builds and runs a small program that finds them with
# find_package(Tessarin) and nothing else. Run with:
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DCONSUMER_DIR=... -DGENERATOR=... -P checkinstall.cmake
foreach(var BUILD_DIR WORK_DIR CONSUMER_DIR GENERATOR)
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
