#pragma once
// How the file formats and helpers below the jobs answer: a code a caller may branch on, and the
// message a person reads. The jobs themselves answer with JobResult (base/JobResult.h), whose
// message is usually a Status's. Branching on the code, never on the text, keeps the messages
// free to change.
#include <string>
#include <utility>

enum class StatusCode
{
    ok,
    cannotOpen,      // an input is missing or cannot be opened or read
    invalidInput,    // an input is not a well-formed file of its kind (truncated, corrupt, wrong size)
    invalidSettings, // a value or a combination of values the callee will not take
    tooLarge,        // the work would not fit in memory or in the format
    writeFailed,     // an output could not be written; nothing half-written is left behind
    noTarget,        // the user chose no file to write: nothing was done, and nothing is wrong
};

struct [[nodiscard]] Status
{
    StatusCode code = StatusCode::ok;
    std::string message; // empty for ok; otherwise a sentence naming the file or value concerned

    Status() = default;
    Status(StatusCode failure, std::string why) : code(failure), message(std::move(why)) {}

    bool ok() const { return code == StatusCode::ok; }
    explicit operator bool() const { return ok(); }
};

inline Status Ok()
{
    return {};
}

// A Status carrying a value when it is ok, for the helpers that make something.
template <typename T> struct [[nodiscard]] StatusOr
{
    Status status;
    T value{};

    StatusOr(Status failure) : status(std::move(failure)) {}
    StatusOr(T made) : value(std::move(made)) {}

    bool ok() const { return status.ok(); }
    explicit operator bool() const { return ok(); }
    const T& operator*() const { return value; }
    T& operator*() { return value; }
    const T* operator->() const { return &value; }
    T* operator->() { return &value; }
};
