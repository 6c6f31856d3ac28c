# FindNTL: Victor Shoup's Number Theory Library, as the imported target NTL::NTL, with the GMP
# it is built on (the system also calls GMP directly). Takes hints from NTL's and GMP's
# pkg-config files where the installation has them (Debian ships one for GMP only). Sets NTL_FOUND, NTL_INCLUDE_DIRS, NTL_LIBRARIES.
include(FindPackageHandleStandardArgs)
find_package(PkgConfig QUIET)
find_package(Threads REQUIRED)
if(PKG_CONFIG_FOUND)
    pkg_check_modules(PC_NTL QUIET ntl)
    pkg_check_modules(PC_GMP QUIET gmp)
endif()
find_path(NTL_INCLUDE_DIR NTL/ZZ.h HINTS ${PC_NTL_INCLUDE_DIRS})
find_library(NTL_LIBRARY ntl HINTS ${PC_NTL_LIBRARY_DIRS})
find_path(GMP_INCLUDE_DIR gmp.h HINTS ${PC_GMP_INCLUDE_DIRS})
find_library(GMP_LIBRARY gmp HINTS ${PC_GMP_LIBRARY_DIRS})
find_package_handle_standard_args(NTL REQUIRED_VARS NTL_LIBRARY NTL_INCLUDE_DIR GMP_LIBRARY
                                                    GMP_INCLUDE_DIR)
if(NTL_FOUND AND NOT TARGET NTL::NTL)
    add_library(NTL::NTL UNKNOWN IMPORTED)
    set_target_properties(NTL::NTL PROPERTIES IMPORTED_LOCATION "${NTL_LIBRARY}"
                                              INTERFACE_INCLUDE_DIRECTORIES
                                              "${NTL_INCLUDE_DIR};${GMP_INCLUDE_DIR}")
    target_link_libraries(NTL::NTL INTERFACE "${GMP_LIBRARY}" Threads::Threads)
endif()
set(NTL_INCLUDE_DIRS "${NTL_INCLUDE_DIR}" "${GMP_INCLUDE_DIR}")
set(NTL_LIBRARIES "${NTL_LIBRARY}" "${GMP_LIBRARY}")
mark_as_advanced(NTL_INCLUDE_DIR NTL_LIBRARY GMP_INCLUDE_DIR GMP_LIBRARY)
