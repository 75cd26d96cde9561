#pragma once
// Tables of cases run as parameterised tests name each row after its `name` field, so that a
// failure reads Suite/Fixture.Test/RowName.
#include <string>

namespace testcli
{
inline constexpr auto kCaseName = [](const auto& row) { return std::string(row.param.name); };
} // namespace testcli
