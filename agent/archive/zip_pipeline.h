// Prepares the files of one zip command (read, CRC, deflate) on worker threads and the caller's
// own, one thread per processor, ahead of the writer but handed over in the writer's order, so
// the archive comes out byte for byte as one thread would write it. The workers share nothing
// but the queue: no engine state, no caller functions (progress and questions stay on the
// caller's thread). Memory is bounded: prepared data waiting for the writer stays under a
// budget, and a large file is left for the writer to stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host.h"
#include "zip_writer.h"

namespace dravik::archive {

struct PrepareJob {
    std::string source;
    int level = 0;
    uint64_t size = 0;  // as listed; counts against the budget while the job is in flight
};

class FilePreparer {
  public:
    // threads: how many threads prepare files, the caller's included: 0 one per processor, 1 the
    // caller's alone (each file when it needs it).
    FilePreparer(std::vector<PrepareJob> jobs, unsigned threads, uint64_t whole_limit = kWholeEntryLimit);
    ~FilePreparer();  // stops the workers and waits for them
    FilePreparer(const FilePreparer&) = delete;
    FilePreparer& operator=(const FilePreparer&) = delete;

    // The prepared file of job `index`; each job is taken once. A job no worker has started yet
    // is prepared on the calling thread.
    PreparedFile take(size_t index);
    size_t workers() const { return threads_.size(); }

  private:
    void work();
    bool may_start() const;  // with the lock held
    // Prepares job next_ (entered and left with the lock held, which it drops meanwhile);
    // returns its index.
    size_t prepare_next(PrepareScratch& scratch);
    uint64_t cost(size_t index) const;

    std::vector<PrepareJob> jobs_;
    uint64_t whole_limit_;
    std::unique_ptr<HostMonitor> monitor_;
    std::vector<PreparedFile> done_;
    std::vector<uint8_t> ready_;
    size_t next_ = 0;         // the first job nobody has started
    size_t taken_ = 0;        // jobs the writer has taken
    uint64_t in_flight_ = 0;  // bytes of started jobs not yet taken
    bool stopping_ = false;
    std::vector<std::unique_ptr<HostThread>> threads_;
    PrepareScratch caller_scratch_;  // for the jobs the caller's thread prepares itself
};

}  // namespace dravik::archive
