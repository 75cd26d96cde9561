#pragma once
// The worker count WorkerCount() reads (ALTIMO_THREADS) set for a scope, and what was there put
// back after it: the whole suite may run with a count set from outside (make test runs it at 3
// and 7 workers under ThreadSanitizer).
#include <cstdlib>
#include <optional>
#include <string>

namespace testcli
{
class ScopedWorkers
{
public:
    explicit ScopedWorkers(const char* count)
    {
        if (const char* was = std::getenv("ALTIMO_THREADS"))
            m_was = was;
        ::setenv("ALTIMO_THREADS", count, 1);
    }
    ~ScopedWorkers()
    {
        if (m_was)
            ::setenv("ALTIMO_THREADS", m_was->c_str(), 1);
        else
            ::unsetenv("ALTIMO_THREADS");
    }
    ScopedWorkers(const ScopedWorkers&) = delete;
    ScopedWorkers& operator=(const ScopedWorkers&) = delete;

private:
    std::optional<std::string> m_was;
};
} // namespace testcli
