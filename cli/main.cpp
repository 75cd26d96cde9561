#include "cli/CliSupport.h"

#include <algorithm>
#include <memory>
#include <cctype>
#include <new>
#include <string>
#include <vector>

namespace
{
// Letters to insert, delete or change to turn one word into the other.
std::size_t EditDistance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
    {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j)
        {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// " did you mean 'NAME'?" for the nearest of `names` when it is near enough to be a slip of the
// fingers, else the list of names.
std::string Hint(const std::string& word, const std::vector<std::string>& names)
{
    std::string nearest;
    std::size_t best = std::string::npos;
    for (const std::string& name : names)
        if (const std::size_t d = EditDistance(word, name); d < best)
        {
            best = d;
            nearest = name;
        }
    if (!nearest.empty() && best <= std::max<std::size_t>(2, nearest.size() / 3))
        return "; did you mean '" + nearest + "'?";
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + name;
    return "; the choices are " + list;
}

// The option names a command takes, with its dashes, its parent's included.
void AddOptionNames(const CLI::App& app, std::vector<std::string>& names)
{
    for (const CLI::Option* option : app.get_options())
    {
        for (const std::string& name : option->get_lnames())
            names.push_back("--" + name);
        for (const std::string& name : option->get_snames())
            names.push_back("-" + name);
    }
}

// The first command or option name that the tool does not know, said with the nearest known
// one; empty when every name is known (the parser's own message then says what is wrong).
std::string UnknownName(CLI::App& app, const std::vector<std::string>& args)
{
    std::vector<std::string> commands;
    std::vector<const CLI::App*> subcommands;
    for (const CLI::App* command : app.get_subcommands([](CLI::App*) { return true; }))
    {
        commands.push_back(command->get_name());
        subcommands.push_back(command);
    }
    std::vector<std::string> options;
    AddOptionNames(app, options);
    const CLI::App* command = nullptr;
    for (const std::string& arg : args)
    {
        if (arg == "--")
            break;
        const bool longName = arg.rfind("--", 0) == 0 && arg.size() > 2;
        const bool shortName = !longName && arg.size() >= 2 && arg[0] == '-' && std::isalpha(static_cast<unsigned char>(arg[1]));
        if (longName || shortName)
        {
            const std::string name = longName ? arg.substr(0, arg.find('=')) : arg.substr(0, 2);
            if (std::find(options.begin(), options.end(), name) == options.end())
                return (command != nullptr ? command->get_name() + ": " : std::string()) + "unknown option '" + name +
                       "'" + Hint(name, options);
        }
        else if (command == nullptr && !arg.empty() && arg[0] != '-')
        {
            const auto found = std::find(commands.begin(), commands.end(), arg);
            if (found == commands.end())
                return "unknown command '" + arg + "'" + Hint(arg, commands);
            command = subcommands[std::size_t(found - commands.begin())];
            AddOptionNames(*command, options);
        }
    }
    return {};
}
// One help style for every command, set once here so that no command differs: a positional
// shows its name alone; a value is INT, NUMBER, PATH, a named form (K/N, MIN:MAX|auto) or a set
// of {choices}, followed by "=default" where the default is fixed and REQUIRED where it must be
// given; a flag shows nothing after its name. Ranges and other defaults go at the end of the
// description, as "(1..20)" and "(default: ...)".
class HelpStyle final : public CLI::Formatter
{
public:
    std::string make_option_opts(const CLI::Option* option) const override
    {
        if (!option->nonpositional() || option->get_type_size() == 0)
            return {};
        std::string type = option->get_type_name();
        if (const std::size_t colon = type.find(':'); colon != std::string::npos)
            type = type.compare(colon + 1, 1, "{") == 0 ? type.substr(colon + 1) : type.substr(0, colon);
        if (type == "FLOAT" || type == "DOUBLE")
            type = "NUMBER";
        if (type == "TEXT")
            type = "PATH";
        std::string text = " " + type;
        if (!option->get_default_str().empty())
            text += "=" + option->get_default_str();
        if (option->get_required())
            text += " REQUIRED";
        return text;
    }
};

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Altimo: prepares terrain data (height files, shorelines, cliff masks) for a terrain engine",
                 "altimo-cli"};
    app.require_subcommand(1);
    // Before the commands are added: each takes its parent's formatter.
    app.formatter(std::make_shared<HelpStyle>());
    // What a problem report starts with (the README asks for it).
    app.set_version_flag("--version", std::string("altimo-cli ") + ALTIMO_VERSION, "print the version and exit");
    app.set_help_flag("-h,--help", "print this help and exit");
    CliContext context;
    app.add_flag("-q,--quiet", context.quiet, "no progress bars and no summaries; errors still go to stderr");
    // Subcommands inherit this, so --quiet may also follow the command's name.
    app.fallthrough();

    // Commands are added here as they arrive.
    RegisterProcessCommand(app, context);
    RegisterBanksCommand(app, context);
    RegisterCliffCommand(app, context);
    RegisterDatCommands(app, context);
    RegisterDemoCommand(app, context);
    RegisterWtrCommands(app, context);
    RegisterPreviewCommand(app, context);
    RegisterImageCommands(app, context);
    RegisterBatchCommand(app, context);

    // The common spelling of the banks option, beside the desktop's own.
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::string& arg : args)
        if (arg == "--tessellation" || arg.rfind("--tessellation=", 0) == 0)
            arg.erase(7, 1);
    std::vector<char*> pointers{argv[0]};
    for (std::string& arg : args)
        pointers.push_back(arg.data());
    try
    {
        app.parse(int(pointers.size()), pointers.data());
    }
    catch (const CLI::CallForHelp& e)
    {
        return app.exit(e);
    }
    catch (const CLI::CallForAllHelp& e)
    {
        return app.exit(e);
    }
    catch (const CLI::CallForVersion& e)
    {
        return app.exit(e);
    }
    catch (const CLI::ParseError& e)
    {
        const std::string unknown = UnknownName(app, args);
        PrintError(unknown.empty() ? e.what() : unknown);
        return kExitBadArguments;
    }
    catch (const std::bad_alloc&)
    {
        PrintError("not enough memory for this job");
        return kExitJobFailed;
    }
    return context.exitCode;
}
