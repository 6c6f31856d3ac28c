# Cross toolchain for 64-bit Windows with Debian's mingw-w64 (posix threads model), e.g.
#   cmake -B build/windows -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake
# Libraries come from the cache scripts/build-windows-deps fills (KIV_WINDOWS_DEPS overrides it).
# Programs link statically, so no mingw runtime DLL has to be found next to them, and ctest runs
# them under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KIV_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KIV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KIV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KIV_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${KIV_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${KIV_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

if(NOT DEFINED KIV_WINDOWS_DEPS)
    if(DEFINED ENV{KIV_WINDOWS_DEPS})
        set(KIV_WINDOWS_DEPS "$ENV{KIV_WINDOWS_DEPS}")
    elseif(DEFINED ENV{XDG_CACHE_HOME})
        set(KIV_WINDOWS_DEPS "$ENV{XDG_CACHE_HOME}/kiv/windows-deps")
    else()
        set(KIV_WINDOWS_DEPS "$ENV{HOME}/.cache/kiv/windows-deps")
    endif()
endif()
# try_compile projects load this file again; they must see the same cache.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KIV_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${KIV_MINGW_TRIPLE} "${KIV_WINDOWS_DEPS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_PREFIX_PATH "${KIV_WINDOWS_DEPS}")
# Only static archives exist in the cache; never pick an import library by accident.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

find_program(KIV_WINE NAMES wine wine64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${KIV_WINE}")
