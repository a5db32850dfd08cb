// The thin platform layer: everything that differs between Windows and the portable build.
// src/plugin/SystemFn.cpp is the portable stand-in, src/plugin/win32/SystemFn.cpp the Windows one.
#pragma once

#include <string>

namespace pallix::sys {

// Renames temp over target, replacing an existing target. False on failure.
bool ReplaceFile(const std::string& temp, const std::string& target);
// Removes a file; false when it could not be removed.
bool RemoveFile(const std::string& fileName);

}  // namespace pallix::sys
