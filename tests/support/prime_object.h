#pragma once
// A Prime object of this process, made as its class object makes one (on the heap, counted).
#include <gtest/gtest.h>

#include "server/host/prime.h"

namespace kivtest {

inline CComPtr<IPrime> NewPrime() {
    CComPtr<IPrime> prime;
    EXPECT_EQ(CPrime::CreateInstance(IID_IPrime, reinterpret_cast<void**>(&prime)), S_OK);
    return prime;
}

}  // namespace kivtest
