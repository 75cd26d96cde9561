#include "cli/CliSupport.h"

#include <new>
#include <string>

int main(int argc, char** argv)
{
    CLI::App app{"Altimo: prepares terrain data (height files, shorelines, cliff masks) for a terrain engine",
                 "altimo-cli"};
    app.require_subcommand(1);
    // What a problem report starts with (the README asks for it).
    app.set_version_flag("--version", std::string("altimo-cli ") + ALTIMO_VERSION);
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

    try
    {
        app.parse(argc, argv);
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
        PrintError(e.what());
        return kExitBadArguments;
    }
    catch (const std::bad_alloc&)
    {
        PrintError("not enough memory for this job");
        return kExitJobFailed;
    }
    return context.exitCode;
}
