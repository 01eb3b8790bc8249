#pragma once
// A category's colour, as Outlook numbers it (OlCategoryColor): 0 for none,
// 1 to 25 for the presets. Microsoft Graph names the same colours "none" and
// "preset0" to "preset24": its preset number is Outlook's value less one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class TCategoryColor {
public:
    static constexpr std::int32_t kNoneValue = 0;
    static constexpr std::int32_t kLastValue = 25;

    constexpr TCategoryColor() = default;

    // Any value Outlook answers, kept as it is, so that a colour read from one
    // store reaches another unchanged, even one this program has no name for.
    static constexpr TCategoryColor FromOutlook(std::int32_t value) { return TCategoryColor(value); }
    constexpr std::int32_t OutlookValue() const { return value_; }
    // 0 to 25: a colour Graph and the list file can spell.
    constexpr bool IsNamed() const { return value_ >= kNoneValue && value_ <= kLastValue; }

    // "none" or "preset0" to "preset24"; nothing for a value without a name.
    std::optional<std::wstring> GraphName() const;
    // Graph's spelling, letter case ignored; nothing for any other text.
    static std::optional<TCategoryColor> FromGraphName(std::wstring_view name);

    friend constexpr bool operator==(TCategoryColor, TCategoryColor) = default;

private:
    explicit constexpr TCategoryColor(std::int32_t value) : value_(value) {}
    std::int32_t value_ = kNoneValue;
};
