// Giving back the memory of a document already read, while the rest of it is still parsed.
#pragma once

namespace pallix {

// The whole pages inside [begin, end) will not be read again: the system may take their memory
// back. They must lie inside one block the caller owns and can still free as usual.
void ReleaseReadPages(const char* begin, const char* end);

}  // namespace pallix
