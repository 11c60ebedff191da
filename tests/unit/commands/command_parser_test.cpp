// The command parser: command words, every command's arguments, the sub-commands of the file and
// registry commands, and every syntax-error message.
#include <gtest/gtest.h>

#include "command_test_support.h"

namespace dravik::test {

namespace {

void add(std::string& out, const char* name, const std::string& value) {
    if (value.empty()) return;
    out += std::string(" ") + name + "=" + value;
}
void add(std::string& out, const char* name, long value) { out += std::string(" ") + name + "=" + std::to_string(value); }
void flag(std::string& out, const char* name, bool value) {
    if (value) out += std::string(" ") + name;
}

}  // namespace

std::string describe_head(const ParsedCommand& c) {
    std::string s = "kind=" + std::to_string(static_cast<int>(c.kind));
    switch (c.kind) {
        case CommandKind::kFile: add(s, "file", c.fileName); break;
        case CommandKind::kRegistry: add(s, "root", c.rootKey); add(s, "key", c.keyPath); break;
        case CommandKind::kShortcut:
            add(s, "link", c.linkFile); add(s, "target", c.target); add(s, "args", c.arguments);
            add(s, "dir", c.workingDirectory); add(s, "show", c.showCommand);
            break;
        case CommandKind::kProgram:
            add(s, "program", c.program); add(s, "params", c.parameters); add(s, "wait", c.waitForExit);
            add(s, "show", c.showMode);
            break;
        case CommandKind::kWait:
            add(s, "process", c.processName); add(s, "ms", c.timeoutMs); add(s, "var", c.resultVariable);
            break;
        case CommandKind::kRegisterControl:
        case CommandKind::kUnregisterControl:
            add(s, "control", c.controlFile); add(s, "source", c.copySource); flag(s, "always", c.alwaysCopy);
            flag(s, "delete", c.deleteAfterUnregister);
            break;
        case CommandKind::kArchive:
            add(s, "zip", c.archiveFile); add(s, "op", c.archiveOp); add(s, "files", c.fileSpec);
            add(s, "dest", c.destination); add(s, "out", c.outputFile); flag(s, "container", c.containerFormat);
            flag(s, "newer", c.updateNewerOnly); flag(s, "paths", c.storePaths); flag(s, "relative", c.relativePaths);
            flag(s, "recurse", c.recurse); flag(s, "overwrite", c.overwrite); flag(s, "after", c.afterDate);
            add(s, "date", c.afterDateText);
            break;
        default: break;
    }
    return s;
}

std::string describe_sub(const ParsedCommand& c) {
    std::string s;
    if (c.kind == CommandKind::kFile) {
        s = "op=" + std::to_string(c.fileOp);
        flag(s, "all", c.allOccurrences);
        if (c.insertPosition) add(s, "pos", c.insertPosition);
        add(s, "ins", c.insertText); add(s, "at", c.insertSearch); add(s, "search", c.searchText);
        add(s, "repl", c.replaceText); add(s, "del", c.deleteText); add(s, "var", c.resultVariable);
        flag(s, "cs", c.caseSensitive); flag(s, "after", c.insertAfter);
    } else {
        flag(s, "create", c.createKey); flag(s, "delkey", c.deleteKey); flag(s, "delval", c.deleteValue);
        add(s, "name", c.valueName);
        if (c.valueType) add(s, "type", c.valueType);
        add(s, "data", c.valueData); add(s, "var", c.resultVariable);
        if (c.syntaxError) s += " ERROR";
        return s.empty() ? s : s.substr(1);
    }
    if (c.syntaxError) s += " ERROR";
    return s;
}

namespace {

struct ParseCase {
    std::string line;
    std::string head;               // describe_head after ParseCommand
    std::vector<std::string> subs;  // describe_sub after each ParseNextSubcommand that found one
    std::string log;                // what the parser logged
};

class ParserTest : public ::testing::Test {
protected:
    // Parses a whole line as the command runner does, without executing anything.
    ParseCase parse(const std::string& line) {
        ParseCase out{line, "", {}, ""};
        CommandTestRun t;
        t.env.values["TEMP"] = "C:\\TEMP";
        t.run.vars.set_variable("dir", "c:\\dest");
        t.set_statement(line);
        ParsedCommand& cmd = cmd_;
        cmd.syntaxError = false;
        ParseCommand(t.run, cmd);
        out.head = describe_head(cmd) + (cmd.syntaxError ? " ERROR" : "");
        if (!cmd.syntaxError && (cmd.kind == CommandKind::kFile || cmd.kind == CommandKind::kRegistry)) {
            for (bool first = true; ParseNextSubcommand(t.run, cmd, first); first = false) {
                out.subs.push_back(describe_sub(cmd));
                if (cmd.syntaxError) break;
            }
        }
        out.log = t.log();
        return out;
    }
    void check(const std::vector<ParseCase>& cases) {
        for (const ParseCase& c : cases) {
            ParseCase got = parse(c.line);
            EXPECT_EQ(got.head, c.head) << c.line;
            EXPECT_EQ(got.subs, c.subs) << c.line;
            EXPECT_EQ(got.log, c.log) << c.line;
        }
    }
    ParsedCommand cmd_;
};

TEST_F(ParserTest, CommandWordsAndTheirShortForms) {
    check({
        {"-FILE c:\\a.txt -ie hello", "kind=1 file=c:\\a.txt", {"op=1 pos=2 ins=hello"}, ""},
        {"-f c:\\a.txt -ie hello", "kind=1 file=c:\\a.txt", {"op=1 pos=2 ins=hello"}, ""},
        {"-F c:\\a.txt -ie hello", "kind=1 file=c:\\a.txt", {"op=1 pos=2 ins=hello"}, ""},
        // Not the whole rest of the word: the arguments begin right after the letter.
        {"-fil c:\\a.txt", "kind=1 file=il", {}, "Invalid file command.\n"},
        {"  -reg CU Software\\x -m", "kind=2 root=2 key=Software\\x", {"create"}, ""},
        {"-r CU Software\\x -m", "kind=2 root=2 key=Software\\x", {"create"}, ""},
        {"-REGISTRY CU x -m", "kind=2 root=0 ERROR", {}, "Syntax error: Invalid root key.\n"},
        {"-shortcut a.lnk b.exe", "kind=3 link=a.lnk target=b.exe show=0", {}, ""},
        {"-sHORTCUT a.lnk b.exe", "kind=3 link=a.lnk target=b.exe show=0", {}, ""},
        {"-program x.exe", "kind=4 program=x.exe wait=1 show=1", {}, ""},
        {"-wait 30", "kind=5 process=DravikLT ms=30000", {}, ""},
        {"-xdll a.ocx -u", "kind=8 control=a.ocx", {}, ""},
        {"-rido a.zip -l out.txt", "kind=9 zip=a.zip op=4 out=out.txt", {}, ""},
        {"-RIDO a.zip -l out.txt", "kind=9 zip=a.zip op=4 out=out.txt", {}, ""},
        {"-z a.zip -l out.txt", "kind=9 zip=a.zip op=4 out=out.txt", {}, ""},
        // "yp" compared, then three characters skipped.
        {"-zyp a.zip -l out.txt", "kind=9 zip=a.zip op=4 out=out.txt", {}, ""},
        // "-ridox" is no archive word: the registry with the root "idox".
        {"-ridox a.zip", "kind=2 root=0 ERROR", {}, "Syntax error: Invalid root key.\n"},
        {"-q something", "kind=0 ERROR", {}, "Syntax error: Invalid command.\n"},
        {"-", "kind=0 ERROR", {}, "Syntax error: Invalid command.\n"},
    });
}

TEST_F(ParserTest, HeadsWithMissingArguments) {
    check({
        {"-file", "kind=1 ERROR", {}, "Syntax error: Missing filename.\n"},
        {"-file   ", "kind=1 ERROR", {}, "Syntax error: Missing filename.\n"},
        {"-reg ZZ Software\\x -m", "kind=2 root=0 ERROR", {}, "Syntax error: Invalid root key.\n"},
        {"-reg", "kind=2 root=0 ERROR", {}, "Syntax error: Invalid root key.\n"},
        {"-reg LM", "kind=2 root=1 ERROR", {}, "Syntax error: Missing key path.\n"},
        {"-shortcut", "kind=3 show=0 ERROR", {}, "Syntax error: Missing shortcut filename.\n"},
        {"-shortcut a.lnk", "kind=3 link=a.lnk show=0 ERROR", {}, "Syntax error: Missing program to link to.\n"},
        {"-program", "kind=4 wait=1 show=1 ERROR", {}, "Syntax error: Missing filename.\n"},
        {"-wait", "kind=5 ms=-1 ERROR", {}, "Syntax error: Missing process to wait for.\n"},
        {"-wait setup.exe -v", "kind=5 process=setup.exe ms=-1 ERROR", {}, "Syntax error: Missing variable name.\n"},
        {"-xdll", "kind=7 ERROR", {}, "Syntax error: Missing filename of the control.\n"},
        {"-rido", "kind=9 op=0 ERROR", {}, "Syntax error: Missing filename of the zip file.\n"},
    });
}

TEST_F(ParserTest, RootKeyWords) {
    const char* words[] = {"LM", "cu", "Us", "CR", "cc", "DD", "pd"};
    for (int i = 0; i < 7; ++i) {
        ParseCase got = parse(std::string("-reg ") + words[i] + " K -m");
        EXPECT_EQ(got.head, "kind=2 root=" + std::to_string(i + 1) + " key=K") << words[i];
    }
    EXPECT_EQ(parse("-reg LMX K -m").log, "Syntax error: Invalid root key.\n");
}

TEST_F(ParserTest, ShortcutProgramAndWaitArguments) {
    check({
        {"-shortcut \"c:\\my links\\a.lnk\" c:\\b.exe \"-x -y\" c:\\w min",
         "kind=3 link=c:\\my links\\a.lnk target=c:\\b.exe args=-x -y dir=c:\\w show=7", {}, ""},
        {"-shortcut a.lnk b.exe '' '' MAX", "kind=3 link=a.lnk target=b.exe show=3", {}, ""},
        {"-shortcut a.lnk b.exe x y normal", "kind=3 link=a.lnk target=b.exe args=x dir=y show=1", {}, ""},
        {"-shortcut a.lnk b.exe x y huge", "kind=3 link=a.lnk target=b.exe args=x dir=y show=0", {}, ""},
        {"-program notepad.exe nowait max", "kind=4 program=notepad.exe wait=0 show=3", {}, ""},
        {"-program notepad.exe NoWait MIN", "kind=4 program=notepad.exe wait=0 show=2", {}, ""},
        {"-program setup.exe /q wait min", "kind=4 program=setup.exe params=/q wait=1 show=2", {}, ""},
        {"-program setup.exe \"/q /x\" nowait", "kind=4 program=setup.exe params=/q /x wait=0 show=1", {}, ""},
        {"-program setup.exe /q later never", "kind=4 program=setup.exe params=/q wait=1 show=1", {}, ""},
        {"-program {dir}\\s.exe", "kind=4 program=c:\\dest\\s.exe wait=1 show=1", {}, ""},
        {"-wait 30", "kind=5 process=DravikLT ms=30000", {}, ""},
        {"-wait setup.exe 60 -v r", "kind=5 process=setup.exe ms=60000 var=r", {}, ""},
        {"-wait setup.exe", "kind=5 process=setup.exe ms=-1", {}, ""},
        {"-wait setup.exe -V done", "kind=5 process=setup.exe ms=-1 var=done", {}, ""},
        {"-wait 5 -v r", "kind=5 process=DravikLT ms=5000 var=r", {}, ""},
        // Only digits make a time-out of the first argument.
        {"-wait 30s", "kind=5 process=30s ms=-1", {}, ""},
        {"-wait setup.exe x60", "kind=5 process=setup.exe ms=-1", {}, ""},
    });
}

TEST_F(ParserTest, ControlRegistration) {
    check({
        {"-xdll c:\\a.ocx -r", "kind=7 control=c:\\a.ocx", {}, ""},
        {"-xdll c:\\a.ocx -r \\\\srv\\a.ocx", "kind=7 control=c:\\a.ocx source=\\\\srv\\a.ocx", {}, ""},
        {"-xdll c:\\a.ocx -rC \\\\srv\\a.ocx", "kind=7 control=c:\\a.ocx source=\\\\srv\\a.ocx always", {}, ""},
        // A lower-case "c" means "always copy" too.
        {"-xdll c:\\a.ocx -rc \\\\srv\\a.ocx", "kind=7 control=c:\\a.ocx source=\\\\srv\\a.ocx always", {}, ""},
        {"-xdll c:\\a.ocx -rx \\\\srv\\a.ocx", "kind=7 control=c:\\a.ocx", {}, ""},
        {"-xdll c:\\a.ocx -u", "kind=8 control=c:\\a.ocx", {}, ""},
        {"-xdll c:\\a.ocx -ud", "kind=8 control=c:\\a.ocx delete", {}, ""},
        {"-xdll c:\\a.ocx -UD", "kind=8 control=c:\\a.ocx delete", {}, ""},
        {"-xdll c:\\a.ocx -q", "kind=7 control=c:\\a.ocx", {}, ""},
        // Without a hyphen the line's last character stands for the letter.
        {"-xdll c:\\a.ocx u", "kind=8 control=c:\\a.ocx", {}, ""},
    });
}

TEST_F(ParserTest, ControlCopyModeDoesNotCarryOver) {
    parse("-xdll a.ocx -rC b.ocx");
    EXPECT_EQ(parse("-xdll a.ocx -r b.ocx").head, "kind=7 control=a.ocx source=b.ocx");
}

TEST_F(ParserTest, ArchiveCommands) {
    check({
        {"-rido a.zip -u c:\\dest -r", "kind=9 zip=a.zip op=2 files=*.* dest=c:\\dest recurse", {}, ""},
        {"-rido a.zip -u {dir} -d -o -p -f *.txt",
         "kind=9 zip=a.zip op=3 files=*.txt dest=c:\\dest paths overwrite", {}, ""},
        {"-rido a.zip -u x -D -F \"my file.txt\"",
         "kind=9 zip=a.zip op=3 files=\"my file.txt\" dest=x container", {}, ""},
        {"-rido a.zip -u", "kind=9 zip=a.zip op=2 files=*.* ERROR", {}, "Syntax error: Missing destination.\n"},
        {"-rido a.zip -u x -f", "kind=9 zip=a.zip op=2 files=*.* dest=x ERROR", {},
         "Syntax error: Missing file spec.\n"},
        {"-rido a.zip -c *.* -r -p -n", "kind=9 zip=a.zip op=0 files=*.* newer paths relative recurse", {}, ""},
        {"-rido a.zip -c c:\\src\\*.* -P -e", "kind=9 zip=a.zip op=1 files=c:\\src\\*.* paths", {}, ""},
        {"-rido a.zip -c x -E", "kind=9 zip=a.zip op=1 files=x container", {}, ""},
        {"-rido a.zip -c \"c:\\my dir\\*.*\"", "kind=9 zip=a.zip op=0 files=\"c:\\my dir\\*.*\"", {}, ""},
        {"-rido a.zip -c x -a 20091102", "kind=9 zip=a.zip op=0 files=x after date=200911", {}, ""},
        {"-rido a.zip -c x -A {dir}", "kind=9 zip=a.zip op=0 files=x after date={dir}", {}, ""},
        {"-rido a.zip -c x -a", "kind=9 zip=a.zip op=0 files=x", {}, ""},
        // A missing file list is reported and parsing goes on.
        {"-rido a.zip -u x -f -r", "kind=9 zip=a.zip op=2 files=-r dest=x", {}, ""},
        {"-rido a.zip -u x -r -f", "kind=9 zip=a.zip op=2 files=*.* dest=x recurse ERROR", {},
         "Syntax error: Missing file spec.\n"},
        {"-rido a.zip -u -r", "kind=9 zip=a.zip op=2 files=*.* dest=-r", {}, ""},
        {"-rido a.zip -u -c \"\" -o", "kind=9 zip=a.zip op=2 files=*.* dest=-c overwrite", {}, ""},
        {"-rido a.zip -l list.txt -d", "kind=9 zip=a.zip op=5 out=list.txt", {}, ""},
        {"-rido a.zip -l list.txt -D", "kind=9 zip=a.zip op=5 out=list.txt container", {}, ""},
        {"-rido a.zip -l", "kind=9 zip=a.zip op=4 ERROR", {}, "Syntax error: Missing output file.\n"},
        {"-rido a.zip -c", "kind=9 zip=a.zip op=0 ERROR", {}, "Syntax error: Missing file spec.\n"},
    });
}

TEST_F(ParserTest, ArchiveUnknownOperationKeepsThePreviousOne) {
    parse("-rido a.zip -l out.txt");
    EXPECT_EQ(parse("-rido b.zip -q").head, "kind=9 zip=b.zip op=4");
}

TEST(QuoteArgumentTest, Forms) {
    const std::pair<std::string, std::string> cases[] = {
        {"my file", "\"my file\""}, {"\"my file", "\"my file\""}, {"\"my file\"", "\"my file\""},
        {"", "\"\""},               {"a\"", "\"a\"\""},
    };
    for (const auto& [in, out] : cases) {
        std::string text = in;
        QuoteArgument(text);
        EXPECT_EQ(text, out) << in;
    }
}

TEST_F(ParserTest, FileInsertSubcommands) {
    check({
        {"-file \"c:\\my file.txt\" -ie 'a line'", "kind=1 file=c:\\my file.txt", {"op=1 pos=2 ins=a line"}, ""},
        {"-f a -iE x", "kind=1 file=a", {"op=1 pos=2 ins=x"}, ""},
        {"-f a -i x", "kind=1 file=a", {"op=1 pos=2 ins=x"}, ""},
        {"-f a -ie", "kind=1 file=a", {"op=1 pos=2"}, ""},
        {"-f a -ie -v r", "kind=1 file=a", {"op=1 pos=2 var=r"}, ""},
        {"-f a -ib first", "kind=1 file=a", {"op=1 pos=1 ins=first"}, ""},
        {"-f a -iB first -v r", "kind=1 file=a", {"op=1 pos=1 ins=first var=r"}, ""},
        {"-f a -il NEW old", "kind=1 file=a", {"op=1 pos=3 ins=NEW at=old"}, ""},
        {"-f a -a -iL NEW old", "kind=1 file=a", {"op=1 all pos=3 ins=NEW at=old after"}, ""},
        {"-f a -is X= key", "kind=1 file=a", {"op=4 pos=3 ins=X= at=key"}, ""},
        {"-f a -iS X= key -v n", "kind=1 file=a", {"op=4 all pos=3 ins=X= at=key var=n"}, ""},
        {"-f a -il NEW", "kind=1 file=a", {"op=1 pos=3 ins=NEW ERROR"}, "Syntax error: Missing search string.\n"},
        {"-f a -is X", "kind=1 file=a", {"op=4 pos=3 ins=X ERROR"}, "Syntax error: Missing search string.\n"},
        {"-f a -ix y", "kind=1 file=a", {"op=0 ERROR"}, "Syntax error: Invalid insert command.\n"},
    });
}

TEST_F(ParserTest, FileReplaceDeleteSearchSubcommands) {
    check({
        {"-file c:\\x.ini -rl Path=c:\\new path=", "kind=1 file=c:\\x.ini", {"op=2 search=path= repl=Path=c:\\new"}, ""},
        {"-f a -rL new old", "kind=1 file=a", {"op=2 all search=old repl=new"}, ""},
        {"-f a -rs _ x", "kind=1 file=a", {"op=5 search=x repl=_"}, ""},
        {"-f a -rS _ x", "kind=1 file=a", {"op=5 all search=x repl=_"}, ""},
        {"-f a -r _ x -v n", "kind=1 file=a", {"op=5 search=x repl=_ var=n"}, ""},
        {"-f a -rl", "kind=1 file=a", {"op=2 ERROR"}, "Syntax error: Missing line to replace with.\n"},
        {"-f a -rl x", "kind=1 file=a", {"op=2 repl=x ERROR"}, "Syntax error: Missing search string.\n"},
        {"-f a -rs", "kind=1 file=a", {"op=5 ERROR"}, "Syntax error: Missing string to replace with.\n"},
        {"-f a -rS x", "kind=1 file=a", {"op=5 all repl=x ERROR"}, "Syntax error: Missing search string.\n"},
        {"-f a -rq x y", "kind=1 file=a", {"op=0 ERROR"}, "Syntax error: Invalid replace command.\n"},
        {"-f a -dl", "kind=1 file=a", {"op=3"}, ""},
        {"-f a -dL", "kind=1 file=a", {"op=3 all"}, ""},
        {"-f a -d x", "kind=1 file=a", {"op=3 del=x"}, ""},
        {"-f a -dl -v n", "kind=1 file=a", {"op=3 var=n"}, ""},
        {"-f a -ds x", "kind=1 file=a", {"op=6 del=x"}, ""},
        {"-f a -dS x -v n", "kind=1 file=a", {"op=6 all del=x var=n"}, ""},
        {"-f a -dz x", "kind=1 file=a", {"op=0 ERROR"}, "Syntax error: Invalid delete command.\n"},
        {"-f a -f x", "kind=1 file=a", {"op=8 all search=x"}, ""},
        {"-f a -fS x", "kind=1 file=a", {"op=8 all search=x"}, ""},
        {"-f a -fs x", "kind=1 file=a", {"op=8 search=x"}, ""},
        {"-f a -fq x -v n", "kind=1 file=a", {"op=8 search=x var=n"}, ""},
        {"-f a -fs", "kind=1 file=a", {"op=8 ERROR"}, "Syntax error: Missing search string.\n"},
        // The optional result variable's "-v" is lower case exactly.
        // "-V" is then the next sub-command: the existence test.
        {"-f a -fs x -V n", "kind=1 file=a", {"op=8 search=x", "op=7 var=n"}, ""},
        {"-f a -fs x -v", "kind=1 file=a", {"op=8 search=x ERROR"}, "Syntax error: Missing variable name.\n"},
    });
}

TEST_F(ParserTest, FileGetLineAndExistenceSubcommands) {
    check({
        {"-f a -g abc -v v", "kind=1 file=a", {"op=9 search=abc var=v"}, ""},
        {"-f a -g abc -V v", "kind=1 file=a", {"op=9 search=abc var=v"}, ""},
        // Without "-v" the syntax error is silent.
        {"-g abc", "kind=0 ERROR", {}, "Syntax error: Invalid command.\n"},
        {"-f a -g abc", "kind=1 file=a", {"op=9 search=abc ERROR"}, ""},
        {"-f a -g", "kind=1 file=a", {"op=9 ERROR"}, "Syntax error: Missing search string.\n"},
        {"-f a -g abc -v", "kind=1 file=a", {"op=9 search=abc ERROR"}, "Syntax error: Missing variable name.\n"},
        {"-f a -gl 0 -v v", "kind=1 file=a", {"op=10 search=0 var=v"}, ""},
        {"-f a -gL 5 -v v", "kind=1 file=a", {"op=10 search=5 var=v"}, ""},
        {"-f a -gl", "kind=1 file=a", {"op=10 ERROR"}, "Syntax error: Missing line number.\n"},
        {"-f a -gl 3", "kind=1 file=a", {"op=10 search=3 ERROR"}, ""},
        {"-f a -v exists", "kind=1 file=a", {"op=7 var=exists"}, ""},
        {"-f a -V exists", "kind=1 file=a", {"op=7 var=exists"}, ""},
        {"-f a -v", "kind=1 file=a", {"op=7 ERROR"}, "Syntax error: Missing variable name.\n"},
        {"-f a -x", "kind=1 file=a", {"op=0 ERROR"}, "Syntax error: Invalid file command.\n"},
        {"-f a -", "kind=1 file=a", {"op=0 ERROR"}, "Syntax error: Invalid file command.\n"},
    });
}

TEST_F(ParserTest, SubcommandSequencesAndModifiers) {
    check({
        {"-file c:\\a.txt -c -rS new old -dl x", "kind=1 file=c:\\a.txt",
         {"op=5 all search=old repl=new cs", "op=3 del=x cs"}, ""},
        {"-f a -ie one -ie two -v n", "kind=1 file=a", {"op=1 pos=2 ins=one", "op=1 pos=2 ins=two var=n"}, ""},
        {"-f a -A -C -il x y", "kind=1 file=a", {"op=1 pos=3 ins=x at=y cs after"}, ""},
        // Result variables are not expanded; the other arguments are.
        {"-f a -fs {dir} -v {dir}", "kind=1 file=a", {"op=8 search=c:\\dest var={dir}"}, ""},
        {"-f %TEMP%\\a.ini -fs x", "kind=1 file=C:\\TEMP\\a.ini", {"op=8 search=x"}, ""},
        // Nothing after the file name, or only modifiers or stray text.
        {"-file c:\\a.txt", "kind=1 file=c:\\a.txt", {}, "Invalid file command.\n"},
        {"-file c:\\a.txt -c", "kind=1 file=c:\\a.txt", {}, "Invalid file command.\n"},
        {"-f a -ie x junk", "kind=1 file=a", {"op=1 pos=2 ins=x"}, "Invalid file command.\n"},
        // A syntax error ends the line.
        {"-f a -x -ie y", "kind=1 file=a", {"op=0 ERROR"}, "Syntax error: Invalid file command.\n"},
    });
}

TEST_F(ParserTest, RegistrySubcommands) {
    check({
        {"-reg LM Software\\Test -m", "kind=2 root=1 key=Software\\Test", {"create"}, ""},
        {"-reg CU \"Software\\My App\" -k", "kind=2 root=2 key=Software\\My App", {"delkey"}, ""},
        {"-reg CU x -d Name", "kind=2 root=2 key=x", {"delval name=Name"}, ""},
        {"-reg CU x -d", "kind=2 root=2 key=x", {"delval"}, ""},
        {"-reg CU x -s Name SZ hello", "kind=2 root=2 key=x", {"name=Name type=1 data=hello"}, ""},
        {"-reg CU x -s Data BN \"0a ff 10\"", "kind=2 root=2 key=x", {"name=Data type=2 data=0a ff 10"}, ""},
        {"-reg CU x -s Count dw 42", "kind=2 root=2 key=x", {"name=Count type=3 data=42"}, ""},
        {"-reg CU x -s Flag NO", "kind=2 root=2 key=x", {"name=Flag type=4"}, ""},
        {"-reg CU x -s Name SZ -m", "kind=2 root=2 key=x", {"name=Name type=1", "create"}, ""},
        {"-reg CU x -s (Default) SZ x", "kind=2 root=2 key=x", {"name=(Default) type=1 data=x"}, ""},
        {"-reg CU x -v Count n", "kind=2 root=2 key=x", {"name=Count var=n"}, ""},
        {"-reg CU x -V Count {n}", "kind=2 root=2 key=x", {"name=Count var={n}"}, ""},
        {"-reg CU {dir} -s {dir} SZ {dir}", "kind=2 root=2 key=c:\\dest", {"name=c:\\dest type=1 data=c:\\dest"}, ""},
        {"-reg CU x -s Name ZZ v", "kind=2 root=2 key=x", {"name=Name ERROR"}, "Syntax error: Invalid root key.\n"},
        {"-reg CU x -s Name", "kind=2 root=2 key=x", {"name=Name ERROR"}, "Syntax error: Invalid root key.\n"},
        {"-reg CU x -q", "kind=2 root=2 key=x", {"ERROR"}, "Syntax error: Invalid registry command.\n"},
        {"-reg CU x", "kind=2 root=2 key=x", {}, "Invalid registry command.\n"},
        {"-reg LM Software\\x -k -s a SZ b", "kind=2 root=1 key=Software\\x", {"delkey", "name=a type=1 data=b"}, ""},
    });
}

TEST_F(ParserTest, EveryStatementClearsTheModifiers) {
    parse("-f a -c -a -ie x");
    ParseCase got = parse("-f a -il x y");
    EXPECT_EQ(got.subs, std::vector<std::string>{"op=1 pos=3 ins=x at=y"});
}

}  // namespace

}  // namespace dravik::test
