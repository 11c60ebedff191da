// The script check: reads every statement of a script the way the agent would and reports what
// would go wrong on a workstation, before the script is rolled out. Nothing is executed.
//
// Reported: every message the agent's command parser would log for a command line (its syntax
// errors), @GOTO to a section that no line of the script holds, and @IF/@ELSE/@ENDIF and @DO/@WHILE
// that do not pair up within their section. Line numbers count lines as an editor shows them (CR LF,
// LF or CR each end one line), from 1.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dravik {

struct CheckFinding {
    int line = 0;
    std::string message;  // one line, no line end
};

std::vector<CheckFinding> check_script(std::string_view bytes);

// "file(line): message" lines, each ended by "\n".
std::string format_findings(std::string_view file, const std::vector<CheckFinding>& findings);

}  // namespace dravik
