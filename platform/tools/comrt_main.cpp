// comrt: the platform's command-line tool.
//   comrt call [--events] PROGID METHOD [ARG...]
//                                       late-bound call through IDispatch; an ARG of @FILE is
//                                       that file's text, @- standard input's, @@... a
//                                       literal text starting with @; --events prints the
//                                       object's events on standard error as they arrive
//   comrt debug                         prints the debug output of this user's processes
//   comrt reg query KEY                 prints a registry key, its values and subkeys
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ole/activation.h"
#include "platform/ole/apartment.h"
#include "platform/registry/registry.h"
#include "platform/tools/event_printer.h"
#include "platform/win32.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: comrt call [--events] PROGID METHOD [ARG...]\n"
                 "                  (ARG: text, @FILE, @-, @@text; --events: print the object's\n"
                 "                  events on standard error while the call runs)\n"
                 "       comrt debug\n"
                 "       comrt reg query KEY\n");
    return 2;
}

std::string Ansi(BSTR text) {
    return comrt::utf16_to_ansi({text ? text : u"", SysStringLen(text)});
}

// A damaged hive makes lookups fail with codes that do not say why: name the file and line.
void ReportDamagedHives(const char* prefix) {
    for (const std::string& report : comrt::damaged_hives())
        std::fprintf(stderr, "%s: %s\n", prefix, report.c_str());
}

// Prints a failed HRESULT the way every failure of the tool is reported, and returns 1.
int Fail(HRESULT hr, BSTR source, BSTR description) {
    ReportDamagedHives("comrt");
    std::fprintf(stderr, "hr=0x%08X\n%s\n", static_cast<unsigned>(hr),
                 com_error_message(hr).c_str());
    std::fprintf(stderr, "source=%s\ndescription=%s\n", Ansi(source).c_str(),
                 Ansi(description).c_str());
    return 1;
}

int FailWithErrorInfo(HRESULT hr) {
    CComPtr<IErrorInfo> info;
    _bstr_t source, description;
    if (GetErrorInfo(0, &info) == S_OK) {
        info->GetSource(source.GetAddress());
        info->GetDescription(description.GetAddress());
    }
    return Fail(hr, source.GetBSTR(), description.GetBSTR());
}

// One parameter of the method being called, with the storage of an out value.
struct Argument {
    std::string name;
    VARTYPE vt;
    bool by_ref;
    bool out;
    bool optional;
    VARIANT value;   // what Invoke receives
    VARIANT target;  // the storage an out pointer points to
};

// Frees the arguments' strings and out values on every way out of a call.
struct ArgumentsCleanup {
    std::vector<Argument>& args;
    ~ArgumentsCleanup() {
        for (Argument& a : args) {
            if (a.value.vt == VT_BSTR)
                VariantClear(&a.value);
            VariantClear(&a.target);
        }
    }
};

std::string Text(const VARIANT& v) {
    switch (v.vt) {
        case VT_BSTR:
            return Ansi(v.bstrVal);
        case VT_I1:
            return std::to_string(static_cast<int>(v.cVal));
        case VT_UI1:
            return std::to_string(v.bVal);
        case VT_I2:
            return std::to_string(v.iVal);
        case VT_UI2:
            return std::to_string(v.uiVal);
        case VT_BOOL:
            return v.boolVal ? "true" : "false";
        case VT_I4:
        case VT_INT:
            return std::to_string(v.lVal);
        case VT_UI4:
        case VT_UINT:
            return std::to_string(v.ulVal);
        case VT_I8:
            return std::to_string(v.llVal);
        case VT_UI8:
            return std::to_string(v.ullVal);
        case VT_R8:
            return std::to_string(v.dblVal);
        default:
            return "?";
    }
}

// The object to call, made from its ProgID; 0, or the status of a reported failure.
int CreateObject(const std::string& prog_id, CComPtr<IDispatch>& dispatch, CLSID& clsid) {
    _bstr_t wide_prog_id(prog_id.c_str());
    HRESULT hr = CLSIDFromProgID(wide_prog_id.GetBSTR(), &clsid);
    if (FAILED(hr))
        return Fail(hr, nullptr, nullptr);
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch,
                          reinterpret_cast<void**>(&dispatch));
    return FAILED(hr) ? FailWithErrorInfo(hr) : 0;
}

// The parameters of the function `desc` describes, named as the type information names them.
void AddParameters(ITypeInfo& info, const FUNCDESC& desc, std::vector<Argument>& args) {
    std::vector<BSTR> param_names(desc.cParams + 1u, nullptr);
    UINT got = 0;
    info.GetNames(desc.memid, param_names.data(), static_cast<UINT>(param_names.size()), &got);
    for (SHORT p = 0; p < desc.cParams; ++p) {
        const ELEMDESC& e = desc.lprgelemdescParam[p];
        Argument a{};
        a.name = p + 1u < got ? Ansi(param_names[p + 1]) : "arg" + std::to_string(p);
        a.by_ref = e.tdesc.vt == VT_PTR;
        a.vt = a.by_ref ? e.tdesc.lptdesc->vt : e.tdesc.vt;
        a.out = (e.paramdesc.wParamFlags & PARAMFLAG_FOUT) != 0;
        a.optional = (e.paramdesc.wParamFlags & PARAMFLAG_FOPT) != 0;
        args.push_back(a);
    }
    for (BSTR b : param_names)
        SysFreeString(b);
}

// The DISPID of `method` and its parameters; 0, or the status of a reported failure.
int DescribeMethod(IDispatch& dispatch, const std::string& method, DISPID& dispid,
                   std::vector<Argument>& args) {
    _bstr_t name(method.c_str());
    LPOLESTR names[] = {name.GetBSTR()};
    HRESULT hr = dispatch.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr))
        return Fail(hr, nullptr, nullptr);
    CComPtr<ITypeInfo> info;
    hr = dispatch.GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
    if (FAILED(hr))
        return Fail(hr, nullptr, nullptr);
    TYPEATTR* attr = nullptr;
    if (FAILED(hr = info->GetTypeAttr(&attr)))
        return Fail(hr, nullptr, nullptr);
    WORD count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count && args.empty(); ++i) {
        FUNCDESC* desc = nullptr;
        if (FAILED(info->GetFuncDesc(i, &desc)))
            continue;
        if (desc->memid == dispid)
            AddParameters(*info, *desc, args);
        info->ReleaseFuncDesc(desc);
    }
    return 0;
}

// In-parameters take the texts in order; out-parameters get storage; trailing optional
// parameters without a text are left out, so their defaults apply. `passed` is how many are
// passed; returns 0, or 2 when the texts do not fit the parameters.
int PassTexts(const std::string& method, const std::vector<std::string>& texts,
              std::vector<Argument>& args, std::size_t& passed) {
    std::size_t next_text = 0;
    passed = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        Argument& a = args[i];
        VariantInit(&a.value);
        VariantInit(&a.target);
        if (a.by_ref && a.out) {
            a.target.vt = a.vt;
            a.value.vt = static_cast<VARTYPE>(VT_BYREF | a.vt);
            a.value.byref = &a.target.llVal;
        } else if (next_text < texts.size()) {
            _bstr_t text(texts[next_text++].c_str());
            a.value.vt = VT_BSTR;
            a.value.bstrVal = text.Detach();
        } else if (a.optional) {
            break;
        } else {
            std::fprintf(stderr, "comrt: %s needs a value for %s\n", method.c_str(),
                         a.name.c_str());
            return 2;
        }
        passed = i + 1;
    }
    if (next_text < texts.size()) {
        std::fprintf(stderr, "comrt: too many arguments for %s\n", method.c_str());
        return 2;
    }
    return 0;
}

// The text of a method's return value: an object's is its default property's value (a pair's
// "p + q"), when it has one.
std::string ResultText(const VARIANT& result) {
    if (result.vt != VT_DISPATCH)
        return Text(result);
    if (result.pdispVal == nullptr)
        return "null";
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT value;
    VariantInit(&value);
    HRESULT hr = result.pdispVal->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                                         DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
    std::string text = SUCCEEDED(hr) ? Text(value) : "(object)";
    VariantClear(&value);
    return text;
}

// Invokes the method (or property) with the first `passed` arguments and prints its out
// values and its return value, or reports its failure; the tool's exit status.
int InvokeAndPrint(IDispatch& dispatch, DISPID dispid, const std::vector<Argument>& args,
                   std::size_t passed) {
    std::vector<VARIANTARG> reversed;
    for (std::size_t i = passed; i-- > 0;)
        reversed.push_back(args[i].value);
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(passed), 0};
    EXCEPINFO excep{};
    UINT arg_error = 0;
    VARIANT result;
    VariantInit(&result);
    // As scripting languages call a name: a method, or a property to read.
    HRESULT hr = dispatch.Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT,
                                 DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, &result, &excep,
                                 &arg_error);
    int status = 0;
    if (FAILED(hr)) {
        if (hr == DISP_E_EXCEPTION && excep.pfnDeferredFillIn != nullptr)
            excep.pfnDeferredFillIn(&excep);
        status = hr == DISP_E_EXCEPTION ? Fail(hr, excep.bstrSource, excep.bstrDescription)
                                        : FailWithErrorInfo(hr);
    } else {
        for (const Argument& a : args)
            if (a.out)
                std::printf("%s=%s\n", a.name.c_str(), Text(a.target).c_str());
        if (result.vt != VT_EMPTY)
            std::printf("result=%s\n", ResultText(result).c_str());
        std::printf("hr=0x%08X\n", static_cast<unsigned>(hr));
    }
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    VariantClear(&result);
    return status;
}

int Call(const std::string& prog_id, const std::string& method,
         const std::vector<std::string>& texts, bool events) {
    CComPtr<IDispatch> dispatch;
    CLSID clsid{};
    if (int status = CreateObject(prog_id, dispatch, clsid); status != 0)
        return status;
    comrt_tool::EventSubscription subscription;  // unadvised after the call, before the object goes
    if (std::string problem; events) {
        if (HRESULT hr = subscription.subscribe(*dispatch, clsid, problem); FAILED(hr)) {
            std::fprintf(stderr, "comrt: --events: %s\n", problem.c_str());
            return Fail(hr, nullptr, nullptr);
        }
    }
    DISPID dispid;
    std::vector<Argument> args;
    ArgumentsCleanup cleanup{args};
    if (int status = DescribeMethod(*dispatch, method, dispid, args); status != 0)
        return status;
    std::size_t passed = 0;
    if (int status = PassTexts(method, texts, args, passed); status != 0)
        return status;
    return InvokeAndPrint(*dispatch, dispid, args, passed);
}

// A command line holds at most 128 KB per argument, so big numbers come from a file (@FILE)
// or standard input (@-); one line feed that ends the text is not part of it.
std::optional<std::string> ArgumentText(const std::string& arg, bool& stdin_used) {
    if (arg.size() < 2 || arg[0] != '@')
        return arg;
    if (arg[1] == '@')
        return arg.substr(1);
    std::ostringstream text;
    if (arg == "@-") {
        if (stdin_used) {
            std::fprintf(stderr, "comrt: standard input can be read for one argument only\n");
            return std::nullopt;
        }
        stdin_used = true;
        text << std::cin.rdbuf();
    } else {
        std::ifstream file(arg.substr(1), std::ios::binary);
        if (!file || !(text << file.rdbuf())) {
            std::fprintf(stderr, "comrt: cannot read %s: %s\n", arg.c_str() + 1,
                         std::strerror(errno));
            return std::nullopt;
        }
    }
    std::string whole = std::move(text).str();
    if (whole.ends_with('\n')) {
        whole.pop_back();
        if (whole.ends_with('\r'))
            whole.pop_back();
    }
    return whole;
}

int Debug() {
    try {
        comrt::DebugOutputListener listener;
        for (;;) {
            if (auto text = listener.receive(std::chrono::hours(24))) {
                std::fwrite(text->data(), 1, text->size(), stdout);
                std::fflush(stdout);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "comrt debug: %s\n", e.what());
        return 1;
    }
}

int RegQuery(const std::string& key) {
    LSTATUS status = comrt::PrintRegistryKey(std::cout, key);
    if (status == ERROR_SUCCESS)
        return 0;
    if (status == static_cast<LSTATUS>(ERROR_BADDB) && !comrt::damaged_hives().empty()) {
        ReportDamagedHives("comrt reg query");
        return 1;
    }
    std::fprintf(stderr, "comrt reg query: %s: %s\n", key.c_str(),
                 com_error_message(HRESULT_FROM_WIN32(static_cast<DWORD>(status))).c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return Usage();
    if (args[0] == "debug" && args.size() == 1)
        return Debug();
    if (args[0] == "reg" && args.size() == 3 && args[1] == "query")
        return RegQuery(args[2]);
    if (args[0] != "call")
        return Usage();
    const bool events = args.size() > 1 && args[1] == "--events";
    if (events)
        args.erase(args.begin() + 1);
    if (args.size() < 3)
        return Usage();
    std::vector<std::string> texts;
    bool stdin_used = false;
    for (auto it = args.begin() + 3; it != args.end(); ++it) {
        std::optional<std::string> text = ArgumentText(*it, stdin_used);
        if (!text)
            return 2;
        texts.push_back(std::move(*text));
    }
    CoInitialize(nullptr);
    int status = Call(args[1], args[2], texts, events);
    CoUninitialize();
    return status;
}
