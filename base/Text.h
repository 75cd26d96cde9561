#pragma once
// The one place where text becomes a number, and the small text helpers every layer shares.
// Numbers are read the same way wherever a person or a file gives one: the whole text is the
// number, with an optional leading "+"; hexadecimal forms, infinities and NaN are not numbers to
// a user, and nothing may follow. The C locale's full stop is the decimal separator.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

inline std::string_view Trim(std::string_view text, std::string_view blanks = " \t\r\n")
{
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

inline std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return lower;
}

namespace text_detail
{
// Past a leading "+" that stands before a digit or a point.
inline const char* SkipPlus(const char* first, const char* last)
{
    return last - first > 1 && *first == '+' && first[1] != '-' && first[1] != '+' ? first + 1 : first;
}
} // namespace text_detail

inline std::optional<long long> ParseWhole(std::string_view text)
{
    const char* last = text.data() + text.size();
    const char* first = text_detail::SkipPlus(text.data(), last);
    long long value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (first == last || error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

inline std::optional<double> ParseNumber(std::string_view text)
{
    const char* last = text.data() + text.size();
    const char* first = text_detail::SkipPlus(text.data(), last);
    double value = 0;
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (first == last || error != std::errc() || end != last || !std::isfinite(value))
        return std::nullopt;
    return value;
}
