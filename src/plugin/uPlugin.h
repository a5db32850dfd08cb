// The channel to the host editor: the record exchanged with its callback, the two-call
// request/answer protocol, and the host settings lookups built on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#if defined(_WIN32)
#define PALLIX_STDCALL __stdcall
#else
#define PALLIX_STDCALL
#endif

namespace pallix {

struct HostCallbackRecord {
  std::int32_t Mode;          // 0 = length query, 1 = fetch
  const char* Request;        // zero-terminated request text
  char* Answer;               // fetch: buffer of AnswerLength characters plus a zero byte
  std::int32_t AnswerLength;  // written by the host in the length query
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(HostCallbackRecord) == 16, "the host expects a 16-byte record");
static_assert(offsetof(HostCallbackRecord, Mode) == 0);
static_assert(offsetof(HostCallbackRecord, Request) == 4);
static_assert(offsetof(HostCallbackRecord, Answer) == 8);
static_assert(offsetof(HostCallbackRecord, AnswerLength) == 12);
#endif

using HostCallback = std::int32_t(PALLIX_STDCALL*)(HostCallbackRecord* record);

// The process-wide slot written by PluginSetCallback; empty at load.
void SetHostCallback(HostCallback callback);
HostCallback GetHostCallback();

// An answer in a block of its own, zero-filled by the system rather than by a pass over it:
// a level's document runs to hundreds of megabytes.
struct TDocumentBlockFree {
  std::size_t Size = 0;
  void operator()(char* block) const;
};

struct THostAnswer {
  std::unique_ptr<char, TDocumentBlockFree> Block;
  std::size_t Length = 0;
  std::string_view Text() const { return {Block.get(), Length}; }
};

// One exchange with the registered callback; the answer is returned untrimmed.
// Raises "Korvel callback returned error code %d" on a non-zero status.
THostAnswer AskHost(const std::string& request);
std::string SendHostRequest(const std::string& request);

// Removes characters with codes of 32 or less from both ends, in place.
void TrimAnswer(std::string& answer);

// Asks the host for its install directory; empty when the answer names none.
std::string GetInstallDirectory();
// The folder the scene's texture names are relative to, from the host's Korvel.ini
// (section Dirs, key texturefiles), exactly as stored; empty when not found. Asks the host
// afresh on every call.
std::string GetTextureFilesFolder();

}  // namespace pallix
