#pragma once
// The widest vector unit of the machine, for the few loops compiled in several widths with
// [[gnu::target]] and chosen at run time, so that one package runs on every x86-64 machine.
// Every width does the same operations per lane: the results do not depend on the choice.

enum class VectorUnit
{
    Plain, // what the baseline instruction set has (SSE2 on x86-64)
    Avx2,
    Avx512, // AVX-512 F and BW
};

inline VectorUnit WidestVectorUnit()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
        return VectorUnit::Avx512;
    if (__builtin_cpu_supports("avx2"))
        return VectorUnit::Avx2;
#endif
    return VectorUnit::Plain;
}
