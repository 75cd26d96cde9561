#pragma once
// Runs independent jobs on every core: body(index) for index 0..count-1, claimed in order by
// the calling thread and helper threads. The order in which the jobs run is not fixed, so each
// job must write only its own output. An exception thrown by a job is rethrown in the caller
// after every thread has stopped.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

// The number of threads to use when the caller asks for 0 (all cores).
inline unsigned WorkerCount(unsigned requested = 0)
{
    if (requested != 0)
        return requested;
    return std::max(1u, std::thread::hardware_concurrency());
}

template <typename Body>
void ParallelFor(std::size_t count, unsigned threads, Body&& body)
{
    threads = static_cast<unsigned>(std::min<std::size_t>(WorkerCount(threads), std::max<std::size_t>(count, 1)));
    if (threads <= 1)
    {
        for (std::size_t i = 0; i < count; ++i)
            body(i);
        return;
    }
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::exception_ptr error;
    std::mutex errorLock;
    auto work = [&] {
        try
        {
            for (std::size_t i = next++; i < count && !stop; i = next++)
                body(i);
        }
        catch (...)
        {
            std::lock_guard<std::mutex> lock(errorLock);
            if (!error)
                error = std::current_exception();
            stop = true;
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    try
    {
        for (unsigned t = 1; t < threads; ++t)
            helpers.emplace_back(work);
    }
    catch (const std::system_error&)
    {
        // No more threads to be had: the ones running (at least this one) finish the jobs.
    }
    work();
    for (auto& helper : helpers)
        helper.join();
    if (error)
        std::rethrow_exception(error);
}
