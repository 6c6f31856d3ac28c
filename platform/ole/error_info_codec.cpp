#include "platform/ole/error_info_codec.h"

#include "platform/oleaut/bstr_t.h"
#include "platform/oleaut/error_info.h"

namespace comrt {

void write_error_info(wire::Writer& out, IErrorInfo* info) {
    out.put<std::uint8_t>(info != nullptr ? 1 : 0);
    if (info == nullptr)
        return;
    GUID guid{};
    info->GetGUID(&guid);
    out.put_guid(guid);
    _bstr_t source, description, help_file;
    info->GetSource(source.GetAddress());
    info->GetDescription(description.GetAddress());
    info->GetHelpFile(help_file.GetAddress());
    DWORD context = 0;
    info->GetHelpContext(&context);
    for (const _bstr_t* text : {&source, &description, &help_file})
        out.put_text(text->GetBSTR(), text->length(), text->GetBSTR() != nullptr);
    out.put<DWORD>(context);
}

CComPtr<IErrorInfo> read_error_info(wire::Reader& in) {
    CComPtr<IErrorInfo> result;
    if (in.get<std::uint8_t>() == 0)
        return result;
    GUID guid = in.get_guid();
    auto source = in.get_text();
    auto description = in.get_text();
    auto help_file = in.get_text();
    auto context = in.get<DWORD>();
    CComPtr<ICreateErrorInfo> builder;
    if (FAILED(CreateErrorInfo(&builder)))
        return result;
    builder->SetGUID(guid);
    if (source)
        builder->SetSource(source->data());
    if (description)
        builder->SetDescription(description->data());
    if (help_file)
        builder->SetHelpFile(help_file->data());
    builder->SetHelpContext(context);
    builder.QueryInterface(&result);
    return result;
}

}  // namespace comrt
