// The journal in the lock file and the in-place rewrite of the queue (format and steps in
// queue_journal.h).
#include "queue_journal.h"

#include <chrono>
#include <cstring>
#include <random>
#include <string>

namespace dkgetval {

namespace {

constexpr char kMagic[8] = {'D', 'k', 'G', 'v', 'J', 'r', 'n', '1'};
constexpr std::size_t kBlock = 1024;

void put_u64(char* out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

std::uint64_t get_u64(const char* in) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(in[i]);
    return value;
}

// Reads up to `size` bytes, fewer only at the end of the file; -1 on error.
long read_fully(OpenFile& file, char* buffer, unsigned long size) {
    unsigned long got = 0;
    while (got < size) {
        long n = file.read(buffer + got, size - got);
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<unsigned long>(n);
    }
    return static_cast<long>(got);
}

// Whether the queue holds the mark at the offset.
bool mark_at(OpenFile& queue, std::uint64_t offset, const std::array<char, kMarkSize>& mark, bool& found) {
    char bytes[kMarkSize];
    if (!queue.seek(offset)) return false;
    long n = read_fully(queue, bytes, sizeof bytes);
    if (n < 0) return false;
    found = n == static_cast<long>(kMarkSize) && std::memcmp(bytes, mark.data(), kMarkSize) == 0;
    return true;
}

}  // namespace

std::array<char, kMarkSize> new_mark() {
    std::array<char, kMarkSize> mark{'\0', 'D', 'k', 'G', 'v', 'M', 'k', '\xff'};
    std::random_device device;
    std::seed_seq seed{device(), device(),
                       static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()),
                       static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(&mark))};
    std::mt19937_64 random(seed);
    std::uint64_t bits = random();
    for (std::size_t i = 8; i < kMarkSize; ++i, bits >>= 8) mark[i] = static_cast<char>(bits & 0xff);
    return mark;
}

bool write_header(OpenFile& journal, const JournalHeader& header) {
    char bytes[kHeaderSize] = {};
    std::memcpy(bytes, kMagic, sizeof kMagic);
    bytes[8] = static_cast<char>(header.state);
    put_u64(bytes + 16, header.queue_size);
    put_u64(bytes + 24, header.keep);
    std::memcpy(bytes + 32, header.mark.data(), kMarkSize);
    return journal.seek(0) && journal.write(bytes, sizeof bytes) && journal.flush();
}

std::optional<JournalHeader> read_header(OpenFile& journal) {
    char bytes[kHeaderSize];
    if (!journal.seek(0) || read_fully(journal, bytes, sizeof bytes) != static_cast<long>(kHeaderSize) ||
        std::memcmp(bytes, kMagic, sizeof kMagic) != 0) {
        return std::nullopt;
    }
    JournalHeader header;
    switch (bytes[8]) {
        case 'F': header.state = JournalState::filling; break;
        case 'R': header.state = JournalState::ready; break;
        case 'M': header.state = JournalState::marked; break;
        case 'D': header.state = JournalState::done; break;
        default: return std::nullopt;
    }
    header.queue_size = get_u64(bytes + 16);
    header.keep = get_u64(bytes + 24);
    std::memcpy(header.mark.data(), bytes + 32, kMarkSize);
    return header;
}

bool copy_bytes(OpenFile& from, OpenFile& to, std::uint64_t count) {
    char block[kBlock];
    while (count > 0) {
        unsigned long want = count < kBlock ? static_cast<unsigned long>(count) : kBlock;
        if (read_fully(from, block, want) != static_cast<long>(want) || !to.write(block, want)) return false;
        count -= want;
    }
    return true;
}

bool apply(OpenFile& queue, OpenFile& journal, JournalHeader header) {
    // The mark past the old end first: until the cut, lines appended after a kill land behind it.
    if (!queue.seek(header.queue_size) || !queue.write(header.mark.data(), kMarkSize) || !queue.flush()) return false;
    header.state = JournalState::marked;
    if (!write_header(journal, header)) return false;
    // The content lies within the old size (keep <= queue_size), so it never overwrites the mark.
    if (!journal.seek(kHeaderSize) || !queue.seek(0) || !copy_bytes(journal, queue, header.keep) || !queue.flush()) {
        return false;
    }
    if (!queue.seek(header.keep) || !queue.truncate() || !queue.flush()) return false;
    header.state = JournalState::done;
    return write_header(journal, header);
}

bool finish(OpenFile& queue, OpenFile& journal, const JournalHeader& header) {
    std::optional<std::uint64_t> size = queue.size();
    if (!size) return false;
    bool marked = false;
    if (!mark_at(queue, header.queue_size, header.mark, marked)) return false;
    // Where the lines appended since the stop begin (see queue_journal.h).
    std::uint64_t appended = marked                                   ? header.queue_size + kMarkSize
                             : header.state == JournalState::ready    ? header.queue_size
                                                                      : header.keep;
    if (appended > *size) appended = *size;  // only if another program cut the queue
    // They go into the journal behind the content, and only then does the header count them: a
    // kill before that leaves the old header, which still describes the queue as it is.
    const std::uint64_t extra = *size - appended;
    if (!queue.seek(appended) || !journal.seek(kHeaderSize + header.keep) || !copy_bytes(queue, journal, extra) ||
        !journal.flush()) {
        return false;
    }
    JournalHeader next;
    next.state = JournalState::ready;
    next.keep = header.keep + extra;
    next.queue_size = *size > next.keep ? *size : next.keep;  // the mark never lies inside the content
    next.mark = new_mark();
    return write_header(journal, next) && apply(queue, journal, next);
}

}  // namespace dkgetval
