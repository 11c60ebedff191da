// Benchmark of the text-file commands (not a test): on a generated 8-bit text file with CR LF lines,
// a replace-all of a string and a search-all, timed beside `sed` doing the same replacement on a copy
// of the same file. Prints both throughputs and this process's peak memory.
//
//   text_file_bench <work-folder> [megabytes]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands/text_file.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long peak_kb() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Writes the file in pieces so that generating it does not count towards the peak.
long long generate(const std::string& path, long long bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return -1;
    std::string chunk;
    long long written = 0;
    for (long i = 0; written < bytes; ++i) {
        chunk += "Key" + std::to_string(i) + "=Server=oldhost;Path=c:\\program files\\app;Mode=standard\r\n";
        if (chunk.size() > (1 << 20)) {
            std::fwrite(chunk.data(), 1, chunk.size(), f);
            written += static_cast<long long>(chunk.size());
            chunk.clear();
        }
    }
    std::fclose(f);
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <work-folder> [megabytes]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const long long megabytes = argc > 2 ? std::atoll(argv[2]) : 200;
    const std::string ours = dir + "/bench.ini";
    const std::string theirs = dir + "/bench-sed.ini";
    const long long size = generate(ours, megabytes << 20);
    if (size < 0 || std::system(("cp '" + ours + "' '" + theirs + "'").c_str()) != 0) return 1;
    const double mb = static_cast<double>(size) / (1 << 20);
    const long base_kb = peak_kb();

    dravik::HostFileSystem fs;
    dravik::TextFile file{fs, ours};
    auto start = std::chrono::steady_clock::now();
    int replaced = dravik::ReplaceStrings(file, "oldhost", "newhost", true, true);
    const double replace_s = seconds_since(start);

    start = std::chrono::steady_clock::now();
    int found = dravik::SearchFile(file, "newhost", true, true);
    const double search_s = seconds_since(start);

    start = std::chrono::steady_clock::now();
    int sed = std::system(("sed -i 's/oldhost/newhost/g' '" + theirs + "'").c_str());
    const double sed_s = seconds_since(start);
    int same = std::system(("cmp -s '" + ours + "' '" + theirs + "'").c_str());

    std::printf("file: %.0f MB, CR LF lines\n", mb);
    std::printf("replace-all  ours: %8.1f MB/s  (%d occurrences)\n", mb / replace_s, replaced);
    std::printf("replace-all  sed:  %8.1f MB/s  (exit %d)\n", mb / sed_s, sed);
    std::printf("search-all   ours: %8.1f MB/s  (%d occurrences)\n", mb / search_s, found);
    std::printf("same output as sed: %s\n", same == 0 ? "yes" : "no");
    std::printf("peak memory: %ld KB (%ld KB before the passes)\n", peak_kb(), base_kb);
    std::remove(ours.c_str());
    std::remove(theirs.c_str());
    return 0;
}
