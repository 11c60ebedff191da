// Several runs on one queue at once, with another program appending to it, in the in-memory file
// system: every file operation and every pause is a point where another run may go on. A seeded scheduler lets exactly one run proceed
// between two such points, choosing at random, so each seed is one reproducible interleaving.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

#include "fakes.h"
#include "queue_run.h"

namespace dkgetval {
namespace {

using testing::FakeFileSystem;
using testing::FakePause;
using testing::FakeStore;

class Scheduler {
  public:
    Scheduler(int runs, unsigned seed) : alive_(static_cast<std::size_t>(runs), true), rng_(seed) {}

    // Called by run `id` at each yield point: hand the turn to a random live run and wait for ours.
    void yield(int id) {
        std::unique_lock<std::mutex> lock(mutex_);
        pick_next();
        wait_for_turn(lock, id);
    }
    void start(int id) {
        std::unique_lock<std::mutex> lock(mutex_);
        wait_for_turn(lock, id);
    }
    void finish(int id) {
        std::unique_lock<std::mutex> lock(mutex_);
        alive_[static_cast<std::size_t>(id)] = false;
        pick_next();
    }
    void begin() {
        std::unique_lock<std::mutex> lock(mutex_);
        pick_next();
    }

  private:
    void pick_next() {
        std::vector<int> live;
        for (std::size_t i = 0; i < alive_.size(); ++i) {
            if (alive_[i]) live.push_back(static_cast<int>(i));
        }
        if (live.empty()) return;
        // Runs often go on for a stretch (the narrow windows between two runs' steps need that),
        // otherwise any live run may be next.
        bool keep =
            turn_ >= 0 && alive_[static_cast<std::size_t>(turn_)] && std::uniform_int_distribution<int>(0, 9)(rng_) < 8;
        if (!keep) turn_ = live[std::uniform_int_distribution<std::size_t>(0, live.size() - 1)(rng_)];
        changed_.notify_all();
    }
    void wait_for_turn(std::unique_lock<std::mutex>& lock, int id) {
        changed_.wait(lock, [&] { return turn_ == id; });
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> alive_;
    std::mt19937 rng_;
    int turn_ = -1;
};

thread_local int current_run = -1;

TEST(Interleaving, ConcurrentRunsAndAnAppenderLoseNoLine) {
    // Four runs take a line each while another program appends three lines whenever nobody holds
    // the queue: the runs take the first four lines, each once, and the queue keeps the rest in order.
    const std::vector<std::string> lines = {"r1,a", "r2,b", "r3,c", "r4,d", "r5,e", "r6,f"};
    const std::vector<std::string> appended = {"n1,x", "n2,y", "n3,z"};
    std::string original;
    for (const std::string& line : lines) original += line + "\r\n";
    std::string expected_rest;
    for (std::size_t i = 4; i < lines.size(); ++i) expected_rest += lines[i] + "\r\n";
    for (const std::string& line : appended) expected_rest += line + "\r\n";
    constexpr int kRuns = 4;
    constexpr int kAppender = kRuns;

    for (unsigned seed = 1; seed <= 400; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        FakeFileSystem fs;
        fs.put("q.txt", original);
        Scheduler scheduler(kRuns + 1, seed);
        fs.before = [&](const std::string&) { scheduler.yield(current_run); };

        std::vector<FileRun> results(kRuns);
        std::vector<std::thread> threads;
        for (int id = 0; id < kRuns; ++id) {
            threads.emplace_back([&, id] {
                current_run = id;
                FakePause pause;
                FakeStore store;
                pause.on_pause = [&](int) { scheduler.yield(id); };
                scheduler.start(id);
                results[static_cast<std::size_t>(id)] = run_file_mode("q.txt", 50, fs, pause, store);
                scheduler.finish(id);
            });
        }
        threads.emplace_back([&] {
            scheduler.start(kAppender);
            for (const std::string& line : appended) {
                // Opens the queue for appending when it can, as a program writing to it would.
                while (!fs.append("q.txt", line + "\r\n")) scheduler.yield(kAppender);
                scheduler.yield(kAppender);
            }
            scheduler.finish(kAppender);
        });
        scheduler.begin();
        for (std::thread& t : threads) t.join();

        std::vector<std::string> taken;
        for (const FileRun& run : results) {
            if (run.outcome == FileOutcome::stored) taken.push_back(run.line);
        }
        std::sort(taken.begin(), taken.end());
        ASSERT_EQ(taken, std::vector<std::string>(lines.begin(), lines.begin() + kRuns));
        ASSERT_EQ(fs.data("q.txt"), expected_rest);
        ASSERT_EQ(fs.names(), std::vector<std::string>{"q.txt"});
    }
}

}  // namespace
}  // namespace dkgetval
