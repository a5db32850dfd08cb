// Giving back the memory of a document already read, while the rest of it is still parsed.
#pragma once

#include <cstddef>

namespace pallix {

// A zero-filled block of size bytes for a document, and its release. Large blocks are laid out
// so that the system can back them with large pages: fewer faults while the host fills them.
char* AllocateDocumentBlock(std::size_t size);
void FreeDocumentBlock(char* block, std::size_t size);

// The whole pages inside [begin, end) will not be read again, nor anything in the block before
// begin: the system may take their memory back. The block is one the caller owns and can still
// free as usual.
void ReleaseReadPages(const char* block, const char* begin, const char* end);

}  // namespace pallix
