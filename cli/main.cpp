#include "cli/CliSupport.h"

#include <new>

int main(int argc, char** argv)
{
    CLI::App app{"Altimo: prepares terrain data (height files, shorelines, cliff masks) for a terrain engine",
                 "altimo-cli"};
    app.require_subcommand(1);
    CliContext context;

    // Commands are added here as they arrive.
    RegisterProcessCommand(app, context);
    RegisterBanksCommand(app, context);
    RegisterCliffCommand(app, context);
    RegisterDatCommands(app, context);
    RegisterDemoCommand(app, context);
    RegisterWtrCommands(app, context);
    RegisterPreviewCommand(app, context);

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
