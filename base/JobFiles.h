#pragma once
// The checks of a job's files before any work: no output may be one of the job's inputs, and
// every input must be a readable file. Every front end runs its jobs through them, so that no
// job destroys its own input, whoever starts it.
#include "base/JobResult.h"

#include <string>
#include <vector>

// True when both paths name one existing file: the same device and inode, links followed, a
// stream name ("-", /dev/stdout, /dev/fd/N) standing for the file behind its descriptor.
bool IsSameFile(const std::string& a, const std::string& b);

// "OUTPUT: is the same file as the input INPUT; ..." for the first output that is one of the
// inputs, or empty.
std::string SameFileProblem(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs);

// "PATH: what: the system's reason" for an input that is a folder, a device or FIFO, or
// unreadable; empty when it can be read, and when it is missing, which the job reports in its
// own words.
std::string InputProblem(const std::string& path);

// The same-file refusal (JobStatus::refused), then the first input problem (JobStatus::failed);
// ok when there is neither. Empty paths are skipped: an input or output not given.
JobResult CheckJobFiles(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs);
