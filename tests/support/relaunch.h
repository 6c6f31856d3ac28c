#pragma once
// A test program that its own tests relaunch (as a server, say) runs that part instead of its
// tests when started with a switch that begins "--comrt-test-".
namespace kivtest {

// Defined by the support library that gives the program such a part; its exit status.
int RunRelaunched(int argc, char** argv) __attribute__((weak));

}  // namespace kivtest
