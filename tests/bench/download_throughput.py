"""Throughput of DownloadToCache with the progress window, against curl.

Downloads one large file from the local test server through downloadhost (the
real progress window, the real callback, the worker thread and the wait loop)
and the same kind of URL with curl, alternating, in one run, and prints both
rates and their ratio. The progress window must not be what limits a
transfer: the aim is a ratio of at least 0.8. A third client, downloadhost
--bare, calls the platform's URLDownloadToCacheFileA alone (no window, no
callback, no worker), which tells the cost of the progress window apart from
the speed of the platform's own download.

Not part of the test suite (it moves about 2 GB through loopback and disk):

    CORVANE_BUILD_DIR=build-download/win64 PYTHONPATH=tests \\
        /usr/bin/python3 tests/bench/download_throughput.py [--mb 256] [--rounds 3]

Each round uses a URL of its own, so that no run is served from Wine's cache.
Both clients write their copy to the same disk. The best round of each client
counts, which keeps the noise of a shared machine out of the ratio.
"""

import argparse
import shutil
import subprocess
import sys
import time

from harness import WineBox, tool
from harness.httpserver import HttpTestServer


def run_host(box, url, timeout, *options):
    process = box.start(tool("downloadhost"), "--title", "Corvane bench", *options, url)
    result = process.wait(timeout)
    facts = dict(line.partition(" ")[::2] for line in result.stdout.splitlines())
    if int(facts.get("result", "1"), 16) != 0:
        raise SystemExit("downloadhost failed: %r" % facts)
    cached = box.c_path(facts["file"])
    size = cached.stat().st_size
    cached.unlink()  # keep the disk use of the rounds bounded
    return size, int(facts["elapsed"]) / 1000.0


def run_curl(url, target, timeout):
    started = time.monotonic()
    subprocess.run(["curl", "-s", "-S", "--fail", "--max-time", str(int(timeout)), "-o",
                    str(target), url], check=True)
    seconds = time.monotonic() - started
    size = target.stat().st_size
    target.unlink()
    return size, seconds


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mb", type=int, default=256, help="file size in MB (default 256)")
    parser.add_argument("--rounds", type=int, default=3, help="rounds per client (default 3)")
    options = parser.parse_args()
    if shutil.which("curl") is None:
        raise SystemExit("curl is needed (scripts/setup.sh installs it)")
    size = options.mb << 20
    timeout = 120 + options.mb

    best = {"host": None, "bare": None, "curl": None}
    with HttpTestServer(lifetime=options.rounds * 2 * timeout) as server, \
            WineBox("bench-download") as box:
        # Warm up Wine (services, urlmon) so the first round is not penalised.
        run_host(box, server.url("/file/1000/warmup.exe"), 60)
        for number in range(options.rounds):
            for client in ("host", "bare", "curl"):
                url = server.url("/file/%d/%s%d.exe" % (size, client, number))
                if client == "host":
                    got, seconds = run_host(box, url, timeout)
                elif client == "bare":
                    got, seconds = run_host(box, url, timeout, "--bare")
                else:
                    got, seconds = run_curl(url, box.work / "curl.bin", timeout)
                if got != size:
                    raise SystemExit("%s received %d of %d bytes" % (client, got, size))
                rate = size / seconds / (1 << 20)
                print("round %d %-4s %7.2f s %8.1f MB/s" % (number + 1, client, seconds, rate))
                sys.stdout.flush()
                if best[client] is None or rate > best[client]:
                    best[client] = rate

    ratio = best["host"] / best["curl"]
    print("best of %d rounds, %d MB: DownloadToCache with the progress window %.1f MB/s, "
          "the platform's call alone %.1f MB/s, curl %.1f MB/s"
          % (options.rounds, options.mb, best["host"], best["bare"], best["curl"]))
    print("ratio to curl %.2f; ratio to the platform's call alone %.2f"
          % (ratio, best["host"] / best["bare"]))
    return 0 if ratio >= 0.8 else 1


if __name__ == "__main__":
    sys.exit(main())
