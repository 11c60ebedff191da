// Archive benchmark: our deflate, inflate and CRC-32 beside zlib and libdeflate, and whole-archive
// runs of our engine beside Info-ZIP and 7-Zip, all in one run on the same machine. Not a test:
// it prints figures and fails only when a round trip does not give back the input.
//   archive_bench [megabytes (default 100)] [work directory (default: the system temp folder)]
//
// The corpus (deterministic for a given machine) is about `megabytes` MB in three parts:
// - text, 40%: regular files from /usr/include, /usr/share/doc, /usr/share/perl5 and
//   /usr/lib/python3, taken in turn from each of these trees (one file from each tree in each
//   turn; inside a tree in sorted path order), keeping files of 1 byte to 4 MB with no NUL byte in
//   their first 4 KiB and no compressed-file signature;
// - binaries, 40%: ELF files of 1 byte to 8 MB from /usr/lib/x86_64-linux-gnu, /usr/bin and
//   /usr/sbin, taken in turn in the same way;
// - already compressed, 20%: gzip, xz and bzip2 files of up to 8 MB under /usr/share, in sorted
//   path order.
// Files are taken until the part's share is reached (the last file may overshoot it). When the
// trees hold too little (or on Windows, which has none of them), the rest of a part is generated
// from a fixed seed: source-like text lines, binary-like records, or random bytes.
//
// Codec figures: each file is one raw deflate stream (as in a ZIP entry), compressed at level 5
// by us (a new Deflater per file, as the engine does), by zlib (deflateInit2 with -15 window
// bits, reset between files) and by libdeflate (one compressor for all files), then decompressed
// by the same library and compared with the input. Throughput is uncompressed MB (10^6 bytes) per
// second of wall time, the best of five repetitions taken in turn across the codecs, since the
// machine may be shared.
//
// Whole-archive figures: the corpus is written as a directory tree, zipped and unzipped with our
// engine (ZipExecute with ZIP_ADD, compFactor 5, recurse, quiet, names relative to the tree;
// UnzipExecute with UNZIP_EXTRACT, overwrite, quiet), with Info-ZIP (zip -5 -r -q, unzip -q -o)
// and with 7-Zip (7z a -tzip -mx5 -mmt=on, 7z x -y); each extracted tree is compared with the
// original. Our zip runs twice, with the caller's thread alone and with one compressing thread
// per processor, and the two archives must be the same bytes.
//
// Built with DRAVIK_BENCH_ENGINE_ONLY (the Windows build) it measures our engine alone.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "crc32.h"
#include "deflate.h"
#include "engine_state.h"
#include "host.h"
#include "inflate.h"
#include "zipdll.h"

#ifndef DRAVIK_BENCH_ENGINE_ONLY
#include <libdeflate.h>
#include <zlib.h>
#endif

namespace {

namespace fs = std::filesystem;
using dravik::archive::Deflater;
using dravik::archive::InflateStatus;

constexpr int kLevel = 5;
constexpr int kRepetitions = 5;
constexpr int kArchiveRuns = 3;

struct CorpusFile {
    std::string name;  // relative path in the tree, '/' separated
    std::vector<uint8_t> data;
};

struct Part {
    const char* name;
    double share;
    std::vector<CorpusFile> files;
    size_t bytes = 0;
    size_t generated = 0;
};

// --- corpus ------------------------------------------------------------------------------------

bool read_file(const fs::path& path, std::vector<uint8_t>& data) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    f.seekg(0, std::ios::end);
    std::streamoff size = f.tellg();
    if (size < 0) return false;
    f.seekg(0);
    data.resize(static_cast<size_t>(size));
    return static_cast<bool>(f.read(reinterpret_cast<char*>(data.data()), size)) || data.empty();
}

#ifndef _WIN32  // the source trees below exist on Debian only
bool starts_with(const std::vector<uint8_t>& d, const char* magic, size_t n) {
    return d.size() >= n && std::memcmp(d.data(), magic, n) == 0;
}
bool compressed_signature(const std::vector<uint8_t>& d) {
    return starts_with(d, "\x1f\x8b", 2) ||
           starts_with(d,
                       "\xfd"
                       "7zXZ",
                       5) ||
           starts_with(d, "BZh", 3);
}
bool looks_like_text(const std::vector<uint8_t>& d) {
    return !compressed_signature(d) && std::find(d.begin(), d.begin() + std::min<size_t>(d.size(), 4096), 0) ==
                                           d.begin() + std::min<size_t>(d.size(), 4096);
}
bool is_elf(const std::vector<uint8_t>& d) {
    return starts_with(d,
                       "\x7f"
                       "ELF",
                       4);
}

// Regular files under `root` (symbolic links left out), sorted by path.
std::vector<fs::path> files_under(const fs::path& root) {
    std::vector<fs::path> out;
    std::error_code ec;
    if (!fs::is_directory(root, ec)) return out;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        if (it->is_symlink(ec) || !it->is_regular_file(ec)) continue;
        out.push_back(it->path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// A tree path made of plain characters, so that every tool stores and restores it alike.
std::string tree_name(const std::string& part, const fs::path& source) {
    std::string out = part;
    for (const auto& component : source.relative_path()) {
        std::string c = component.string();
        for (auto& ch : c)
            if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '.' && ch != '-' && ch != '_') ch = '_';
        if (c.empty() || c[0] == '.') c = "_" + c;
        out += "/" + c;
    }
    return out;
}

void take_from_trees(Part& part, size_t quota, const std::vector<std::string>& roots, size_t max_size,
                     const std::function<bool(const std::vector<uint8_t>&)>& accept) {
    std::vector<std::vector<fs::path>> lists;
    for (const auto& r : roots) lists.push_back(files_under(r));
    std::vector<size_t> next(lists.size(), 0);
    bool any = true;
    while (part.bytes < quota && any) {
        any = false;
        for (size_t t = 0; t < lists.size() && part.bytes < quota; ++t) {
            while (next[t] < lists[t].size()) {
                const fs::path& p = lists[t][next[t]++];
                std::error_code ec;
                auto size = fs::file_size(p, ec);
                if (ec || size == 0 || size > max_size) continue;
                CorpusFile f;
                if (!read_file(p, f.data) || f.data.empty() || !accept(f.data)) continue;
                f.name = tree_name(part.name, p);
                part.bytes += f.data.size();
                part.files.push_back(std::move(f));
                any = true;
                break;
            }
        }
    }
}
#endif

// Generated files of 64 KiB to 1 MiB until the part reaches its quota.
void generate(Part& part, size_t quota, uint64_t seed) {
    std::mt19937_64 rng(seed);
    static const char* const kWords[] = {"int",    "return", "const",    "static", "value",   "buffer",
                                         "size_t", "length", "if",       "else",   "for",     "while",
                                         "struct", "void",   "uint32_t", "data",   "result",  "error",
                                         "count",  "index",  "name",     "file",   "archive", "entry"};
    for (int n = 0; part.bytes < quota; ++n) {
        CorpusFile f;
        f.name = std::string(part.name) + "/generated/" + std::to_string(n) + ".dat";
        size_t size = std::min<size_t>(quota - part.bytes, 65536 + rng() % (1 << 20));
        if (part.name == std::string("text")) {
            std::string s;
            while (s.size() < size) {
                s.append(rng() % 4 * 4, ' ');
                for (int w = 0, words = 2 + int(rng() % 8); w < words; ++w) {
                    s += kWords[rng() % (sizeof kWords / sizeof *kWords)];
                    s += (rng() % 5 == 0) ? "_" + std::to_string(rng() % 100) + " " : std::string(" ");
                }
                s += ";\n";
            }
            f.data.assign(s.begin(), s.begin() + size);
        } else if (part.name == std::string("binaries")) {
            f.data.resize(size);
            for (size_t i = 0; i + 16 <= size; i += 16) {
                uint32_t rec[4] = {uint32_t(i / 16), uint32_t(rng() % 1024), uint32_t(0x400000 + (rng() % 256) * 16),
                                   rng() % 8 == 0 ? uint32_t(rng()) : 0u};
                std::memcpy(&f.data[i], rec, 16);
            }
        } else {
            f.data.resize(size);
            for (auto& b : f.data) b = static_cast<uint8_t>(rng());
        }
        part.bytes += f.data.size();
        part.generated += f.data.size();
        part.files.push_back(std::move(f));
    }
}

std::vector<Part> build_corpus(size_t total) {
    std::vector<Part> parts = {{"text", 0.4, {}}, {"binaries", 0.4, {}}, {"compressed", 0.2, {}}};
    const size_t text_quota = size_t(total * parts[0].share), bin_quota = size_t(total * parts[1].share),
                 gz_quota = total - text_quota - bin_quota;
#ifndef _WIN32
    take_from_trees(parts[0], text_quota, {"/usr/include", "/usr/share/doc", "/usr/share/perl5", "/usr/lib/python3"},
                    4 << 20, looks_like_text);
    take_from_trees(parts[1], bin_quota, {"/usr/lib/x86_64-linux-gnu", "/usr/bin", "/usr/sbin"}, 8 << 20, is_elf);
    take_from_trees(parts[2], gz_quota, {"/usr/share"}, 8 << 20, compressed_signature);
#endif
    generate(parts[0], text_quota, 1);
    generate(parts[1], bin_quota, 2);
    generate(parts[2], gz_quota, 3);
    return parts;
}

// --- timing and output ---------------------------------------------------------------------------

double seconds_of(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
double best_of(int n, const std::function<void()>& work) {
    double best = 1e30;
    for (int i = 0; i < n; ++i) best = std::min(best, seconds_of(work));
    return best;
}
// Waits for the file writes so far to reach the disk, so that their write-back does not slow
// the timed runs that follow. (Windows offers no such call without administrator rights.)
void flush_to_disk() {
#ifndef _WIN32
    ::sync();
#endif
}
double mb(size_t bytes) { return static_cast<double>(bytes) / 1e6; }

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "archive_bench: %s\n", what.c_str());
    std::exit(1);
}

// --- codecs --------------------------------------------------------------------------------------

struct CodecResult {
    size_t compressed = 0;
    double compress_s = 1e30, decompress_s = 1e30;
};

struct Codec {
    const char* name;
    // Compresses `in` into `out` (replacing its contents).
    std::function<void(const std::vector<uint8_t>& in, std::vector<uint8_t>& out)> compress;
    // Decompresses `in` into `out`, which has exactly the original size; false on failure.
    std::function<bool(const std::vector<uint8_t>& in, std::vector<uint8_t>& out)> decompress;
};

// Times every codec on `files`. Each file is timed on its own, the codecs in turn on it, and each
// codec keeps its best time per file; its figure is the sum of those. A part takes each codec a
// tenth of a second or so, and on a shared machine the best of whole-part runs still swung by
// several per cent between runs; per-file bests taken side by side do not. (Reading the clock
// costs every codec the same, well under 1% here.)
std::vector<CodecResult> run_codecs(const std::vector<Codec>& list, const std::vector<const CorpusFile*>& files) {
    std::vector<CodecResult> results(list.size());
    std::vector<std::vector<std::vector<uint8_t>>> packed(list.size(), std::vector<std::vector<uint8_t>>(files.size()));
    std::vector<std::vector<double>> best(list.size(), std::vector<double>(files.size(), 1e30));
    auto sum = [&](size_t k) {
        double total = 0;
        for (double t : best[k]) total += t;
        return total;
    };
    for (int rep = 0; rep < kRepetitions; ++rep)
        for (size_t i = 0; i < files.size(); ++i)
            for (size_t n = 0; n < list.size(); ++n) {
                const size_t k = (n + static_cast<size_t>(rep)) % list.size();
                best[k][i] = std::min(best[k][i], seconds_of([&] { list[k].compress(files[i]->data, packed[k][i]); }));
            }
    for (size_t k = 0; k < list.size(); ++k) {
        results[k].compress_s = sum(k);
        std::fill(best[k].begin(), best[k].end(), 1e30);
    }
    std::vector<uint8_t> back;
    for (int rep = 0; rep < kRepetitions; ++rep)
        for (size_t i = 0; i < files.size(); ++i) {
            back.resize(files[i]->data.size());
            for (size_t n = 0; n < list.size(); ++n) {
                const size_t k = (n + static_cast<size_t>(rep)) % list.size();
                bool ok = true;
                best[k][i] = std::min(best[k][i], seconds_of([&] { ok = list[k].decompress(packed[k][i], back); }));
                if (rep == 0 && (!ok || back != files[i]->data))
                    fail(std::string(list[k].name) + ": decompressed data differs from the input");
            }
        }
    for (size_t k = 0; k < list.size(); ++k) {
        results[k].decompress_s = sum(k);
        for (const auto& p : packed[k]) results[k].compressed += p.size();
    }
    return results;
}

std::vector<Codec> codecs() {
    std::vector<Codec> list;
    list.push_back({"ours",
                    [](const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
                        out.clear();
                        Deflater d(kLevel, [&](const uint8_t* p, size_t n) {
                            out.insert(out.end(), p, p + n);
                            return true;
                        });
                        d.write(in.data(), in.size());
                        d.finish();
                    },
                    [](const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
                        // As the engine extracts an entry of known size that fits in memory.
                        auto r = dravik::archive::inflate_into(in.data(), in.size(), out.data(), out.size());
                        return r.status == InflateStatus::ok && r.produced == out.size();
                    }});
#ifndef DRAVIK_BENCH_ENGINE_ONLY
    static z_stream zd{}, zi{};
    static bool z_ready = false;
    if (!z_ready) {
        if (deflateInit2(&zd, kLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) fail("deflateInit2");
        if (inflateInit2(&zi, -15) != Z_OK) fail("inflateInit2");
        z_ready = true;
    }
    list.push_back({"zlib",
                    [](const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
                        deflateReset(&zd);
                        out.resize(deflateBound(&zd, static_cast<uLong>(in.size())));
                        zd.next_in = const_cast<Bytef*>(in.data());
                        zd.avail_in = static_cast<uInt>(in.size());
                        zd.next_out = out.data();
                        zd.avail_out = static_cast<uInt>(out.size());
                        if (deflate(&zd, Z_FINISH) != Z_STREAM_END) fail("zlib deflate");
                        out.resize(out.size() - zd.avail_out);
                    },
                    [](const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
                        inflateReset(&zi);
                        zi.next_in = const_cast<Bytef*>(in.data());
                        zi.avail_in = static_cast<uInt>(in.size());
                        zi.next_out = out.data();
                        zi.avail_out = static_cast<uInt>(out.size());
                        return inflate(&zi, Z_FINISH) == Z_STREAM_END && zi.avail_out == 0;
                    }});
    static libdeflate_compressor* lc = libdeflate_alloc_compressor(kLevel);
    static libdeflate_decompressor* ld = libdeflate_alloc_decompressor();
    if (!lc || !ld) fail("libdeflate allocation");
    list.push_back({"libdeflate",
                    [](const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
                        out.resize(libdeflate_deflate_compress_bound(lc, in.size()));
                        out.resize(libdeflate_deflate_compress(lc, in.data(), in.size(), out.data(), out.size()));
                    },
                    [](const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
                        return libdeflate_deflate_decompress(ld, in.data(), in.size(), out.data(), out.size(),
                                                             nullptr) == LIBDEFLATE_SUCCESS;
                    }});
#endif
    return list;
}

void codec_figures(const std::vector<Part>& parts) {
    std::vector<Codec> list = codecs();
    std::printf(
        "\nDeflate level %d, one raw stream per file (MB/s of uncompressed data; each file the best of %d, taken in "
        "turn):\n",
        kLevel, kRepetitions);
    std::printf("  %-11s %-10s %12s %8s %11s %11s\n", "part", "codec", "compressed", "ratio", "compress", "decompress");
    struct Sum {
        size_t in = 0, out = 0;
        double c = 0, d = 0;
    };
    std::vector<Sum> totals(list.size());
    std::vector<const CorpusFile*> all;
    auto row = [&](const char* part, size_t in, const std::vector<Sum>& sums) {
        for (size_t k = 0; k < list.size(); ++k)
            std::printf("  %-11s %-10s %12zu %8.4f %11.1f %11.1f\n", k == 0 ? part : "", list[k].name, sums[k].out,
                        double(sums[k].out) / double(in), mb(in) / sums[k].c, mb(in) / sums[k].d);
        for (size_t k = 1; k < list.size(); ++k)
            std::printf("  %-11s ours/%-5s size %.4f  compress speed %.2fx  decompress speed %.2fx\n", "", list[k].name,
                        double(sums[0].out) / double(sums[k].out), sums[k].c / sums[0].c, sums[k].d / sums[0].d);
    };
    for (const Part& part : parts) {
        std::vector<const CorpusFile*> files;
        for (const auto& f : part.files) files.push_back(&f), all.push_back(&f);
        std::vector<Sum> sums(list.size());
        std::vector<CodecResult> results = run_codecs(list, files);
        for (size_t k = 0; k < list.size(); ++k) {
            const CodecResult& r = results[k];
            sums[k] = {part.bytes, r.compressed, r.compress_s, r.decompress_s};
            totals[k].in += part.bytes;
            totals[k].out += r.compressed;
            totals[k].c += r.compress_s;
            totals[k].d += r.decompress_s;
        }
        row(part.name, part.bytes, sums);
    }
    row("all", totals[0].in, totals);
}

void crc_figures(const std::vector<Part>& parts) {
    size_t bytes = 0;
    for (const auto& p : parts) bytes += p.bytes;
    uint32_t sink = 0;
    auto each = [&](const std::function<uint32_t(const std::vector<uint8_t>&)>& f) {
        return best_of(kRepetitions, [&] {
            for (const auto& p : parts)
                for (const auto& file : p.files) sink ^= f(file.data);
        });
    };
    double ours =
        each([](const std::vector<uint8_t>& d) { return dravik::archive::crc32_update(0, d.data(), d.size()); });
    double table = each(
        [](const std::vector<uint8_t>& d) { return dravik::archive::crc32_update_portable(0, d.data(), d.size()); });
    std::printf("\nCRC-32 over every file (MB/s, best of %d):\n", kRepetitions);
    std::printf("  ours (%s) %10.0f\n", dravik::archive::crc32_uses_clmul() ? "carry-less multiply" : "slicing-by-8",
                mb(bytes) / ours);
    std::printf("  ours (slicing-by-8)        %10.0f\n", mb(bytes) / table);
#ifndef DRAVIK_BENCH_ENGINE_ONLY
    double z = each([](const std::vector<uint8_t>& d) {
        return static_cast<uint32_t>(crc32(0, d.data(), static_cast<uInt>(d.size())));
    });
    std::printf("  zlib crc32                 %10.0f   ours/zlib speed %.2fx\n", mb(bytes) / z, z / ours);
    bool same = true;
    for (const auto& p : parts)
        for (const auto& file : p.files)
            same = same && dravik::archive::crc32_update(0, file.data.data(), file.data.size()) ==
                               static_cast<uint32_t>(crc32(0, file.data.data(), static_cast<uInt>(file.data.size())));
    if (!same) fail("CRC-32 differs from zlib's");
#endif
    if (sink == 0x12345678) std::printf(" ");  // keeps the work from being optimised away
}

// --- whole archives ------------------------------------------------------------------------------

void write_tree(const std::vector<Part>& parts, const fs::path& root) {
    for (const auto& p : parts)
        for (const auto& f : p.files) {
            fs::path path = root / fs::path(f.name);
            fs::create_directories(path.parent_path());
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(f.data.data()), static_cast<std::streamsize>(f.data.size()));
            if (!out) fail("cannot write " + path.string());
        }
}

// True when `copy` holds the corpus's files with the same contents, and nothing else.
bool same_tree(const std::vector<Part>& parts, const fs::path& copy) {
    size_t expected = 0;
    for (const auto& p : parts)
        for (const auto& f : p.files) {
            ++expected;
            std::vector<uint8_t> data;
            if (!read_file(copy / fs::path(f.name), data) || data != f.data) {
                std::printf("    differs: %s\n", f.name.c_str());
                return false;
            }
        }
    size_t found = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(copy, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) ++found;
    if (found != expected) std::printf("    %zu files found, %zu expected\n", found, expected);
    return found == expected;
}

// threads: the engine's compressing threads (0 one per processor, 1 the caller's thread alone).
bool run_engine_zip(const fs::path& tree, const fs::path& archive, unsigned threads) {
    const fs::path old = fs::current_path();
    fs::current_path(tree);
    const std::string archive_name = archive.string(), items = "*";
    ZIPCMDSTRUCT r{};
    r.size = static_cast<int32_t>(sizeof r);
    r.Function = ZIP_ADD;
    r.lpszZIPFile = archive_name.c_str();
    r.lpszItemList = items.c_str();
    r.recurseFlag = 1;
    r.compFactor = kLevel;
    r.quietFlag = 1;
    r.wZipSubOptions = 1;  // names relative to the current directory
    ZipProcessAttach(nullptr);
    ZipThreadAttach();
    if (auto* state = dravik::archive::zip_state()) state->worker_threads = threads;
    int32_t rc = ZipExecute(&r);
    if (rc != 0) std::printf("    ZipExecute: %d %s\n", rc, ZipLastMessage());
    ZipThreadDetach();
    ZipProcessDetach();
    fs::current_path(old);
    return rc == 0;
}

bool run_engine_unzip(const fs::path& archive, const fs::path& dest) {
    const std::string archive_name = archive.string(), dest_name = dest.string();
    UNZIPCMDSTRUCT r{};
    r.size = static_cast<int32_t>(sizeof r);
    r.Function = UNZIP_EXTRACT;
    r.lpszZIPFile = archive_name.c_str();
    r.lpszFilespec = "*";
    r.index = -1;
    r.lpszDestination = dest_name.c_str();
    r.overWriteFlag = 1;
    r.quietFlag = 1;
    r.recurseFlag = 1;
    UnzipProcessAttach(nullptr);
    UnzipThreadAttach();
    int32_t rc = UnzipExecute(&r);
    if (rc != 0) std::printf("    UnzipExecute: %d %s\n", rc, UnzipLastMessage());
    UnzipThreadDetach();
    UnzipProcessDetach();
    return rc == 0;
}

#ifndef DRAVIK_BENCH_ENGINE_ONLY
bool have_tool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}
bool shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }
#endif

void archive_figures(const std::vector<Part>& parts, const fs::path& work) {
    const fs::path tree = work / "tree";
    write_tree(parts, tree);
    const unsigned cores = dravik::archive::host().processor_count();
    std::printf(
        "\nWhole archives (the corpus as a tree of files; wall time in seconds, best of %d runs; %u processors):\n",
        kArchiveRuns, cores);
    std::printf("  %-34s %12s %8s %8s  %s\n", "tool", "archive", "zip", "unzip", "round trip");
    struct Tool {
        std::string name;
        std::function<bool(const fs::path& archive)> zip;
        std::function<bool(const fs::path& archive, const fs::path& dest)> unzip;
    };
    const std::string many = "ours (ZipExecute -5, " + std::to_string(cores) + " threads)";
    std::vector<Tool> tools = {{"ours (ZipExecute -5, 1 thread)",
                                [&](const fs::path& a) { return run_engine_zip(tree, a, 1); }, run_engine_unzip},
                               {many, [&](const fs::path& a) { return run_engine_zip(tree, a, 0); }, run_engine_unzip}};
#ifndef DRAVIK_BENCH_ENGINE_ONLY
    auto q = [](const fs::path& p) { return "'" + p.string() + "'"; };
    if (have_tool("zip") && have_tool("unzip"))
        tools.push_back(
            {"Info-ZIP zip -5 / unzip",
             [&](const fs::path& a) { return shell("cd " + q(tree) + " && zip -5 -r -q " + q(a) + " ."); },
             [&](const fs::path& a, const fs::path& d) { return shell("unzip -q -o " + q(a) + " -d " + q(d)); }});
    if (have_tool("7z"))
        tools.push_back(
            {"7-Zip 7z -tzip -mx5 -mmt=on",
             [&](const fs::path& a) { return shell("cd " + q(tree) + " && 7z a -tzip -mx5 -mmt=on " + q(a) + " ."); },
             [&](const fs::path& a, const fs::path& d) { return shell("7z x -y -o" + q(d) + " " + q(a)); }});
#endif
    // Best of a few runs, each from scratch, the tools taken in turn: one run of a second or so
    // swings by a third on a shared machine. Every zip run comes before the first unzip run, and
    // after the tree's write-back, so that no zip competes with another run's disk writes.
    std::vector<double> zip_times(tools.size(), 1e30), unzip_times(tools.size(), 1e30);
    std::vector<uint8_t> ok(tools.size(), 1);
    auto archive_of = [&](size_t i) { return work / ("archive" + std::to_string(i) + ".zip"); };
    auto dest_of = [&](size_t i) { return work / ("out" + std::to_string(i)); };
    flush_to_disk();
    for (int run = 0; run < kArchiveRuns; ++run)
        for (size_t i = 0; i < tools.size(); ++i) {
            if (!ok[i]) continue;
            fs::remove(archive_of(i));
            bool done = true;
            zip_times[i] = std::min(zip_times[i], seconds_of([&] { done = tools[i].zip(archive_of(i)); }));
            ok[i] = done;
        }
    flush_to_disk();
    for (int run = 0; run < kArchiveRuns; ++run)
        for (size_t i = 0; i < tools.size(); ++i) {
            if (!ok[i]) continue;
            fs::remove_all(dest_of(i));
            fs::create_directories(dest_of(i));
            bool done = true;
            unzip_times[i] =
                std::min(unzip_times[i], seconds_of([&] { done = tools[i].unzip(archive_of(i), dest_of(i)); }));
            ok[i] = done;
        }
    std::vector<uint8_t> first_archive;
    for (size_t i = 0; i < tools.size(); ++i) {
        if (!ok[i]) zip_times[i] = unzip_times[i] = 0;
        std::error_code ec;
        auto size = fs::file_size(archive_of(i), ec);
        bool same = ok[i] && same_tree(parts, dest_of(i));
        std::printf("  %-34s %12llu %8.2f %8.2f  %s\n", tools[i].name.c_str(),
                    static_cast<unsigned long long>(ec ? 0 : size), zip_times[i], unzip_times[i],
                    same ? "identical" : "FAILED");
        if (i < 2) {
            // The engine's two rows must write the same archive.
            std::vector<uint8_t> bytes;
            if (!read_file(archive_of(i), bytes)) fail("cannot read " + archive_of(i).string());
            if (i == 0)
                first_archive = std::move(bytes);
            else if (bytes != first_archive)
                fail("the archive made with threads differs from the one-thread archive");
            else
                std::printf("  %-34s same archive as with 1 thread\n", "");
        }
        fs::remove_all(dest_of(i));
        fs::remove(archive_of(i));
        if (!same) fail(tools[i].name + ": the extracted tree differs from the corpus");
    }
    // Speed ratios: how many times as fast as the other tool our rows are (its time / ours).
    std::printf("  zip speed: %u threads %.2fx of 1 thread", cores, zip_times[0] / zip_times[1]);
    for (size_t i = 2; i < tools.size(); ++i)
        std::printf(";  vs %s: %u threads %.2fx, 1 thread %.2fx", tools[i].name.c_str(), cores,
                    zip_times[i] / zip_times[1], zip_times[i] / zip_times[0]);
    std::printf("\n  unzip speed:");
    for (size_t i = 2; i < tools.size(); ++i)
        std::printf("  vs %s %.2fx;", tools[i].name.c_str(), unzip_times[i] / unzip_times[0]);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    const fs::path base = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
    const fs::path work = base / ("archive-bench-" + std::to_string(std::random_device{}() % 1000000));
    fs::create_directories(work);

    std::vector<Part> parts = build_corpus(megabytes * 1000000);
    std::printf("Corpus:\n");
    for (const auto& p : parts)
        std::printf("  %-11s %6zu files %12zu bytes (%zu generated)\n", p.name, p.files.size(), p.bytes, p.generated);

    codec_figures(parts);
    crc_figures(parts);
    archive_figures(parts, work);
    fs::remove_all(work);
    return 0;
}
