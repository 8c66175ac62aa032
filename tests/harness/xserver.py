"""X servers for the tests.

Every WineBox gets an Xvfb of its own (box_display): Wine follows the X
keyboard focus, so on a shared display a window that appears in one test's
box takes the focus and the activation away from the windows of a test
running beside it. CORVANE_DISPLAY=:N makes every box use that display
instead (to watch a test, say). Each Xvfb picks a free display number itself
and is stopped by its pid.
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


def stop_xvfb(server):
    if server is None or server.poll() is not None:
        return
    server.terminate()
    try:
        server.wait(timeout=5)
    except subprocess.TimeoutExpired:
        server.kill()
        server.wait(timeout=5)


def box_display(log_path=os.devnull):
    """(Xvfb process or None, display) for one box."""
    forced = os.environ.get("CORVANE_DISPLAY")
    if forced:
        return None, forced
    return start_xvfb(log_path)


def ensure_display() -> str:
    """A display for work outside a box: DISPLAY, or an Xvfb of this process
    (stopped at exit)."""
    global _own_server
    display = os.environ.get("DISPLAY")
    if display:
        return display
    _own_server, display = start_xvfb()
    atexit.register(_stop_own_server)
    os.environ["DISPLAY"] = display
    return display
