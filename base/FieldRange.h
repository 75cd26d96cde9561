#pragma once
// An inclusive range that a field must satisfy before a job may run.
struct FieldRange
{
    const char* field; // the settings field ("rawWidth")
    double min;
    double max;
};

// The main dialog's water/height resolution scale, which the process and banks jobs share.
inline constexpr FieldRange kResolutionScaleRange = {"resolutionScale", 1, 50};

inline bool InRange(const FieldRange& range, double value)
{
    return value >= range.min && value <= range.max;
}
