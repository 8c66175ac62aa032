#!/usr/bin/python3
"""Runs one Windows console program in a fresh WineBox; exits with its exit code.

    /usr/bin/python3 tests/harness/run_in_wine.py PROGRAM.exe [ARGUMENTS...]

The program's output is copied to this process's stdout and stderr after it
ended (wine's own output never goes through a pipe). The timeout is
CORVANE_RUN_TIMEOUT seconds (default 600).
"""

import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

from harness import WineBox  # noqa: E402


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    program = Path(argv[1]).resolve()
    timeout = float(os.environ.get("CORVANE_RUN_TIMEOUT", "600"))
    with WineBox(program.stem) as box:
        try:
            result = box.run(program, *argv[2:], timeout=timeout)
        except TimeoutError as error:
            print(f"run_in_wine: {error}", file=sys.stderr)
            return 124
        sys.stdout.write(result.stdout)
        sys.stdout.flush()
        sys.stderr.write(result.stderr)
        sys.stderr.flush()
        return result.returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv))
