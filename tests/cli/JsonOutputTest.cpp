// --json of process, banks, cliff and dat-info: stdout holds exactly one JSON document whose
// required keys have the required types and plausible values. The document is read by a small
// JSON parser here, so the test needs nothing beyond the build.
#include "cli/ToolsTestSupport.h"
#include "codec/HeightDat.h"
#include "support/WtrWriter.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <variant>

namespace
{
struct Json;
using JsonObject = std::map<std::string, Json>;
using JsonArray = std::vector<Json>;
struct Json
{
    std::variant<std::nullptr_t, bool, double, std::string, JsonArray, JsonObject> value;
    bool isNumber() const { return std::holds_alternative<double>(value); }
    bool isString() const { return std::holds_alternative<std::string>(value); }
    bool isArray() const { return std::holds_alternative<JsonArray>(value); }
    bool isObject() const { return std::holds_alternative<JsonObject>(value); }
    double number() const { return std::get<double>(value); }
    const std::string& string() const { return std::get<std::string>(value); }
    const JsonArray& array() const { return std::get<JsonArray>(value); }
    const JsonObject& object() const { return std::get<JsonObject>(value); }
};

// A strict reader of RFC 8259 text (no comments, no trailing commas); false on any fault.
class JsonReader
{
public:
    explicit JsonReader(const std::string& text) : m_text(text) {}
    bool document(Json& out) { return value(out, 0) && (space(), m_pos == m_text.size()); }

private:
    void space()
    {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }
    bool literal(const char* word)
    {
        const std::string w(word);
        if (m_text.compare(m_pos, w.size(), w) != 0)
            return false;
        m_pos += w.size();
        return true;
    }
    bool string(std::string& out)
    {
        if (m_text[m_pos] != '"')
            return false;
        ++m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] != '"')
        {
            char c = m_text[m_pos++];
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c == '\\')
            {
                if (m_pos >= m_text.size())
                    return false;
                const char e = m_text[m_pos++];
                const std::string simple = "\"\\/bfnrt";
                const std::string meaning = "\"\\/\b\f\n\r\t";
                if (const auto at = simple.find(e); at != std::string::npos)
                    c = meaning[at];
                else if (e == 'u' && m_pos + 4 <= m_text.size())
                {
                    c = static_cast<char>(std::strtol(m_text.substr(m_pos, 4).c_str(), nullptr, 16));
                    m_pos += 4;
                }
                else
                    return false;
            }
            out += c;
        }
        if (m_pos >= m_text.size())
            return false;
        ++m_pos;
        return true;
    }
    bool number(double& out)
    {
        const std::size_t start = m_pos;
        if (m_text[m_pos] == '-')
            ++m_pos;
        const auto digits = [&]
        {
            const std::size_t first = m_pos;
            while (m_pos < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_pos])))
                ++m_pos;
            return m_pos > first;
        };
        if (!digits())
            return false;
        if (m_pos < m_text.size() && m_text[m_pos] == '.' && (++m_pos, !digits()))
            return false;
        if (m_pos < m_text.size() && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E'))
        {
            ++m_pos;
            if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-'))
                ++m_pos;
            if (!digits())
                return false;
        }
        out = std::strtod(m_text.substr(start, m_pos - start).c_str(), nullptr);
        return true;
    }
    bool value(Json& out, int depth)
    {
        space();
        if (m_pos >= m_text.size() || depth > 64)
            return false;
        const char c = m_text[m_pos];
        if (c == '{')
        {
            ++m_pos;
            JsonObject object;
            space();
            if (m_pos < m_text.size() && m_text[m_pos] == '}')
                return ++m_pos, out.value = object, true;
            for (;;)
            {
                std::string key;
                Json item;
                space();
                if (m_pos >= m_text.size() || !string(key) || (space(), m_pos >= m_text.size()) ||
                    m_text[m_pos++] != ':' || !value(item, depth + 1) || object.count(key) != 0)
                    return false;
                object[key] = item;
                space();
                if (m_pos >= m_text.size())
                    return false;
                if (m_text[m_pos] == '}')
                    return ++m_pos, out.value = object, true;
                if (m_text[m_pos++] != ',')
                    return false;
            }
        }
        if (c == '[')
        {
            ++m_pos;
            JsonArray array;
            space();
            if (m_pos < m_text.size() && m_text[m_pos] == ']')
                return ++m_pos, out.value = array, true;
            for (;;)
            {
                Json item;
                if (!value(item, depth + 1))
                    return false;
                array.push_back(item);
                space();
                if (m_pos >= m_text.size())
                    return false;
                if (m_text[m_pos] == ']')
                    return ++m_pos, out.value = array, true;
                if (m_text[m_pos++] != ',')
                    return false;
            }
        }
        if (c == '"')
        {
            std::string text;
            return string(text) && (out.value = text, true);
        }
        if (literal("true"))
            return out.value = true, true;
        if (literal("false"))
            return out.value = false, true;
        if (literal("null"))
            return out.value = nullptr, true;
        double n = 0;
        return number(n) && (out.value = n, true);
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
};

enum class Type
{
    Number,
    String,
    Array,
    Object,
};

bool HasType(const Json& json, Type type)
{
    switch (type)
    {
    case Type::Number:
        return json.isNumber();
    case Type::String:
        return json.isString();
    case Type::Array:
        return json.isArray();
    case Type::Object:
        return json.isObject();
    }
    return false;
}

// Every required key is present with its type.
void ExpectKeys(const JsonObject& object, std::initializer_list<std::pair<const char*, Type>> keys,
                const std::string& where)
{
    for (const auto& [key, type] : keys)
    {
        const auto found = object.find(key);
        ASSERT_NE(found, object.end()) << where << " lacks \"" << key << "\"";
        EXPECT_TRUE(HasType(found->second, type)) << where << ": \"" << key << "\" has the wrong type";
    }
}

// Parses stdout as one document with "command", "files" (role, path, bytes each) and "seconds".
JsonObject Summary(const ToolsCliRun& run, const std::string& command)
{
    Json document;
    JsonReader reader(run.out);
    EXPECT_TRUE(reader.document(document)) << "not JSON: " << run.out;
    if (!document.isObject())
    {
        ADD_FAILURE() << "not an object: " << run.out;
        return {};
    }
    const JsonObject& object = document.object();
    ExpectKeys(object, {{"command", Type::String}, {"files", Type::Array}, {"seconds", Type::Object}}, command);
    EXPECT_EQ(object.at("command").string(), command);
    for (const Json& file : object.at("files").array())
    {
        EXPECT_TRUE(file.isObject());
        if (file.isObject())
        {
            ExpectKeys(file.object(), {{"role", Type::String}, {"path", Type::String}, {"bytes", Type::Number}},
                       command + " file");
            EXPECT_EQ(double(ReadBytes(file.object().at("path").string()).size()), file.object().at("bytes").number());
        }
    }
    ExpectKeys(object.at("seconds").object(), {{"total", Type::Number}}, command + " seconds");
    EXPECT_GE(object.at("seconds").object().at("total").number(), 0.0);
    return object;
}

const JsonObject& FileWithRole(const JsonObject& summary, const std::string& role)
{
    for (const Json& file : summary.at("files").array())
        if (file.object().at("role").string() == role)
            return file.object();
    static const JsonObject none;
    ADD_FAILURE() << "no file with role " << role;
    return none;
}

class JsonOutput : public ToolsCliTest
{
};
} // namespace

TEST(JsonReaderTest, AcceptsValidAndRefusesBrokenDocuments)
{
    Json json;
    std::string text = R"({"a":[1,-2.5e3,true,null,"x\"\u0041"],"b":{}})";
    ASSERT_TRUE(JsonReader(text).document(json));
    EXPECT_EQ(json.object().at("a").array()[1].number(), -2500.0);
    EXPECT_EQ(json.object().at("a").array()[4].string(), "x\"A");
    for (const char* broken : {"", "{", "{\"a\":1,}", "[1 2]", "{\"a\" 1}", "{\"a\":1}{}", "nan", "{\"a\":1,\"a\":2}",
                               "\"tab\there\"", "01x"})
    {
        text = broken;
        EXPECT_FALSE(JsonReader(text).document(json)) << broken;
    }
}

TEST_F(JsonOutput, ProcessAndDatInfoDescribeTheFiles)
{
    std::string raw(256 * 260 * 2, '\0');
    for (std::size_t i = 0; i < raw.size(); i += 2)
        raw[i + 1] = static_cast<char>(i / 512 % 200);
    WriteText(path("map \"one\".raw"), raw);
    const ToolsCliRun process = run("process '" + path("map \"one\".raw") + "' --width 256 --height 260 --json");
    ASSERT_EQ(process.exitCode, 0) << process.err;
    const JsonObject summary = Summary(process, "process");
    ExpectKeys(summary, {{"width", Type::Number}, {"height", Type::Number}, {"warnings", Type::Array}}, "process");
    EXPECT_EQ(summary.at("width").number(), 256);
    EXPECT_EQ(summary.at("height").number(), 260);
    EXPECT_EQ(FileWithRole(summary, "input").at("path").string(), path("map \"one\".raw"));
    const JsonObject& height = FileWithRole(summary, "height");
    ExpectKeys(height, {{"ratio", Type::Number}, {"bitsPerSample", Type::Number}}, "height file");
    const double bytes = height.at("bytes").number();
    EXPECT_NEAR(height.at("ratio").number(), 256.0 * 260 * 2 / bytes, 1e-4 * 256.0 * 260 * 2 / bytes);
    ExpectKeys(
        summary.at("seconds").object(),
        {{"read", Type::Number}, {"lever", Type::Number}, {"water", Type::Number}, {"writeHeight", Type::Number}},
        "process seconds");

    const ToolsCliRun info = run("dat-info --json '" + path("map \"one\".dat") + "'");
    ASSERT_EQ(info.exitCode, 0) << info.err;
    const JsonObject infoSummary = Summary(info, "dat-info");
    ExpectKeys(infoSummary,
               {{"width", Type::Number},
                {"height", Type::Number},
                {"tilesAcross", Type::Number},
                {"tilesDown", Type::Number},
                {"pixelSize", Type::Number},
                {"ratio", Type::Number},
                {"bitsPerSample", Type::Number},
                {"min", Type::Number},
                {"max", Type::Number}},
               "dat-info");
    EXPECT_EQ(infoSummary.at("tilesAcross").number(), 4);
    EXPECT_EQ(infoSummary.at("tilesDown").number(), 5);
    EXPECT_EQ(infoSummary.at("pixelSize").number(), 50);
    EXPECT_EQ(infoSummary.at("min").number(), 0);
    EXPECT_EQ(infoSummary.at("max").number(), 199 * 256);
}

TEST_F(JsonOutput, CliffAndBanksDescribeTheirResults)
{
    std::vector<std::uint16_t> ramp(256 * 256);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<std::uint16_t>(i % 256 * 200);
    ASSERT_TRUE(WriteHeightDat(path("ramp.dat"), ConstRasterView<std::uint16_t>(ramp.data(), 256, 256), 50.0f));
    const ToolsCliRun cliff = run("cliff " + path("ramp.dat") + " -o " + path("ramp.bmp") + " --json -q");
    ASSERT_EQ(cliff.exitCode, 0) << cliff.err;
    const JsonObject cliffSummary = Summary(cliff, "cliff");
    EXPECT_EQ(FileWithRole(cliffSummary, "mask").at("path").string(), path("ramp.bmp"));

    // A lake in a 256 x 256 mask of one block.
    std::vector<std::uint8_t> cells(256 * 256, 0);
    for (int y = 60; y < 200; ++y)
        for (int x = 50; x < 210; ++x)
            cells[std::size_t(y) * 256 + std::size_t(x)] = 15;
    ASSERT_TRUE(WriteWtr(path("lake.wtr"), cells.data(), 256, 256, 256));
    const ToolsCliRun banks = run("banks " + path("lake.wtr") + " -o " + path("lake.sl") + " --scale 1 --json");
    ASSERT_EQ(banks.exitCode, 0) << banks.err;
    const JsonObject banksSummary = Summary(banks, "banks");
    ExpectKeys(banksSummary, {{"lines", Type::Number}, {"points", Type::Number}}, "banks");
    EXPECT_GE(banksSummary.at("lines").number(), 1);
    EXPECT_GT(banksSummary.at("points").number(), banksSummary.at("lines").number());
    EXPECT_EQ(FileWithRole(banksSummary, "shorelines").at("path").string(), path("lake.sl"));
}

TEST_F(JsonOutput, FailuresPrintNoDocument)
{
    const ToolsCliRun missing = run("dat-info --json " + path("none.dat"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
}
