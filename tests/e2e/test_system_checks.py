"""The system checks of the setup program on the real platform: the
single-instance mutex across processes, the operating-system gate under the
Windows versions Wine can report, and a child process run to its end.

syscheck.exe asks the product's functions one question per run.
"""

import time
import unittest

from harness import WineBox, tool, winpath


def read_answers(path):
    answers = {}
    for line in path.read_text().splitlines():
        key, value = line.split("=", 1)
        answers[key] = int(value)
    return answers


def wait_for_file(path, process, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if path.exists() and path.read_text().strip():
            return
        if process.poll() is not None:
            raise AssertionError(f"the mutex holder ended early; see {process.stderr_path}")
        time.sleep(0.05)
    raise AssertionError("the mutex holder did not report")


class SingleInstanceMutexTest(unittest.TestCase):
    def ask(self, box, name):
        out = box.work / f"{name}.txt"
        box.run(tool("syscheck"), "--out", winpath(out), "mutex", timeout=60)
        return read_answers(out)["already"]

    def test_second_copy_sees_the_first_only_while_it_runs(self):
        with WineBox("mutex") as box:
            self.assertEqual(self.ask(box, "alone"), 0)

            held = box.work / "holder.txt"
            stop = box.work / "stop"
            holder = box.start(tool("syscheck"), "--out", winpath(held), "hold-mutex", winpath(stop))
            wait_for_file(held, holder)
            self.assertEqual(read_answers(held)["already"], 0)
            self.assertEqual(self.ask(box, "while-running"), 1)
            self.assertEqual(self.ask(box, "still-running"), 1)

            stop.write_text("stop")
            self.assertEqual(holder.wait(60).returncode, 0)
            self.assertEqual(self.ask(box, "after-end"), 0)


class WindowsVersionTest(unittest.TestCase):
    """Windows 2000 SP3, XP, Server 2003 and later pass the gate."""

    def versions(self, box):
        out = box.work / "versions.txt"
        box.run(tool("syscheck"), "--out", winpath(out), "versions", timeout=60, check=True)
        return read_answers(out)

    def test_gate_under_the_versions_wine_reports(self):
        cases = [
            # Wine's name, major, minor, supported, vista or later
            ("nt40", 4, 0, 0, 0),
            ("win2k", 5, 0, 1, 0),      # Wine reports Service Pack 4
            ("winxp", 5, 1, 1, 0),       # Service Pack 3
            ("winxp64", 5, 2, 1, 0),
            ("win2003", 5, 2, 1, 0),
            ("vista", 6, 0, 1, 1),
            ("win7", 6, 1, 1, 1),
            # Like Windows, Wine tells a program whose manifest names no later
            # system that it runs on 6.2.
            ("win10", 6, 2, 1, 1),
        ]
        for version, major, minor, supported, vista in cases:
            with self.subTest(version=version), WineBox(f"version-{version}",
                                                        windows_version=version) as box:
                answers = self.versions(box)
                self.assertEqual((answers["major"], answers["minor"]), (major, minor))
                self.assertEqual(answers["supported"], supported)
                self.assertEqual(answers["vista"], vista)
                self.assertEqual(answers["admin"], 1, "Wine's user is an administrator")

    def test_service_pack_counts_only_for_windows_2000(self):
        # Without a Version setting Wine reports what the registry of the
        # prefix says; the service pack number comes from the CSDVersion
        # number of the Windows control key, as on Windows.
        cases = [
            # version, build, service pack, supported
            ("5.0", 2195, 2, 0),
            ("5.0", 2195, 3, 1),
            ("5.0", 2195, 4, 1),
            ("5.1", 2600, 0, 1),
            ("5.2", 3790, 0, 1),
        ]
        for version, build, service_pack, supported in cases:
            with self.subTest(version=version, service_pack=service_pack), \
                    WineBox(f"nt-{version}-sp{service_pack}") as box:
                box.reg_import(f"""
[HKEY_CURRENT_USER\\Software\\Wine]
"Version"=-

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion]
"CurrentVersion"="{version}"
"CurrentBuildNumber"="{build}"
"CSDVersion"="{f'Service Pack {service_pack}' if service_pack else ''}"

[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Windows]
"CSDVersion"=dword:{service_pack << 8:08x}
""")
                answers = self.versions(box)
                major, minor = (int(part) for part in version.split("."))
                self.assertEqual((answers["major"], answers["minor"], answers["servicePack"]),
                                 (major, minor, service_pack))
                self.assertEqual(answers["supported"], supported)
                self.assertEqual(answers["vista"], 0)


class RunProcessTest(unittest.TestCase):
    def test_exit_code_of_a_child_and_of_a_missing_program(self):
        with WineBox("run-process") as box:
            cases = [
                (f'"{winpath(tool("syscheck"))}" exit 5', 5),
                (f'"{winpath(tool("syscheck"))}" exit 0', 0),
                (r'"C:\no such folder\setup.exe"', -1),
            ]
            for number, (command_line, expected) in enumerate(cases):
                with self.subTest(command_line=command_line):
                    out = box.work / f"run-{number}.txt"
                    box.run(tool("syscheck"), "--out", winpath(out), "run", command_line,
                            timeout=60, check=True)
                    self.assertEqual(read_answers(out)["result"], expected)


if __name__ == "__main__":
    unittest.main()
