#pragma once
// Everything a job is told, described once: for every option its command-line form, its batch
// key, its help, the type and default the help shows, and its own parser into the job's request.
// The command line makes its options from these rows (cli/CliSupport.h), the batch manifest its
// keys (cli/BatchManifest.cpp), so an option of a command and the manifest key of that name take
// the same words, set the same request and refuse a value with the same message. The numbers
// come in by reference to the job's field table (base/JobFields.h), which keeps their ranges and
// the pages' look-ups.
#include "base/JobFields.h"
#include "base/Status.h"
#include "base/Text.h"

#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class OptionForm
{
    positional, // the command's input, given by place: RAW, DAT, WTR
    value,      // --name VALUE
    flag,       // --name alone on the command line; yes/no, true/false, on/off or 1/0 in a manifest
};

template <typename Request> struct JobOption
{
    using Parser = std::function<Status(Request&, std::string_view)>;

    OptionForm form = OptionForm::value;
    std::string name;  // "output" for --output; a positional's "RAW"
    std::string alias; // "o" for -o, or empty
    std::string key;   // the manifest key ("raw", "output"); empty: the command line only
    bool required = false;
    // What the help shows for the value: "PATH", "INT", "NUMBER", "N|METRESm". A row with
    // choices shows them instead, and the command line refuses other words before the parser.
    std::string type;
    std::vector<std::string> choices;
    std::string defaultText; // shown as "=default" in the help; empty: nothing shown
    std::string help;
    std::string excludes; // the option this one cannot be given with: a flag's opposite
    // Values the option takes on the command line ("--window XOFF YOFF XSIZE YSIZE": 4), given to
    // the parser joined by spaces, as a manifest writes them.
    int count = 1;
    Parser parse;

    bool path() const { return type == "PATH"; }

    // The same row with another help text, type or default, as a command says more than its field.
    JobOption describedAs(std::string text) const { return Changed(&JobOption::help, std::move(text)); }
    JobOption shownAs(std::string shown) const { return Changed(&JobOption::type, std::move(shown)); }
    JobOption defaultingTo(std::string text) const { return Changed(&JobOption::defaultText, std::move(text)); }
    JobOption parsedBy(Parser parser) const { return Changed(&JobOption::parse, std::move(parser)); }
    // The row that, once its value is taken, also notes in the request that it was given (a size
    // given is not inferred, a pixel size given overrides the header's).
    JobOption noting(void (*given)(Request&)) const
    {
        return parsedBy([parse = parse, given](Request& request, std::string_view text)
                        {
                            Status status = parse(request, text);
                            if (status)
                                given(request);
                            return status;
                        });
    }

private:
    template <typename T> JobOption Changed(T JobOption::*member, T value) const
    {
        JobOption row = *this;
        row.*member = std::move(value);
        return row;
    }
};

// A job's description: its options in the order the help lists them and the values are taken
// (for the numbers, the order the desktop checks them in, so the first refused is the same).
template <typename Request> using JobOptions = std::vector<JobOption<Request>>;

// The row of `name` ("output", "height-scale"), or null.
template <typename Request> const JobOption<Request>* FindOption(const JobOptions<Request>& rows, std::string_view name)
{
    for (const JobOption<Request>& row : rows)
        if (row.name == name)
            return &row;
    return nullptr;
}

// The row of `name` to amend while a description is built; a name not in it is a mistake in the
// description.
template <typename Request> JobOption<Request>& OptionRow(JobOptions<Request>& rows, std::string_view name)
{
    for (JobOption<Request>& row : rows)
        if (row.name == name)
            return row;
    throw std::logic_error("no option " + std::string(name));
}

// A boolean's text as a manifest gives it: yes/no, true/false, on/off or 1/0, in any case.
inline StatusOr<bool> ParseYesNo(std::string_view text)
{
    const std::string lower = Lower(text);
    if (lower == "true" || lower == "yes" || lower == "on" || lower == "1")
        return true;
    if (lower == "false" || lower == "no" || lower == "off" || lower == "0")
        return false;
    return Status(StatusCode::invalidSettings, "\"" + std::string(text) + "\" is not true or false");
}

// "a, b or c".
inline std::string ListOfWords(const std::vector<std::string>& words)
{
    std::string list;
    for (std::size_t i = 0; i < words.size(); ++i)
        list += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
    return list;
}

// The input given by place, a path every run needs: RAW, DAT, WTR; `key` in a manifest.
template <typename Request>
JobOption<Request> PositionalPath(std::string name, std::string key, std::string help,
                                  std::string Request::*member)
{
    JobOption<Request> row;
    row.form = OptionForm::positional;
    row.name = std::move(name);
    row.key = std::move(key);
    row.required = true;
    row.type = "PATH";
    row.help = std::move(help);
    row.parse = [member](Request& request, std::string_view text)
    {
        request.*member = std::string(text);
        return Ok();
    };
    return row;
}

// --name PATH (with -alias when given), the manifest's `name` key; a path through `set`, so
// that it may land in the request's settings.
template <typename Request>
JobOption<Request> PathOption(std::string name, std::string alias, std::string help,
                              void (*set)(Request&, std::string), bool required = false)
{
    JobOption<Request> row;
    row.key = name;
    row.name = std::move(name);
    row.alias = std::move(alias);
    row.required = required;
    row.type = "PATH";
    row.help = std::move(help);
    row.parse = [set](Request& request, std::string_view text)
    {
        set(request, std::string(text));
        return Ok();
    };
    return row;
}

// --name, a flag; the manifest's `key` (empty: the command line only) takes yes or no.
template <typename Request>
JobOption<Request> FlagOption(std::string name, std::string key, std::string help, void (*set)(Request&, bool))
{
    JobOption<Request> row;
    row.form = OptionForm::flag;
    row.name = std::move(name);
    row.key = std::move(key);
    row.help = std::move(help);
    row.parse = [set](Request& request, std::string_view text) -> Status
    {
        const StatusOr<bool> value = ParseYesNo(text);
        if (value)
            set(request, *value);
        return value.status;
    };
    return row;
}

// --name WORD, one of `choices`; `defaultText` is the word the request starts with, or empty.
template <typename Request>
JobOption<Request> ChoiceOption(std::string name, std::vector<std::string> choices, std::string defaultText,
                                std::string help, void (*set)(Request&, std::string))
{
    JobOption<Request> row;
    row.key = name;
    row.name = std::move(name);
    row.choices = std::move(choices);
    row.defaultText = std::move(defaultText);
    row.help = std::move(help);
    row.parse = [set, choices = row.choices](Request& request, std::string_view text) -> Status
    {
        for (const std::string& choice : choices)
            if (text == choice)
            {
                set(request, choice);
                return Ok();
            }
        return Status(StatusCode::invalidSettings, "\"" + std::string(text) + "\" is not " + ListOfWords(choices));
    };
    return row;
}

// A row of the job's field table as --option NUMBER: its help with the range, the settings'
// initial value as the default, and SetField as the parser.
template <typename Request, typename Settings>
JobOption<Request> FieldOption(const JobField<Settings>& field, Settings Request::*settings)
{
    JobOption<Request> row;
    row.name = field.option;
    row.key = field.option;
    row.type = field.kind == FieldKind::integer ? "INT" : "NUMBER";
    row.defaultText = FormatFieldNumber(field.defaultValue());
    row.help = std::string(field.help) + " (" + RangeText(field) + ")";
    row.parse = [&field, settings](Request& request, std::string_view text)
    { return SetField(field, request.*settings, text); };
    return row;
}

// Every row of a field table, in its order.
template <typename Request, typename Settings, std::size_t N>
void AddFieldOptions(JobOptions<Request>& rows, const JobField<Settings> (&table)[N], Settings Request::*settings)
{
    for (const JobField<Settings>& field : table)
        rows.push_back(FieldOption(field, settings));
}
