"""The development host's own behaviour, through the module as it is: the
menu path and what it publishes, the disabled module, the panel it shows and
reports, its options, and its terminal when a user is at it."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import end, make_panel, message_texts, ops, run_host, start, trace_text, under_wine  # noqa: E402


def setUpModule():
    start()


# Options of the host, each with a value its --help example shows.
OPTIONS = ["--module", "--dir", "--select", "--cursor", "--lang", "--command", "--startup-size",
           "--stack-offset", "--keys", "--keys-mid-file", "--dialog", "--name", "--trace",
           "--notice-keys", "--batch", "--quiet", "--help"]


def full_startup_size():
    """The size of the host's whole startup record, 372 on the Windows build;
    --help tells it."""
    match = re.search(r"--startup-size N .*\(default (\d+),", run_host(["--help"]).stdout)
    return int(match.group(1))


class MenuPath(unittest.TestCase):
    def test_publishes_the_menu_entry_and_the_prefix(self):
        run = run_host(["--dialog", "close"])
        self.assertEqual(run.status, 0, run.stdout)
        published = ops(run.trace, "GetPluginInfo")
        self.assertEqual(len(published), 1)
        self.assertEqual(published[0]["menu"], [trace_text(message_texts()[0])])
        self.assertEqual(published[0]["prefix"], "md5")
        self.assertEqual(published[0]["size"], 44)
        self.assertEqual(end(run.trace), {"op": "end", "result": -1, "selected": [],
                                          "unrestored": 0, "threads_left": 0,
                                          "handles_left": 0})

    def test_texts_of_another_language_arrive_byte_for_byte(self):
        run = run_host(["--lang", "Rus", "--dialog", "close"])
        self.assertEqual(run.status, 0, run.stdout)
        russian = message_texts("Rus")[0]
        self.assertNotEqual(russian, message_texts()[0])
        self.assertEqual(ops(run.trace, "GetPluginInfo")[0]["menu"], [trace_text(russian)])

    def test_startup_record_below_the_minimum_disables_the_module(self):
        full = full_startup_size()
        for size, disabled in [(0, True), (full - 1, True), (full, False), (full + 1000, False)]:
            with self.subTest(size=size):
                run = run_host(["--startup-size", str(size), "--dialog", "close"])
                self.assertEqual(run.status, 0, run.stdout)
                published = ops(run.trace, "GetPluginInfo")[0]
                if disabled:
                    # Nothing else either: no texts fetched, no dialog.
                    self.assertEqual(run.trace, [{"op": "GetPluginInfo", "untouched": True},
                                                 end(run.trace)])
                    self.assertIn("no menu entry", run.stdout)
                else:
                    self.assertEqual(published["prefix"], "md5")
                self.assertEqual(end(run.trace)["result"], -1)

    def test_disabled_module_ignores_the_command_line(self):
        run = run_host(["--startup-size", str(full_startup_size() - 1), "--command",
                        "sigfile.md5"])
        self.assertEqual(run.status, 0, run.stdout)
        self.assertEqual(run.trace, [{"op": "end", "result": -1, "selected": [],
                                      "unrestored": 0, "threads_left": 0,
                                      "handles_left": 0}])


class PanelShown(unittest.TestCase):
    def test_selection_is_reported_in_panel_order(self):
        with make_panel({"b.txt": "b", "a.txt": "a", "c.txt": "c"}, dirs=["sub"]) as panel:
            run = run_host(["--select", "c.txt", "--select", "sub", "--select", "a.txt",
                            "--cursor", "b.txt", "--dialog", "close"], dir=panel)
            self.assertEqual(run.status, 0, run.stdout)
            self.assertEqual(end(run.trace)["selected"], ["sub", "a.txt", "c.txt"])

    def test_options_take_their_value_joined_as_well(self):
        with make_panel({"a.txt": "a", "b.txt": "b"}) as panel:
            run = run_host(["--select=a.txt", "--select", "b.txt", "--dialog=close", "--name="],
                           dir=panel)
            self.assertEqual(run.status, 0, run.stdout)
            self.assertEqual(end(run.trace)["selected"], ["a.txt", "b.txt"])
            self.assertEqual(ops(run.trace, "RunDialog")[0]["result"], 6)

    def test_panel_directory_given_as_an_absolute_path(self):
        with make_panel({"only.txt": "x"}) as panel:
            run = run_host(["--select", "only.txt", "--dialog", "close"], dir=panel.path)
            self.assertEqual(run.status, 0, run.stdout)
            self.assertEqual(end(run.trace)["selected"], ["only.txt"])

    def test_without_a_trace_the_panel_is_printed_with_the_selection_marked(self):
        with make_panel({"a.txt": "a", "b.txt": "b"}) as panel:
            run = run_host(["--select", "b.txt", "--dialog", "close"], dir=panel, trace=False)
            self.assertEqual(run.status, 0, run.stdout)
            lines = run.stdout.splitlines()
            self.assertRegex(lines[-4], r"^>  \.\. +<DIR>$")
            self.assertEqual(lines[-3:], ["   a.txt", " * b.txt", "1 item selected"])
            self.assertIn("Prefix: md5", lines)

    def test_quiet_draws_nothing(self):
        run = run_host(["--quiet", "--dialog", "close"], trace=False)
        self.assertEqual(run.status, 0, run.stdout)
        self.assertEqual(run.stdout, "")

    def test_typed_keys_reach_the_console_input(self):
        # The module is not asked to read them here; the host must still be
        # able to put them there, through a pseudo-terminal or the console.
        run = run_host(["--dialog", "close"], keys="a,b,esc,up,enter")
        self.assertEqual(run.status, 0, run.stdout)
        self.assertEqual(end(run.trace)["result"], -1)


def run_script(script, files=None, args=()):
    """Runs the stand-in module with a script of host calls (see
    scripted_module.cpp) on a panel of the given files."""
    module = os.environ["SUMBREL_SCRIPTED_MODULE"]
    return run_host(["--module", module, "--command", script] + list(args), files=files)


@unittest.skipUnless(os.environ.get("SUMBREL_SCRIPTED_MODULE"), "no stand-in module built")
class ContractCheck(unittest.TestCase):
    def test_every_screen_image_must_come_back_exactly_once(self):
        cases = [
            ("save,restore:1", 0, 0, ""),
            ("save,save,restore:2,restore:1", 0, 0, ""),
            ("save,save,restore:1", 3, 1, "screen image 2 never restored"),
            ("save,restore:1,restore:1", 3, 0, "screen image 1 restored twice"),
            ("restore:7", 3, 0, "screen image 7 restored but never saved"),
        ]
        for script, status, unrestored, complaint in cases:
            with self.subTest(script=script):
                run = run_script(script)
                self.assertEqual(run.status, status, run.stdout)
                self.assertEqual(end(run.trace)["unrestored"], unrestored)
                if complaint:
                    self.assertIn("sumbrel-host: " + complaint, run.stdout)
                handles = [line["handle"] for line in ops(run.trace, "SaveScreenImage")]
                self.assertEqual(handles, list(range(1, len(handles) + 1)))

    def test_refresh_keeps_the_selection_only_when_asked(self):
        files = {"a.txt": "a", "b.txt": "b"}
        cases = [
            # The module selects b.txt, then a file appears in the current
            # directory, which is the panel's, and the panel is re-read.
            ("get,select:b.txt,apply,touch:new.txt,refresh:keep", ["a.txt", "b.txt"]),
            ("get,select:b.txt,apply,touch:new.txt,refresh:0", []),
            # After the refresh the new file is on the panel.
            ("touch:new.txt,refresh:0,get,select:new.txt,apply", ["new.txt"]),
            ("get,unselect:a.txt,select:b.txt", ["a.txt"]),  # never applied
        ]
        for script, selected in cases:
            with self.subTest(script=script):
                run = run_script(script, files, ["--select", "a.txt"])
                self.assertEqual(run.status, 0, run.stdout)
                self.assertEqual(end(run.trace)["selected"], selected)

    def test_panel_commands_name_their_arguments(self):
        run = run_script("get,refresh:keep,refresh:0,redraw,apply", {"a.txt": "a"})
        self.assertEqual(run.status, 0, run.stdout)
        self.assertEqual([(line["panel"], line["command"], line["arg"])
                          for line in ops(run.trace, "PanelCommand")],
                         [(-1, 1, "info"), (-1, 3, "info"), (-1, 3, 0), (-1, 5, 0),
                          (-1, 10, "info")])

    def test_records_the_host_did_not_hand_out_are_refused(self):
        for script in ["get,select:a.txt,apply-copy", "other-panel"]:
            with self.subTest(script=script):
                run = run_script(script, {"a.txt": "a"})
                self.assertEqual(run.status, 3, run.stdout)
                self.assertEqual(end(run.trace)["selected"], [])

    def test_a_notice_names_a_topic_of_the_help_and_f1_opens_it(self):
        cases = [("Contents", 0, "Help: Contents"),
                 ("Elsewhere", 3, "with the help topic Elsewhere, which the help lacks"),
                 ("-", 3, "ShowMessageBox without a help topic")]
        for topic, status, told in cases:
            with self.subTest(topic=topic):
                run = run_script("topic-notice:" + topic, args=["--notice-keys", "f1,enter"])
                self.assertEqual(run.status, status, run.stdout)
                self.assertIn(told, run.stdout)
                self.assertEqual(ops(run.trace, "Help"),
                                 [{"op": "Help", "topic": None if topic == "-" else topic}])

    def test_texts_are_traced_byte_for_byte(self):
        text = b"\xe9t\xc3\xa9 \x01\"\\ \xf0\x9f\x98\x80\xff"
        script = "notice:" + "".join("%%%02x" % byte for byte in text)
        run = run_script(script)
        self.assertEqual(run.status, 0, run.stdout)
        self.assertEqual(ops(run.trace, "ShowMessageBox")[0]["texts"],
                         ["Scripted", trace_text(text)])


@unittest.skipUnless(os.environ.get("SUMBREL_SCRIPTED_MODULE"), "no stand-in module built")
class StackOffset(unittest.TestCase):
    def test_every_entry_is_called_at_the_offset_chosen(self):
        # Opened from the menu, the stand-in shows where each entry found the
        # stack. A 64-bit build has no offset but 0 to offer.
        offered = [0, 4, 8, 12] if under_wine() else [0]
        module = os.environ["SUMBREL_SCRIPTED_MODULE"]
        for offset in [0, 4, 8, 12]:
            with self.subTest(offset=offset):
                run = run_host(["--module", module, "--stack-offset", str(offset)])
                if offset not in offered:
                    self.assertEqual(run.status, 2, run.stdout)
                    self.assertIn("--stack-offset", run.stdout)
                    continue
                self.assertEqual(run.status, 0, run.stdout)
                self.assertEqual([line["texts"] for line in ops(run.trace, "ShowMessageBox")],
                                 [["Scripted", "%d %d %d" % (offset, offset, offset)]])


class BadUse(unittest.TestCase):
    def assertBadUse(self, run, words):
        self.assertEqual(run.status, 2, run.stdout)
        lines = run.stdout.splitlines()
        self.assertEqual(len(lines), 1, run.stdout)
        self.assertTrue(lines[0].startswith("sumbrel-host: "), lines[0])
        self.assertIn(words, lines[0])
        self.assertEqual(run.trace, [])

    def test_options_it_cannot_use(self):
        cases = [
            (["--bogus"], "unknown option --bogus"),
            (["stray"], "unexpected argument stray"),
            (["--select"], "--select needs a value"),
            (["--batch=yes"], "--batch takes no value"),
            (["--select=missing.txt"], "missing.txt"),
            (["--dialog", "maybe"], "--dialog"),
            (["--keys", "a,,b"], "--keys"),
            (["--keys", "f1"], "f1"),
            (["--startup-size", "-1"], "--startup-size"),
            (["--startup-size", "12kb"], "--startup-size"),
            (["--startup-size", "4294967296"], "--startup-size"),
            (["--stack-offset", "6"], "--stack-offset"),
            (["--stack-offset", "16"], "--stack-offset"),
            (["--select", "missing.txt"], "missing.txt"),
            (["--cursor", "missing.txt"], "missing.txt"),
            (["--lang", "Xyz"], "SumbrelXyz.lng"),
            (["--dir", "no-such-directory"], "no-such-directory"),
            (["--trace", "no-such-directory/trace.jsonl"], "trace"),
        ]
        for args, words in cases:
            with self.subTest(args=args):
                self.assertBadUse(run_host(args, files={"a.txt": "a"}, trace=False), words)

    def test_missing_module(self):
        self.assertBadUse(run_host(["--module", "no-such-module.so"], trace=False),
                          "no-such-module.so")

    def test_library_without_the_three_exports(self):
        library = "kernel32.dll" if under_wine() else "libc.so.6"
        self.assertBadUse(run_host(["--module", library], trace=False), "lacks")


class Help(unittest.TestCase):
    def test_lists_every_option_with_an_example(self):
        run = run_host(["--help"], trace=False)
        self.assertEqual(run.status, 0, run.stdout)
        lines = run.stdout.splitlines()
        for option in OPTIONS:
            with self.subTest(option=option):
                described = [i for i, line in enumerate(lines)
                             if line.lstrip().startswith(option + " ") or line.strip() == option]
                self.assertEqual(len(described), 2, "a description and an example line")
                example = lines[described[1]]
                self.assertTrue(example.startswith("   "), example)


@unittest.skipIf(os.name != "posix" or under_wine(), "needs a terminal the test can type at")
class AtATerminal(unittest.TestCase):
    def test_dialog_asks_and_the_terminal_comes_back_as_it_was(self):
        import pty
        import termios

        master, slave = pty.openpty()
        try:
            before = termios.tcgetattr(slave)
            # Keep the module's field text, then take the third button.
            os.write(master, b"\nl\n")
            with make_panel({"a.txt": "a"}) as panel:
                run = run_host([], dir=panel, batch=False, stdin=slave)
            self.assertEqual(run.status, 0, run.stdout)
            dialogs = ops(run.trace, "RunDialog")
            self.assertEqual(len(dialogs), 1)
            self.assertEqual(dialogs[0]["result"], 6)
            self.assertIn("Button:", run.stdout)
            self.assertEqual(termios.tcgetattr(slave), before)
        finally:
            os.close(master)
            os.close(slave)


if __name__ == "__main__":
    unittest.main()
