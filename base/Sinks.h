#pragma once
// The two ways a job talks to whoever runs it: a progress bar (range 0..200) and message boxes.
// The desktop pages adapt their progress bar and message boxes; the command line draws on
// stderr; tests record what the job did.
#include <string>
#include <vector>

// The caption of every message box the application shows.
inline constexpr const char* kAppName = "altimo";

class IProgressSink
{
public:
    virtual ~IProgressSink() = default;
    virtual int pos() const = 0;
    virtual void setPos(int position) = 0;
};

class IMessageSink
{
public:
    virtual ~IMessageSink() = default;
    virtual void show(const std::string& text, const std::string& caption) = 0;
};

class NullProgress final : public IProgressSink
{
public:
    int pos() const override { return m_pos; }
    void setPos(int position) override { m_pos = position; }

private:
    int m_pos = 0;
};

// Keeps every position set, in order, so tests can check the exact sequence.
class RecordingProgress final : public IProgressSink
{
public:
    int pos() const override { return m_pos; }
    void setPos(int position) override
    {
        m_pos = position;
        positions.push_back(position);
    }
    std::vector<int> positions;

private:
    int m_pos = 0;
};

class NullMessages final : public IMessageSink
{
public:
    void show(const std::string&, const std::string&) override {}
};

struct Message
{
    std::string text;
    std::string caption;
};

class RecordingMessages final : public IMessageSink
{
public:
    void show(const std::string& text, const std::string& caption) override { messages.push_back({text, caption}); }
    std::vector<Message> messages;
};

// Passes every message on and keeps the first as one line ("caption: text" when the caption
// says what went wrong): a job's reason for a report that has room for one line.
class FirstMessage final : public IMessageSink
{
public:
    explicit FirstMessage(IMessageSink& next) : m_next(next) {}
    void show(const std::string& text, const std::string& caption) override
    {
        if (first.empty())
            first = caption.empty() || caption == kAppName ? text : caption + ": " + text;
        m_next.show(text, caption);
    }
    std::string first;

private:
    IMessageSink& m_next;
};
