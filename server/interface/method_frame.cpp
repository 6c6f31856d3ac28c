#include "server/interface/method_frame.h"

#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "server/interface/call_cancelled.h"
#include "server/interface/iprime.h"
#include "server/interface/messages.h"

namespace {

constexpr std::size_t max_report_bytes = 0x3FFFFFFF;

// The text for a COM error exception: the platform's message, then the carried description.
HRESULT report_com_error(const _com_error& error) noexcept {
    try {
        std::string text = error.ErrorMessage();
        CComPtr<IErrorInfo> info;
        info.Attach(error.ErrorInfo());
        if (info != nullptr) {
            _bstr_t description;
            info->GetDescription(description.GetAddress());
            text += "; ";
            if (const char* ansi = description)  // null when there is no description
                text += ansi;
        }
        return ReportError(text.c_str());
    } catch (...) {
        // Only allocation can fail here; the method must still fail, and not by throwing.
        return E_OUTOFMEMORY;
    }
}

}  // namespace

HRESULT ReportError(const char* text) noexcept {
    if (text == nullptr)
        return E_POINTER;
    std::size_t length = std::strlen(text);
    if (length >= max_report_bytes)
        return E_OUTOFMEMORY;
    std::basic_string<OLECHAR> wide;
    try {
        wide.resize(length + 1);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, wide.data(),
                            static_cast<int>(wide.size())) == 0)
        return E_OUTOFMEMORY;

    CComPtr<ICreateErrorInfo> builder;
    if (SUCCEEDED(CreateErrorInfo(&builder))) {
        builder->SetGUID(GUID_NULL);
        LPOLESTR prog_id = nullptr;
        if (SUCCEEDED(ProgIDFromCLSID(CLSID_Prime, &prog_id))) {
            builder->SetSource(prog_id);
            CoTaskMemFree(prog_id);
        }
        builder->SetDescription(wide.data());
        CComPtr<IErrorInfo> info;
        if (SUCCEEDED(builder.QueryInterface(&info)))
            SetErrorInfo(0, info);
    }
    return DISP_E_EXCEPTION;
}

HRESULT ReportCurrentException() noexcept {
    try {
        throw;
    } catch (const CallCancelled&) {
        return RPC_E_CALL_CANCELED;
    } catch (const CallCancelledByEvent&) {
        const HRESULT hr = ReportError(kivmsg::CancelledByEvent);
        return hr == DISP_E_EXCEPTION ? E_ABORT : hr;
    } catch (const _com_error& error) {
        return report_com_error(error);
    } catch (const std::exception& error) {
        return ReportError(error.what());
    } catch (const ServiceError& error) {
        return ReportError(error.Message());
    } catch (...) {
        return ReportError(kivmsg::ErrorsOccurred);
    }
}
