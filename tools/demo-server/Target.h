#pragma once
// Turns a request target into the path it names: the query and fragment are
// dropped, an absolute-form target loses its scheme and authority, and
// percent escapes are decoded.  Paths that could leave the served tree are
// refused here, before anything touches the file system.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The decoded path segments of a target ("/download/a.dll" gives
// {"download", "a.dll"}), or nothing when the target is malformed or holds a
// "." or ".." segment, an empty segment inside the path, a NUL or a
// backslash.  A trailing "/" is allowed and adds no segment.
std::optional<std::vector<std::string>> TargetSegments(std::string_view target);
