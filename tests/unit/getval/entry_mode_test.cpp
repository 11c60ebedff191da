// Entry mode: one prompt per value, Cancel skips without using a number.
#include <gtest/gtest.h>

#include "fakes.h"
#include "queue_run.h"

namespace dkgetval {
namespace {

using testing::FakePrompter;
using testing::FakeStore;
using Stored = std::map<std::string, std::string>;

TEST(EntryMode, CancelOnTheSecondOfThreePrompts) {
    FakePrompter prompter;
    FakeStore store;
    prompter.answers = {std::string("first"), std::nullopt, std::string("third")};
    EXPECT_EQ(run_entry_mode({"Name", "Room", "Phone"}, prompter, store), 2);
    EXPECT_EQ(prompter.asked, (std::vector<std::string>{"Name", "Room", "Phone"}));
    EXPECT_EQ(store.values, (Stored{{"Value1", "first"}, {"Value2", "third"}, {"Count", "2"}}));
    EXPECT_FALSE(store.key_open);
}

TEST(EntryMode, EmptyAnswersAreStoredAndOldValuesGo) {
    FakePrompter prompter;
    FakeStore store;
    store.values = {{"Value1", "x"}, {"Value2", "y"}, {"Value3", "z"}, {"Count", "3"}};
    prompter.answers = {std::string(""), std::string("b")};
    EXPECT_EQ(run_entry_mode({"A", "B"}, prompter, store), 2);
    EXPECT_EQ(store.values, (Stored{{"Value1", ""}, {"Value2", "b"}, {"Count", "2"}}));
}

TEST(EntryMode, NoPromptsStoresCountZero) {
    FakePrompter prompter;
    FakeStore store;
    EXPECT_EQ(run_entry_mode({}, prompter, store), 0);
    EXPECT_EQ(store.values, (Stored{{"Count", "0"}}));
}

TEST(EntryMode, FailedWriteLeavesItsNumberToTheNextValue) {
    FakePrompter prompter;
    FakeStore store;
    store.refuse_texts = {"b"};
    prompter.answers = {std::string("a"), std::string("b"), std::string("c")};
    // "b" cannot be written as Value2; "c" then gets that number.
    EXPECT_EQ(run_entry_mode({"1", "2", "3"}, prompter, store), 2);
    EXPECT_EQ(store.values, (Stored{{"Value1", "a"}, {"Value2", "c"}, {"Count", "2"}}));
}

TEST(EntryMode, KeyThatCannotBeCreatedAsksNothing) {
    FakePrompter prompter;
    FakeStore store;
    store.refuse_create = true;
    EXPECT_EQ(run_entry_mode({"A"}, prompter, store), -1);
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_TRUE(store.values.empty());
}

TEST(EntryMode, LongAnswersAreCutTo1023) {
    FakePrompter prompter;
    FakeStore store;
    prompter.answers = {std::string(3000, 'k')};
    run_entry_mode({"A"}, prompter, store);
    EXPECT_EQ(store.values["Value1"], std::string(1023, 'k'));
}

}  // namespace
}  // namespace dkgetval
