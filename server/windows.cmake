# The Windows build of kiv: widl's kiv.tlb (the same file the Linux build embeds), the
# registration scripts, the version block and a manifest embedded as Windows resources by
# windres.
# VERSIONINFO from the version text the Linux build embeds as it is.
file(STRINGS ${KIV_VERSION_FILE} kiv_version_lines)
foreach(line IN LISTS kiv_version_lines)
    if(line MATCHES "^([A-Za-z]+)=(.*)$")
        set(KIV_VERSION_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
    endif()
endforeach()
string(REPLACE "." "," KIV_FILEVERSION_NUMBERS "${KIV_VERSION_FileVersion}")
string(REPLACE "." "," KIV_PRODUCTVERSION_NUMBERS "${KIV_VERSION_ProductVersion}")
set(KIV_RESOURCE_TLB ${KIV_IDL_TLB})
set(KIV_RESOURCE_APPID_RGS ${CMAKE_CURRENT_SOURCE_DIR}/host/kiv_appid.rgs)
set(KIV_RESOURCE_PRIME_RGS ${CMAKE_CURRENT_SOURCE_DIR}/host/kiv_prime.rgs)
set(KIV_RESOURCE_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/kiv.manifest)
configure_file(host/kiv.manifest.in ${KIV_RESOURCE_MANIFEST} @ONLY)
configure_file(host/kiv.rc.in ${CMAKE_CURRENT_BINARY_DIR}/kiv.rc @ONLY)

add_executable(kiv host/kiv_main.cpp ${CMAKE_CURRENT_BINARY_DIR}/kiv.rc)
target_link_libraries(kiv PRIVATE kiv_host kiv::warnings)
add_dependencies(kiv kiv_idl)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/kiv.rc PROPERTIES OBJECT_DEPENDS
    "${KIV_IDL_TLB};${KIV_RESOURCE_APPID_RGS};${KIV_RESOURCE_PRIME_RGS};${KIV_RESOURCE_MANIFEST}")
set_target_properties(kiv PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
install(TARGETS kiv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
