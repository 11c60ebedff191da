// ZIP writer. Each file is read once. Files of up to kWholeEntryLimit bytes are read whole and
// deflated in memory (prepare_file, which the parallel zip runs on worker threads), and stored
// when deflate does not make them smaller; their traditional encryption header's check byte is
// the CRC's high byte (APPNOTE 6.1.6). Larger files are deflated straight into the archive; when
// that did not help, the bytes are taken back from the stream just written and stored over it.
// Their traditional encryption uses a data descriptor and the time's high byte as check byte.
//
// AES entries (WinZip AE format) are method 99 with the real method in extra field 0x9901, in
// both the local and the central header. Their data is the salt, the verifier, the encrypted
// data and the authentication code. Entries of 20 bytes and more are written as AE-1, which keeps
// the real CRC-32, so a reader checks the data twice (code and CRC). Smaller ones are AE-2 with
// CRC 0, as WinZip does: the CRC-32 of a few bytes gives their content away (for 4 bytes or
// fewer it is a one-to-one function of them), and the authentication code protects them anyway.
#include "zip_writer.h"

#include <algorithm>

#include <chrono>
#include <cstring>
#include <memory>

#include "bounds.h"
#include "crc32.h"
#include "deflate.h"

namespace dravik::archive {
namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFu;
// Files at least this large get a Zip64 extra field in their local header (room for deflate's
// worst-case growth and the encryption header before the 32-bit fields overflow).
constexpr uint64_t kZip64Threshold = 0xFFFF0000u;
constexpr size_t kChunk = 256 * 1024;
// The largest buffer a preparing thread keeps for its next file.
constexpr size_t kSpareLimit = 1u << 20;
// Version needed to extract for AES entries (APPNOTE 4.4.3.2 lists 5.1 for AES; WinZip and
// 7-Zip write 51 too). Zip64 alone needs 45.
constexpr uint16_t kAesVersionNeeded = 51;
// Entries smaller than this are written as AE-2 (no CRC), larger ones as AE-1.
constexpr uint64_t kAe1MinimumSize = 20;
constexpr size_t kAesFieldSize = 4 + 7;

Status fail(int code, std::string detail) { return Status{code, std::move(detail)}; }

uint16_t level_flags(int level) {
    // General-purpose bits 1 and 2 for deflate (APPNOTE 4.4.4): maximum, fast, super fast.
    if (level >= 8) return 2;
    if (level == 2) return 4;
    if (level == 1) return 6;
    return 0;
}

// Writes the 0x9901 field (header and 7 bytes of data) of an AES entry.
void put_aes_field(uint8_t* x, const ZipEntry& e) {
    put16(x, WinZipAes::kExtraFieldId);
    put16(x + 2, 7);
    put16(x + 4, e.aes_version);
    put16(x + 6, e.aes_vendor);
    x[8] = e.aes_strength;
    put16(x + 9, e.aes_method);
}

}  // namespace

ZipWriter::ZipWriter() {
    std::random_device rd;
    auto now = static_cast<uint32_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    std::seed_seq seq{rd(), rd(), now};
    random_.seed(seq);
}

Status ZipWriter::create(const std::string& path) {
    entries_.clear();
    if (!out_.open(path, "w+b")) return fail(kWriteCreateFailed, "Could not create output file");
    return {};
}

Status ZipWriter::write_local_header(const ZipEntry& e, bool zip64_extra, uint64_t& header_pos) {
    header_pos = out_.tell();
    uint8_t h[30 + 20 + kAesFieldSize];
    const size_t extra = (zip64_extra ? 20 : 0) + (e.aes_field ? kAesFieldSize : 0);
    put32(h, 0x04034b50);
    put16(h + 4, e.needed);
    put16(h + 6, e.flags);
    put16(h + 8, e.method);
    put16(h + 10, e.dos_time);
    put16(h + 12, e.dos_date);
    bool descriptor = e.flags & 8;
    put32(h + 14, descriptor ? 0 : e.crc);
    put32(h + 18, descriptor ? 0 : zip64_extra ? uint32_t(kMax32) : uint32_t(e.compressed));
    put32(h + 22, descriptor ? 0 : zip64_extra ? uint32_t(kMax32) : uint32_t(e.uncompressed));
    put16(h + 26, static_cast<uint16_t>(e.name.size()));
    put16(h + 28, static_cast<uint16_t>(extra));
    uint8_t* x = h + 30;
    if (zip64_extra) {
        put16(x, 1);
        put16(x + 2, 16);
        put64(x + 4, e.uncompressed);
        put64(x + 12, e.compressed);
        x += 20;
    }
    if (e.aes_field) put_aes_field(x, e);
    bool ok = out_.write(h, 30) && out_.write(e.name.data(), e.name.size()) && out_.write(h + 30, extra);
    return ok ? Status{} : fail(kWriteOutputFailed, "Output file write failure, possible disk full");
}

Status ZipWriter::write_data(File& src, uint64_t size, int level, TraditionalCipher* cipher, WinZipAes* aes,
                             uint64_t& written, uint32_t& crc) {
    written = 0;
    crc = 0;
    bool out_ok = true;
    std::vector<uint8_t> scratch;
    WriteFn sink = [&](const uint8_t* p, size_t n) -> bool {
        if (cipher || aes) {
            scratch.assign(p, p + n);
            if (cipher) cipher->encrypt(scratch.data(), n);
            if (aes) aes->encrypt(scratch.data(), n);
            p = scratch.data();
        }
        written += n;
        return out_ok = out_.write(p, n);
    };
    std::unique_ptr<Deflater> deflater;
    if (level > 0) deflater = std::make_unique<Deflater>(level, sink);
    std::vector<uint8_t> buf(kChunk);
    uint64_t total = 0;
    for (;;) {
        size_t n = src.read(buf.data(), buf.size());
        if (n == 0) break;
        total += n;
        crc = crc32_update(crc, buf.data(), n);
        bool ok = deflater ? deflater->write(buf.data(), n) : sink(buf.data(), n);
        if (!ok || !out_ok) return fail(kWriteOutputFailed, "Output file write failure, possible disk full");
    }
    if (deflater && !deflater->finish()) return fail(kWriteOutputFailed, "Output file write failure, possible disk full");
    if (total != size) return fail(kWriteInputFailed, "Input file read failure");
    return {};
}

bool ZipWriter::make_salt(uint8_t* salt, size_t size) {
    // The salt need not be secret, but it must not repeat: with a fixed counter start, the same
    // password and salt would give two entries the same key stream. std::random_device is the
    // operating system's generator with the toolchains this is built with (getrandom or
    // /dev/urandom natively, RtlGenRandom through rand_s with MinGW); the seeded generator mixed
    // in keeps salts distinct even if a runtime ever gave a deterministic device.
    try {
        std::random_device device;
        for (size_t i = 0; i < size; ++i) salt[i] = static_cast<uint8_t>(device() ^ random_());
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

PreparedFile prepare_file(const std::string& source, int level, uint64_t whole_limit, PrepareScratch& scratch) {
    PreparedFile p;
    File src;
    if (!src.open(source, "rb")) {
        p.status = fail(kWriteNotFound, "could not open for reading: " + source);
        return p;
    }
    p.size = src.size();
    if (p.size > whole_limit) return p;
    try {
        std::vector<uint8_t> in = std::move(scratch.spare);
        in.resize(static_cast<size_t>(p.size));
        uint8_t extra;
        if (!src.read_exact(in.data(), in.size()) || src.read(&extra, 1) != 0) {
            p.status = fail(kWriteInputFailed, "Input file read failure");
            return p;
        }
        p.crc = crc32_update(0, in.data(), in.size());
        std::vector<uint8_t> packed;
        if (level > 0) {
            // Deflate output that reaches the file's size cannot be used: the entry is stored, so
            // the coding stops there.
            packed.reserve(in.size());
            WriteFn sink = [&](const uint8_t* data, size_t n) {
                if (n >= in.size() - packed.size()) return false;
                packed.insert(packed.end(), data, data + n);
                return true;
            };
            if (scratch.deflater)
                scratch.deflater->reset(level, sink);
            else
                scratch.deflater = std::make_unique<Deflater>(level, sink);
            p.deflated = scratch.deflater->write(in.data(), in.size()) && scratch.deflater->finish();
        }
        if (p.deflated) std::swap(in, packed);
        p.data = std::move(in);
        // Only a small buffer is kept: faulting in a large one costs little beside coding the
        // file, and every thread holding one would add up.
        if (packed.capacity() <= kSpareLimit) {
            scratch.spare = std::move(packed);
            scratch.spare.clear();
        }
        p.whole = true;
    } catch (const std::bad_alloc&) {
        p.status = fail(4, "Out of memory");
    }
    return p;
}

Status ZipWriter::start_encryption(const AddOptions& options, uint8_t check, std::unique_ptr<TraditionalCipher>& cipher,
                                   std::unique_ptr<WinZipAes>& aes, uint8_t* head, uint64_t& header_bytes) {
    header_bytes = 0;
    if (!options.password) return {};
    if (!options.aes_strength) {
        cipher = std::make_unique<TraditionalCipher>(options.password);
        uint8_t random[11];
        for (auto& b : random) b = static_cast<uint8_t>(random_());
        cipher->make_header(random, check, head);
        header_bytes = TraditionalCipher::kHeaderSize;
    } else {
        // A fresh salt for every stream written, so no key stream is ever used twice.
        const size_t salt_size = WinZipAes::salt_size(options.aes_strength);
        if (!make_salt(head, salt_size)) return fail(kWritePrepareFailed, "no random source for the AES salt");
        aes = std::make_unique<WinZipAes>(options.password, options.aes_strength, head);
        std::memcpy(head + salt_size, aes->verifier(), WinZipAes::kVerifierSize);
        header_bytes = salt_size + WinZipAes::kVerifierSize;
    }
    if (!out_.write(head, header_bytes))
        return fail(kWriteOutputFailed, "Output file write failure, possible disk full");
    return {};
}

namespace {

ZipEntry new_entry(const std::string& name, uint32_t dos_datetime, uint32_t external_attr, const AddOptions& options,
                   uint64_t size, bool zip64, uint16_t method) {
    const bool aes = options.password && options.aes_strength;
    ZipEntry e;
    e.name = name;
    e.method = aes ? WinZipAes::kMethod : method;
    e.flags = static_cast<uint16_t>((options.password ? 1 : 0) | (method == 8 ? level_flags(options.level) : 0));
    e.needed = aes ? kAesVersionNeeded : zip64 ? 45 : 20;
    e.made_by = e.needed;
    e.dos_date = uint16_t(dos_datetime >> 16);
    e.dos_time = uint16_t(dos_datetime & 0xFFFF);
    e.external_attr = external_attr;
    e.uncompressed = size;
    if (aes) {
        e.aes_field = true;
        e.aes_version = size < kAe1MinimumSize ? 2 : 1;
        e.aes_vendor = WinZipAes::kVendorId;
        e.aes_strength = static_cast<uint8_t>(options.aes_strength);
        e.aes_method = method;
    }
    return e;
}

}  // namespace

Status ZipWriter::add_file(const std::string& name, const std::string& source, uint32_t dos_datetime,
                           uint32_t external_attr, const AddOptions& options) {
    PrepareScratch scratch;
    PreparedFile p = prepare_file(source, options.level, kWholeEntryLimit, scratch);
    return add_prepared(name, source, dos_datetime, external_attr, options, p);
}

Status ZipWriter::add_prepared(const std::string& name, const std::string& source, uint32_t dos_datetime,
                               uint32_t external_attr, const AddOptions& options, PreparedFile& p) {
    if (!p.status.ok()) return p.status;
    const bool zip64 = p.size >= kZip64Threshold;
    if (zip64 && !options.allow_zip64) return fail(kWriteTooLarge, "entry too large without Zip64: " + name);
    if (options.password && options.aes_strength && !WinZipAes::valid_strength(options.aes_strength))
        return fail(16, "encryption not supported");
    const uint16_t method = options.level > 0 && (p.deflated || !p.whole) ? 8 : 0;
    ZipEntry e = new_entry(name, dos_datetime, external_attr, options, p.size, zip64, method);
    if (!p.whole) return add_streamed(e, source, options);

    // Everything is known before the first byte is written: the header goes out once.
    e.crc = e.aes_field && e.aes_version == 2 ? 0 : p.crc;
    const bool aes = e.aes_field;
    const uint64_t head_size = !options.password ? 0
                               : aes             ? WinZipAes::salt_size(options.aes_strength) + WinZipAes::kVerifierSize
                                                 : TraditionalCipher::kHeaderSize;
    e.compressed = head_size + p.data.size() + (aes ? WinZipAes::kMacSize : 0);
    if (!zip64 && e.compressed > kMax32) return fail(kWriteTooLarge, "entry too large without Zip64: " + name);
    uint64_t header_pos = 0, header_bytes = 0;
    Status s = write_local_header(e, zip64, header_pos);
    if (!s.ok()) return s;
    std::unique_ptr<TraditionalCipher> cipher;
    std::unique_ptr<WinZipAes> aes_cipher;
    uint8_t head[WinZipAes::kMaxSaltSize + WinZipAes::kVerifierSize];
    s = start_encryption(options, uint8_t(p.crc >> 24), cipher, aes_cipher, head, header_bytes);
    if (!s.ok()) return s;
    if (cipher) cipher->encrypt(p.data.data(), p.data.size());
    if (aes_cipher) aes_cipher->encrypt(p.data.data(), p.data.size());
    if (!out_.write(p.data.data(), p.data.size()))
        return fail(kWriteOutputFailed, "Output file write failure, possible disk full");
    if (aes_cipher) {
        uint8_t code[WinZipAes::kMacSize];
        aes_cipher->finish(code);
        if (!out_.write(code, sizeof code))
            return fail(kWriteOutputFailed, "Output file write failure, possible disk full");
    }
    std::vector<uint8_t>().swap(p.data);
    e.local_offset = header_pos;
    entries_.push_back(std::move(e));
    return {};
}

Status ZipWriter::restore_stored(uint64_t from, uint64_t length, uint64_t size,
                                 const std::function<void(uint8_t*, size_t)>& decrypt, const WriteFn& sink) {
    // Deflate did not make the entry smaller, so nearly all of its stream is stored blocks: the
    // entry's own bytes. Inflating what was just written gives them back without reading the
    // file again; they are written over the same place. Writing stays behind reading, and what
    // inflate gives ahead of that waits in memory. That is little, since no block is longer than
    // its stored form; past kMaxAhead the caller reads the file again instead.
    constexpr size_t kMaxAhead = 8u << 20;
    uint64_t read = 0, written = 0;
    bool io_ok = true;
    std::vector<uint8_t> ahead;
    ReadFn in = [&](uint8_t* buf, size_t cap) -> size_t {
        size_t n = static_cast<size_t>(std::min<uint64_t>(cap, length - read));
        if (n == 0) return 0;
        if (!out_.seek(from + read) || !out_.read_exact(buf, n)) return io_ok = false, 0;
        if (decrypt) decrypt(buf, n);
        read += n;
        return n;
    };
    auto flush = [&](size_t n) {
        if (n == 0) return true;
        if (!out_.seek(from + written) || !sink(ahead.data(), n)) return io_ok = false;
        written += n;
        ahead.erase(ahead.begin(), ahead.begin() + static_cast<std::ptrdiff_t>(n));
        return true;
    };
    WriteFn out = [&](const uint8_t* p, size_t n) {
        ahead.insert(ahead.end(), p, p + n);
        return flush(static_cast<size_t>(std::min<uint64_t>(ahead.size(), read - written))) &&
               ahead.size() <= kMaxAhead;
    };
    InflateResult r = inflate_stream(in, out);
    if (r.status != InflateStatus::ok || !io_ok || written + ahead.size() != size || !flush(ahead.size()))
        return fail(kWriteInputFailed, "Input file read failure");
    return {};
}

Status ZipWriter::add_streamed(ZipEntry& e, const std::string& source, const AddOptions& options) {
    File src;
    if (!src.open(source, "rb")) return fail(kWriteNotFound, "could not open for reading: " + source);
    const uint64_t size = e.uncompressed;
    const bool zip64 = size >= kZip64Threshold;
    const bool aes = e.aes_field;
    // A traditional header's check byte would be the CRC's high byte, known only after the data:
    // a streamed entry takes the time's high byte instead and a data descriptor (APPNOTE 6.1.6).
    const bool traditional = options.password && !aes;
    if (traditional) e.flags = static_cast<uint16_t>(e.flags | 8);
    uint16_t method = aes ? e.aes_method : e.method;
    uint64_t header_pos = 0;
    Status s = write_local_header(e, zip64, header_pos);
    if (!s.ok()) return s;
    const uint64_t data_start = out_.tell();
    const uint8_t check = uint8_t(e.dos_time >> 8);

    std::unique_ptr<TraditionalCipher> cipher;
    std::unique_ptr<WinZipAes> aes_cipher;
    uint8_t head[WinZipAes::kMaxSaltSize + WinZipAes::kVerifierSize];
    uint64_t header_bytes = 0;
    s = start_encryption(options, check, cipher, aes_cipher, head, header_bytes);
    if (!s.ok()) return s;
    uint64_t written = 0;
    uint32_t crc = 0;
    s = write_data(src, size, method == 8 ? options.level : 0, cipher.get(), aes_cipher.get(), written, crc);
    if (!s.ok()) return s;
    if (method == 8 && written >= size) {
        // Stored instead, under new encryption (a new salt or new random header bytes).
        method = 0;
        if (aes)
            e.aes_method = 0;
        else
            e.method = 0;
        e.flags = static_cast<uint16_t>(e.flags & ~6u);
        uint8_t old_head[sizeof head];
        std::memcpy(old_head, head, sizeof head);
        std::unique_ptr<TraditionalCipher> old_cipher;
        std::unique_ptr<WinZipAes> old_aes;
        std::function<void(uint8_t*, size_t)> decrypt;
        if (traditional) {
            old_cipher = std::make_unique<TraditionalCipher>(options.password);
            old_cipher->check_header(old_head, check);
            decrypt = [&](uint8_t* d, size_t n) { old_cipher->decrypt(d, n); };
        } else if (aes) {
            old_aes = std::make_unique<WinZipAes>(options.password, options.aes_strength, old_head);
            decrypt = [&](uint8_t* d, size_t n) { old_aes->apply_keystream(d, n); };
        }
        if (!out_.seek(data_start)) return fail(kWriteOutputFailed, "Output file write failure, possible disk full");
        s = start_encryption(options, check, cipher, aes_cipher, head, header_bytes);
        if (!s.ok()) return s;
        std::vector<uint8_t> scratch;
        WriteFn sink = [&](const uint8_t* p, size_t n) {
            if (cipher || aes_cipher) {
                scratch.assign(p, p + n);
                if (cipher) cipher->encrypt(scratch.data(), n);
                if (aes_cipher) aes_cipher->encrypt(scratch.data(), n);
                p = scratch.data();
            }
            return out_.write(p, n);
        };
        const uint64_t from = data_start + header_bytes;
        if (!restore_stored(from, written, size, decrypt, sink).ok()) {
            // Not expected with this deflate; the file itself is the fallback.
            if (!src.seek(0) || !out_.seek(data_start)) return fail(kWriteInputFailed, "Input file read failure");
            s = start_encryption(options, check, cipher, aes_cipher, head, header_bytes);
            if (!s.ok()) return s;
            uint32_t again = 0;
            s = write_data(src, size, 0, cipher.get(), aes_cipher.get(), written, again);
            if (!s.ok()) return s;
            if (again != crc) return fail(kWriteInputFailed, "file changed while it was read: " + source);
        }
        written = size;
        if (!out_.seek(from + size)) return fail(kWriteOutputFailed, "Output file write failure, possible disk full");
    }
    if (aes_cipher) {
        uint8_t code[WinZipAes::kMacSize];
        aes_cipher->finish(code);
        if (!out_.write(code, sizeof code))
            return fail(kWriteOutputFailed, "Output file write failure, possible disk full");
    }
    e.crc = e.aes_field && e.aes_version == 2 ? 0 : crc;
    e.compressed = header_bytes + written + (aes ? WinZipAes::kMacSize : 0);
    if (!zip64 && e.compressed > kMax32) return fail(kWriteTooLarge, "entry too large without Zip64: " + e.name);
    const uint64_t end = out_.tell();
    if (!out_.seek(header_pos)) return fail(kWriteOutputFailed, "Output file write failure, possible disk full");
    s = write_local_header(e, zip64, header_pos);
    if (!s.ok() || !out_.seek(end)) return fail(kWriteOutputFailed, "Output file write failure, possible disk full");
    if (e.flags & 8) {
        s = write_descriptor(e, zip64);
        if (!s.ok()) return s;
    }
    e.local_offset = header_pos;
    entries_.push_back(std::move(e));
    return {};
}

Status ZipWriter::write_descriptor(const ZipEntry& e, bool zip64) {
    uint8_t d[24];
    put32(d, 0x08074b50);
    put32(d + 4, e.crc);
    size_t len = 16;
    if (zip64) {
        put64(d + 8, e.compressed);
        put64(d + 16, e.uncompressed);
        len = 24;
    } else {
        put32(d + 8, uint32_t(e.compressed));
        put32(d + 12, uint32_t(e.uncompressed));
    }
    return out_.write(d, len) ? Status{} : fail(kWriteOutputFailed, "Output file write failure, possible disk full");
}

Status ZipWriter::add_directory(const std::string& name, uint32_t dos_datetime, uint32_t external_attr) {
    ZipEntry e;
    e.name = name;
    e.needed = e.made_by = 20;
    e.dos_date = uint16_t(dos_datetime >> 16);
    e.dos_time = uint16_t(dos_datetime & 0xFFFF);
    e.external_attr = external_attr;
    uint64_t pos = 0;
    Status s = write_local_header(e, false, pos);
    if (!s.ok()) return s;
    e.local_offset = pos;
    entries_.push_back(std::move(e));
    return {};
}

Status ZipWriter::copy_entry(ZipReader& from, const ZipEntry& original, bool allow_zip64) {
    uint64_t data = 0;
    Status s = from.locate_data(original, data);
    if (!s.ok()) return fail(3, s.detail);
    ZipEntry e = original;
    // The sizes are known now; only a traditionally encrypted entry whose check byte comes from
    // the time keeps its data descriptor. An AES entry keeps its 0x9901 field (written from the
    // entry by write_local_header and finish), without which it could not be read.
    if (!(e.encrypted() && !e.aes() && (e.flags & 8))) e.flags = static_cast<uint16_t>(e.flags & ~8u);
    bool zip64 = e.compressed >= kMax32 || e.uncompressed >= kMax32;
    if (zip64 && !allow_zip64) return fail(kWriteTooLarge, "entry too large without Zip64: " + e.name);
    uint64_t pos = 0;
    s = write_local_header(e, zip64, pos);
    if (!s.ok()) return s;
    std::vector<uint8_t> buf(kChunk);
    for (uint64_t left = e.compressed; left;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(left, buf.size()));
        if (!from.read_at(data + (e.compressed - left), buf.data(), n)) return fail(2, "Unexpected end of Zip file");
        if (!out_.write(buf.data(), n)) return fail(kWriteOutputFailed, "Output file write failure, possible disk full");
        left -= n;
    }
    if (e.flags & 8) {
        s = write_descriptor(e, zip64);
        if (!s.ok()) return s;
    }
    e.local_offset = pos;
    entries_.push_back(std::move(e));
    return {};
}

uint32_t ZipWriter::newest_dos_datetime() const {
    uint32_t newest = 0;
    for (const ZipEntry& e : entries_) newest = std::max(newest, e.dos_datetime());
    return newest;
}

Status ZipWriter::finish(const std::string& comment, bool allow_zip64) {
    const uint64_t cd_start = out_.tell();
    bool need_zip64 = entries_.size() > 0xFFFF;
    for (const ZipEntry& e : entries_) {
        bool big_u = e.uncompressed >= kMax32, big_c = e.compressed >= kMax32, big_o = e.local_offset >= kMax32;
        uint8_t h[46], x[28 + kAesFieldSize];
        size_t xlen = 0;
        const bool zip64 = big_u || big_c || big_o;
        if (zip64) {
            if (!allow_zip64) return fail(kWriteTooLarge, "archive too large without Zip64");
            size_t n = 4;
            if (big_u) put64(x + n, e.uncompressed), n += 8;
            if (big_c) put64(x + n, e.compressed), n += 8;
            if (big_o) put64(x + n, e.local_offset), n += 8;
            put16(x, 1);
            put16(x + 2, static_cast<uint16_t>(n - 4));
            xlen = n;
        }
        if (e.aes_field) {
            put_aes_field(x + xlen, e);
            xlen += kAesFieldSize;
        }
        uint16_t needed = zip64 && e.needed < 45 ? 45 : e.needed;
        put32(h, 0x02014b50);
        put16(h + 4, static_cast<uint16_t>(needed > 20 ? needed : 20));  // made by MS-DOS (attributes are DOS bits)
        put16(h + 6, needed);
        put16(h + 8, e.flags);
        put16(h + 10, e.method);
        put16(h + 12, e.dos_time);
        put16(h + 14, e.dos_date);
        put32(h + 16, e.crc);
        put32(h + 20, big_c ? uint32_t(kMax32) : uint32_t(e.compressed));
        put32(h + 24, big_u ? uint32_t(kMax32) : uint32_t(e.uncompressed));
        put16(h + 28, static_cast<uint16_t>(e.name.size()));
        put16(h + 30, static_cast<uint16_t>(xlen));
        put16(h + 32, 0);
        put16(h + 34, 0);
        put16(h + 36, 0);
        put32(h + 38, e.external_attr);
        put32(h + 42, big_o ? uint32_t(kMax32) : uint32_t(e.local_offset));
        if (!out_.write(h, 46) || !out_.write(e.name.data(), e.name.size()) || (xlen && !out_.write(x, xlen)))
            return fail(kWriteOutputFailed, "Output file write failure, possible disk full");
    }
    const uint64_t cd_end = out_.tell();
    const uint64_t cd_size = cd_end - cd_start;
    need_zip64 = need_zip64 || cd_start >= kMax32 || cd_size >= kMax32;
    if (need_zip64) {
        if (!allow_zip64) return fail(kWriteTooLarge, "archive too large without Zip64");
        uint8_t z[56 + 20];
        put32(z, 0x06064b50);
        put64(z + 4, 44);
        put16(z + 12, 45);
        put16(z + 14, 45);
        put32(z + 16, 0);
        put32(z + 20, 0);
        put64(z + 24, entries_.size());
        put64(z + 32, entries_.size());
        put64(z + 40, cd_size);
        put64(z + 48, cd_start);
        put32(z + 56, 0x07064b50);
        put32(z + 60, 0);
        put64(z + 64, cd_end);
        put32(z + 72, 1);
        if (!out_.write(z, sizeof z)) return fail(kWriteOutputFailed, "Output file write failure, possible disk full");
    }
    uint8_t end[22];
    uint16_t count16 = entries_.size() > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(entries_.size());
    size_t comment_len = std::min<size_t>(comment.size(), 0xFFFF);
    put32(end, 0x06054b50);
    put16(end + 4, 0);
    put16(end + 6, 0);
    put16(end + 8, count16);
    put16(end + 10, count16);
    put32(end + 12, cd_size >= kMax32 ? uint32_t(kMax32) : uint32_t(cd_size));
    put32(end + 16, cd_start >= kMax32 ? uint32_t(kMax32) : uint32_t(cd_start));
    put16(end + 20, static_cast<uint16_t>(comment_len));
    if (!out_.write(end, sizeof end) || !out_.write(comment.data(), comment_len) || !out_.truncate_here() || !out_.close())
        return fail(kWriteOutputFailed, "Output file write failure, possible disk full");
    return {};
}

}  // namespace dravik::archive
