// File mode against the in-memory file system: line ends, the copy of the rest, the registry
// values, the wait rounds with busy files and lock files, and runs stopped at every step while
// another program appends to the queue.
#include <gtest/gtest.h>

#include "fakes.h"
#include "queue_run.h"
#include "values.h"

namespace dkgetval {
namespace {

using testing::FakeFileSystem;
using testing::FakePause;
using testing::FakeStore;
using testing::SimulatedCrash;

const std::string kQueue = "C:\\q\\values.txt";
const std::string kLock = "C:\\q\\values.tx@";

struct Bench {
    FakeFileSystem fs;
    FakePause pause;
    FakeStore store;

    FileRun run(int rounds = 60) { return run_file_mode(kQueue, rounds, fs, pause, store); }
};

TEST(FileMode, TakesTheFirstLineWithEachLineEnd) {
    struct Case {
        const char* content;
        const char* line;
        const char* rest;
    };
    const Case cases[] = {
        {"a,b\r\nc\r\n", "a,b", "c\r\n"},
        {"a,b\nc\n", "a,b", "c\n"},
        {"a,b\rc\r", "a,b", "c\r"},
        {"a\r\rb", "a", "\rb"},  // the byte after a lone CR stays in the file
        {"a\r\n\r\nb", "a", "\r\nb"},
        {"a\n\rb", "a", "\rb"},  // LF then CR: the CR starts the next line
        {"a\r", "a", ""},
        {"only line", "only line", ""},
        {"\r\nnext\r\n", "", "next\r\n"},
    };
    for (const Case& c : cases) {
        Bench b;
        b.fs.put(kQueue, c.content);
        FileRun run = b.run();
        EXPECT_EQ(run.outcome, FileOutcome::stored) << c.content;
        EXPECT_TRUE(run.line_taken);
        EXPECT_EQ(run.line, c.line) << c.content;
        EXPECT_EQ(b.fs.data(kQueue), c.rest) << c.content;
        EXPECT_FALSE(b.fs.has(kLock));
        EXPECT_TRUE(b.pause.pauses.empty());
    }
}

TEST(FileMode, StoresTheValuesAndReplacesEarlierOnes) {
    Bench b;
    b.store.values = {{"Value1", "old"}, {"Value2", "old"}, {"Value3", "old"}, {"Count", "3"}};
    b.fs.put(kQueue, "a, \"b, c\" , d \r\nnext\r\n");
    b.run();
    EXPECT_EQ(b.store.values, (std::map<std::string, std::string>{
                                  {"Value1", "a"}, {"Value2", "b, c"}, {"Value3", "d"}, {"Count", "3"}}));
    EXPECT_FALSE(b.store.key_open);

    b.fs.put(kQueue, "a,,b\r\n");
    b.run();
    EXPECT_EQ(b.store.values, (std::map<std::string, std::string>{{"Value1", "a"}, {"Value2", "b"}, {"Count", "2"}}));

    // An empty first line: only Count 0, and the line is gone.
    b.fs.put(kQueue, "\r\nx\r\n");
    b.run();
    EXPECT_EQ(b.store.values, (std::map<std::string, std::string>{{"Count", "0"}}));
    EXPECT_EQ(b.fs.data(kQueue), "x\r\n");
}

TEST(FileMode, TwentyFiveFieldsStoreTwenty) {
    Bench b;
    std::string line;
    for (int i = 1; i <= 25; ++i) line += (i > 1 ? "," : "") + std::to_string(i * 11);
    b.fs.put(kQueue, line + "\r\n");
    b.run();
    EXPECT_EQ(b.store.values["Count"], "20");
    EXPECT_EQ(b.store.values["Value20"], "220");
    EXPECT_EQ(b.store.values.count("Value21"), 0u);
}

TEST(FileMode, LongFirstLineKeeps4096AndSkipsTheRest) {
    Bench b;
    std::string line;
    for (int i = 0; i < 600; ++i) line += "v" + std::to_string(i % 10) + "23456,";  // 4800 characters
    b.fs.put(kQueue, line + "\r\nsecond\r\n");
    FileRun run = b.run();
    EXPECT_EQ(run.line, line.substr(0, 4096));
    EXPECT_EQ(b.fs.data(kQueue), "second\r\n");
    EXPECT_EQ(b.store.values["Count"], "20");
}

TEST(FileMode, RemainingLinesKeptByteForByteOverManyBlocks) {
    Bench b;
    std::string rest;
    for (int i = 0; rest.size() < 10 * 1024 + 17; ++i) {
        rest += "row" + std::to_string(i) + ",\"q, " + std::string(i % 37, '#') + "\",\xe4\xf6\r\n";
    }
    b.fs.put(kQueue, "first,row\r\n" + rest);
    b.run();
    EXPECT_EQ(b.fs.data(kQueue), rest);
}

TEST(FileMode, EmptyFileStaysEmptyWithCountZero) {
    Bench b;
    b.fs.put(kQueue, "");
    FileRun run = b.run();
    EXPECT_EQ(run.outcome, FileOutcome::stored);
    EXPECT_FALSE(run.line_taken);
    EXPECT_EQ(b.fs.data(kQueue), "");
    EXPECT_EQ(b.store.values, (std::map<std::string, std::string>{{"Count", "0"}}));
}

TEST(FileMode, MissingQueuePausesAndLeavesTheRegistryAlone) {
    Bench b;
    FileRun run = b.run();
    EXPECT_EQ(run.outcome, FileOutcome::no_queue);
    EXPECT_EQ(b.pause.pauses, std::vector<unsigned>{kMissingQueuePause});
    EXPECT_EQ(b.store.deletes, 0);
    EXPECT_EQ(b.store.values["Value1"], "old");
    EXPECT_TRUE(b.fs.names().empty());
}

TEST(FileMode, BusyQueueGivesUpAfterTheRoundsWithoutValues) {
    Bench b;
    b.fs.put(kQueue, "a\r\nb\r\n");
    auto other_program = b.fs.hold(kQueue);
    FileRun run = b.run(3);
    EXPECT_EQ(run.outcome, FileOutcome::gave_up);
    EXPECT_EQ(b.pause.pauses, (std::vector<unsigned>{1000, 1000, 1000}));
    EXPECT_EQ(b.fs.data(kQueue), "a\r\nb\r\n");
    EXPECT_FALSE(b.fs.has(kLock));     // the run let go of the lock it took each round
    EXPECT_FALSE(b.store.key_exists);  // deleted before waiting, so a script sees no Count
}

TEST(FileMode, QueueFreedDuringTheWaitIsTaken) {
    Bench b;
    b.fs.put(kQueue, "a\r\nb\r\n");
    auto other_program = b.fs.hold(kQueue);
    b.pause.on_pause = [&](int n) {
        if (n == 2) other_program.reset();
    };
    FileRun run = b.run(5);
    EXPECT_EQ(run.outcome, FileOutcome::stored);
    EXPECT_EQ(run.line, "a");
    EXPECT_EQ(b.pause.pauses.size(), 2u);
    EXPECT_EQ(b.fs.data(kQueue), "b\r\n");
}

TEST(FileMode, ZeroRoundsNeverTouchesTheQueue) {
    Bench b;
    b.fs.put(kQueue, "a\r\n");
    EXPECT_EQ(b.run(0).outcome, FileOutcome::gave_up);
    EXPECT_EQ(b.run(-2).outcome, FileOutcome::gave_up);
    EXPECT_EQ(b.fs.data(kQueue), "a\r\n");
    EXPECT_TRUE(b.pause.pauses.empty());
    EXPECT_FALSE(b.store.key_exists);
}

TEST(FileMode, StaleLockIsDeletedAndTheNextRunProceeds) {
    Bench b;
    b.fs.put(kQueue, "a\r\nb\r\n");
    b.fs.put(kLock, "partial copy");
    FileRun run = b.run(4);
    EXPECT_EQ(run.outcome, FileOutcome::gave_up);
    // The first round sees a new size (the size last seen starts at 0): three unchanged rounds follow.
    EXPECT_EQ(b.pause.pauses.size(), 4u);
    EXPECT_FALSE(b.fs.has(kLock));
    EXPECT_EQ(b.fs.data(kQueue), "a\r\nb\r\n");
    EXPECT_FALSE(b.store.key_exists);

    run = b.run(4);
    EXPECT_EQ(run.line, "a");
    EXPECT_EQ(b.fs.data(kQueue), "b\r\n");
}

TEST(FileMode, GrowingLockKeepsTheRunWaiting) {
    Bench b;
    b.fs.put(kQueue, "a\r\n");
    b.fs.put(kLock, "x");
    // Another run's copy is still growing during the first five rounds.
    b.pause.on_pause = [&](int n) {
        if (n <= 5) b.fs.put(kLock, std::string(static_cast<std::size_t>(n) + 1, 'x'));
    };
    FileRun run = b.run(3);
    EXPECT_EQ(run.outcome, FileOutcome::gave_up);
    // Each change starts the count again: 5 changing rounds, then 3 unchanged ones.
    EXPECT_EQ(b.pause.pauses.size(), 8u);
    EXPECT_EQ(b.fs.data(kQueue), "a\r\n");
}

TEST(FileMode, LockThatGoesAwayLetsTheRunProceed) {
    Bench b;
    b.fs.put(kQueue, "a\r\nb\r\n");
    b.fs.put(kLock, "");
    b.pause.on_pause = [&](int n) {
        if (n == 2) b.fs.remove(kLock);
    };
    FileRun run = b.run(60);
    EXPECT_EQ(run.outcome, FileOutcome::stored);
    EXPECT_EQ(run.line, "a");
    EXPECT_EQ(b.pause.pauses.size(), 2u);
}

TEST(FileMode, LockLeftWithoutQueueBecomesTheQueueAgain) {
    Bench b;
    // A run stopped after the queue file had gone but before its lock file took the name.
    b.fs.put(kLock, "b\r\nc\r\n");
    FileRun run = b.run(2);
    EXPECT_EQ(run.outcome, FileOutcome::lock_restored);
    EXPECT_EQ(b.fs.data(kQueue), "b\r\nc\r\n");
    EXPECT_FALSE(b.fs.has(kLock));
    EXPECT_EQ(b.store.values.count("Count"), 0u);

    run = b.run(2);
    EXPECT_EQ(run.line, "b");
    EXPECT_EQ(b.fs.data(kQueue), "c\r\n");
}

TEST(FileMode, FailedCopyLeavesTheQueueAsItWas) {
    Bench b;
    b.fs.put(kQueue, "a\r\nb\r\n");
    b.fs.fail_writes = true;
    FileRun run = b.run();
    EXPECT_EQ(run.outcome, FileOutcome::copy_failed);
    EXPECT_EQ(b.fs.data(kQueue), "a\r\nb\r\n");
    EXPECT_FALSE(b.fs.has(kLock));
    EXPECT_EQ(b.store.values.count("Count"), 0u);
}

TEST(FileMode, KeyThatCannotBeCreatedStoresNothing) {
    Bench b;
    b.fs.put(kQueue, "a\r\nb\r\n");
    b.store.refuse_create = true;
    FileRun run = b.run();
    EXPECT_EQ(run.outcome, FileOutcome::key_failed);
    EXPECT_TRUE(b.store.values.empty());
    EXPECT_EQ(b.fs.data(kQueue), "b\r\n");
}

TEST(FileMode, RunArrivingWhileAnotherHoldsTheLockTakesNothing) {
    // While the first run copies (at its first read), a second run with few rounds comes and goes:
    // it must neither take a line nor disturb the first run, whose lock it cannot delete.
    Bench first;
    FakePause second_pause;
    FakeStore second_store;
    first.fs.put(kQueue, "a\r\nb\r\nc\r\n");
    FileRun second;
    first.fs.before = [&](const std::string& op) {
        if (op != "read") return;
        first.fs.before = nullptr;
        second = run_file_mode(kQueue, 2, first.fs, second_pause, second_store);
    };
    FileRun run = first.run();
    EXPECT_EQ(run.line, "a");
    EXPECT_EQ(second.outcome, FileOutcome::gave_up);
    EXPECT_EQ(second_store.values.count("Count"), 0u);
    EXPECT_EQ(first.fs.data(kQueue), "b\r\nc\r\n");
}

TEST(FileMode, RunArrivingDuringTheRewriteLeavesItAlone) {
    // While the first run cuts the queue, its lock file has not changed size for a while: a second
    // run with a single round takes it for stale, but cannot open it, so it gives up and touches
    // nothing. A run arriving then cannot take the lock either.
    Bench first;
    FakePause second_pause;
    FakeStore second_store;
    first.fs.put(kQueue, "a\r\nb\r\nc\r\n");
    FileRun second;
    bool saw_lock = false;
    first.fs.before = [&](const std::string& op) {
        if (op != "truncate") return;
        first.fs.before = nullptr;
        second = run_file_mode(kQueue, 1, first.fs, second_pause, second_store);
        CreateResult created;
        saw_lock = first.fs.create_exclusive(kLock, created) == nullptr && created == CreateResult::exists;
    };
    FileRun run = first.run();
    EXPECT_EQ(second.outcome, FileOutcome::gave_up);
    EXPECT_EQ(second_store.values.count("Count"), 0u);
    EXPECT_TRUE(saw_lock);
    EXPECT_EQ(run.outcome, FileOutcome::stored);
    EXPECT_EQ(run.line, "a");
    EXPECT_EQ(first.fs.data(kQueue), "b\r\nc\r\n");
    EXPECT_EQ(first.fs.names(), std::vector<std::string>{kQueue});
}

TEST(FileMode, RewriteThatFailsIsFinishedByALaterRun) {
    Bench b;
    b.fs.put(kQueue, "a\r\nb\r\nc\r\n");
    // The disk refuses the cut: the line is taken (the journal says so) and its values stored.
    b.fs.before = [&](const std::string& op) {
        if (op == "truncate") b.fs.fail_writes = true;
    };
    FileRun run = b.run();
    EXPECT_EQ(run.outcome, FileOutcome::rewrite_failed);
    EXPECT_TRUE(run.line_taken);
    EXPECT_EQ(b.store.values, (std::map<std::string, std::string>{{"Value1", "a"}, {"Count", "1"}}));
    EXPECT_TRUE(b.fs.has(kLock));

    b.fs.before = nullptr;
    b.fs.fail_writes = false;
    EXPECT_TRUE(b.fs.append(kQueue, "d\r\n"));
    EXPECT_EQ(b.run(2).outcome, FileOutcome::gave_up);  // finishes the rewrite, takes nothing
    EXPECT_EQ(b.fs.data(kQueue), "b\r\nc\r\nd\r\n");
    EXPECT_EQ(b.fs.names(), std::vector<std::string>{kQueue});
    EXPECT_EQ(b.run(2).line, "b");
}

TEST(FileMode, JournalWhoseQueueWasDeletedIsCleared) {
    // A run stopped just before it cuts the queue; then the queue is deleted, as an administrator
    // would: the journal has nothing left to finish and goes.
    Bench b;
    b.fs.put(kQueue, "a\r\nb\r\n");
    b.fs.before = [&](const std::string& op) {
        if (op == "truncate") throw SimulatedCrash{};
    };
    EXPECT_THROW(b.run(), SimulatedCrash);
    b.fs.before = nullptr;
    ASSERT_TRUE(b.fs.remove(kQueue));
    EXPECT_EQ(b.run(2).outcome, FileOutcome::gave_up);
    EXPECT_TRUE(b.fs.names().empty());
    EXPECT_EQ(b.run(2).outcome, FileOutcome::no_queue);
}

// Stopping runs at every step, with another program appending lines. Afterwards, once a later run
// has cleared what a stopped run left, the queue holds every line not taken, each once, in order.
const std::vector<std::string> kLines = {"l1,x", "l2,y", "l3,z"};
const std::string kOriginal = "l1,x\r\nl2,y\r\nl3,z\r\n";
const std::string kRest = kOriginal.substr(6);

// Another program appending one line as soon as it can open the queue, trying at every operation
// of the runs from the one numbered `from` on.
struct Appender {
    FakeFileSystem& fs;
    std::string line;
    int from;
    bool done = false;

    void attach() {
        fs.before = [this](const std::string&) {
            if (fs.operations >= from) now();
        };
    }
    void now() {
        if (!done) done = fs.append(kQueue, line + "\r\n");
    }
};

// One run, stopped at its operation numbered `crash` (0: not stopped). True when it was stopped.
bool run_stopped_at(Bench& b, int crash, FileRun& result) {
    b.fs.operations = 0;
    b.fs.crash_at = crash;
    bool stopped = false;
    try {
        result = b.run(2);
    } catch (const SimulatedCrash&) {
        stopped = true;
    }
    b.fs.crash_at = 0;
    return stopped;
}

// Takes every line left; returns the lines taken.
std::vector<std::string> drain(Bench& b) {
    std::vector<std::string> taken;
    for (int attempt = 0; attempt < 10 && b.fs.data(kQueue) != ""; ++attempt) {
        FileRun run = b.run(2);
        EXPECT_EQ(run.outcome, FileOutcome::stored);
        taken.push_back(run.line);
        EXPECT_EQ(run.values, split_values(run.line));
    }
    return taken;
}

int steps_of_one_run() {
    Bench probe;
    probe.fs.put(kQueue, kOriginal);
    probe.run();
    return probe.fs.operations;
}

TEST(FileMode, StoppedAtAnyStepLosesNoLineWhileAnotherProgramAppends) {
    const int steps = steps_of_one_run();
    ASSERT_GT(steps, 20);
    for (int append_at = 0; append_at <= steps + 1; ++append_at) {
        for (int crash = 0; crash <= steps; ++crash) {
            SCOPED_TRACE("appended from step " + std::to_string(append_at) + ", stopped at step " +
                         std::to_string(crash));
            Bench b;
            b.fs.put(kQueue, kOriginal);
            Appender appender{b.fs, "new,line", append_at};
            if (append_at > 0) appender.attach();
            FileRun first;
            bool stopped = run_stopped_at(b, crash, first);
            b.fs.before = nullptr;
            if (append_at > 0) {
                appender.now();  // nobody holds the queue now
                ASSERT_TRUE(appender.done);
            }
            const std::string appended = append_at > 0 ? "new,line\r\n" : "";
            if (b.fs.has(kLock)) {
                ASSERT_TRUE(stopped);
                ASSERT_EQ(b.run(2).outcome, FileOutcome::gave_up);  // finishes or clears, takes nothing
            }
            ASSERT_EQ(b.fs.names(), std::vector<std::string>{kQueue});
            const std::string after = b.fs.data(kQueue);
            std::vector<std::string> taken;
            if (!stopped) {
                EXPECT_EQ(first.outcome, FileOutcome::stored);
                EXPECT_EQ(first.values, (std::vector<std::string>{"l1", "x"}));
                EXPECT_EQ(after, kRest + appended);
                taken.push_back(first.line);
            } else {
                // Either the stopped run took the first line (it had committed) or the queue is whole.
                ASSERT_TRUE(after == kOriginal + appended || after == kRest + appended) << after;
                if (after != kOriginal + appended) taken.push_back(kLines[0]);
            }
            std::vector<std::string> rest = drain(b);
            taken.insert(taken.end(), rest.begin(), rest.end());
            std::vector<std::string> expected = kLines;
            if (append_at > 0) expected.push_back("new,line");
            EXPECT_EQ(taken, expected);
        }
    }

    // A run stopped at any step, a line appended, the run that finishes its rewrite stopped at any
    // step, another line appended: a last run finishes, and no line is lost or doubled.
    for (int crash = 1; crash <= steps; ++crash) {
        auto stopped_and_appended = [&](Bench& b) {
            b.fs.put(kQueue, kOriginal);
            FileRun run;
            EXPECT_TRUE(run_stopped_at(b, crash, run));
            EXPECT_TRUE(b.fs.append(kQueue, "x1,after\r\n"));
        };
        Bench probe;
        stopped_and_appended(probe);
        if (!probe.fs.has(kLock)) continue;  // stopped before it took the lock: nothing to finish
        FileRun run;
        ASSERT_FALSE(run_stopped_at(probe, 0, run));
        const int finishing_steps = probe.fs.operations;

        for (int crash2 = 1; crash2 <= finishing_steps; ++crash2) {
            SCOPED_TRACE("stopped at step " + std::to_string(crash) + ", finishing stopped at step " +
                         std::to_string(crash2));
            Bench b;
            stopped_and_appended(b);
            ASSERT_TRUE(run_stopped_at(b, crash2, run));
            ASSERT_TRUE(b.fs.append(kQueue, "x2,after\r\n"));
            const std::string appended = "x1,after\r\nx2,after\r\n";
            if (b.fs.has(kLock)) {
                ASSERT_EQ(b.run(2).outcome, FileOutcome::gave_up);
            }
            EXPECT_EQ(b.fs.names(), std::vector<std::string>{kQueue});
            const std::string after = b.fs.data(kQueue);
            EXPECT_TRUE(after == kOriginal + appended || after == kRest + appended) << after;
        }
    }
}

TEST(FileMode, DescribeNamesTheOutcomeAndTheLine) {
    FileRun run;
    run.outcome = FileOutcome::stored;
    run.line_taken = true;
    run.line = "a,b";
    EXPECT_EQ(describe(run), "stored taken a,b");
    run.line_taken = false;
    run.line.clear();
    EXPECT_EQ(describe(run), "stored empty ");
    run.outcome = FileOutcome::lock_restored;
    EXPECT_EQ(describe(run), "lock_restored");
    run.outcome = FileOutcome::gave_up;
    EXPECT_EQ(describe(run), "gave_up");
}

}  // namespace
}  // namespace dkgetval
