// The one encoder and decoder of vtable calls on their own, over the two ends of a socket
// pair: what the caller's side writes the callee's frame holds, and the callee's out values
// come back into the caller's arguments.
#include "platform/ole/call_frame.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include "platform/ole/client_connection.h"
#include "platform/ole/remote_object.h"
#include "tests/support/tick_sink.h"

namespace {

comrt::WireParam In(VARTYPE vt, const IID& iid = {}) {
    return comrt::WireParam{vt, false, true, false, iid};
}
comrt::WireParam ByRef(VARTYPE vt, bool in, bool out, const IID& iid = {}) {
    return comrt::WireParam{vt, true, in, out, iid};
}

TEST(CallFrame, WhatTheCallerEncodesTheCalleeDecodesAndBack) {
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    auto caller = std::make_shared<comrt::ClientConnection>(comrt::unique_fd{ends[0]});
    auto callee = std::make_shared<comrt::ClientConnection>(comrt::unique_fd{ends[1]});

    const comrt::WireMethod method{
        9,
        {In(VT_I4), In(VT_BSTR), In(VT_R8), In(VT_UNKNOWN, IID_IDispatch),
         In(VT_UNKNOWN, IID_IUnknown), ByRef(comrt::wire_guid, true, false),
         ByRef(VT_BSTR, true, true), ByRef(VT_VARIANT, true, true), ByRef(VT_I8, false, true),
         ByRef(VT_I4, false, true)}};
    LONG number = -7;
    BSTR text = SysAllocString(u"text");
    double real = 2.5;
    kivtest::TickSink sink([](LONG) { return false; });
    IDispatch* object = &sink;
    IUnknown* null_object = nullptr;
    GUID guid = IID_IClassFactory;
    const GUID* guid_ref = &guid;
    BSTR in_out = SysAllocString(u"before");
    BSTR* in_out_ref = &in_out;
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_BOOL;
    variant.boolVal = VARIANT_TRUE;
    VARIANT* variant_ref = &variant;
    LONGLONG out64 = 0;
    LONGLONG* out64_ref = &out64;
    LONG* missing = nullptr;
    void* args[] = {&number,   &text,       &real,        &object,    &null_object,
                    &guid_ref, &in_out_ref, &variant_ref, &out64_ref, &missing};

    comrt::wire::Writer request;
    comrt::encode_arguments(request, *caller, method, args);
    EXPECT_EQ(caller->stubs().size(), 1u) << "the caller's object is exported";
    comrt::wire::Writer reply;
    {
        comrt::wire::Reader in(request.bytes());
        comrt::CallFrame frame(method, in, *callee);
        EXPECT_EQ(frame.argument(0).lVal, -7);
        EXPECT_EQ(std::u16string_view(frame.argument(1).bstrVal), u"text");
        EXPECT_EQ(frame.argument(2).dblVal, 2.5);
        comrt::RemoteObject* proxy = nullptr;
        ASSERT_NE(frame.argument(3).punkVal, nullptr);
        EXPECT_EQ(frame.argument(3).punkVal->QueryInterface(comrt::RemoteObject::iid,
                                                            reinterpret_cast<void**>(&proxy)),
                  S_OK);
        EXPECT_EQ(&proxy->connection(), callee.get()) << "a proxy of the caller's object";
        EXPECT_EQ(frame.argument(4).punkVal, nullptr);
        EXPECT_EQ(*static_cast<GUID*>(frame.argument(5).byref), IID_IClassFactory);
        BSTR* callee_text = frame.argument(6).pbstrVal;
        EXPECT_EQ(std::u16string_view(*callee_text), u"before");
        VARIANT* callee_variant = frame.argument(7).pvarVal;
        EXPECT_EQ(callee_variant->vt, VT_BOOL);
        EXPECT_EQ(callee_variant->boolVal, VARIANT_TRUE);
        ASSERT_NE(frame.argument(8).byref, nullptr);
        EXPECT_EQ(frame.argument(9).byref, nullptr) << "a null out pointer stays null";

        // What the callee leaves in its out arguments.
        SysFreeString(*callee_text);
        *callee_text = SysAllocString(u"after");
        VariantClear(callee_variant);
        callee_variant->vt = VT_I4;
        callee_variant->lVal = 99;
        *frame.argument(8).pllVal = 1LL << 40;
        frame.write_results(reply, S_FALSE);
    }
    comrt::wire::Reader in(reply.bytes());
    EXPECT_EQ(comrt::decode_results(in, *caller, method, args), S_FALSE);
    EXPECT_EQ(std::u16string_view(in_out), u"after");
    EXPECT_EQ(variant.vt, VT_I4);
    EXPECT_EQ(variant.lVal, 99);
    EXPECT_EQ(out64, 1LL << 40);
    EXPECT_EQ(missing, nullptr);
    SysFreeString(text);
    SysFreeString(in_out);
    caller->lose();  // what it exported goes with it
    EXPECT_EQ(sink.refs(), 1u);
}

}  // namespace

namespace {

// IEnumConnections::Next as its hand-written description has it: the callee fills part of
// the caller's array, and only that part travels back.
TEST(CallFrame, AnEnumeratorsArrayComesBackAsFarAsFilled) {
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    auto caller = std::make_shared<comrt::ClientConnection>(comrt::unique_fd{ends[0]});
    auto callee = std::make_shared<comrt::ClientConnection>(comrt::unique_fd{ends[1]});
    std::shared_ptr<const comrt::WireInterface> itf;
    ASSERT_EQ(comrt::wire_interface(IID_IEnumConnections, itf), S_OK);
    const comrt::WireMethod* next = itf->find(3);
    ASSERT_NE(next, nullptr);

    ULONG capacity = 3;
    CONNECTDATA data[3] = {};
    CONNECTDATA* data_ref = data;
    ULONG filled = 99;
    ULONG* filled_ref = &filled;
    void* args[] = {&capacity, &data_ref, &filled_ref};
    comrt::wire::Writer request;
    comrt::encode_arguments(request, *caller, *next, args);

    kivtest::TickSink sink([](LONG) { return false; });
    comrt::wire::Writer reply;
    {
        comrt::wire::Reader in(request.bytes());
        comrt::CallFrame frame(*next, in, *callee);
        auto* callee_data = static_cast<CONNECTDATA*>(frame.argument(1).byref);
        ASSERT_NE(callee_data, nullptr);
        sink.AddRef();  // the enumerator hands out a reference
        callee_data[0] = CONNECTDATA{&sink, 7};
        *static_cast<ULONG*>(frame.argument(2).byref) = 1;
        frame.write_results(reply, S_FALSE);  // fewer than asked for
    }
    EXPECT_EQ(callee->stubs().size(), 1u) << "the sink is exported with the reply";
    comrt::wire::Reader in(reply.bytes());
    EXPECT_EQ(comrt::decode_results(in, *caller, *next, args), S_FALSE);
    EXPECT_EQ(filled, 1u);
    EXPECT_EQ(data[0].dwCookie, 7u);
    ASSERT_NE(data[0].pUnk, nullptr);
    EXPECT_EQ(data[1].pUnk, nullptr) << "beyond what was filled nothing changes";
    data[0].pUnk->Release();
    callee->lose();
    EXPECT_EQ(sink.refs(), 1u);
}

}  // namespace
