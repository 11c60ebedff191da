// UnzipExecute: takes an unzip command record, checks it in the documented order, and counts,
// lists, tests or extracts entries. Extraction never writes outside the destination: names that
// are absolute, climb with "..", hold a ':' or name a device are skipped and reported.
#include <cstring>

#include "engine_state.h"
#include "host.h"
#include "names.h"
#include "zip_reader.h"

namespace dravik::archive {

const int32_t kUnzipRecordSizes[5] = {
    int32_t(offsetof(UNZIPCMDSTRUCT, lpMessageDisplay)), int32_t(offsetof(UNZIPCMDSTRUCT, lpCallbackStruct)),
    int32_t(offsetof(UNZIPCMDSTRUCT, pZipInfoEx)), int32_t(offsetof(UNZIPCMDSTRUCT, reserved)), int32_t(sizeof(UNZIPCMDSTRUCT))};

namespace {

constexpr const char* kPrefix = "Dravik UnZip: ";

struct Outcome {
    int code = 0;
    std::string detail;
};

std::string str(const char* s) { return s ? std::string(s) : std::string(); }

// The entry record's encryption details: 0 for a plain entry, 1 for the traditional encryption,
// the key length in bits (128, 192, 256) for WinZip AES, and 99 (the AES method number) for an
// AES entry whose strength is not one of those.
uint32_t encryption_details(const ZipEntry& e) {
    if (!e.encrypted()) return 0;
    if (!e.aes()) return 1;
    if (!e.aes_field || !WinZipAes::valid_strength(e.aes_strength)) return WinZipAes::kMethod;
    return 64 + 64 * uint32_t(e.aes_strength);
}

// A destination must name a drive ("X:") or a server ("\\"); on a host whose paths start at
// '/', a path from the root is the equivalent.
Outcome check_destination(const std::string& d) {
    if (d.empty()) return {47, "Destination path not provided"};
    if (d.size() < 2) return {47, "Destination path not complete"};
    bool drive = std::isalpha(static_cast<unsigned char>(d[0])) && d[1] == ':';
    bool server = d[0] == '\\' && d[1] == '\\';
    bool root = host().separator() == '/' && d[0] == '/';
    if (!drive && !server && !root) return {47, "Destination path must include drive letter"};
    return {};
}

void diagnostic(const UNZIPCMDSTRUCT& r) {
    std::vector<std::string> l;
    auto num = [&](const char* n, long v) { l.push_back(std::string(n) + ": " + std::to_string(v) + " \r\n"); };
    auto ptr = [&](const char* n, const void* p) { l.push_back(std::string(n) + ": " + hex_pointer(p) + " \r\n"); };
    auto text = [&](const char* n, const char* s) {
        ptr(n, s);
        if (s) l.push_back(std::string("  ") + s + " \r\n");
    };
    num("size", r.size);
    l.push_back("Function: " + std::to_string(r.Function) + " \r\n");
    text("lpszZIPFile", r.lpszZIPFile);
    ptr("zInfo", r.zInfo);
    text("lpszFilespec", r.lpszFilespec);
    num("index", r.index);
    text("lpszDestination", r.lpszDestination);
    num("freshenFlag", r.freshenFlag);
    num("updateFlag", r.updateFlag);
    num("overWriteFlag", r.overWriteFlag);
    num("quietFlag", r.quietFlag);
    num("testFlag", r.testFlag);
    num("noDirectoryNamesFlag", r.noDirectoryNamesFlag);
    num("recurseFlag", r.recurseFlag);
    num("noDirectoryItemsFlag", r.noDirectoryItemsFlag);
    ptr("lpMinorStatus", reinterpret_cast<const void*>(r.lpMinorStatus));
    ptr("lpMinorUserData", r.lpMinorUserData);
    ptr("lpMajorStatus", reinterpret_cast<const void*>(r.lpMajorStatus));
    ptr("lpMajorUserData", r.lpMajorUserData);
    num("returnCount", r.returnCount);
    ptr("lpszReturnString", r.lpszReturnString);
    num("diagnosticFlag", r.diagnosticFlag);
    num("decryptFlag", r.decryptFlag);
    ptr("lpszDecryptCode", r.lpszDecryptCode);  // the password itself is never logged
    ptr("lpMessageDisplay", reinterpret_cast<const void*>(r.lpMessageDisplay));
    ptr("lpMessageDisplayData", r.lpMessageDisplayData);
    num("wUnzipSubOptions", r.wUnzipSubOptions);
    ptr("lpCallbackStruct", r.lpCallbackStruct);
    ptr("lpRenameProc", r.lpRenameProc);
    ptr("lpRenameUserData", r.lpRenameUserData);
    text("lpszExtProgTitle", r.lpszExtProgTitle);
    ptr("lpMemBlock", r.lpMemBlock);
    num("lMemBlockSize", long(r.lMemBlockSize));
    num("lStartingOffset", long(r.lStartingOffset));
    ptr("pZipInfoEx", r.pZipInfoEx);
    num("lUnZipSubOptions2", r.lUnZipSubOptions2);
    num("lMemBlockSizeH", long(r.lMemBlockSizeH));
    num("lStartingOffsetH", long(r.lStartingOffsetH));
    write_diagnostic("UnZip", l);
}

class UnzipCommand {
public:
    UnzipCommand(UNZIPCMDSTRUCT& r, UnzipThreadState& state, ZipReader& reader) : r_(r), state_(state), reader_(reader) {}

    Outcome count(bool named) {
        std::vector<size_t> m;
        Outcome o = selection(named, m);
        if (o.code && o.code != 11) return o;
        r_.returnCount = static_cast<int32_t>(m.size());
        return {};
    }

    Outcome get_next(bool named) {
        if ((r_.zInfo == nullptr) == (r_.pZipInfoEx == nullptr)) return {47, "Item list not provided"};
        std::vector<std::string> patterns;
        if (named) {
            if (!r_.lpszFilespec) return {47, "Item list not provided"};
            bool balanced = true;
            patterns = split_item_list(r_.lpszFilespec, balanced);
            if (!balanced) return {47, "Double Quotes mismatched."};
        }
        // The sequence position is the index of the next entry to look at, so each call costs
        // only the entries it passes over.
        const auto& entries = reader_.entries();
        for (size_t i = state_.listing_next; i < entries.size(); ++i) {
            if (named && !matches(patterns, entries[i])) continue;
            fill_info(i, entries[i]);
            state_.listing_next = i + 1;
            return {};
        }
        state_.listing_next = entries.size();
        return {2, "No more items found"};
    }

    Outcome extract() {
        if (!r_.testFlag) {
            Outcome d = check_destination(str(r_.lpszDestination));
            if (d.code) return d;
        }
        std::vector<size_t> items;
        if (!r_.lpszFilespec || r_.index != -1) {
            if (r_.index < 0) return {47, "Item list not provided"};
            if (size_t(r_.index) >= reader_.entries().size()) return {25, "Index is too high"};
            items.push_back(size_t(r_.index));
        } else {
            Outcome o = selection(true, items);
            if (o.code) return o;
        }
        Outcome result;
        for (size_t n = 0; n < items.size(); ++n) {
            char progress[64];
            std::snprintf(progress, sizeof progress, "Item %d of %d", int(n + 1), int(items.size()));
            if (stop_requested(progress, uint32_t((n * 100) / items.size()))) return {48, ""};
            Outcome o = extract_one(reader_.entries()[items[n]]);
            if (o.code == 0 || o.code == 49) continue;
            if (o.code == 48) return o;
            log_line(std::string(kPrefix) + UnzipResultText(o.code) + (o.detail.empty() ? "" : " (" + o.detail + ")") + "\n");
            return {o.code, "Problem extracting file(s)"};
        }
        if (!unsafe_.empty()) return {28, unsafe_};
        return result;
    }

private:
    bool stop_requested(const std::string& text, uint32_t figure) {
        bool stop = false;
        if (r_.lpMinorStatus) stop = r_.lpMinorStatus(text.c_str(), figure, r_.lpMinorUserData) != 0;
        if (r_.lpMajorStatus) stop = (r_.lpMajorStatus(text.c_str(), figure, r_.lpMajorUserData) != 0) || stop;
        return stop;
    }

    std::string display_name(const ZipEntry& e) { return e.utf8() ? host().utf8_to_system(e.name) : e.name; }

    // Entries matching the filespec (all entries when `named` is false), in directory order.
    Outcome selection(bool named, std::vector<size_t>& out) {
        const auto& entries = reader_.entries();
        if (!named) {
            for (size_t i = 0; i < entries.size(); ++i) out.push_back(i);
            return {};
        }
        if (!r_.lpszFilespec) return {47, "Item list not provided"};
        bool balanced = true;
        auto patterns = split_item_list(r_.lpszFilespec, balanced);
        if (!balanced) return {47, "Double Quotes mismatched."};
        for (size_t i = 0; i < entries.size(); ++i)
            if (matches(patterns, entries[i])) out.push_back(i);
        if (out.empty()) return {11, "No items match filespec"};
        return {};
    }

    bool matches(const std::vector<std::string>& patterns, const ZipEntry& e) {
        std::string name = display_name(e);
        for (const auto& p : patterns)
            if (wildcard_match(p, name, r_.recurseFlag != 0)) return true;
        return false;
    }

    void fill_info(size_t index, const ZipEntry& e) {
        std::string name = display_name(e);
        unsigned month = (e.dos_date >> 5) & 0xF, day = e.dos_date & 0x1F, year = 1980 + (e.dos_date >> 9);
        unsigned hour = e.dos_time >> 11, minute = (e.dos_time >> 5) & 0x3F, second = (e.dos_time & 0x1F) * 2;
        uint32_t attributes = (e.external_attr & 0x7FFF) | (e.encrypted() ? 0x8000 : 0);
        uint16_t has_path = name.find_first_of("/\\") != std::string::npos ? 1 : 0;
        if (ZIPINFOEX* x = r_.pZipInfoEx) {
            x->dwIndex = static_cast<uint32_t>(index);
            x->uncompressedSize = e.uncompressed;
            x->compressedSize = e.compressed;
            x->dwAttributes = attributes;
            x->dwCRC = e.crc;
            x->wMethod = e.method;
            x->wFlags = e.flags;
            x->wHasPath = has_path;
            std::snprintf(x->szDateTime, sizeof x->szDateTime, "%02u/%02u/%04u  %02u:%02u:%02u", month % 100, day % 100,
                          year % 10000, hour % 100, minute % 100, second % 100);
            std::snprintf(x->szFileName, sizeof x->szFileName, "%s", name.c_str());
            x->dwSeconds = second;
            x->dwDosDateTime = e.dos_datetime();
            x->dwEncryption = encryption_details(e);
        } else if (ZIPINFO* z = r_.zInfo) {
            z->dwIndex = static_cast<uint32_t>(index);
            z->uncompressedSize = e.uncompressed > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(e.uncompressed);
            z->compressedSize = e.compressed > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(e.compressed);
            z->dwAttributes = attributes;
            z->dwCRC = e.crc;
            z->wMethod = e.method;
            z->wFlags = e.flags;
            z->wHasPath = has_path;
            std::snprintf(z->szDateTime, sizeof z->szDateTime, "%02u/%02u/%02u  %02u:%02u", month % 100, day % 100, year % 100,
                          hour % 100, minute % 100);
            std::snprintf(z->szFileName, sizeof z->szFileName, "%s", name.c_str());
        }
    }

    int question(const std::string& text, unsigned style, const std::vector<int>& buttons) {
        return ask(r_.lpMessageDisplay, r_.lpMessageDisplayData, text, style, buttons);
    }

    Outcome extract_one(const ZipEntry& e) {
        const char* password = r_.decryptFlag ? r_.lpszDecryptCode : nullptr;
        std::string name = display_name(e);
        if (r_.testFlag) {
            if (e.is_dir()) return {};
            if (e.encrypted() && !reader_.password_fits(e, password)) return encrypted_refusal(name);
            Status s = reader_.extract(e, password, [](const uint8_t*, size_t) { return true; });
            return {s.code, s.detail};
        }
        if (const char* why = unsafe_name_reason(name)) {
            std::string detail = std::string("Skipping unsafe name (") + why + "): " + name;
            log_line(std::string(kPrefix) + detail + "\n");
            if (unsafe_.empty()) unsafe_ = detail;
            return {49, detail};
        }
        const char sep = host().separator();
        std::string rel = name;
        if (r_.noDirectoryNamesFlag) {
            if (e.is_dir()) return {49, ""};
            size_t cut = rel.find_last_of("/\\");
            if (cut != std::string::npos) rel = rel.substr(cut + 1);
        }
        while (!rel.empty() && (rel.back() == '/' || rel.back() == '\\')) rel.pop_back();
        for (auto& c : rel)
            if (c == '/' || c == '\\') c = sep;
        std::string dest = str(r_.lpszDestination);
        while (dest.size() > 1 && (dest.back() == '/' || dest.back() == '\\')) dest.pop_back();
        std::string out = dest + sep + rel;
        make_destination(dest);
        make_parents(dest, rel, sep);
        if (e.is_dir()) {
            if (r_.noDirectoryItemsFlag) return {49, ""};
            if (!host().stat(out).is_dir && !host().make_dir(out)) return {28, "could not create " + out};
            return {};
        }
        if (host().same_file(out, reader_.path())) {
            if (!r_.quietFlag)
                question("You are trying to UnZip from this Zip file on top of itself, which is not permitted. \nSkipping this item...",
                         0x30, {1});
            return {49, ""};
        }
        FileStat st = host().stat(out);
        bool newer = !st.exists || e.dos_datetime() > st.dos_datetime;
        if (r_.freshenFlag && (!st.exists || !newer)) return {49, ""};
        if (r_.updateFlag && !newer) return {49, ""};
        if (st.exists && st.is_dir) return {28, out + " is a directory"};
        if (st.exists && !r_.overWriteFlag && !r_.freshenFlag && !r_.updateFlag) {
            if (r_.quietFlag) return {49, ""};
            std::string text = name + (st.read_only ? " exists and is Read Only, do you want to overwrite it?"
                                                    : " exists, do you want to overwrite it?");
            int answer = question(text, 0x23, {2, 6, 7, 100, 101});
            if (answer == 2) return {48, ""};
            if (answer == 7 || answer == 101) return {49, ""};
        }
        if (e.encrypted() && !reader_.password_fits(e, password)) return encrypted_refusal(name);
        return write_verified(e, password, name, out, st);
    }

    // The entry goes to a new file beside its target and takes the target's place only when
    // its CRC, authentication code and length are right, so a damaged entry, a wrong password
    // or a full disk leaves an existing file as it was and nothing beside it.
    Outcome write_verified(const ZipEntry& e, const char* password, const std::string& name, const std::string& out,
                           const FileStat& st) {
        File f;
        std::string temp;
        if (!create_temp_beside(out, f, temp)) return {28, "Error creating output file: " + out};
        bool write_ok = true;
        Status s = reader_.extract(e, password, [&](const uint8_t* p, size_t n) { return write_ok = f.write(p, n); });
        bool closed = f.close();
        if (!s.ok() || !closed) {
            remove_temp(temp);
            if (!write_ok || !closed) return {50, "Disk full"};
            return {s.code, s.detail + ": " + name};
        }
        // A read-only file is made writable only now that it is really replaced, and made
        // read-only again when it cannot be.
        if (st.exists && st.read_only) host().set_read_only(out, false);
        if (!host().replace_file(temp, out)) {
            if (st.exists && st.read_only) host().set_read_only(out, true);
            remove_temp(temp);
            return {28, "Error creating output file: " + out};
        }
        host().set_file_time(out, e.dos_datetime());
        uint8_t host_system = uint8_t(e.made_by >> 8);
        bool dos_attributes = host_system == 0 || host_system == 11 || host_system == 14;
        if (dos_attributes && (e.external_attr & 1)) host().set_read_only(out, true);
        return {};
    }

    // A new, uniquely named file in the folder of `out` (the same volume, so it can take the
    // place of `out` without a copy).
    bool create_temp_beside(const std::string& out, File& f, std::string& temp) {
        size_t cut = out.find_last_of("/\\");
        std::string dir = cut == std::string::npos ? std::string() : out.substr(0, cut + 1);
        for (int attempt = 0; attempt < 64; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, "~dk%06x%02x.tmp", unsigned(host().thread_id() & 0xFFFFFF),
                          unsigned(++state_.temp_counter & 0xFF));
            temp = dir + name;
            if (f.create_new(temp)) return true;
            if (!host().stat(temp).exists) return false;  // not a name clash: the folder refuses new files
        }
        return false;
    }

    void remove_temp(const std::string& temp) {
        if (!host().remove_file(temp))
            log_line(std::string(kPrefix) + "could not remove the temporary file " + temp + "\n");
    }

    Outcome encrypted_refusal(const std::string& name) {
        if (!r_.quietFlag) {
            int answer = question(name + " is encrypted, and you have not provided the correct code. Go to next item (if any)?", 0x24, {6, 7});
            if (answer == 6) return {49, ""};
        }
        return {44, "Bad or missing decryption key: " + name};
    }

    // Creates the destination folder and any missing folders above it.
    void make_destination(const std::string& dest) {
        if (host().stat(dest).is_dir) return;
        for (size_t i = 1; i <= dest.size(); ++i) {
            if (i < dest.size() && dest[i] != '/' && dest[i] != '\\') continue;
            std::string part = dest.substr(0, i);
            if (part.size() > 2 && !host().stat(part).exists) host().make_dir(part);
        }
    }

    void make_parents(const std::string& dest, const std::string& rel, char sep) {
        for (size_t i = 0; i < rel.size(); ++i) {
            if (rel[i] != sep) continue;
            std::string dir = dest + sep + rel.substr(0, i);
            if (!host().stat(dir).exists) host().make_dir(dir);
        }
    }

    UNZIPCMDSTRUCT& r_;
    UnzipThreadState& state_;
    ZipReader& reader_;
    std::string unsafe_;
};

Outcome checked_run(UNZIPCMDSTRUCT& r, UnzipThreadState& state) {
    if (r.Function != 10 && (!r.lpszZIPFile || !*r.lpszZIPFile)) return {47, "Zip filename not provided"};
    if (r.freshenFlag && r.updateFlag) return {47, "Can't freshen and update at the same time"};
    if (r.freshenFlag || r.updateFlag) {
        if (!r.lpszDestination || !*r.lpszDestination) return {47, "Need destination path when updating or freshening"};
        Outcome d = check_destination(r.lpszDestination);
        if (d.code) return d;
    }
    if (r.decryptFlag && (!r.lpszDecryptCode || !*r.lpszDecryptCode || std::strlen(r.lpszDecryptCode) > 128))
        return {47, "Decryption key not provided, or too long"};
    if ((r.lUnZipSubOptions2 & 12) == 12) return {47, "Command syntax error"};
    if ((r.wUnzipSubOptions & 0x1000) && !r.lpCallbackStruct) return {47, "Command syntax error"};
    if (r.Function == 10) return {47, "Unknown function requested"};  // memory to memory: not offered

    // The get-next sequence continues on the same archive (and filespec); anything else starts
    // it again.
    bool listing = r.Function == UNZIP_GETNEXT || r.Function == UNZIP_GETNEXTNAMED;
    std::string spec = str(r.lpszFilespec);
    bool same = listing && state.listing_reader && state.listing_archive == r.lpszZIPFile && state.listing_function == r.Function &&
                (r.Function == UNZIP_GETNEXT || state.listing_filespec == spec);
    if (!same) {
        auto reader = std::make_unique<ZipReader>();
        Status s = reader->open(r.lpszZIPFile);
        if (!s.ok()) {
            state.listing_reader.reset();
            if (s.code == kReadNotFound) return {9, "Problem reading Zip file"};
            return {s.code, s.code == kReadStructure ? "Zip file has a structural problem" : s.detail};
        }
        state.listing_reader = std::move(reader);
        state.listing_archive = r.lpszZIPFile;
        state.listing_filespec = spec;
        state.listing_function = r.Function;
        state.listing_next = 0;
    }
    if (r.Function < 1 || r.Function > 11) return {47, "Unknown function requested"};
    UnzipCommand cmd(r, state, *state.listing_reader);
    Outcome o;
    switch (r.Function) {
        case UNZIP_COUNTALL: o = cmd.count(false); break;
        case UNZIP_COUNTNAMED: o = cmd.count(true); break;
        case UNZIP_GETNEXT: return cmd.get_next(false);
        case UNZIP_GETNEXTNAMED: return cmd.get_next(true);
        case UNZIP_EXTRACT: o = cmd.extract(); break;
        case 9:
        case 11: o = {47, "Inconsistent UNZIP_FILETOMEM parameters."}; break;
        default: o = {47, "Unknown function requested"}; break;
    }
    state.listing_reader.reset();  // a later get-next starts from the first entry
    return o;
}

int report(UnzipThreadState& state, const UNZIPCMDSTRUCT& r, const Outcome& o) {
    if (o.code == 0) {
        state.last_message.clear();
        return 0;
    }
    std::string text = std::string(kPrefix) + UnzipResultText(o.code);
    if (!o.detail.empty()) text += " (" + o.detail + ")";
    state.last_message = text;
    log_line(text + "\n");
    // "No more items found" ends every listing; it is a result, not a message for the user.
    if (!r.quietFlag && !(o.code == 2 && (r.Function == UNZIP_GETNEXT || r.Function == UNZIP_GETNEXTNAMED)))
        ask(r.lpMessageDisplay, r.lpMessageDisplayData, text, 0x10, {1});
    return o.code;
}

}  // namespace
}  // namespace dravik::archive

using namespace dravik::archive;

extern "C" int32_t UnzipExecute(UNZIPCMDSTRUCT* record) {
    UnzipThreadState* state = unzip_state();
    if (!state) return 4;
    if (state->busy) {
        state->last_message = std::string(kPrefix) + UnzipResultText(45) + " (Re-entry not permitted)";
        return 45;
    }
    state->busy = true;
    UNZIPCMDSTRUCT r{};
    Outcome o;
    bool known = false;
    if (record)
        for (int32_t s : kUnzipRecordSizes) known = known || record->size == s;
    if (!record) {
        o = {47, "UnZip command structure not provided"};
    } else if (!known) {
        o = {47, "UNZIPCMDSTRUCT Size is incorrect."};
    } else {
        std::memcpy(&r, record, static_cast<size_t>(record->size));
        if (r.diagnosticFlag) diagnostic(r);
        try {
            o = checked_run(r, *state);
        } catch (const std::bad_alloc&) {
            o = {4, "Error allocating memory from local heap"};
        }
        // Nothing stays open between calls: the caller may delete the archive as soon as a call
        // returns (a get-next sequence goes on from the directory it keeps).
        if (state->listing_reader) state->listing_reader->close();
        // Out fields go back into the caller's record, within the caller's layout.
        std::memcpy(record, &r, static_cast<size_t>(record->size));
    }
    int code = report(*state, record && known ? r : UNZIPCMDSTRUCT{}, o);
    state->busy = false;
    return code;
}
