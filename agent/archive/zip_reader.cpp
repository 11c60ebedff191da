// ZIP reader. Every length, offset and count from the archive goes through fits() or a
// ByteReader (bounds.h) before it is used; a declared size that the data does not match is an
// error, never a silent truncation.
#include "zip_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "bounds.h"
#include "codec_buffer.h"
#include "crc32.h"
#include "pkcrypt.h"

namespace dravik::archive {
namespace {

constexpr uint32_t kLocalSig = 0x04034b50, kCentralSig = 0x02014b50, kEndSig = 0x06054b50;
constexpr uint32_t kZip64EndSig = 0x06064b50, kZip64LocatorSig = 0x07064b50, kDescriptorSig = 0x08074b50;
constexpr size_t kEndSize = 22, kLocatorSize = 20, kZip64EndSize = 56;
constexpr uint64_t kMaxCentralDirectory = uint64_t(1) << 31;

Status fail(int code, std::string detail) { return Status{code, std::move(detail)}; }

// The AES entries this reader can decrypt: a well-formed 0x9901 field from vendor "AE", format
// AE-1 or AE-2, strength 1 to 3.
bool aes_supported(const ZipEntry& e) {
    return e.aes_field && e.aes_vendor == WinZipAes::kVendorId && (e.aes_version == 1 || e.aes_version == 2) &&
           WinZipAes::valid_strength(e.aes_strength);
}

}  // namespace

bool ZipReader::read_at(uint64_t offset, void* buffer, size_t size) {
    return fits(offset, size, file_size_) && file_.seek(offset) && file_.read_exact(buffer, size);
}

Status ZipReader::open(const std::string& path) {
    entries_.clear();
    path_ = path;
    bias_ = 0;
    // AES entries are read twice (authentication, then decryption): nobody may change the
    // archive in between.
    if (!file_.open_read_denying_writers(path)) return fail(kReadNotFound, "Problem opening ZIP file");
    return read_directories();
}

Status ZipReader::open_memory(const void* data, size_t size) {
    entries_.clear();
    path_.clear();
    bias_ = 0;
    file_.open_memory(data, size);
    return read_directories();
}

Status ZipReader::read_directories() {
    file_size_ = file_.size();
    if (file_size_ < kEndSize) return fail(kReadNotFound, "No valid Zip file indicated");

    // The end record is the last 22 bytes plus a comment of at most 65535 bytes.
    size_t tail_size = static_cast<size_t>(std::min<uint64_t>(file_size_, kEndSize + 65535));
    uint64_t tail_start = file_size_ - tail_size;
    std::vector<uint8_t> tail(tail_size);
    if (!read_at(tail_start, tail.data(), tail_size)) return fail(kReadTruncated, "Problem reading Zip file");
    size_t end_at = SIZE_MAX;
    for (size_t i = tail_size - kEndSize + 1; i-- > 0;) {
        ByteReader r(tail.data() + i, tail_size - i);
        if (r.u32() != kEndSig) continue;
        r.skip(16);
        uint16_t comment = r.u16();
        if (fits(i + kEndSize, comment, tail_size)) {
            end_at = i;
            break;
        }
    }
    if (end_at == SIZE_MAX) return fail(kReadNotFound, "No valid Zip file indicated");
    ByteReader end(tail.data() + end_at, kEndSize);
    end.u32();
    uint64_t disk = end.u16(), cd_disk = end.u16(), count_here = end.u16(), count = end.u16();
    uint64_t cd_size = end.u32(), cd_offset = end.u32();
    uint64_t end_pos = tail_start + end_at;
    uint64_t cd_end = end_pos;

    // Zip64 locator just before the end record (APPNOTE 4.3.15).
    uint8_t loc[kLocatorSize];
    if (end_pos >= kLocatorSize && read_at(end_pos - kLocatorSize, loc, kLocatorSize)) {
        ByteReader l(loc, kLocatorSize);
        if (l.u32() == kZip64LocatorSig) {
            uint32_t z64_disk = l.u32();
            uint64_t z64_offset = l.u64();
            uint32_t disks = l.u32();
            if (z64_disk != 0 || disks > 1) return fail(kReadMultiDisk, "multiple disk information");
            uint64_t expected = end_pos - kLocatorSize >= kZip64EndSize ? end_pos - kLocatorSize - kZip64EndSize : 0;
            uint8_t rec[kZip64EndSize];
            // The recorded offset does not count a preamble; fall back to the usual place.
            if (!fits(z64_offset, kZip64EndSize, end_pos - kLocatorSize) || !read_at(z64_offset, rec, kZip64EndSize) ||
                ByteReader(rec, 4).u32() != kZip64EndSig) {
                if (!fits(z64_offset, kZip64EndSize, file_size_))
                    return fail(kReadStructure, "Zip64 end record lies outside the file");
                z64_offset = expected;
                if (!read_at(z64_offset, rec, kZip64EndSize) || ByteReader(rec, 4).u32() != kZip64EndSig)
                    return fail(kReadStructure, "Zip64 end record not found");
            }
            ByteReader z(rec, kZip64EndSize);
            z.skip(4 + 8 + 2 + 2);
            disk = z.u32();
            cd_disk = z.u32();
            count_here = z.u64();
            count = z.u64();
            cd_size = z.u64();
            cd_offset = z.u64();
            cd_end = z64_offset;
        }
    }
    if (disk != 0 || cd_disk != 0 || count_here != count) return fail(kReadMultiDisk, "Multi-disk archive, not supported");
    // An archive streamed to a pipe may mark the directory's offset as unknown (all ones) with
    // no Zip64 records; the directory then ends where the end record begins.
    if (cd_offset == 0xFFFFFFFFu && cd_end == end_pos && cd_size <= cd_end) cd_offset = cd_end - cd_size;
    if (cd_size > cd_end) return fail(kReadStructure, "central dir size is incorrect");
    cd_start_ = cd_end - cd_size;
    if (cd_start_ < cd_offset) return fail(kReadStructure, "central dir start is incorrect");
    bias_ = cd_start_ - cd_offset;
    return read_central_directory(cd_start_, cd_size, count);
}

Status ZipReader::read_central_directory(uint64_t cd_start, uint64_t cd_size, uint64_t count) {
    if (cd_size > kMaxCentralDirectory) return fail(kReadStructure, "central dir size is incorrect");
    // Each central header needs at least 46 bytes, which bounds a credible count.
    if (count > cd_size / 46) return fail(kReadStructure, "wrong count in end of central dir");
    std::vector<uint8_t> cd(static_cast<size_t>(cd_size));
    if (!read_at(cd_start, cd.data(), cd.size())) return fail(kReadTruncated, "Problem reading Zip file");
    ByteReader r(cd.data(), cd.size());
    entries_.reserve(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i) {
        ZipEntry e;
        if (r.u32() != kCentralSig) return fail(kReadStructure, "central header signature missing");
        e.made_by = r.u16();
        e.needed = r.u16();
        e.flags = r.u16();
        e.method = r.u16();
        e.dos_time = r.u16();
        e.dos_date = r.u16();
        e.crc = r.u32();
        e.compressed = r.u32();
        e.uncompressed = r.u32();
        uint16_t name_len = r.u16(), extra_len = r.u16(), comment_len = r.u16();
        uint32_t disk = r.u16();
        e.internal_attr = r.u16();
        e.external_attr = r.u32();
        e.local_offset = r.u32();
        const uint8_t* name = r.take(name_len);
        const uint8_t* extra = r.take(extra_len);
        r.skip(comment_len);
        if (r.failed()) return fail(kReadStructure, "central header runs past the directory");
        if (name_len == 0) return fail(kReadStructure, "zero-length name for entry #" + std::to_string(i + 1));
        e.name.assign(reinterpret_cast<const char*>(name), name_len);

        // Extra fields: a 4-byte header each (APPNOTE 4.5.1); the Zip64 and the AES ones matter here.
        ByteReader x(extra, extra_len);
        while (x.remaining() >= 4) {
            uint16_t id = x.u16(), size = x.u16();
            const uint8_t* body = x.take(size);
            if (!body) break;  // a damaged tail of the extra area is passed over
            if (id == WinZipAes::kExtraFieldId) {
                ByteReader a(body, size);
                e.aes_version = a.u16();
                e.aes_vendor = a.u16();
                e.aes_strength = a.u8();
                e.aes_method = a.u16();
                e.aes_field = !a.failed();  // a field shorter than its 7 bytes counts as missing
                continue;
            }
            if (id != 0x0001) continue;
            ByteReader z(body, size);
            if (e.uncompressed == 0xFFFFFFFFu) e.uncompressed = z.u64();
            if (e.compressed == 0xFFFFFFFFu) e.compressed = z.u64();
            if (e.local_offset == 0xFFFFFFFFu) e.local_offset = z.u64();
            if (disk == 0xFFFF) disk = z.u32();
            if (z.failed()) return fail(kReadStructure, "Zip64 extra field too short for " + e.name);
        }
        if (disk != 0) return fail(kReadMultiDisk, "Multi-disk archive, not supported");
        if (!fits(e.local_offset, 30, cd_start - bias_))
            return fail(kReadStructure, "local offset in central hdr incorrect for " + e.name);
        entries_.push_back(std::move(e));
    }
    if (r.remaining() != 0) return fail(kReadStructure, "central dir size is incorrect");
    return {};
}

Status ZipReader::locate_data(const ZipEntry& e, uint64_t& data_offset) {
    uint64_t at = e.local_offset + bias_;
    uint8_t h[30];
    if (!read_at(at, h, sizeof h)) return fail(kReadTruncated, "Unexpected end of zip file");
    ByteReader r(h, sizeof h);
    if (r.u32() != kLocalSig) return fail(kReadStructure, "local header signature missing for " + e.name);
    r.skip(22);
    uint16_t name_len = r.u16(), extra_len = r.u16();
    data_offset = at + 30 + name_len + extra_len;
    if (!fits(data_offset, e.compressed, cd_start_)) return fail(kReadTruncated, "entry data runs past the directory: " + e.name);
    if (e.flags & 8) {
        // Data descriptor after the data (APPNOTE 4.3.9), with or without its signature; its
        // CRC must agree with the central directory.
        uint8_t d[8];
        uint64_t after = data_offset + e.compressed;
        if (!read_at(after, d, 8)) return fail(kReadTruncated, "extended local hdr not found for " + e.name);
        ByteReader dr(d, 8);
        uint32_t first = dr.u32();
        uint32_t crc = first == kDescriptorSig ? dr.u32() : first;
        if (crc != e.crc && !(first == kDescriptorSig && e.crc == kDescriptorSig))
            return fail(kReadStructure, "bad extended local hdr for " + e.name);
    }
    return {};
}

bool ZipReader::password_fits(const ZipEntry& e, const char* password) {
    if (!e.encrypted()) return true;
    if (!password || (e.flags & 0x40)) return false;
    uint64_t pos = 0;
    if (!locate_data(e, pos).ok()) return false;
    if (e.aes()) {
        std::unique_ptr<WinZipAes> aes;
        return open_aes(e, password, pos, aes).code != kReadBadPassword;
    }
    uint8_t header[TraditionalCipher::kHeaderSize];
    if (e.compressed < sizeof header || !read_at(pos, header, sizeof header)) return false;
    TraditionalCipher cipher(password);
    return cipher.check_header(header, (e.flags & 8) ? uint8_t(e.dos_time >> 8) : uint8_t(e.crc >> 24));
}

Status ZipReader::open_aes(const ZipEntry& e, const char* password, uint64_t data_offset,
                           std::unique_ptr<WinZipAes>& aes) {
    if (!aes_supported(e)) return fail(kReadEncrypted, "File skipped, encrypted (AES variant not supported)");
    if (!password) return fail(kReadBadPassword, "Bad or missing decryption key");
    const size_t salt_size = WinZipAes::salt_size(e.aes_strength);
    // Salt, verifier and authentication code must all lie inside the entry's data.
    if (!fits(0, WinZipAes::overhead(e.aes_strength), e.compressed))
        return fail(kReadStructure, "AES entry shorter than its salt and codes: " + e.name);
    uint8_t head[WinZipAes::kMaxSaltSize + WinZipAes::kVerifierSize];
    if (!read_at(data_offset, head, salt_size + WinZipAes::kVerifierSize))
        return fail(kReadTruncated, "Unexpected end of zip file");
    aes = std::make_unique<WinZipAes>(password, e.aes_strength, head);
    if (!aes->verifier_matches(head + salt_size)) {
        aes.reset();
        return fail(kReadBadPassword, "Bad or missing decryption key");
    }
    return {};
}

Status ZipReader::authenticate_aes(const ZipEntry& e, WinZipAes& aes, uint64_t pos, uint64_t size) {
    if (!file_.seek(pos)) return fail(kReadTruncated, "Unexpected end of zip file");
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<uint64_t>(size, 65536)));
    for (uint64_t left = size; left;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(left, buf.size()));
        if (!file_.read_exact(buf.data(), n)) return fail(kReadTruncated, "Unexpected end of zip file");
        aes.authenticate(buf.data(), n);
        left -= n;
    }
    uint8_t stored[WinZipAes::kMacSize], computed[WinZipAes::kMacSize];
    if (!file_.read_exact(stored, sizeof stored)) return fail(kReadTruncated, "Unexpected end of zip file");
    aes.finish(computed);
    // The HMAC key comes from the password, so a mismatch is damaged data or, past the 1 in
    // 65536 chance of a matching verifier, a wrong password; either way nothing is extracted.
    if (!WinZipAes::codes_equal(stored, computed))
        return fail(kReadBadCrc, "AES authentication code mismatch in " + e.name);
    return {};
}

namespace {

// Entries up to this size (decoded and compressed) are inflated in one piece.
constexpr uint64_t kWholeInflate = 16u << 20;

// The failure a finished inflate run means for the entry, if any.
Status inflate_failure(const InflateResult& r, uint64_t data_size, bool traditional, const ZipEntry& e) {
    if (r.status == InflateStatus::truncated) return fail(kReadTruncated, "compressed data ends early in " + e.name);
    if (r.status == InflateStatus::invalid) {
        // A wrong password that passed the one-byte check shows up as a broken stream.
        if (traditional) return fail(kReadBadPassword, "Bad or missing decryption key");
        return fail(kReadStructure, std::string("invalid compressed data (") + r.reason + ") in " + e.name);
    }
    if (r.status == InflateStatus::ok && r.consumed != data_size)
        return fail(kReadStructure, "compressed size does not match the data of " + e.name);
    return {};
}

}  // namespace

Status ZipReader::extract(const ZipEntry& e, const char* password, const WriteFn& out) {
    if (e.flags & 0x40) return fail(kReadEncrypted, "File skipped, encrypted");
    if (e.aes() && !aes_supported(e))
        return fail(kReadEncrypted, "File skipped, encrypted (AES variant not supported)");
    const uint16_t method = e.real_method();
    if (method != 0 && method != 8) return fail(kReadUnknownMethod, "File skipped, unknown compression method");
    uint64_t pos = 0;
    Status s = locate_data(e, pos);
    if (!s.ok()) return s;
    uint64_t left = e.compressed;
    std::unique_ptr<TraditionalCipher> cipher;
    std::unique_ptr<WinZipAes> aes;
    bool check_crc = true;
    if (e.aes()) {
        s = open_aes(e, password, pos, aes);
        if (!s.ok()) return s;
        const size_t head = WinZipAes::salt_size(e.aes_strength) + WinZipAes::kVerifierSize;
        pos += head;
        left -= WinZipAes::overhead(e.aes_strength);  // open_aes checked that it fits
        // Encrypt-then-MAC: the code covers the encrypted bytes, so it is checked in a pass of
        // its own before anything is decrypted, decompressed or written.
        s = authenticate_aes(e, *aes, pos, left);
        if (!s.ok()) return s;
        // AE-2 stores no CRC (0) and relies on the authentication code alone.
        check_crc = e.aes_version == 1;
    } else if (e.encrypted()) {
        if (!password) return fail(kReadBadPassword, "Bad or missing decryption key");
        uint8_t header[TraditionalCipher::kHeaderSize];
        if (left < sizeof header || !read_at(pos, header, sizeof header)) return fail(kReadStructure, "encryption header missing");
        cipher = std::make_unique<TraditionalCipher>(password);
        uint8_t check = (e.flags & 8) ? uint8_t(e.dos_time >> 8) : uint8_t(e.crc >> 24);
        if (!cipher->check_header(header, check)) return fail(kReadBadPassword, "Bad or missing decryption key");
        cipher = std::make_unique<TraditionalCipher>(password);
        cipher->decrypt(header, sizeof header);
        pos += sizeof header;
        left -= sizeof header;
    }
    const uint64_t data_size = left;
    if (!file_.seek(pos)) return fail(kReadTruncated, "Unexpected end of zip file");
    ReadFn in = [&](uint8_t* buf, size_t cap) -> size_t {
        size_t n = static_cast<size_t>(std::min<uint64_t>(cap, left));
        n = file_.read(buf, n);
        left -= n;
        if (cipher) cipher->decrypt(buf, n);
        if (aes) aes->apply_keystream(buf, n);
        return n;
    };
    uint32_t crc = 0;
    uint64_t produced = 0;
    bool too_long = false, sink_failed = false;
    WriteFn sink = [&](const uint8_t* p, size_t n) -> bool {
        if (!fits(produced, n, e.uncompressed)) {
            too_long = true;  // more data than declared: stop before writing it
            return false;
        }
        produced += n;
        crc = crc32_update(crc, p, n);
        if (!out(p, n)) {
            sink_failed = true;
            return false;
        }
        return true;
    };
    if (method == 0) {
        if (data_size != e.uncompressed) return fail(kReadStructure, "stored sizes differ for " + e.name);
        std::vector<uint8_t> buf(65536);
        while (left) {
            size_t n = in(buf.data(), buf.size());
            if (n == 0) return fail(kReadTruncated, "Unexpected end of zip file");
            if (!sink(buf.data(), n)) break;
        }
    } else if (e.uncompressed <= kWholeInflate && data_size <= kWholeInflate) {
        // Small enough to hold: read whole and decoded straight into one buffer, the decoder's
        // fastest way. Every check is the streaming path's.
        std::vector<uint8_t> packed(static_cast<size_t>(data_size));
        if (in(packed.data(), packed.size()) != packed.size())
            return fail(kReadTruncated, "Unexpected end of zip file");
        CodecBuffer<uint8_t> plain(static_cast<size_t>(e.uncompressed));
        InflateResult r = inflate_into(packed.data(), packed.size(), plain.data(), plain.size());
        if (r.status == InflateStatus::output_failed) {
            too_long = true;  // more data than declared
        } else {
            Status bad = inflate_failure(r, data_size, cipher != nullptr, e);
            if (!bad.ok()) return bad;
            sink(plain.data(), static_cast<size_t>(r.produced));
        }
    } else {
        Status bad = inflate_failure(inflate_stream(in, sink), data_size, cipher != nullptr, e);
        if (!bad.ok()) return bad;
    }
    if (sink_failed) return fail(kReadOutputFailed, "Error creating output file");
    if (too_long || produced != e.uncompressed) return fail(kReadStructure, "size does not match the data of " + e.name);
    if (check_crc && crc != e.crc) return fail(kReadBadCrc, "Bad CRC");
    return {};
}

}  // namespace dravik::archive
