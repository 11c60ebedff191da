// The one way a finished file takes the place of another, used by every feature that rewrites a file
// (text edits, the encrypted container, the zip writer, the value-queue tool).
//
// `from` is a complete, flushed file, normally beside `to`. When `to` exists it is replaced in one
// step that keeps its identity: on Windows ReplaceFileA, which keeps the owner, security descriptor
// and attributes of the replaced file; on POSIX rename(2) after the new file took the old one's mode
// and owner. A read-only target is refused on both, as Windows refuses it. When `to` does not exist,
// `from` is moved there with write-through. From another volume the file is first copied beside the
// target. On failure `to` is as it was and `from` is still there, for the caller to delete.
#pragma once

#include <string>

namespace dravik {

bool replace_file(const std::string& from, const std::string& to);

}  // namespace dravik
