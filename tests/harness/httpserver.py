"""A local HTTP server with the behaviours of a real network, for the tests.

It listens on a free port of 127.0.0.1 only and stops by itself after a
bounded lifetime. URLs it hands out use ``localhost`` because Wine derives the
cache file's extension from the whole URL text: a host with dots
(127.0.0.1) and a path without extension makes URLDownloadToCacheFileA fail
before any request is sent.

Routes (the last path segment is a free file name, so the URL can end in
``setup.exe``; sizes and counts are decimal byte numbers):

    /file/<size>/<name>                     200, Content-Length, the whole body
    /redirect/<path...>                     302 to /<path...> on this server
    /trickle/<size>/<chunk>/<ms>/<name>     Content-Length, <chunk> bytes every <ms>
    /stall/<size>/<sent>/<name>             Content-Length <size>, <sent> bytes, then
                                            silence until the client goes away
    /drop/<size>/<sent>/<name>              Content-Length <size>, <sent> bytes, then
                                            the connection is closed
    /reset/<size>/<sent>/<name>             as drop, but the close is a TCP reset
    /nolength/<size>/<name>                 no Content-Length; body, then close
    /nolength-trickle/<size>/<chunk>/<ms>/<name>
                                            no Content-Length, trickled, then close
    /status/<code>/<name>                   that status with a short HTML page

Fixed content can be added with ``add(path, data)``. Every body is
``content(size)``: deterministic bytes whose value depends on the offset, so a
shifted, shortened or repeated copy never compares equal.

Example::

    with HttpTestServer() as server:
        url = server.url('/file/1000/setup.exe')
        ...                                   # download it
        record = server.wait_for_end('/file/1000/setup.exe', timeout=10)
        assert record.outcome == 'complete' and record.bytes_sent == 1000
    refused = refused_url('/setup.exe')       # nothing listens there
"""

import http.server
import random
import select
import socket
import struct
import threading
import time

_PERIOD = 65521  # prime, so the pattern never lines up with buffer sizes
_PATTERN = random.Random(0xC0FFEE).randbytes(_PERIOD)
_SLICE = 1 << 20
_BLOCK = _PATTERN * (_SLICE // _PERIOD + 2)
_VIEW = memoryview(_BLOCK)


def _pieces(size, offset):
    """The body [offset, offset + size) as views of at most one slice each."""
    while size > 0:
        start = offset % _PERIOD
        n = min(size, _SLICE)
        yield _VIEW[start:start + n]
        offset += n
        size -= n


def content(size, offset=0):
    """The body bytes [offset, offset + size) that every route serves."""
    return b''.join(_pieces(size, offset))


def free_port():
    """A loopback port on which nothing listens (at the time of the call)."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


def refused_url(path='/setup.exe'):
    """A URL whose connection is refused."""
    return 'http://localhost:%d%s' % (free_port(), path)


class RequestRecord:
    """What the server saw of one request."""

    def __init__(self, method, path, headers):
        self.method = method
        self.path = path
        self.headers = headers
        self.status = None
        self.declared_length = None  # Content-Length sent, or None
        self.bytes_sent = 0          # body bytes written
        # None while running; then 'complete', 'client-closed', 'dropped',
        # 'stall-ended' (client went away during the silence) or 'stopped'.
        self.outcome = None
        self.started = time.monotonic()
        self.ended = None

    def __repr__(self):
        return '<%s %s %s sent=%d %s>' % (self.method, self.path, self.status,
                                          self.bytes_sent, self.outcome)


class _ClientGone(Exception):
    pass


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'
    server_version = 'CorvaneTestServer/1.0'

    def log_message(self, *args):
        pass

    def do_HEAD(self):
        self._serve(head=True)

    def do_GET(self):
        self._serve(head=False)

    # Route handling -------------------------------------------------------

    def _serve(self, head):
        owner = self.server.owner
        record = owner._begin(self.command, self.path, dict(self.headers.items()))
        self._record = record
        self._head = head
        try:
            self._route(owner, self.path.split('?', 1)[0])
            if record.outcome is None:
                record.outcome = 'complete'
        except _ClientGone:
            record.outcome = record.outcome or 'client-closed'
            self.close_connection = True
        except (ConnectionError, OSError):
            record.outcome = record.outcome or 'client-closed'
            self.close_connection = True
        finally:
            owner._end(record)

    def _route(self, owner, path):
        fixed = owner._fixed.get(path)
        if fixed is not None:
            return self._send_body(200, fixed[1], len(fixed[0]), body=fixed[0])
        parts = path.strip('/').split('/')
        kind, args = parts[0], parts[1:]
        try:
            if kind == 'file' and len(args) == 2:
                return self._send_body(200, 'application/octet-stream', int(args[0]))
            if kind == 'redirect' and args:
                return self._redirect('/' + '/'.join(args))
            if kind == 'trickle' and len(args) == 4:
                return self._send_body(200, 'application/octet-stream', int(args[0]),
                                       chunk=int(args[1]), interval=int(args[2]) / 1000.0)
            if kind == 'stall' and len(args) == 3:
                return self._send_body(200, 'application/octet-stream', int(args[0]),
                                       limit=int(args[1]), after='stall')
            if kind == 'drop' and len(args) == 3:
                return self._send_body(200, 'application/octet-stream', int(args[0]),
                                       limit=int(args[1]), after='drop')
            if kind == 'reset' and len(args) == 3:
                return self._send_body(200, 'application/octet-stream', int(args[0]),
                                       limit=int(args[1]), after='reset')
            if kind == 'nolength' and len(args) == 2:
                return self._send_body(200, 'application/octet-stream', int(args[0]),
                                       length_header=False)
            if kind == 'nolength-trickle' and len(args) == 4:
                return self._send_body(200, 'application/octet-stream', int(args[0]),
                                       chunk=int(args[1]), interval=int(args[2]) / 1000.0,
                                       length_header=False)
            if kind == 'status' and len(args) == 2:
                code = int(args[0])
                page = ('<html><body>%d</body></html>' % code).encode()
                return self._send_body(code, 'text/html', len(page), body=page)
        except ValueError:
            pass
        page = b'<html><body>no such route</body></html>'
        return self._send_body(404, 'text/html', len(page), body=page)

    def _redirect(self, target):
        self._record.status = 302
        self.send_response(302)
        self.send_header('Location', 'http://localhost:%d%s' % (self.server.server_port, target))
        self.send_header('Content-Length', '0')
        self.end_headers()

    def _send_body(self, status, content_type, size, body=None, chunk=None, interval=0.0,
                   limit=None, after=None, length_header=True):
        record = self._record
        record.status = status
        self.send_response(status)
        self.send_header('Content-Type', content_type)
        if length_header:
            record.declared_length = size
            self.send_header('Content-Length', str(size))
        else:
            self.send_header('Connection', 'close')
            self.close_connection = True
        self.end_headers()
        if self._head:
            return
        self.wfile.flush()
        total = size if limit is None else min(size, limit)
        step = chunk if chunk else _SLICE
        stopping = self.server.owner._stopping
        offset = 0
        while offset < total:
            n = min(step, total - offset)
            pieces = [body[offset:offset + n]] if body is not None else _pieces(n, offset)
            for piece in pieces:
                self.connection.sendall(piece)
                record.bytes_sent += len(piece)
            offset += n
            if interval and offset < total:
                if stopping.wait(interval):
                    record.outcome = 'stopped'
                    self.close_connection = True
                    return
        if after == 'stall':
            self._stay_silent()
        elif after in ('drop', 'reset'):
            record.outcome = 'dropped'
            self.close_connection = True
            if after == 'reset':
                # Closed without the orderly shutdown (see _Server), so the
                # client sees a reset instead of the end of the data.
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                           struct.pack('ii', 1, 0))
                self.server.reset_sockets.add(self.connection)
            else:
                self.connection.shutdown(socket.SHUT_RDWR)

    def _stay_silent(self):
        """Sends nothing more until the client closes or the server stops."""
        record = self._record
        owner = self.server.owner
        self.close_connection = True
        while not owner._stopping.is_set():
            readable, _, _ = select.select([self.connection], [], [], 0.2)
            if readable:
                try:
                    data = self.connection.recv(4096)
                except OSError:
                    data = b''
                if not data:
                    record.outcome = 'stall-ended'
                    return
        record.outcome = 'stopped'


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.reset_sockets = set()

    def handle_error(self, request, client_address):
        pass  # a client that goes away is part of the tests, not an error

    def shutdown_request(self, request):
        if request in self.reset_sockets:
            self.reset_sockets.discard(request)
            self.close_request(request)
            return
        super().shutdown_request(request)


class HttpTestServer:
    """Serves the routes above on 127.0.0.1 for at most ``lifetime`` seconds."""

    def __init__(self, lifetime=300.0):
        self.lifetime = lifetime
        self.requests = []
        self._fixed = {}
        self._lock = threading.Condition()
        self._stopping = threading.Event()
        self._server = None
        self._thread = None
        self._deadline = None

    # Life -----------------------------------------------------------------

    def start(self):
        self._server = _Server(('127.0.0.1', 0), _Handler)
        self._server.owner = self
        self._thread = threading.Thread(target=self._server.serve_forever,
                                        kwargs={'poll_interval': 0.1}, daemon=True)
        self._thread.start()
        self._deadline = threading.Timer(self.lifetime, self.stop)
        self._deadline.daemon = True
        self._deadline.start()
        return self

    def stop(self):
        if self._server is None:
            return
        self._stopping.set()
        if self._deadline is not None and threading.current_thread() is not self._deadline:
            self._deadline.cancel()
        self._server.shutdown()
        self._server.server_close()
        self._thread.join(5)
        self._server = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # Addresses and content --------------------------------------------------

    @property
    def port(self):
        return self._server.server_port

    def url(self, path):
        return 'http://localhost:%d%s' % (self.port, path)

    def add(self, path, data, content_type='application/octet-stream'):
        """Serves data at path (exact match, before the routes)."""
        self._fixed[path] = (bytes(data), content_type)

    # What happened ---------------------------------------------------------

    def _begin(self, method, path, headers):
        record = RequestRecord(method, path, headers)
        with self._lock:
            self.requests.append(record)
            self._lock.notify_all()
        return record

    def _end(self, record):
        with self._lock:
            record.ended = time.monotonic()
            self._lock.notify_all()

    def _wait(self, predicate, timeout):
        end = time.monotonic() + timeout
        with self._lock:
            while True:
                found = predicate()
                if found is not None:
                    return found
                left = end - time.monotonic()
                if left <= 0:
                    raise TimeoutError('the server did not see that within %.1f s: %r'
                                       % (timeout, self.requests))
                self._lock.wait(left)

    def wait_for_request(self, path, timeout=10.0):
        """The first request for path; waits until it has arrived."""
        return self._wait(lambda: next((r for r in self.requests if r.path == path), None),
                          timeout)

    def wait_for_end(self, path, timeout=10.0):
        """The first finished request for path; waits until it has finished."""
        return self._wait(lambda: next((r for r in self.requests
                                        if r.path == path and r.ended is not None), None),
                          timeout)
