#pragma once
// CGoldbachPair: the answer of IPrime2::FindGoldbachPair, an object of its own so that a
// script reads it as pair.First, pair.Second and, as its default member, "p + q". Immutable
// once made, so it needs no locks whichever apartment uses it. It holds a server reference
// while it lives, like the Prime object: a client holding only a pair keeps the server.
#include <atomic>
#include <string>

#include "server/host/type_info_dispatch.h"
#include "server/interface/iprime.h"

class CGoldbachPair final : public CTypeInfoDispatch<IGoldbachPair, IID_IGoldbachPair>,
                            public ISupportErrorInfo {
  public:
    // A new pair with one reference in *ppPair: found, with its two summands, or not found
    // (empty texts).
    static HRESULT Create(bool found, BSTR first, BSTR second, IGoldbachPair** ppPair);

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IDispatch, from IGoldbachPair's type information
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                   UINT* puArgErr) override;

    // IGoldbachPair
    HRESULT get_Text(BSTR* pbstrText) override;
    HRESULT get_First(BSTR* pbstrFirst) override;
    HRESULT get_Second(BSTR* pbstrSecond) override;
    HRESULT get_Found(VARIANT_BOOL* pbFound) override;

    // ISupportErrorInfo
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

    CGoldbachPair() = default;
    ~CGoldbachPair();
    CGoldbachPair(const CGoldbachPair&) = delete;
    CGoldbachPair& operator=(const CGoldbachPair&) = delete;

  private:
    std::atomic<ULONG> m_cRef{0};
    bool m_bHoldsServerReference = false;
    bool m_found = false;
    std::basic_string<OLECHAR> m_first;
    std::basic_string<OLECHAR> m_second;
};
