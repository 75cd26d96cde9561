#pragma once
// The machine-readable summaries of --json: a small builder of JSON objects and arrays, written
// on one line to stdout so that a pipeline can read one document per command.
#include <cmath>
#include <cstdio>
#include <string>

class JsonWriter
{
public:
    // Containers: begin/end pairs; `key` is empty inside arrays and for the outermost object.
    JsonWriter& beginObject(const std::string& key = {})
    {
        open(key, '{');
        return *this;
    }
    JsonWriter& endObject() { return close('}'); }
    JsonWriter& beginArray(const std::string& key = {})
    {
        open(key, '[');
        return *this;
    }
    JsonWriter& endArray() { return close(']'); }

    JsonWriter& value(const std::string& key, const std::string& text)
    {
        prefix(key);
        quote(text);
        return *this;
    }
    JsonWriter& value(const std::string& key, const char* text) { return value(key, std::string(text)); }
    JsonWriter& value(const std::string& key, bool flag)
    {
        prefix(key);
        m_text += flag ? "true" : "false";
        return *this;
    }
    JsonWriter& value(const std::string& key, long long number)
    {
        prefix(key);
        m_text += std::to_string(number);
        return *this;
    }
    JsonWriter& value(const std::string& key, unsigned long long number)
    {
        prefix(key);
        m_text += std::to_string(number);
        return *this;
    }
    JsonWriter& value(const std::string& key, int number) { return value(key, static_cast<long long>(number)); }
    JsonWriter& value(const std::string& key, long number) { return value(key, static_cast<long long>(number)); }
    JsonWriter& value(const std::string& key, unsigned number)
    {
        return value(key, static_cast<unsigned long long>(number));
    }
    JsonWriter& value(const std::string& key, unsigned long number)
    {
        return value(key, static_cast<unsigned long long>(number));
    }
    // Not-a-number and infinities have no JSON form: null.
    JsonWriter& value(const std::string& key, double number)
    {
        prefix(key);
        if (!std::isfinite(number))
        {
            m_text += "null";
            return *this;
        }
        char text[32];
        std::snprintf(text, sizeof text, "%.6g", number);
        m_text += text;
        return *this;
    }

    const std::string& text() const { return m_text; }
    // The document and a newline on stdout.
    void print() const { std::printf("%s\n", m_text.c_str()); }

private:
    void prefix(const std::string& key)
    {
        if (m_needComma)
            m_text += ',';
        if (!key.empty())
        {
            quote(key);
            m_text += ':';
        }
        m_needComma = true;
    }
    void open(const std::string& key, char bracket)
    {
        prefix(key);
        m_text += bracket;
        m_needComma = false;
    }
    JsonWriter& close(char bracket)
    {
        m_text += bracket;
        m_needComma = true;
        return *this;
    }
    void quote(const std::string& text)
    {
        m_text += '"';
        for (const char c : text)
        {
            switch (c)
            {
            case '"':
                m_text += "\\\"";
                break;
            case '\\':
                m_text += "\\\\";
                break;
            case '\n':
                m_text += "\\n";
                break;
            case '\r':
                m_text += "\\r";
                break;
            case '\t':
                m_text += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20)
                {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x",
                                  static_cast<unsigned>(static_cast<unsigned char>(c)));
                    m_text += escaped;
                }
                else
                    m_text += c;
            }
        }
        m_text += '"';
    }

    std::string m_text;
    bool m_needComma = false;
};
