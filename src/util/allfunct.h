#pragma once
// Path helpers used wherever a file name is appended to a folder.
#include <string>

// Returns the folder path with one "/" appended when it is non-empty and does
// not already end in one; an empty path stays empty.
std::string AppendBackslash(const std::string& path);

// The bare file name of a component file named by the catalogue: the part
// after the last "\", ":" or "/".  All three count as separators, so a name
// from the server never climbs out of the folder it is meant for; for the
// same reason "." and ".." are no file names and give "" (as does a name
// ending in a separator).  Callers treat "" as no usable name.
std::string BareFileName(const std::string& componentFile);

// A path below a folder as the catalogue writes it, such as a module's
// program file "Bin\App.exe": its folder separators "\" are read as "/",
// so it can be appended to a folder path and looked up component by
// component, letter case ignored, like any name.  A path that would not
// stay below the folder (absolute, or with a ".." component) gives "",
// which names no file: a module so named is installed nowhere.
std::string LocalRelativePath(const std::string& cataloguePath);
