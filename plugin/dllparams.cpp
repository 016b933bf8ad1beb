// The library's copy of the host record and the adjustments made on taking it.
#include "plugin/dllparams.h"

#include "framework/text/text.h"

#include <cstring>

TDllParams DllParams{};
std::uint8_t OnScreenFlag = 0;

QString TShortString::text() const { return text::fromGbk(std::string_view(data, length)); }

void TShortString::assign(std::string_view bytes) {
    const std::string cut = text::gbkPrefix(bytes, sizeof(data));
    length = static_cast<std::uint8_t>(cut.size());
    std::memcpy(data, cut.data(), cut.size());
}

void TShortString::assign(const QString& s) { assign(text::toGbk(s)); }

void ApplyEntryAdjustments(TDllParams& params) {
    if (!text::trimBytes(params.ModuleRights.bytes()).empty())
        params.Rights = params.ModuleRights;
    params.DbUserName.assign(std::string_view("sa"));
    params.DbPassword.assign(std::string_view());
}

void TakeHostParams(const void* hostRecord) {
    // The whole record is copied before any field is read; the host's record is never kept.
    TDllParams copy;
    std::memcpy(&copy, hostRecord, sizeof(TDllParams));
    DllParams = copy;
    ApplyEntryAdjustments(DllParams);
}
