"""The script language in the real agent under Wine: variables from the command line and the
environment, expansion in statements, conditions, loops and section calls."""
from harness import WineTestCase, ENV


class ScriptLanguage(WineTestCase):
    def test_variables_conditions_and_a_section_call(self):
        self.write_script("lang.sdf", f"""[Update]
update = Language
log = {self.win('lang.log')}

[Common]
@SET who = "{{Dept}} at {{Site}}"
@IF {{who}} = "sales at north hall"
@SET key = {{DkKey}}
@ELSE
@SET key = wrong
@ENDIF
@SET home = %DRAVIK_LANG%
@SET escaped = %%DRAVIK_LANG%%
@DO
@SET i + 1
@WHILE {{i}} < 3
@GOTO Install
@MID {{home}} part 2 3
@IF {{part}} != bcd
@END
@ENDIF
[Install]
@SET installed = {{who}}/{{key}}/{{i}}
@RETURN
[Cleanup]
@IF {{installed}} = "Sales at North Hall/k9/3"
; cleanup saw the call's result
@ENDIF
""")
        ENV["DRAVIK_LANG"] = "abcdef"
        try:
            code = self.run_command_line('lang.sdf Dept=Sales -V Site="North Hall" -P k9')
        finally:
            del ENV["DRAVIK_LANG"]
        self.assertEqual(code, 0)
        log = self.log_entries("lang.log")
        expected = [
            "Searching for section, [Common]",
            "Section found, Reading commands.",
            '@SET who = "{Dept} at {Site}", Variable set.',
            '@IF {who} = "sales at north hall", Evaluated as TRUE.',
            "@SET key = {DkKey}, Variable set.",
            "@ELSE, Skipping ELSE block.",
            "@ENDIF, Found end of IF block.",
            "@SET home = %DRAVIK_LANG%, Variable set.",
            "@SET escaped = %%DRAVIK_LANG%%, Variable set.",
            "@DO, Starting DO-WHILE block.",
            "@SET i + 1, Variable set.",
            "@WHILE {i} < 3, Evaluated as TRUE.",
            "@SET i + 1, Variable set.",
            "@WHILE {i} < 3, Evaluated as TRUE.",
            "@SET i + 1, Variable set.",
            "@WHILE {i} < 3, Finished processing DO-WHILE block.",
            "@GOTO Install, Calling the Install section.",
            "Searching for section, [Install]",
            "Section found, Reading commands.",
            "@SET installed = {who}/{key}/{i}, Variable set.",
            "@RETURN, Finished this section.",
            "Searching for section, [Common]",
            "Section found, Resuming execution.",
            "@MID {home} part 2 3, MID successful.",
            "@IF {part} != bcd,  Evaluated as FALSE.",
            "@ENDIF, Found end of IF block.",
            "Searching for section, [Cleanup]",
            "Section found, Reading commands.",
            '@IF {installed} = "Sales at North Hall/k9/3", Evaluated as TRUE.',
            "; cleanup saw the call's result, Comment ignored.",
            "@ENDIF, Found end of IF block.",
            "Update completed, Language",
        ]
        self.assertEqual(log[1:], expected)

    def test_end_skips_cleanup_and_log_path_uses_variables(self):
        # The log path itself is expanded with {name}: DravikPath is the agent's own folder.
        self.write_script("end.sdf", f"""[Update]
update = Stop
log = "{self.win('')}\\{{Name}}.log"
[Common]
@SET n = 1
@END
@SET n = 2
[Cleanup]
@SET cleanup = ran
""")
        self.assertEqual(self.run_command_line("end.sdf Name=stopped"), 0)
        log = self.log_entries("stopped.log")
        self.assertEqual(log[-2:], ["@END, Stopping the update.", "Update completed, Stop"])
        self.assertNotIn("Searching for section, [Cleanup]", log)
