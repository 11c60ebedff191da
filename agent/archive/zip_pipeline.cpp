#include "zip_pipeline.h"

#include <algorithm>

namespace dravik::archive {
namespace {

// Prepared data that may wait for the writer, and how many files ahead of it each preparing
// thread (the caller's included) may take.
constexpr uint64_t kBudget = 96u << 20;
constexpr size_t kMaxAheadPerThread = 16;

}  // namespace

FilePreparer::FilePreparer(std::vector<PrepareJob> jobs, unsigned threads, uint64_t whole_limit)
    : jobs_(std::move(jobs)), whole_limit_(whole_limit), done_(jobs_.size()), ready_(jobs_.size()) {
    if (threads == 0) threads = host().processor_count();
    if (threads <= 1 || jobs_.size() <= 1) return;
    monitor_ = host().make_monitor();
    // The caller's thread prepares files too, between writing them.
    const size_t workers = std::min<size_t>(threads, jobs_.size()) - 1;
    // Workers read threads_ under the lock; they wait for it until all have started.
    MonitorLock held(*monitor_);
    for (size_t i = 0; i < workers; ++i) {
        auto t = host().start_thread([this] { work(); });
        if (!t) break;  // fewer workers; the caller's thread prepares what is left
        threads_.push_back(std::move(t));
    }
}

FilePreparer::~FilePreparer() {
    if (monitor_) {
        MonitorLock held(*monitor_);
        stopping_ = true;
        monitor_->notify_all();
    }
    for (auto& t : threads_) t->join();
}

uint64_t FilePreparer::cost(size_t index) const {
    // A large file is streamed by the writer later; only its handle is held meanwhile.
    return jobs_[index].size > whole_limit_ ? 0 : jobs_[index].size;
}

bool FilePreparer::may_start() const {
    if (next_ >= jobs_.size()) return false;
    if (next_ == taken_) return true;  // the one the writer waits for: always
    return next_ - taken_ < kMaxAheadPerThread * (threads_.size() + 1) && in_flight_ + cost(next_) <= kBudget;
}

size_t FilePreparer::prepare_next(PrepareScratch& scratch) {
    HostMonitor& m = *monitor_;
    const size_t i = next_++;
    in_flight_ += cost(i);
    m.unlock();
    PreparedFile p;
    try {
        p = prepare_file(jobs_[i].source, jobs_[i].level, whole_limit_, scratch);
    } catch (...) {
        p = PreparedFile{};
        p.status = Status{4, "Out of memory"};
    }
    m.lock();
    done_[i] = std::move(p);
    ready_[i] = 1;
    return i;
}

void FilePreparer::work() {
    HostMonitor& m = *monitor_;
    PrepareScratch scratch;
    m.lock();
    for (;;) {
        while (!stopping_ && next_ < jobs_.size() && !may_start()) m.wait();
        if (stopping_ || next_ >= jobs_.size()) break;
        // Only the writer waits for a finished job, and only for the one it takes next: waking
        // it for any other would switch threads for nothing. (Workers wait for take() instead.)
        if (prepare_next(scratch) == taken_) m.notify_all();
    }
    m.unlock();
}

PreparedFile FilePreparer::take(size_t index) {
    if (!monitor_ || threads_.empty())
        return prepare_file(jobs_[index].source, jobs_[index].level, whole_limit_, caller_scratch_);
    HostMonitor& m = *monitor_;
    MonitorLock held(m);
    taken_ = index;
    // Jobs before it that nobody started were skipped by the writer: they are never prepared.
    if (next_ < index) next_ = index;
    m.notify_all();
    // Rather than wait for a worker, the caller's thread prepares the next file nobody has
    // started (this one, when nobody has); it sleeps only when none may start. (A thread switch
    // per file costs more than it saves on a machine with few processors.)
    while (!ready_[index]) {
        if (may_start())
            prepare_next(caller_scratch_);
        else
            m.wait();
    }
    PreparedFile p = std::move(done_[index]);
    in_flight_ -= cost(index);
    taken_ = index + 1;
    m.notify_all();
    return p;
}

}  // namespace dravik::archive
