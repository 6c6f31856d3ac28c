# Resources of an executable (the counterpart of Windows' .rc resources): each is a named ELF
# section holding the bytes of one file, read back at run time with comrt::read_resource.
#
#   comrt_embed_resource(<target> SECTION <name> FILE <path> [DEPENDS <targets>...])
#
# SECTION follows the runtime's names: .comrt.typelib.1, .comrt.registry.101, .comrt.version.
# FILE may be relative to the current source directory. When it is produced by a custom command
# of another directory, name the target that builds it in DEPENDS. The object is rebuilt
# whenever the file changes.
enable_language(ASM)

function(comrt_embed_resource target)
    cmake_parse_arguments(ARG "" "SECTION;FILE" "DEPENDS" ${ARGN})
    if(NOT ARG_SECTION MATCHES "^\\.[A-Za-z0-9_.]+$")
        message(FATAL_ERROR "comrt_embed_resource: bad SECTION '${ARG_SECTION}'")
    endif()
    if(NOT ARG_FILE)
        message(FATAL_ERROR "comrt_embed_resource: FILE is required")
    endif()
    get_filename_component(file "${ARG_FILE}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    if(file MATCHES "[\"\\\\\n]")
        message(FATAL_ERROR "comrt_embed_resource: unusable file name '${file}'")
    endif()
    string(MAKE_C_IDENTIFIER "${target}${ARG_SECTION}" stem)
    set(asm "${CMAKE_CURRENT_BINARY_DIR}/comrt_resources/${stem}.S")
    # The section is allocated ("a") but never referenced by code; it is read from the file.
    file(CONFIGURE OUTPUT "${asm}" @ONLY CONTENT
"\t.section @ARG_SECTION@,\"a\",@progbits
\t.incbin \"@file@\"
\t.section .note.GNU-stack,\"\",@progbits
")
    set_source_files_properties("${asm}" PROPERTIES OBJECT_DEPENDS "${file}")
    target_sources(${target} PRIVATE "${asm}")
    if(ARG_DEPENDS)
        add_dependencies(${target} ${ARG_DEPENDS})
    endif()
endfunction()
