// The lock file as a journal: how a run rewrites the queue file in place without losing a line to
// a kill at any moment or to a program appending to the queue. Platform-neutral.
//
// The lock file holds a fixed header and then the bytes the queue must hold once the rewrite is
// done. Header (kHeaderSize bytes, integers little-endian):
//   0  8  "DkGvJrn1"
//   8  1  state: 'F' filling (the content is being written; nothing decided yet), 'R' ready (the
//         content is complete: from here on the queue must become it), 'M' marked (the mark is
//         past the queue's old end), 'D' done (the queue holds the content)
//   9  7  zero
//  16  8  queue_size: the queue's size when the content was written
//  24  8  keep: the length of the content that follows the header
//  32 16  mark: bytes written at queue_size to tell where the old end was
//
// Rewrite, holding the queue and the lock file exclusively (`apply`): the mark goes to queue_size
// and the header becomes 'M'; the content is written from the queue's start; the queue is cut at
// keep; the header becomes 'D'. Other programs only append, and only while nobody holds the queue,
// so after a kill their lines begin at queue_size ('R', no mark), after the mark ('R' or 'M', mark
// found) or at keep ('M', mark gone because the queue was cut). `finish` takes those lines into
// the journal after its content and rewrites the queue again.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "services.h"

namespace dkgetval {

constexpr std::size_t kHeaderSize = 48;
constexpr std::size_t kMarkSize = 16;

enum class JournalState : char { filling = 'F', ready = 'R', marked = 'M', done = 'D' };

struct JournalHeader {
    JournalState state = JournalState::filling;
    std::uint64_t queue_size = 0;
    std::uint64_t keep = 0;
    std::array<char, kMarkSize> mark{};
};

// Bytes no text line is likely to hold: a zero byte, a fixed tag and random bytes.
std::array<char, kMarkSize> new_mark();

// Writes the header at the start of the lock file and flushes it.
bool write_header(OpenFile& journal, const JournalHeader& header);

// The header at the start of a lock file; nothing when the file is not a journal (empty, or a copy
// left by a version of the tool that kept no journal).
std::optional<JournalHeader> read_header(OpenFile& journal);

// Whether a run stopped after committing to a rewrite it did not finish.
inline bool needs_finishing(const JournalHeader& header) {
    return header.state == JournalState::ready || header.state == JournalState::marked;
}

// Rewrites the queue to the journal's content (header in state ready, flushed). False on an error;
// the journal then still describes the rewrite for `finish`.
bool apply(OpenFile& queue, OpenFile& journal, JournalHeader header);

// Completes the rewrite of a stopped run, keeping every line appended to the queue since then.
bool finish(OpenFile& queue, OpenFile& journal, const JournalHeader& header);

// Copies exactly `count` bytes from the position of one file to the position of another.
bool copy_bytes(OpenFile& from, OpenFile& to, std::uint64_t count);

}  // namespace dkgetval
