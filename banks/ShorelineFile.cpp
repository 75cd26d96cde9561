#include "banks/ShorelineFile.h"

#include "base/AtomicFile.h"

#include <charconv>

namespace
{
// "%.2f" of a whole number is its decimal digits followed by ".00"; formatting the integer
// keeps the separator a full stop in every locale.
void AppendMetres(std::string& text, std::int32_t value)
{
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    text.append(digits, end);
    text += ".00";
}
} // namespace

std::size_t CountShorePoints(const ShorelineSet& lines)
{
    std::size_t count = 0;
    for (const Shoreline& line : lines)
        count += line.size();
    return count;
}

BanksStatus FormatShorelines(const ShorelineSet& lines, std::string& text)
{
    text.clear();
    if (lines.size() > std::size_t(kMaxShoreCount))
        return BanksStatus::tooManyLines;
    for (const Shoreline& line : lines)
        if (line.size() > std::size_t(kMaxShoreCount))
            return BanksStatus::lineTooLong;

    text.reserve(CountShorePoints(lines) * 32 + lines.size() * 24);
    for (std::size_t i = 0; i < lines.size(); ++i)
    {
        text += "[LINE=";
        text += std::to_string(i);
        text += "]\n";
        for (const ShorePoint& point : lines[i])
        {
            text += "\tpoint_xz=";
            AppendMetres(text, point.z);
            text += ',';
            AppendMetres(text, point.x);
            text += '\n';
        }
        text += "[END]\n\n";
    }
    return BanksStatus::ok;
}

BanksStatus WriteShorelineFile(const std::string& path, const ShorelineSet& lines)
{
    std::string text;
    if (const BanksStatus status = FormatShorelines(lines, text); status != BanksStatus::ok)
        return status;
    return WriteFileAtomically(path, text.data(), text.size()) ? BanksStatus::ok : BanksStatus::writeFailed;
}
