#pragma once
// The machine-readable summaries of --json: objects and arrays built in the order the command
// adds them and printed on one line to stdout, so that a pipeline reads one document per
// command. The JSON itself is the library's; this keeps the commands' chained style.
#include "tools/HeightImage.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

class JsonWriter
{
public:
    // Containers: begin/end pairs; `key` is empty inside arrays and for the outermost object.
    JsonWriter& beginObject(const std::string& key = {}) { return open(key, nlohmann::ordered_json::object()); }
    JsonWriter& endObject() { return close(); }
    JsonWriter& beginArray(const std::string& key = {}) { return open(key, nlohmann::ordered_json::array()); }
    JsonWriter& endArray() { return close(); }

    // Numbers, strings and flags; not-a-number and infinities have no JSON form and print as null.
    template <typename T> JsonWriter& value(const std::string& key, const T& item)
    {
        add(key, nlohmann::ordered_json(item));
        return *this;
    }

    // The document; paths that are not valid UTF-8 keep their other characters.
    std::string text() const
    {
        return m_done.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    }
    // The document and a newline on stdout.
    void print() const { std::printf("%s\n", text().c_str()); }

private:
    JsonWriter& open(const std::string& key, nlohmann::ordered_json container)
    {
        m_open.emplace_back(key, std::move(container));
        return *this;
    }
    JsonWriter& close()
    {
        auto [key, container] = std::move(m_open.back());
        m_open.pop_back();
        if (m_open.empty())
            m_done = std::move(container);
        else
            add(key, std::move(container));
        return *this;
    }
    void add(const std::string& key, nlohmann::ordered_json item)
    {
        nlohmann::ordered_json& parent = m_open.back().second;
        if (parent.is_array())
            parent.push_back(std::move(item));
        else
            parent[key] = std::move(item);
    }

    std::vector<std::pair<std::string, nlohmann::ordered_json>> m_open;
    nlohmann::ordered_json m_done;
};

// A map's record of its source's nodata cells as the "nodata" object of a summary; nothing when
// the map has none.
inline void AddNodataJson(JsonWriter& json, const MapNodata& nodata)
{
    if (nodata.mask.empty())
        return;
    json.beginObject("nodata")
        .value("mask", nodata.mask)
        .value("filled", nodata.filled)
        .value("voidCells", nodata.kinds.voidCells)
        .value("voids", nodata.kinds.voids)
        .value("outsideCells", nodata.kinds.outsideCells)
        .endObject();
}
