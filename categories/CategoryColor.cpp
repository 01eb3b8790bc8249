#include "categories/CategoryColor.h"

#include "base/Platform.h"

namespace {

constexpr std::wstring_view kNone = L"none";
constexpr std::wstring_view kPreset = L"preset";

}  // namespace

std::optional<std::wstring> TCategoryColor::GraphName() const
{
    if (!IsNamed())
        return std::nullopt;
    if (value_ == kNoneValue)
        return std::wstring(kNone);
    return std::wstring(kPreset) + std::to_wstring(value_ - 1);
}

std::optional<TCategoryColor> TCategoryColor::FromGraphName(std::wstring_view name)
{
    if (SameTextIgnoringCase(name, kNone))
        return TCategoryColor(kNoneValue);
    if (name.size() <= kPreset.size() || !SameTextIgnoringCase(name.substr(0, kPreset.size()), kPreset))
        return std::nullopt;
    const std::wstring_view digits = name.substr(kPreset.size());
    // "preset03" and "preset+3" are not Graph's spelling of anything.
    if (digits.size() > 2 || (digits.size() == 2 && digits[0] == L'0'))
        return std::nullopt;
    std::int32_t preset = 0;
    for (const wchar_t c : digits) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        preset = preset * 10 + (c - L'0');
    }
    if (preset > kLastValue - 1)
        return std::nullopt;
    return TCategoryColor(preset + 1);
}
