// ZipExecute: takes a zip command record, checks it in the documented order, and adds,
// updates, freshens or deletes entries. The new archive is written to a temporary file beside
// the archive (or in the given temporary directory) and replaces the archive only when the
// whole command succeeded, so a failed command leaves the archive as it was.
#include <cstring>
#include <map>
#include <set>

#include "engine_state.h"
#include "host.h"
#include "names.h"
#include "secure_zero.h"
#include "zip_pipeline.h"
#include "zip_writer.h"

namespace dravik::archive {

const int32_t kZipRecordSizes[5] = {
    int32_t(offsetof(ZIPCMDSTRUCT, lpMessageDisplay)), int32_t(offsetof(ZIPCMDSTRUCT, lpCallbackStruct)),
    int32_t(offsetof(ZIPCMDSTRUCT, LargeZIPFilesFlag)), int32_t(offsetof(ZIPCMDSTRUCT, lResv9)), int32_t(sizeof(ZIPCMDSTRUCT))};

namespace {

struct Outcome {
    int code = 0;
    std::string detail;
};

struct SourceFile {
    std::string path;  // on disk
    std::string name;  // stored
    FileStat stat;
};

std::string str(const char* s) { return s ? std::string(s) : std::string(); }

std::string join(const std::string& dir, const std::string& name, char sep) {
    if (dir.empty()) return name;
    char last = dir.back();
    return (last == '/' || last == '\\') ? dir + name : dir + sep + name;
}

void diagnostic(const ZIPCMDSTRUCT& r) {
    std::vector<std::string> l;
    auto num = [&](const char* n, long v) { l.push_back(std::string(n) + ": " + std::to_string(v) + " \r\n"); };
    auto ptr = [&](const char* n, const void* p) { l.push_back(std::string(n) + ": " + hex_pointer(p) + " \r\n"); };
    auto text = [&](const char* n, const char* s) {
        ptr(n, s);
        if (s) l.push_back(std::string("  ") + s + " \r\n");
    };
    num("size", r.size);
    l.push_back("Function:  " + std::to_string(r.Function) + " \r\n");
    text("lpszZIPFile", r.lpszZIPFile);
    text("lpszItemList", r.lpszItemList);
    ptr("lpMajorStatus", reinterpret_cast<const void*>(r.lpMajorStatus));
    ptr("lpMajorUserData", r.lpMajorUserData);
    ptr("lpMinorStatus", reinterpret_cast<const void*>(r.lpMinorStatus));
    ptr("lpMinorUserData", r.lpMinorUserData);
    num("dosifyFlag", r.dosifyFlag);
    num("recurseFlag", r.recurseFlag);
    num("compFactor", r.compFactor);
    num("quietFlag", r.quietFlag);
    num("pathForTempFlag", r.pathForTempFlag);
    text("lpszTempPath", r.lpszTempPath);
    num("fixFlag", r.fixFlag);
    num("fixHarderFlag", r.fixHarderFlag);
    num("includeVolumeFlag", r.includeVolumeFlag);
    num("deleteOriginalFlag", r.deleteOriginalFlag);
    num("growExistingFlag", r.growExistingFlag);
    num("noDirectoryNamesFlag", r.noDirectoryNamesFlag);
    num("convertLFtoCRLFFlag", r.convertLFtoCRLFFlag);
    num("addCommentFlag", r.addCommentFlag);
    text("lpszComment", r.lpszComment);
    num("afterDateFlag", r.afterDateFlag);
    text("lpszDate", r.lpszDate);
    num("oldAsLatestFlag", r.oldAsLatestFlag);
    num("includeOnlyFollowingFlag", r.includeOnlyFollowingFlag);
    text("lpszIncludeFollowing", r.lpszIncludeFollowing);
    num("excludeFollowingFlag", r.excludeFollowingFlag);
    text("lpszExludeFollowing", r.lpszExludeFollowing);
    num("noDirectoryEntriesFlag", r.noDirectoryEntriesFlag);
    num("includeSysHiddenFlag", r.includeSysHiddenFlag);
    num("dontCompressTheseSuffixesFlag", r.dontCompressTheseSuffixesFlag);
    text("lpszStoreSuffixes", r.lpszStoreSuffixes);
    num("diagnosticFlag", r.diagnosticFlag);
    num("encryptFlag", r.encryptFlag);
    ptr("lpszEncryptCode", r.lpszEncryptCode);  // the password itself is never logged
    ptr("lpMessageDisplay", reinterpret_cast<const void*>(r.lpMessageDisplay));
    ptr("lpMessageDisplayData", r.lpMessageDisplayData);
    num("wMultiVolControl", r.wMultiVolControl);
    num("wZipSubOptions", r.wZipSubOptions);
    ptr("lpCallbackStruct", r.lpCallbackStruct);
    num("lResv2", r.lResv2);
    ptr("lpRenameProc", r.lpRenameProc);
    ptr("lpRenameUserData", r.lpRenameUserData);
    text("lpszExtProgTitle", r.lpszExtProgTitle);
    ptr("lpMemBlock", r.lpMemBlock);
    num("lMemBlockSize", long(r.lMemBlockSize));
    num("LargeZIPFilesFlag", r.LargeZIPFilesFlag);
    l.push_back("pulFileSizeArray: \r\n");
    num("lZipSubOptions2", r.lZipSubOptions2);
    num("lMemBlockSizeH", long(r.lMemBlockSizeH));
    ptr("lpRenameProcEX", r.lpRenameProcEX);
    num("lSEInfo", r.lSEInfo);
    write_diagnostic("Zip", l);
}

// Parses "MMDDYY" into a DOS date (high 16 bits of a DOS date-time); 0 when invalid.
uint32_t parse_date(const std::string& s) {
    if (s.size() != 6) return 0;
    for (char c : s)
        if (c < '0' || c > '9') return 0;
    int month = std::stoi(s.substr(0, 2)), day = std::stoi(s.substr(2, 2)), yy = std::stoi(s.substr(4, 2));
    if (month < 1 || month > 12 || day < 1 || day > 31) return 0;
    int year = yy < 80 ? 2000 + yy : 1900 + yy;
    return uint32_t((year - 1980) << 9 | month << 5 | day) << 16;
}

class ZipCommand {
public:
    ZipCommand(const ZIPCMDSTRUCT& r, ZipThreadState& state) : r_(r), state_(state), sep_(host().separator()) {}
    ~ZipCommand() { secure_zero(password_.data(), password_.size()); }
    ZipCommand(const ZipCommand&) = delete;
    ZipCommand& operator=(const ZipCommand&) = delete;

    Outcome run() {
        archive_ = str(r_.lpszZIPFile);
        bool balanced = true;
        items_ = split_item_list(str(r_.lpszItemList), balanced);
        if (!balanced) return {16, "was processing arguments"};
        if (r_.afterDateFlag) {
            after_date_ = parse_date(str(r_.lpszDate));
            if (!after_date_) return {16, "invalid date"};
        }
        if (r_.dontCompressTheseSuffixesFlag) {
            if (str(r_.lpszStoreSuffixes).empty()) return {16, "missing suffix list"};
            store_suffixes_ = split_suffixes(str(r_.lpszStoreSuffixes));
        }
        FileStat st = host().stat(archive_);
        have_archive_ = st.exists;
        archive_size_ = st.size;
        if (have_archive_) {
            Status s = reader_.open(archive_);
            if (!s.ok()) return {s.code == kReadTruncated ? 2 : 3, s.detail};
        }
        if (r_.Function == ZIP_DELETE) return delete_entries();
        if ((r_.Function == ZIP_FRESHEN) && !have_archive_) return {13, " not found or empty"};
        return add_entries();
    }

private:
    static std::vector<std::string> split_suffixes(const std::string& list) {
        std::vector<std::string> out;
        std::string cur;
        for (char c : list + ":") {
            if (c == ':' || c == ';' || c == ' ') {
                if (!cur.empty()) out.push_back(cur);
                cur.clear();
            } else {
                cur += c;
            }
        }
        return out;
    }

    bool stop_requested(const std::string& item, uint32_t figure) {
        // Records of the oldest layout cannot ask to stop.
        bool can_stop = r_.size != kZipRecordSizes[0];
        bool stop = false;
        if (r_.lpMinorStatus) stop = r_.lpMinorStatus(item.c_str(), figure, r_.lpMinorUserData) != 0;
        if (r_.lpMajorStatus) stop = (r_.lpMajorStatus(item.c_str(), figure, r_.lpMajorUserData) != 0) || stop;
        return can_stop && stop;
    }

    void add_source(const std::string& path, const FileStat& st) {
        if (st.hidden_or_system && !r_.includeSysHiddenFlag) return;
        SourceFile f;
        f.path = path;
        f.stat = st;
        if ((r_.wZipSubOptions & 1) && !cwd_known_) {
            cwd_ = host().current_dir();  // once: it does not change while the files are listed
            cwd_known_ = true;
        }
        f.name = stored_name(path, cwd_, r_.noDirectoryNamesFlag != 0);
        if (f.name.empty() || !seen_paths_.insert(path).second) return;  // one file reached twice is added once
        // The archive never goes into itself, under whatever name it is reached.
        if (have_archive_ && st.size == archive_size_ && host().same_file(path, archive_)) return;
        if (st.is_dir) {
            if (r_.noDirectoryEntriesFlag || r_.noDirectoryNamesFlag) return;
            f.name += '/';
        } else {
            if (r_.afterDateFlag && (st.dos_datetime & 0xFFFF0000u) < after_date_) return;
            if (r_.includeOnlyFollowingFlag && !matches_any(str(r_.lpszIncludeFollowing), f.name)) return;
            if (r_.excludeFollowingFlag && matches_any(str(r_.lpszExludeFollowing), f.name)) return;
        }
        sources_.push_back(f);
    }

    static bool matches_any(const std::string& list, const std::string& name) {
        bool balanced;
        std::string base = name.substr(name.find_last_of('/') == std::string::npos ? 0 : name.find_last_of('/') + 1);
        for (const auto& p : split_item_list(list, balanced))
            if (wildcard_match(p, name, true) || wildcard_match(p, base, false)) return true;
        return false;
    }

    void walk(const std::string& dir, const std::string& pattern) {
        for (const std::string& n : host().list_dir(dir)) {
            std::string path = join(dir, n, sep_);
            FileStat st = host().stat(path);
            if (st.is_dir) {
                if (!r_.recurseFlag) continue;
                if (pattern.empty()) add_source(path, st);
                walk(path, pattern);
            } else if (pattern.empty() || wildcard_match(pattern, n, false)) {
                add_source(path, st);
            }
        }
    }

    // Turns the item list into files on disk.
    void collect() {
        for (const std::string& item : items_) {
            size_t before = sources_.size();
            size_t cut = item.find_last_of("/\\");
            std::string last = cut == std::string::npos ? item : item.substr(cut + 1);
            if (has_wildcard(last)) {
                std::string dir = cut == std::string::npos ? std::string() : item.substr(0, cut + 1);
                std::string list_dir = dir.empty() ? std::string(".") : dir;
                for (const std::string& n : host().list_dir(list_dir)) {
                    std::string path = dir + n;
                    FileStat st = host().stat(path);
                    if (st.is_dir) {
                        if (r_.recurseFlag) walk(path, last);
                    } else if (wildcard_match(last, n, false)) {
                        add_source(path, st);
                    }
                }
            } else {
                FileStat st = host().stat(item);
                if (st.exists) {
                    add_source(item, st);
                    if (st.is_dir && r_.recurseFlag) walk(item, std::string());
                }
            }
            if (sources_.size() == before) unmatched_.push_back(item);
        }
    }

    std::string temp_path() {
        std::string dir;
        if (r_.pathForTempFlag && r_.lpszTempPath && *r_.lpszTempPath) {
            dir = r_.lpszTempPath;
        } else {
            size_t cut = archive_.find_last_of("/\\");
            dir = cut == std::string::npos ? std::string() : archive_.substr(0, cut + 1);
        }
        char name[32];
        std::snprintf(name, sizeof name, "zi%06x%02x.tmp", unsigned(host().thread_id() & 0xFFFFFF), unsigned(++state_.temp_counter & 0xFF));
        return join(dir, name, sep_);
    }

    int level_for(const SourceFile& f) const {
        int level = r_.compFactor < 0 ? 0 : r_.compFactor > 9 ? 9 : r_.compFactor;
        for (const auto& suffix : store_suffixes_) {
            std::string s = suffix[0] == '.' ? suffix : "." + suffix;
            if (f.name.size() >= s.size() && wildcard_match(s, f.name.substr(f.name.size() - s.size()), false)) return 0;
        }
        return level;
    }

    // Writes the new archive: kept entries in their order (replaced ones in place), then new
    // files; `drop` names entries to leave out.
    Outcome write(const std::map<std::string, const SourceFile*>& replace, const std::vector<const SourceFile*>& append,
                  const std::set<size_t>& drop) {
        std::string temp = temp_path();
        ZipWriter w;
        Status s = w.create(temp);
        if (!s.ok()) return {10, "allocating temp filename"};
        Outcome o = fill(w, replace, append, drop);
        if (o.code == 0) {
            Status f = w.finish(r_.addCommentFlag ? str(r_.lpszComment) : std::string(), r_.LargeZIPFilesFlag != 0);
            if (!f.ok()) o = {f.code, f.detail};
        }
        if (o.code != 0) {
            w.abandon();  // Windows does not delete a file that is still open
            remove_temp(temp);
            return o;
        }
        reader_.close();  // the archive must be closed before it is replaced
        // One step from the old archive to the new one: removing the old one first would lose it
        // whenever the new one then could not be moved into its place.
        if (!host().replace_file(temp, archive_)) {
            remove_temp(temp);
            return {10, "was replacing the original zip file"};
        }
        if (r_.oldAsLatestFlag) {
            if (w.count() == 0) return {13, "zip file is empty, can't make it as old as latest entry"};
            host().set_file_time(archive_, w.newest_dos_datetime());
        }
        if (r_.deleteOriginalFlag) {
            for (auto& [name, f] : replace) host().remove_file(f->path);
            for (auto* f : append)
                if (!f->stat.is_dir) host().remove_file(f->path);
        }
        return {};
    }

    static void remove_temp(const std::string& temp) {
        if (!host().remove_file(temp)) log_line("could not remove the temporary file " + temp + "\n");
    }

    Outcome add_one(ZipWriter& w, FilePreparer& preparer, size_t& job, const SourceFile& f, size_t n, size_t total) {
        if (stop_requested(f.path, total ? uint32_t(n * 100 / total) : 100)) return {9, "aborting"};
        uint32_t attr = f.stat.is_dir ? 0x10 : (f.stat.read_only ? 0x21 : 0x20);
        Status s;
        if (f.stat.is_dir) {
            s = w.add_directory(f.name, f.stat.dos_datetime, attr);
        } else {
            AddOptions o;
            o.level = level_for(f);
            o.password = password_.empty() ? nullptr : password_.c_str();
            o.aes_strength = aes_strength_;
            o.allow_zip64 = r_.LargeZIPFilesFlag != 0;
            PreparedFile p = preparer.take(job++);
            s = w.add_prepared(f.name, f.path, f.stat.dos_datetime, attr, o, p);
        }
        if (!s.ok()) return {s.code, s.detail};
        return {};
    }

    Outcome fill(ZipWriter& w, const std::map<std::string, const SourceFile*>& replace,
                 const std::vector<const SourceFile*>& append, const std::set<size_t>& drop) {
        const auto& entries = reader_.entries();
        // The files in the order they go into the archive: replaced entries where they were,
        // then new ones. Workers prepare them in that order.
        std::vector<const SourceFile*> order;
        for (size_t i = 0; have_archive_ && i < entries.size(); ++i) {
            auto it = drop.count(i) ? replace.end() : replace.find(key(entries[i].name));
            if (it != replace.end()) order.push_back(it->second);
        }
        order.insert(order.end(), append.begin(), append.end());
        std::vector<PrepareJob> jobs;
        for (const SourceFile* f : order)
            if (!f->stat.is_dir) jobs.push_back({f->path, level_for(*f), f->stat.size});
        FilePreparer preparer(std::move(jobs), state_.worker_threads, state_.whole_entry_limit);
        size_t total = replace.size() + append.size(), n = 0, job = 0;
        for (size_t i = 0; have_archive_ && i < entries.size(); ++i) {
            if (drop.count(i)) continue;
            auto it = replace.find(key(entries[i].name));
            Outcome o;
            if (it != replace.end()) {
                o = add_one(w, preparer, job, *it->second, n++, total);
            } else {
                Status s = w.copy_entry(reader_, entries[i], r_.LargeZIPFilesFlag != 0);
                if (!s.ok()) o = {s.code, s.detail};
            }
            if (o.code) return o;
        }
        for (const SourceFile* f : append) {
            Outcome o = add_one(w, preparer, job, *f, n++, total);
            if (o.code) return o;
        }
        return {};
    }

    static std::string key(const std::string& name) {
        std::string k = name;
        for (auto& c : k) {
            if (c == '\\') c = '/';
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return k;
    }

    Outcome add_entries() {
        if (r_.encryptFlag) {
            // Copied straight into the member (no temporary copies of the password left behind),
            // which the destructor wipes; its length was checked before.
            password_.assign(r_.lpszEncryptCode);
            if (r_.lZipSubOptions2 & 4) aes_strength_ = r_.lSEInfo;
        }
        if (items_.empty() && r_.Function != ZIP_FRESHEN) return {16, "nothing to select from"};
        if (items_.empty()) {
            // Freshen with no list: every entry whose file is on disk under its stored name.
            for (const auto& e : reader_.entries()) items_.push_back(e.name);
        }
        collect();
        std::set<std::string> seen;
        for (const auto& f : sources_)
            if (!seen.insert(key(f.name)).second) return {16, "cannot repeat names in zip file"};
        std::map<std::string, size_t> existing;
        for (size_t i = 0; have_archive_ && i < reader_.entries().size(); ++i) existing[key(reader_.entries()[i].name)] = i;
        std::map<std::string, const SourceFile*> replace;
        std::vector<const SourceFile*> append;
        for (const auto& f : sources_) {
            auto it = existing.find(key(f.name));
            bool newer = it == existing.end() || f.stat.dos_datetime > reader_.entries()[it->second].dos_datetime();
            if (r_.Function == ZIP_FRESHEN && (it == existing.end() || !newer)) continue;
            if (r_.Function == ZIP_UPDATE && !newer) continue;
            if (it != existing.end())
                replace[key(f.name)] = &f;
            else
                append.push_back(&f);
        }
        if (sources_.empty()) return {12, unmatched_.empty() ? std::string("nothing to select from") : "name not matched: " + unmatched_[0]};
        if (replace.empty() && append.empty()) return {};  // everything is up to date
        return write(replace, append, {});
    }

    Outcome delete_entries() {
        if (r_.encryptFlag || r_.recurseFlag || r_.afterDateFlag) return {16, "invalid option(s) used with ZIP_DELETE"};
        if (!have_archive_) return {13, " not found or empty"};
        if (items_.empty()) return {16, "nothing to select from"};
        std::set<size_t> drop;
        const auto& entries = reader_.entries();
        for (size_t i = 0; i < entries.size(); ++i)
            for (const auto& item : items_)
                if (wildcard_match(item, entries[i].name, true)) drop.insert(i);
        if (drop.empty()) return {12, "name not matched: " + items_[0]};
        return write({}, {}, drop);
    }

    const ZIPCMDSTRUCT& r_;
    ZipThreadState& state_;
    char sep_;
    std::string archive_, password_;
    int aes_strength_ = 0;  // 1..3: WinZip AES instead of the traditional encryption
    std::vector<std::string> items_, unmatched_;
    std::vector<std::string> store_suffixes_;
    uint32_t after_date_ = 0;
    bool have_archive_ = false;
    uint64_t archive_size_ = 0;
    ZipReader reader_;
    std::vector<SourceFile> sources_;
    std::set<std::string> seen_paths_;
    std::string cwd_;  // the current folder, for names relative to it
    bool cwd_known_ = false;
};

int report(ZipThreadState& state, const ZIPCMDSTRUCT& r, Outcome o) {
    if (o.code == 0) {
        state.last_message.clear();
        return 0;
    }
    std::string text = ZipResultText(o.code);
    if (!o.detail.empty()) text += " (" + o.detail + ")";
    state.last_message = text;
    log_line(text + "\n");
    if (!r.quietFlag) ask(r.lpMessageDisplay, r.lpMessageDisplayData, text, 0x10 /* stop icon, OK */, {1});
    return o.code;
}

// The longest password the engine uses. A longer one is refused, never cut short: cut, it would make
// archives that the same password cannot open.
constexpr size_t kMaxPassword = 65;

Outcome checked_run(const ZIPCMDSTRUCT& r, ZipThreadState& state) {
    if (!r.lpszZIPFile && r.Function != 6) return {16, "Zip filename not provided"};
    if (r.lpszZIPFile && !*r.lpszZIPFile && r.Function != 6) return {16, "Zip filename not provided"};
    if (r.wMultiVolControl & 0x8000) {
        bool allowed = (r.Function == 4 || r.Function == 5 || r.Function == 7) && !r.fixFlag && !r.fixHarderFlag && !r.growExistingFlag;
        if (!allowed) return {20, "was processing arguments"};
        return {20, "multi-volume archives are not written by this engine"};
    }
    if (r.encryptFlag) {
        if (r.lZipSubOptions2 & 8) return {16, "encryption not supported"};
        // AES: the key strength 1, 2 or 3 (128, 192, 256 bits); anything else is refused.
        if ((r.lZipSubOptions2 & 4) && !WinZipAes::valid_strength(r.lSEInfo)) return {16, "encryption not supported"};
        if (!r.lpszEncryptCode || !*r.lpszEncryptCode || std::strlen(r.lpszEncryptCode) > kMaxPassword)
            return {16, "was getting encryption password"};
    }
    if (r.Function < 1 || r.Function > 7) return {16, "no such option:" + std::to_string(r.Function)};
    if (r.Function == 5) return {20, "multi-volume archives are not written by this engine"};
    if (r.Function == 6 || r.Function == 7) return {16, "memory operations are not supported by this engine"};
    try {
        return ZipCommand(r, state).run();
    } catch (const std::bad_alloc&) {
        return {4, ""};
    } catch (const std::exception& e) {
        return {5, e.what()};
    }
}

}  // namespace
}  // namespace dravik::archive

using namespace dravik::archive;

extern "C" int32_t ZipExecute(ZIPCMDSTRUCT* record) {
    ZipThreadState* state = zip_state();
    if (!state) return 4;
    if (state->busy) return 1;
    state->busy = true;
    ZIPCMDSTRUCT r{};
    int code;
    bool known = false;
    if (record)
        for (int32_t s : kZipRecordSizes) known = known || record->size == s;
    if (!known) {
        code = report(*state, r, {16, "was processing arguments"});
    } else {
        std::memcpy(&r, record, static_cast<size_t>(record->size));
        if (r.diagnosticFlag) diagnostic(r);
        code = report(*state, r, checked_run(r, *state));
    }
    state->busy = false;
    return code;
}
