// The thin platform layer: everything that differs between Windows and the portable build.
// src/plugin/SystemFn.cpp is the portable stand-in, src/plugin/win32/SystemFn.cpp the Windows one.
#pragma once

#include <string>
#include <string_view>

namespace pallix::sys {

// Renames temp over target, replacing an existing target. False on failure.
bool ReplaceFile(const std::string& temp, const std::string& target);
// Removes a file; false when it could not be removed.
bool RemoveFile(const std::string& fileName);

// The library's own full file name: the DLL on Windows (not the host program). The portable
// build has no library of its own; it answers the running program unless a path was set.
std::string ModuleFileName();
// Portable build only: replaces the answer of ModuleFileName (empty restores the default).
void SetModuleFileName(std::string fileName);

// INI profile access with the system's rules: section and key names compared without regard
// to letter case, the first match wins, blanks around values removed. A missing file,
// section or key gives the default.
std::string ReadIniString(const std::string& fileName, std::string_view section, std::string_view key,
                          std::string_view defaultValue);
// Updates the key in place or appends it, creating the section and the file as needed.
// False when the file cannot be written.
bool WriteIniString(const std::string& fileName, std::string_view section, std::string_view key,
                    std::string_view value);

// True for an existing file (not a folder).
bool FileExists(const std::string& fileName);

// Turns a path in the host's Windows form into one this system opens: backslashes become
// "/" on Linux; unchanged on Windows.
std::string NativePath(std::string_view path);

// The full path of folder, a relative folder being taken against base (a folder, with or
// without its trailing separator). When base is empty or no existing folder, the process's
// current directory is the base instead. An empty folder means the base itself. "." and ".."
// are resolved; the result ends with a separator. Never changes the current directory.
std::string ExpandFolder(std::string_view folder, std::string_view base);

// Creates the folder and every missing parent. False when it does not exist afterwards.
bool ForceFolders(const std::string& folder);

// Copies source over target through a temporary beside the target, so that a failed copy
// leaves no partial file and an existing target untouched. False on failure.
bool CopyFileReplacing(const std::string& source, const std::string& target);

// The separator this system puts between folders and file names.
#if defined(_WIN32)
inline constexpr char kPathDelimiter = '\\';
#else
inline constexpr char kPathDelimiter = '/';
#endif

}  // namespace pallix::sys
