#pragma once
// The in-use probe: may the installed file at this path be replaced now?
//
// Linux lets a busy file be deleted or replaced, so "in use" here means the
// nearest thing: the file must not be replaced while a program relies on it.
// A file is in use when
//   - it is missing, not a regular file, or read-only (no write permission
//     bit is set, which stands for the read-only attribute), or
//   - it cannot be opened for writing (for example a running program's image,
//     which the kernel refuses with "text file busy"), or
//   - another process holds it open: a write lease on it is refused, or,
//     where a lease cannot tell, an open descriptor or a mapping of it is
//     found under /proc, or it is the image of a running process.
// Probing opens the file for writing without creating or truncating it and
// writes nothing, so contents and time stamps stay as they were.  The probe
// raises nothing; every failure is its answer "in use".  The answer holds
// only for the moment of the probe.
// The probe's system calls are the platform layer's (platform/FileInUse.h).
#include <string>

#include "platform/FileInUse.h"

inline bool FileInUse(const std::string& path) { return platform::FileInUse(path); }

// The /proc part of the probe on its own: true when some process this user
// may inspect (this one included) has the file open, mapped, or runs it.
// The probe falls back on it where a write lease cannot tell.
inline bool ProcessHoldsFile(const std::string& path) { return platform::ProcessHoldsFile(path); }
