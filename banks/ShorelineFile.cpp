#include "banks/ShorelineFile.h"

#include "base/AtomicFile.h"

#include <charconv>
#include <cstring>
#include <string_view>
#include <vector>

namespace
{
// "%.2f" of a whole number is its decimal digits followed by ".00"; formatting the integer
// keeps the separator a full stop in every locale.
char* AppendMetres(char* out, std::int32_t value)
{
    out = std::to_chars(out, out + 11, value).ptr;
    std::memcpy(out, ".00", 3);
    return out + 3;
}

char* AppendText(char* out, std::string_view text)
{
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// The most bytes one point and one line's frame can take.
constexpr std::size_t kPointBytes = 10 + 2 * (11 + 3) + 2;
constexpr std::size_t kLineBytes = 6 + 10 + 2 + 7;

std::size_t LineBound(const Shoreline& line)
{
    return kLineBytes + line.size() * kPointBytes;
}

// Line `index` of the file, at most LineBound(line) bytes.
char* FormatLine(char* out, std::size_t index, const Shoreline& line)
{
    out = AppendText(out, "[LINE=");
    out = std::to_chars(out, out + 10, index).ptr;
    out = AppendText(out, "]\n");
    for (const ShorePoint& point : line)
    {
        out = AppendText(out, "\tpoint_xz=");
        out = AppendMetres(out, point.z);
        *out++ = ',';
        out = AppendMetres(out, point.x);
        *out++ = '\n';
    }
    return AppendText(out, "[END]\n\n");
}

Status CheckCounts(const ShorelineSet& lines)
{
    if (lines.size() > std::size_t(kMaxShoreCount))
        return TooManyShoreLines();
    for (const Shoreline& line : lines)
        if (line.size() > std::size_t(kMaxShoreCount))
            return ShoreLineTooLong();
    return Ok();
}
} // namespace

std::size_t CountShorePoints(const ShorelineSet& lines)
{
    std::size_t count = 0;
    for (const Shoreline& line : lines)
        count += line.size();
    return count;
}

StatusOr<std::string> FormatShorelines(const ShorelineSet& lines)
{
    if (Status counts = CheckCounts(lines); !counts)
        return counts;
    std::string text;
    // Written into a buffer sized for the longest possible text, then cut to what was written.
    std::size_t bound = 0;
    for (const Shoreline& line : lines)
        bound += LineBound(line);
    text.resize(bound);
    char* out = text.data();
    for (std::size_t i = 0; i < lines.size(); ++i)
        out = FormatLine(out, i, lines[i]);
    text.resize(std::size_t(out - text.data()));
    return text;
}

Status WriteShorelineFile(const std::string& path, const ShorelineSet& lines)
{
    const Status writeFailed(StatusCode::writeFailed, "The file could not be written");
    if (Status counts = CheckCounts(lines); !counts)
        return counts;
    // Written a megabyte at a time: the whole text of a large set would be tens of megabytes
    // of fresh memory, which costs more to fault in than to format.
    AtomicFile file;
    if (!file.open(path))
        return writeFailed;
    std::vector<char> buffer(std::size_t(1) << 20);
    std::size_t used = 0;
    for (std::size_t i = 0; i < lines.size(); ++i)
    {
        const std::size_t bound = LineBound(lines[i]);
        if (used + bound > buffer.size())
        {
            file.write(buffer.data(), used);
            used = 0;
            if (bound > buffer.size())
                buffer.resize(bound);
        }
        used = std::size_t(FormatLine(buffer.data() + used, i, lines[i]) - buffer.data());
    }
    file.write(buffer.data(), used);
    return file.commit() ? Ok() : writeFailed;
}
