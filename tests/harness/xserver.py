"""One X server for the tests: the one in DISPLAY, or an own Xvfb.

tests/run_all.sh starts one Xvfb for the whole run and exports DISPLAY. A test
file run alone without DISPLAY gets an Xvfb of its own, on a display number
that the server picks itself, stopped by its pid when the process exits.
"""

import atexit
import os
import select
import subprocess

_own_server = None


def _stop_own_server():
    global _own_server
    if _own_server is None:
        return
    _own_server.terminate()
    try:
        _own_server.wait(timeout=5)
    except subprocess.TimeoutExpired:
        _own_server.kill()
        _own_server.wait(timeout=5)
    _own_server = None


def start_xvfb(log_path=os.devnull):
    """Starts Xvfb on a free display; returns (Popen, ':N')."""
    read_end, write_end = os.pipe()
    log = open(log_path, "ab")
    try:
        server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
            start_new_session=True)
    finally:
        os.close(write_end)
        log.close()
    number = b""
    try:
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], 15)
            if not ready:
                break
            chunk = os.read(read_end, 64)
            if not chunk:
                break
            number += chunk
    finally:
        os.close(read_end)
    if not number.strip():
        server.kill()
        server.wait(timeout=5)
        raise RuntimeError("Xvfb did not report a display number")
    return server, ":" + number.decode().strip()


def ensure_display() -> str:
    """Returns the display to use, starting an own Xvfb when there is none."""
    global _own_server
    display = os.environ.get("DISPLAY")
    if display:
        return display
    _own_server, display = start_xvfb()
    atexit.register(_stop_own_server)
    os.environ["DISPLAY"] = display
    return display
