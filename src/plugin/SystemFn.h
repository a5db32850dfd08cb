// The thin platform layer: everything that differs between Windows and the portable build.
// src/plugin/SystemFn.cpp is the portable stand-in, src/plugin/win32/SystemFn.cpp the Windows one.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace pallix::sys {

// The system's words for the last failed call of this thread ("No space left on device").
std::string LastErrorText();
// The reason given for a name that is there but no regular file (a folder, FIFO or device).
inline constexpr char kNotARegularFile[] = "not a regular file";

// A new, empty file open for writing in target's folder, under a short name unique to the
// run ("~px", six letters or digits, ".tmp"), created exclusively and never through a
// symbolic link. Until ReplaceFile or RemoveFile takes it away, RemoveTemporaries removes
// it. Null on failure, with the reason.
std::FILE* CreateTemporary(const std::string& target, std::string& name, std::string& reason);
// Removes every temporary still in the making. Async-signal-safe, for the command-line
// tool's handler of SIGINT and SIGTERM; the plug-in installs none, and on Windows there is
// nothing to remove.
void RemoveTemporaries() noexcept;

// Renames temp over target, replacing an existing target (a symbolic link itself, not the
// file it points to). False on failure.
bool ReplaceFile(const std::string& temp, const std::string& target);
// Removes a file; false when it could not be removed.
bool RemoveFile(const std::string& fileName);

// The file that fileName, when it is a symbolic link, finally points to (whether that exists
// or not); fileName itself otherwise. False with the reason for a loop of links.
bool FollowLinks(const std::string& fileName, std::string& target, std::string& reason);
// True when both names reach one existing file, however spelled or linked.
bool SameFile(const std::string& a, const std::string& b);
// Opens a regular file for reading. Anything else (a folder, a FIFO, a device) is refused
// with kNotARegularFile before it could block or never end. Null on failure, with the reason.
std::FILE* OpenRegularFile(const std::string& fileName, std::string& reason);

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

// The separator this system puts between folders and file names.
#if defined(_WIN32)
inline constexpr char kPathDelimiter = '\\';
#else
inline constexpr char kPathDelimiter = '/';
#endif

}  // namespace pallix::sys
