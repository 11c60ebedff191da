// The registry command over the fake registry: each sub-command's effect, messages with the
// system's error texts, value texts, and the text conversions.
#include <gtest/gtest.h>

#include "command_test_support.h"
#include "fake_registry.h"

namespace dravik::test {

namespace {

TEST(RegistryTextTest, TextToBinary) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"0a ff 10", std::string("\x0A\xFF\x10", 3)},
        {"0A,FF;10", std::string("\x0A\xFF\x10", 3)},
        {"00", std::string(1, '\0')},
        {"1", "\x10"},       // a missing low digit counts as 0
        {"zz 1g", std::string("\x00\x10", 2)},  // so does a character that is no hex digit
        {"0AFF10", std::string("\x0A\xF1", 2)},  // the third character of each step is skipped
        {"ab ", "\xAB"},
    };
    for (const auto& [text, bytes] : cases) EXPECT_EQ(TextToRegistryBinary(text), bytes) << text;
}

TEST(RegistryTextTest, BinaryToText) {
    EXPECT_EQ(RegistryBinaryToText(""), "");
    EXPECT_EQ(RegistryBinaryToText(std::string("\x0A\xFF\x10", 3)), "0A FF 10");
    EXPECT_EQ(RegistryBinaryToText(std::string(1, '\0')), "00");
    std::string longest(81, '\xAB');
    std::string text = RegistryBinaryToText(longest);
    EXPECT_EQ(text.size(), 81u * 3 - 1);
    EXPECT_EQ(text.substr(0, 6), "AB AB ");
    EXPECT_EQ(RegistryBinaryToText(std::string(82, '\x01')), "Long binary values not supported.");
    // Round trip over every byte value.
    std::string all;
    for (int i = 0; i < 81; ++i) all += static_cast<char>(i * 3 + 7);
    EXPECT_EQ(TextToRegistryBinary(RegistryBinaryToText(all)), all);
}

TEST(RegistryTextTest, DwordToText) {
    const std::pair<std::string, std::string> cases[] = {
        {std::string("\x2A\0\0\0", 4), "42"},
        {std::string("\xFF\xFF\xFF\xFF", 4), "4294967295"},
        {std::string("\x01\x02", 2), "513"},
        {std::string("\0\0\0\x80", 4), "2147483648"},
        {"", "0"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(RegistryDwordToText(bytes), text) << text;
}

class RegistryCommandTest : public ::testing::Test {
protected:
    // Runs the lines; returns the statements' log.
    std::string run(const std::string& lines) {
        t_ = std::make_unique<CommandTestRun>();
        return run_commands(*t_, lines, {files_, registry_});
    }
    std::string var(const std::string& name) { return t_->run.vars.value_or_empty(name); }
    const FakeRegistry::Value* value(const std::string& name) { return registry_.value(kCurrentUser, "Software\\x", name); }

    HostFileSystem files_;
    FakeRegistry registry_;
    std::unique_ptr<CommandTestRun> t_;
};

constexpr char kNotFoundText[] = "The system cannot find the file specified.\n";

TEST_F(RegistryCommandTest, CreateAndDeleteKeys) {
    EXPECT_EQ(run("-reg LM Software\\Test -m"), "-reg LM Software\\Test -m, Created registry key.\n");
    EXPECT_TRUE(registry_.has_key(kLocalMachine, "Software\\Test"));
    EXPECT_FALSE(registry_.has_key(kCurrentUser, "Software\\Test"));
    // The key is deleted and the rest of the line is not run.
    EXPECT_EQ(run("-reg LM Software\\Test -k -s a SZ b"), "-reg LM Software\\Test -k -s a SZ b, Deleted registry key.\n");
    EXPECT_FALSE(registry_.has_key(kLocalMachine, "Software\\Test"));
    EXPECT_EQ(run("-reg LM Software\\Test -k"),
              std::string("-reg LM Software\\Test -k, Error deleting registry key: ") + kNotFoundText);
    registry_.key(kCurrentUser, "Locked").read_only = true;
    EXPECT_EQ(run("-reg CU Locked -m"), "-reg CU Locked -m, Error creating registry key: Access is denied.\n");
}

TEST_F(RegistryCommandTest, SetValuesOfEveryType) {
    registry_.key(kCurrentUser, "Software\\x");
    EXPECT_EQ(run("-reg CU Software\\x -s Name SZ hello"), "-reg CU Software\\x -s Name SZ hello, Value set.\n");
    ASSERT_NE(value("Name"), nullptr);
    EXPECT_EQ(value("Name")->type, kRegSz);
    EXPECT_EQ(value("Name")->data, "hello");  // five bytes, no terminating zero

    const struct {
        std::string line;
        uint32_t type;
        std::string data;
    } cases[] = {
        {"-s Count DW 42", kRegDword, std::string("\x2A\0\0\0", 4)},
        // Data that begins with a hyphen must be quoted, or it reads as the next sub-command.
        {"-s Count DW \"-1\"", kRegDword, std::string("\xFF\xFF\xFF\xFF", 4)},
        {"-s Count DW \"  7x\"", kRegDword, std::string("\x07\0\0\0", 4)},
        {"-s Count DW abc", kRegDword, std::string(4, '\0')},
        {"-s Count BN \"0a ff 10\"", kRegBinary, std::string("\x0A\xFF\x10", 3)},
        {"-s Count BN", kRegBinary, ""},
        {"-s Count SZ \"two words\"", kRegSz, "two words"},
        {"-s Count SZ", kRegSz, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run("-reg CU Software\\x " + c.line), "-reg CU Software\\x " + c.line + ", Value set.\n");
        ASSERT_NE(value("count"), nullptr) << c.line;
        EXPECT_EQ(value("count")->type, c.type) << c.line;
        EXPECT_EQ(value("count")->data, c.data) << c.line;
    }
    // "NO" writes nothing and still reports the value as set.
    EXPECT_EQ(run("-reg CU Software\\x -s Flag NO 1"), "-reg CU Software\\x -s Flag NO 1, Value set.\n");
    EXPECT_EQ(value("Flag"), nullptr);
}

TEST_F(RegistryCommandTest, ReadValuesBack) {
    FakeRegistry::Key& key = registry_.key(kCurrentUser, "Software\\x");
    key.values["count"] = {kRegDword, std::string("\x2A\0\0\0", 4)};
    key.values["data"] = {kRegBinary, std::string("\x0A\xFF\x10", 3)};
    key.values["long"] = {kRegBinary, std::string(82, '\x01')};
    key.values["text"] = {kRegSz, std::string("abc\0def", 7)};
    key.values["multi"] = {7, std::string("one\0two\0\0", 9)};
    key.values["big"] = {kRegSz, std::string(3000, 'b')};
    const std::pair<std::string, std::string> cases[] = {
        {"-v Count n", "Setting {n} equal to 42.\n"},
        {"-v Data n", "Setting {n} equal to 0A FF 10.\n"},
        {"-v Long n", "Setting {n} equal to Long binary values not supported..\n"},
        {"-v Text n", "Setting {n} equal to abc.\n"},
        {"-v Multi n", "Setting {n} equal to one.\n"},
    };
    for (const auto& [line, log] : cases) {
        EXPECT_EQ(run("-reg CU Software\\x " + line), "-reg CU Software\\x " + line + ", " + log);
        EXPECT_EQ(var("n"), log.substr(21, log.size() - 23)) << line;
        EXPECT_EQ(registry_.opened.back(), Registry::Access::kRead) << line;
    }
    // Failures leave the variable empty.
    EXPECT_EQ(run("-reg CU Software\\x -v Missing n"),
              std::string("-reg CU Software\\x -v Missing n, Error querying registry value: ") + kNotFoundText);
    EXPECT_EQ(var("n"), "");
    EXPECT_EQ(run("-reg CU Software\\x -v Big n"),
              "-reg CU Software\\x -v Big n, Error querying registry value: More data is available.\n");
    EXPECT_EQ(run("-reg CU Software\\nokey -v Count n"),
              std::string("-reg CU Software\\nokey -v Count n, Error opening registry key: ") + kNotFoundText);
    EXPECT_EQ(var("n"), "");
}

TEST_F(RegistryCommandTest, ReadOnlyKeysCanBeReadButNotWritten) {
    FakeRegistry::Key& key = registry_.key(kLocalMachine, "Software\\Policy");
    key.values["level"] = {kRegSz, "3"};
    key.read_only = true;
    EXPECT_EQ(run("-reg LM Software\\Policy -v Level n"), "-reg LM Software\\Policy -v Level n, Setting {n} equal to 3.\n");
    EXPECT_EQ(var("n"), "3");
    EXPECT_EQ(run("-reg LM Software\\Policy -s Level SZ 4"),
              "-reg LM Software\\Policy -s Level SZ 4, Error opening registry key: Access is denied.\n");
    EXPECT_EQ(registry_.opened.back(), Registry::Access::kReadWrite);
    EXPECT_EQ(run("-reg LM Software\\Policy -d Level"),
              "-reg LM Software\\Policy -d Level, Error opening registry key: Access is denied.\n");
}

TEST_F(RegistryCommandTest, DefaultValueAndDeletingValues) {
    registry_.key(kCurrentUser, "Software\\x");
    EXPECT_EQ(run("-reg CU Software\\x -s (default) SZ x"), "-reg CU Software\\x -s (default) SZ x, Value set.\n");
    ASSERT_NE(value(""), nullptr);
    EXPECT_EQ(value("")->data, "x");
    EXPECT_EQ(run("-reg CU Software\\x -v (Default) n"), "-reg CU Software\\x -v (Default) n, Setting {n} equal to x.\n");
    // Deleting takes the name as written: there is no value literally named "(Default)".
    EXPECT_EQ(run("-reg CU Software\\x -d (Default)"),
              std::string("-reg CU Software\\x -d (Default), Error deleting registry value: ") + kNotFoundText);
    EXPECT_NE(value(""), nullptr);
    EXPECT_EQ(run("-reg CU Software\\x -d"), "-reg CU Software\\x -d, Deleted registry value.\n");
    EXPECT_EQ(value(""), nullptr);
    EXPECT_EQ(run("-reg CU Software\\none -d a"),
              std::string("-reg CU Software\\none -d a, Error opening registry key: ") + kNotFoundText);
}

TEST_F(RegistryCommandTest, SeveralSubcommandsOnOneLine) {
    EXPECT_EQ(run("-reg CU Software\\x -m -s a DW 7 -v a r -d a -v a q"),
              "-reg CU Software\\x -m -s a DW 7 -v a r -d a -v a q, Created registry key.\n"
              "-s a DW 7 -v a r -d a -v a q, Value set.\n"
              "-v a r -d a -v a q, Setting {r} equal to 7.\n"
              "-d a -v a q, Deleted registry value.\n"
              "-v a q, Error querying registry value: The system cannot find the file specified.\n");
    EXPECT_EQ(var("r"), "7");
    EXPECT_EQ(var("q"), "");
    // A syntax error stops the line after what ran before it.
    EXPECT_EQ(run("-reg CU Software\\x -s b SZ 1 -s c XX 2 -s d SZ 3"),
              "-reg CU Software\\x -s b SZ 1 -s c XX 2 -s d SZ 3, Value set.\n"
              "-s c XX 2 -s d SZ 3, Syntax error: Invalid root key.\n");
    EXPECT_NE(value("b"), nullptr);
    EXPECT_EQ(value("d"), nullptr);
    EXPECT_EQ(run("-reg CU Software\\x"), "-reg CU Software\\x, Invalid registry command.\n");
}

}  // namespace

}  // namespace dravik::test
