# Pictures are drawn once as SVG and rendered at build time with rsvg-convert
# (Debian package librsvg2-bin), so a size is never edited by hand.
include_guard(GLOBAL)
find_program(RSVG_CONVERT_EXECUTABLE rsvg-convert)
if(NOT RSVG_CONVERT_EXECUTABLE)
    message(FATAL_ERROR "rsvg-convert not found: install the Debian package librsvg2-bin")
endif()

# Renders SVG into a SIZE x SIZE PNG at PNG and appends PNG to the list named
# OUT_LIST; the caller adds that list to a target's sources.
function(quorvel_render_svg svg png size out_list)
    get_filename_component(dir ${png} DIRECTORY)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${RSVG_CONVERT_EXECUTABLE} --format=png --width=${size} --height=${size} --output=${png} ${svg}
        DEPENDS ${svg} VERBATIM)
    set(${out_list} ${${out_list}} ${png} PARENT_SCOPE)
endfunction()
