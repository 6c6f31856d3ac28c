// A class leaves and comes back the same way whether it is suspended, resumed or revoked:
// its socket is this process's while published, and nobody's while not.
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/calc_server.h"

namespace {

using calctest::CLSID_Calc;

// A class object that is only ever published, never asked for an object.
struct IdleFactory final : IClassFactory {
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        *ppv = iid == IID_IUnknown || iid == IID_IClassFactory ? this : nullptr;
        return *ppv != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown*, REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOTIMPL;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

using ClassPublication = kivtest::CalcServerTest;

TEST_F(ClassPublication, SuspendResumeAndRevokeEachLeaveTheSocketAsTheySay) {
    IdleFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_Calc, &factory, CLSCTX_LOCAL_SERVER,
                                    REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &cookie),
              S_OK);
    EXPECT_EQ(kivtest::ClassServerPid(CLSID_Calc), 0) << "registered suspended";
    struct Step {
        const char* name;
        HRESULT (*run)();
        pid_t server;
    };
    const Step steps[] = {
        {"resume", &CoResumeClassObjects, ::getpid()},
        {"suspend", &CoSuspendClassObjects, 0},
        {"resume after suspend", &CoResumeClassObjects, ::getpid()},
        {"suspend again", &CoSuspendClassObjects, 0},
        {"resume again", &CoResumeClassObjects, ::getpid()},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(step.run(), S_OK) << step.name;
        EXPECT_EQ(kivtest::ClassServerPid(CLSID_Calc), step.server) << step.name;
    }
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(kivtest::ClassServerPid(CLSID_Calc), 0) << "revoked";
    EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG) << "revoked twice";
}

}  // namespace
