# Layered libraries: each folder of the system is one static library that links only the
# layers below it, and may include only their headers. An include that breaks the layering
# (and so could close a cycle) fails the build before the folder compiles.
#
#   kiv_add_layer(<target> [ALIAS <ns::name>] [DIR <folder>] SOURCES <files>...
#                 [LINKS <targets>...] [INCLUDES <headers or folders/>...])
#
# DIR is the layer's folder (default: the current source folder); SOURCES are relative to it.
#
# The folder may include its own headers, those of the linked layers and of the layers below
# them (their KIV_LAYER_DIR property), and the INCLUDES given. A layer marked KIV_LAYER_SEALED
# shows only its own KIV_LAYER_DIR (a single header, say) and hides what it links.
function(kiv_add_layer target)
    cmake_parse_arguments(ARG "" "ALIAS;DIR" "SOURCES;LINKS;INCLUDES" ${ARGN})
    get_filename_component(folder "${ARG_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(TRANSFORM ARG_SOURCES PREPEND "${folder}/")
    add_library(${target} STATIC ${ARG_SOURCES})
    target_link_libraries(${target} PUBLIC ${ARG_LINKS} PRIVATE kiv::warnings)
    file(RELATIVE_PATH dir "${PROJECT_SOURCE_DIR}" "${folder}")
    set_target_properties(${target} PROPERTIES KIV_LAYER_DIR "${dir}/")
    if(ARG_ALIAS)
        add_library(${ARG_ALIAS} ALIAS ${target})
    endif()
    kiv_layer_dirs(allowed ${ARG_LINKS})
    list(APPEND allowed ${ARG_INCLUDES})
    kiv_check_includes(${target} "${folder}" "${allowed}")
endfunction()

# The folders of the given layers and of every layer below them.
function(kiv_layer_dirs out)
    set(dirs "")
    foreach(link IN LISTS ARGN)
        if(NOT TARGET ${link})
            continue()
        endif()
        get_target_property(real ${link} ALIASED_TARGET)
        if(real)
            set(link ${real})
        endif()
        get_target_property(dir ${link} KIV_LAYER_DIR)
        if(dir)
            list(APPEND dirs ${dir})
        endif()
        get_target_property(sealed ${link} KIV_LAYER_SEALED)
        get_target_property(below ${link} INTERFACE_LINK_LIBRARIES)
        if(below AND NOT sealed)
            kiv_layer_dirs(more ${below})
            list(APPEND dirs ${more})
        endif()
    endforeach()
    list(REMOVE_DUPLICATES dirs)
    set(${out} ${dirs} PARENT_SCOPE)
endfunction()

# Checks the includes of `folder` before `target` compiles, and again whenever a file changes.
# FILES names the files of the folder to check when targets of one folder may see different
# layers (default: all of its .h and .cpp files).
function(kiv_check_includes target folder allowed)
    cmake_parse_arguments(ARG "" "" "FILES" ${ARGN})
    if(ARG_FILES)
        list(TRANSFORM ARG_FILES PREPEND "${folder}/" OUTPUT_VARIABLE watched)
    else()
        file(GLOB watched CONFIGURE_DEPENDS "${folder}/*.h" "${folder}/*.cpp")
    endif()
    set(stamp "${CMAKE_CURRENT_BINARY_DIR}/${target}.includes")
    string(REPLACE ";" "|" allowed "${allowed}")  # one argument on any generator's command line
    string(REPLACE ";" "|" files "${ARG_FILES}")
    add_custom_command(
        OUTPUT "${stamp}"
        COMMAND ${CMAKE_COMMAND} "-DFOLDER=${folder}" "-DALLOWED=${allowed}" "-DFILES=${files}"
                "-DSTAMP=${stamp}" -P "${PROJECT_SOURCE_DIR}/cmake/check_includes.cmake"
        DEPENDS ${watched} "${PROJECT_SOURCE_DIR}/cmake/check_includes.cmake"
        COMMENT "Checking the includes of ${target}" VERBATIM)
    add_custom_target(${target}_includes DEPENDS "${stamp}")
    add_dependencies(${target} ${target}_includes)
endfunction()
