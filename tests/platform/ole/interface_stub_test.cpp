// IDispatch::Invoke marshalled as it is, over the two ends of a socket pair: the arguments
// (a by-reference one with its value), the result, the by-reference value back, EXCEPINFO
// and puArgErr, as the callee's Invoke leaves them.
#include "platform/ole/interface_stub.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <string>

#include "platform/ole/client_connection.h"
#include "platform/win32.h"

namespace {

// Answers Invoke with `hr`; member 1 doubles its LONG argument into the result and appends
// "!" to its by-reference string.
class Callee final : public IDispatch {
  public:
    explicit Callee(HRESULT hr) : hr_(hr) {}
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID member, REFIID, LCID lcid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excep, UINT* arg_err) override {
        seen = std::to_string(member) + " " + std::to_string(lcid) + " " + std::to_string(flags) +
               " " + std::to_string(params->cArgs) + " " + std::to_string(params->cNamedArgs);
        VARIANT& text = params->rgvarg[0];
        VARIANT& number = params->rgvarg[1];
        if (hr_ == S_OK) {
            result->vt = VT_I4;
            result->lVal = 2 * number.lVal;
            std::u16string longer(*text.pbstrVal, SysStringLen(*text.pbstrVal));
            longer += u"!";
            SysFreeString(*text.pbstrVal);
            *text.pbstrVal = SysAllocStringLen(longer.data(), static_cast<UINT>(longer.size()));
        } else if (hr_ == DISP_E_EXCEPTION) {
            excep->scode = E_FAIL;
            excep->bstrSource = SysAllocString(u"Callee");
            excep->bstrDescription = SysAllocString(u"it went wrong");
        } else {
            *arg_err = 1;
        }
        return hr_;
    }
    std::string seen;

  private:
    HRESULT hr_;
};

TEST(InterfaceStub, InvokeCarriesWhatTheCalleeLeaves) {
    const HRESULT cases[] = {S_OK, DISP_E_EXCEPTION, DISP_E_TYPEMISMATCH};
    for (HRESULT hr : cases) {
        SCOPED_TRACE(hr);
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        auto caller = std::make_shared<comrt::ClientConnection>(comrt::unique_fd{ends[0]});
        auto callee_end = std::make_shared<comrt::ClientConnection>(comrt::unique_fd{ends[1]});
        BSTR text = SysAllocString(u"abc");
        VARIANTARG args[2];
        VariantInit(&args[0]);
        VariantInit(&args[1]);
        args[1].vt = VT_I4;
        args[1].lVal = 21;
        args[0].vt = VT_BYREF | VT_BSTR;
        args[0].pbstrVal = &text;
        DISPPARAMS params{args, nullptr, 2, 0};
        comrt::wire::Writer request;
        comrt::encode_invoke(request, *caller, 1, DISPATCH_METHOD, 0x409, params, true);

        Callee callee(hr);
        comrt::wire::Writer reply;
        comrt::wire::Reader in(request.bytes());
        comrt::serve_invoke(*callee_end, &callee, in, reply);
        EXPECT_EQ(callee.seen, "1 1033 1 2 0");

        VARIANT result;
        VariantInit(&result);
        EXCEPINFO excep{};
        UINT arg_err = 0;
        comrt::wire::Reader back(reply.bytes());
        EXPECT_EQ(comrt::decode_invoke_reply(back, *caller, params, &result, &excep, &arg_err), hr);
        if (hr == S_OK) {
            EXPECT_EQ(result.vt, VT_I4);
            EXPECT_EQ(result.lVal, 42);
            EXPECT_EQ(std::u16string_view(text), u"abc!");
        } else {
            EXPECT_EQ(std::u16string_view(text), u"abc") << "the value is what came back";
        }
        if (hr == DISP_E_EXCEPTION) {
            EXPECT_EQ(excep.scode, E_FAIL);
            EXPECT_EQ(std::u16string_view(excep.bstrSource), u"Callee");
            EXPECT_EQ(std::u16string_view(excep.bstrDescription), u"it went wrong");
        }
        EXPECT_EQ(arg_err, hr == DISP_E_TYPEMISMATCH ? 1u : 0u);
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrHelpFile);
        VariantClear(&result);
        SysFreeString(text);
    }
}

}  // namespace
