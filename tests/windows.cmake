# The Windows build's tests: the suites of the layers that are the same on Windows (engine,
# Goldbach search, system information, interface) and the registrar over the real registry. The
# runtime's own suites test POSIX stand-ins that this build does not have; the multi-process
# suites need the real server and are scripts/test-windows's.
#
# Each test program is one ctest test run through the emulator (Wine) in the private prefix of
# this ctest run: the fixture boots it first and ends its wineserver last.
set(kiv_wine_dir ${CMAKE_BINARY_DIR}/wine)
set(kiv_wine_env "WINEPREFIX=${kiv_wine_dir}/prefix" "WINEDEBUG=-all"
                 "WINEDLLOVERRIDES=mscoree,mshtml=\\;winemenubuilder.exe=d" "WINEARCH=win64"
                 "DISPLAY=" "WAYLAND_DISPLAY=")
add_test(NAME WinePrefix.Start
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine_prefix.sh start ${kiv_wine_dir})
add_test(NAME WinePrefix.Stop
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine_prefix.sh stop ${kiv_wine_dir})
set_tests_properties(WinePrefix.Start PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 180)
set_tests_properties(WinePrefix.Stop PROPERTIES FIXTURES_CLEANUP wine_prefix)

add_library(kiv_test_support STATIC support/windows/test_main.cpp)
target_link_libraries(kiv_test_support PUBLIC GTest::gtest GTest::gmock comrt::win32)

# kiv_add_windows_test(name DIR folder LINKS ... [EXCLUDE files...] [LABELS ...])
function(kiv_add_windows_test name)
    cmake_parse_arguments(ARG "" "DIR" "LINKS;EXCLUDE;LABELS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
    foreach(excluded IN LISTS ARG_EXCLUDE)
        list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR}/${excluded})
    endforeach()
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE kiv_test_support ${ARG_LINKS} kiv::warnings)
    add_test(NAME ${name} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine_test.sh
                                ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix
                                            ENVIRONMENT "${kiv_wine_env}" LABELS "${ARG_LABELS}")
endfunction()

# Left out: kiv_contract_test (reads kiv.tlb by its Linux path; tlbdump compares the two readers),
# system_info_test (reads /proc text; system_info_machine_test is the portable part),
# results_file_test (moves the profile through HOME, which the prefix's profile ignores),
# prob_prime_stoppable_test (compares with NTL's single-precision path at 64-bit longs).
kiv_add_windows_test(test_server_interface DIR server/interface LINKS kiv_interface
                     EXCLUDE kiv_contract_test.cpp)
kiv_add_windows_test(test_server_engine DIR server/engine LINKS kiv_engine
                     EXCLUDE prob_prime_stoppable_test.cpp)
kiv_add_windows_test(test_server_sysinfo DIR server/sysinfo LINKS kiv_sysinfo
                     EXCLUDE system_info_test.cpp)
kiv_add_windows_test(test_server_goldbach DIR server/goldbach LINKS kiv_goldbach LABELS threads
                     EXCLUDE results_file_test.cpp)
kiv_add_windows_test(test_platform_windows DIR platform/windows LINKS comrt::win32)
# Their trace tests listen to the prefix's one DBWIN buffer (tests/support/windows).
set_tests_properties(test_server_engine test_server_goldbach PROPERTIES RESOURCE_LOCK dbwin)
target_sources(test_platform_windows PRIVATE platform/os/file_handle_test.cpp)
# The registrar's scripts are the server's, read from the source tree.
target_compile_definitions(test_platform_windows PRIVATE KIV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

# Clients of the registered kiv.exe, run under Wine by scripts/test-windows.
add_subdirectory(windows)
