#pragma once
// The checks of a job's files before any work: no output may be one of the job's inputs, and
// every input must be a readable file. Every front end runs its jobs through them, so that no
// job destroys its own input, whoever starts it.
#include "base/JobResult.h"
#include "base/Status.h"

#include <cerrno>
#include <string>
#include <vector>

// True when both paths name one existing file: the same device and inode, links followed, a
// stream name ("-", /dev/stdout, /dev/fd/N) standing for the file behind its descriptor.
bool IsSameFile(const std::string& a, const std::string& b);

// invalidSettings, "OUTPUT: is the same file as the input INPUT; ...", for the first output that
// is one of the inputs; ok when there is none.
Status SameFileProblem(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs);

// cannotOpen, "PATH: what: the system's reason", for an input that is a folder, a device or FIFO,
// or unreadable; ok when it can be read, and when it is missing, which the job reports in its own
// words.
Status InputProblem(const std::string& path);

// "PATH: WHAT: the system's reason" for an input that could not be opened or read; `error` is the
// errno value of the failure.
std::string InputFailure(const std::string& path, const std::string& what = "cannot open the file",
                         int error = errno);
// One text for one file however it is spelled: the path with every symbolic link resolved, also
// for a file not written yet (its folder resolved, its name kept, a dangling link followed), so
// "maps/./a.dat", "/abs/maps/a.dat" and "link-to-maps/a.dat" give the same key. Hard links are
// other files: an output replaced by its writer no longer shares its content with them.
std::string FileKey(const std::string& path);

// The size of the file in bytes; 0 when it cannot be measured.
unsigned long long FileSize(const std::string& path);

// cannotOpen with InputFailure in the job's own words for its main input when it cannot be opened,
// a missing file among them; ok when it opens.
Status UnopenedInput(const std::string& path, const std::string& what);
// "PATH: WHAT: the system's reason" for an output that could not be written. The writers clean up
// after a failure, so the reason is found where the file was to go: a missing or read-only
// folder, a folder in the file's place, a full disk; without one when none is seen there.
std::string OutputFailure(const std::string& path, const std::string& what = "cannot write the file");

// The same-file refusal (JobStatus::refused), then the first input problem (JobStatus::failed);
// ok when there is neither. Empty paths are skipped: an input or output not given.
JobResult CheckJobFiles(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs);
