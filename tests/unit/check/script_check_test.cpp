#include "script_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dravik {
namespace {

std::vector<std::string> check(const std::string& script) {
    std::vector<std::string> out;
    for (const CheckFinding& f : check_script(script)) out.push_back(std::to_string(f.line) + ": " + f.message);
    return out;
}

// A script that uses every statement kind correctly, variables in place of arguments included.
TEST(ScriptCheck, CleanScriptHasNoFindings) {
    const std::string script =
        "[Update]\r\nupdate = Clean\r\nlog = c:\\u.log\r\n"
        "[Common]\r\n; a comment\r\n@SET n = 0\r\n@DO\r\n@SET n + 1\r\n@IF {n} = 2\r\n$ two\r\n"
        "@ELSEIF {n} = 3\r\n@ELSE\r\n@ENDIF\r\n@WHILE {n} < 3\r\n"
        "-file {ini} -il \"x=1\" \"[s]\" -v done\r\n-reg LM Software\\X -s V SZ 1\r\n"
        "-program {setup} \"/q\" wait\r\n-rido c:\\a.zip -u c:\\out -o\r\necho batch line\r\n"
        "@GOTO Install\r\n@GOTO {where}\r\n@END\r\n[Install]\r\n-shortcut x.lnk c:\\x.exe\r\n@RETURN\r\n";
    EXPECT_EQ(check(script), std::vector<std::string>{});
}

// One mistake of each kind; the lines are reported in order, as the agent would log them.
TEST(ScriptCheck, ReportsEachKindOfMistakeAtItsLine) {
    const std::string script =
        "[Update]\nupdate = Seeded\n"
        "[Common]\n"
        "-file\n"                   // 4
        "-reg ZZ Software\\x -m\n"  // 5
        "-file c:\\a.ini -g abc\n"  // 6: silent syntax error
        "-rido c:\\a.zip -c\n"      // 7
        "-quit now\n"               // 8
        "@GOTO Missing\n"           // 9
        "@GOTO install\n"           // 10: sections are found without regard to case
        "@ENDIF\n"                  // 11
        "@WHILE {n} < 2\n"          // 12
        "@ELSE\n"                   // 13
        "@DO\n"                     // 14
        "@IF a = b\n"               // 15
        "@ENDIF\n"                  // 16
        "@ENDIF\n"                  // 17: closes the @DO of line 14
        "@IF {x} = 1\n"             // 18: never closed
        "[Install]\n"
        "-wait\n";  // 20
    EXPECT_EQ(check(script), (std::vector<std::string>{
                                 "4: Syntax error: Missing filename.",
                                 "5: Syntax error: Invalid root key.",
                                 "6: Syntax error: \"-v\" and a variable name are required.",
                                 "7: Syntax error: Missing file spec.",
                                 "8: Syntax error: Invalid command.",
                                 "9: @GOTO to a section that does not exist: [Missing]",
                                 "11: @ENDIF without a matching @IF.",
                                 "12: @WHILE without a matching @DO.",
                                 "13: @ELSE without a matching @IF.",
                                 "17: @ENDIF closes the @DO block of line 14.",
                                 "18: @IF without a matching @ENDIF in section [Common].",
                                 "20: Syntax error: Missing process to wait for.",
                             }));
    EXPECT_EQ(format_findings("s.sdf", check_script("[Common]\r\n\r\n-q\r\n")),
              "s.sdf(3): Syntax error: Invalid command.\n");
}

}  // namespace
}  // namespace dravik
