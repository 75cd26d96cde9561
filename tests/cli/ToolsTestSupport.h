#pragma once
// The older names of the shared CLI test helpers (tests/common/CliRunner.h), for the batch and
// DEM tests that still use them.
#include "tests/common/CliRunner.h"

using ToolsCliRun = testcli::CliRun;
using ToolsCliTest = testcli::ScratchFolderTest;
using testcli::DecodePng;
using testcli::Exists;
using testcli::ReadBytes;
using testcli::ReadText;
using testcli::WriteText;
