# Interface definitions compiled the way every COM project compiles them: an IDL file in, a
# C++ header and an MSFT type library (.tlb) out. One compiler, Wine's widl, serves both builds,
# so the Linux and Windows type libraries are the same bytes.
#
#   kiv_add_idl(<target> IDL <file.idl>)
#
# Creates the library <target>: linking it puts the generated header on the include path as
# "<folder of the IDL>/<name>.h" (from the repository root, as every header here is included)
# and sets the target property KIV_TLB_FILE to the .tlb's path; building it writes both files.
# On Windows the header only declares the GUIDs, so the library also compiles widl's
# <name>_i.c, which defines them (as MIDL's is compiled); comrt's DEFINE_GUID defines them in
# the header itself.
#
#   kiv_add_idl(<target> IDL <file.idl> TLB_ONLY)
#
# Writes only the type library, as <current binary folder>/tlb/<name>.tlb (for an IDL file of
# the system's own, whose header nobody includes): <target> is a custom target with the
# property KIV_TLB_FILE.
find_program(KIV_WIDL NAMES widl REQUIRED NO_CMAKE_FIND_ROOT_PATH
             DOC "Wine's IDL compiler (Debian: wine64-tools)")
find_path(KIV_IDL_INCLUDE_DIR oaidl.idl PATHS /usr/include/wine/wine/windows REQUIRED
          NO_CMAKE_FIND_ROOT_PATH
          DOC "The IDL files of the system interfaces (Debian: libwine-dev)")

# widl stamps a type library with the time it ran; a fixed stamp (SOURCE_DATE_EPOCH when set)
# keeps every build's .tlb the same bytes.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(KIV_WIDL_TIME $ENV{SOURCE_DATE_EPOCH})
else()
    set(KIV_WIDL_TIME 0)
endif()
set(KIV_WIDL_COMMAND ${CMAKE_COMMAND} -E env WIDL_TIME_OVERRIDE=${KIV_WIDL_TIME} ${KIV_WIDL})

function(kiv_add_idl target)
    cmake_parse_arguments(ARG "TLB_ONLY" "IDL" "" ${ARGN})
    get_filename_component(idl "${ARG_IDL}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    get_filename_component(name "${idl}" NAME_WE)
    if(ARG_TLB_ONLY)
        set(tlb ${CMAKE_CURRENT_BINARY_DIR}/tlb/${name}.tlb)
        add_custom_command(OUTPUT ${tlb}
                           COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/tlb
                           COMMAND ${KIV_WIDL_COMMAND} --win64 -I${KIV_IDL_INCLUDE_DIR} -t -T ${tlb} ${idl}
                           DEPENDS ${idl} COMMENT "Compiling the type library of ${name}.idl"
                           VERBATIM)
        add_custom_target(${target} DEPENDS ${tlb})
        set_target_properties(${target} PROPERTIES KIV_TLB_FILE ${tlb})
        return()
    endif()
    get_filename_component(folder "${idl}" DIRECTORY)
    file(RELATIVE_PATH rel "${PROJECT_SOURCE_DIR}" "${folder}")
    set(root ${CMAKE_BINARY_DIR}/idl)
    set(header ${root}/${rel}/${name}.h)
    set(tlb ${root}/${rel}/${name}.tlb)
    set(guids ${root}/${rel}/${name}_i.c)
    add_custom_command(OUTPUT ${header} ${tlb} ${guids}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${root}/${rel}
                       COMMAND ${KIV_WIDL_COMMAND} --win64 -I${KIV_IDL_INCLUDE_DIR} -h -H ${header}
                               -t -T ${tlb} -u -U ${guids} ${idl}
                       DEPENDS ${idl} COMMENT "Compiling ${rel}/${name}.idl" VERBATIM)
    add_custom_target(${target}_files DEPENDS ${header} ${tlb} ${guids})
    if(WIN32)
        add_library(${target} STATIC ${guids})
        target_include_directories(${target} PUBLIC ${root})
    else()
        # The generated header includes <windows.h>, <ole2.h>, <oaidl.h> and <ocidl.h>: on
        # Linux those names lead to the runtime.
        add_library(${target} INTERFACE)
        target_include_directories(${target} INTERFACE ${root} ${PROJECT_SOURCE_DIR}/platform/sdk)
    endif()
    add_dependencies(${target} ${target}_files)
    set_target_properties(${target} PROPERTIES KIV_TLB_FILE ${tlb})
endfunction()
