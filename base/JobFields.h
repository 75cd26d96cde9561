#pragma once
// A job's numbers described once: for every field its name, the command-line option (also the
// batch manifest's key), the inclusive range and the help text. The default is the settings
// struct's own initial value. A job's description (base/JobOptions.h) takes its numbers from
// these tables, which the command line and the batch are made from, and the pages look their
// ranges up in them by name, checked while compiling.
#include "base/FieldRange.h"
#include "base/Status.h"
#include "base/Text.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

enum class FieldKind
{
    integer, // whole numbers only
    single,  // a float field: parsed in double, checked and stored as float
    real,    // a double field
};

// What the desktop page checks when the user leaves a field: its page range, only that a number
// is greater than 0, or only that it is a number.
enum class PageCheck
{
    range,
    positive,
    number,
};

// Who refuses a value outside the range. The desktop checks only the fields its pages check;
// the command line and the batch refuse every value outside a stated range, since a script
// that passes one has a mistake in it.
enum class FieldCheck
{
    everywhere,
    commandLine,
};

template <typename Settings> struct JobField
{
    FieldRange range; // range.field: the settings field ("rawWidth")
    const char* option; // "width": --width on the command line, width = in a manifest
    FieldKind kind;
    const char* help;
    FieldCheck check;
    const char* bounds; // words for a range too wide to print ("greater than 0"), or null
    double (*get)(const Settings&);
    void (*set)(Settings&, double);
    FieldRange page; // the desktop page's range: the same unless OnPage narrows it
    PageCheck pageCheck = check == FieldCheck::commandLine ? PageCheck::number : PageCheck::range;

    double defaultValue() const { return get(Settings{}); }

    // The row with a narrower range on the desktop page than on the command line, where real
    // data need more than the page's field allows.
    constexpr JobField OnPage(double min, double max) const
    {
        JobField row = *this;
        row.page = {range.field, min, max};
        return row;
    }
    // The row whose page checks less than its range (a field only the command line holds to it).
    constexpr JobField OnPage(PageCheck pageChecks) const
    {
        JobField row = *this;
        row.pageCheck = pageChecks;
        return row;
    }
};

namespace job_fields_detail
{
template <typename S, typename T> S ClassOf(T S::*);
} // namespace job_fields_detail

// One row of a job's table for the member `Member`, e.g.
//   Field<&ProcessSettings::blur>("blur", "blur", 1, 20, "passes of the lever blur")
template <auto Member>
constexpr auto Field(const char* name, const char* option, double min, double max, const char* help,
                     FieldCheck check = FieldCheck::everywhere, const char* bounds = nullptr)
{
    using S = decltype(job_fields_detail::ClassOf(Member));
    using T = std::remove_cvref_t<decltype(std::declval<S&>().*Member)>;
    constexpr FieldKind kind = std::is_same_v<T, float>    ? FieldKind::single
                               : std::is_same_v<T, double> ? FieldKind::real
                                                           : FieldKind::integer;
    return JobField<S>{{name, min, max},
                       option,
                       kind,
                       help,
                       check,
                       bounds,
                       [](const S& s) { return double(s.*Member); },
                       [](S& s, double value) { s.*Member = static_cast<T>(value); },
                       {name, min, max}};
}

// The row of `name`; a name that is not in the table does not compile where a constant is
// needed (the pages' look-ups), and fails at run time anywhere else.
template <typename Settings, std::size_t N>
constexpr const JobField<Settings>& FindField(const JobField<Settings> (&table)[N], std::string_view name)
{
    for (const JobField<Settings>& field : table)
        if (name == field.range.field)
            return field;
    throw "no such field"; // not a constant expression: a typo stops the build
}

inline std::string FormatFieldNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// "256..20000" and the like, for help texts and messages.
template <typename Settings> std::string RangeText(const JobField<Settings>& field)
{
    if (field.bounds)
        return field.bounds;
    return FormatFieldNumber(field.range.min) + ".." + FormatFieldNumber(field.range.max);
}

// The value as the settings would hold it, checked against the range: ok when it is inside,
// otherwise why not ("2 is outside the range 0..1").
template <typename Settings> Status CheckField(const JobField<Settings>& field, double value)
{
    const double held = field.kind == FieldKind::single ? double(static_cast<float>(value)) : value;
    // The float nearest a bound such as 0.01 may lie just beside it.
    const double low = field.kind == FieldKind::single ? double(static_cast<float>(field.range.min)) : field.range.min;
    const double high = field.kind == FieldKind::single ? double(static_cast<float>(field.range.max)) : field.range.max;
    if (std::isnan(held) || held < low || held > high)
        return {StatusCode::invalidSettings, FormatFieldNumber(value) +
                                                 (field.bounds ? " must be a number " : " is outside the range ") +
                                                 RangeText(field)};
    return Ok();
}

// Parses `text` as the field's kind, checks its range and stores it, or answers why the text was
// refused. The command line and the batch manifest both set fields here, so they accept and
// refuse the same texts with the same words.
template <typename Settings> Status SetField(const JobField<Settings>& field, Settings& settings, std::string_view text)
{
    double value = 0;
    if (field.kind == FieldKind::integer)
    {
        const std::optional<long long> whole = ParseWhole(text);
        if (!whole)
            return {StatusCode::invalidSettings, "\"" + std::string(text) + "\" is not a whole number"};
        value = double(*whole);
    }
    else
    {
        const std::optional<double> number = ParseNumber(text);
        if (!number)
            return {StatusCode::invalidSettings, "\"" + std::string(text) + "\" is not a number"};
        value = *number;
    }
    if (Status status = CheckField(field, value); !status)
        return status;
    field.set(settings, value);
    return Ok();
}

// The first field of the table, in its order, whose value lies outside its range, or null.
// `desktop` leaves out the ranges that only the command line enforces.
template <typename Settings, std::size_t N>
const JobField<Settings>* FirstFieldOutOfRange(const JobField<Settings> (&table)[N], const Settings& settings,
                                               bool desktop = false)
{
    for (const JobField<Settings>& field : table)
    {
        if (desktop && field.check == FieldCheck::commandLine)
            continue;
        if (!CheckField(field, field.get(settings)) || (desktop && !InRange(field.page, field.get(settings))))
            return &field;
    }
    return nullptr;
}
