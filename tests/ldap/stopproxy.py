#!/usr/bin/env python3
# stopproxy.py --
#
#	Stops a real slapd in the middle of a paged search: a TCP proxy in
#	front of it that passes every byte on and, on each connection, once
#	the server's second search result (the root DSE's, then the first
#	page's) has gone to the client, stops the slapd with SIGSTOP. When
#	that client's connection closes, or at the latest after 60 s, the
#	slapd is continued (SIGCONT).
#
#	Usage: stopproxy.py PORT TARGET_PORT SLAPD_PIDFILE   (127.0.0.1, until killed)

import os
import signal
import socket
import socketserver
import sys
import threading

SEARCH_RESULT = 0x65
LONGEST_STOP = 60.0


def message_ends(buffer):
    """The lengths and operation tags of the whole LDAP messages at the start of buffer."""
    out = []
    at = 0
    while True:
        if len(buffer) - at < 2:
            return out
        head = buffer[at + 1]
        size_at = at + 2
        if head & 0x80:
            count = head & 0x7F
            if len(buffer) - size_at < count:
                return out
            length = int.from_bytes(buffer[size_at:size_at + count], "big")
            size_at += count
        else:
            length = head
        end = size_at + length
        if len(buffer) < end:
            return out
        # The message id (an INTEGER) comes first, then the operation.
        id_length = buffer[size_at + 1]
        out.append((end - at, buffer[size_at + 2 + id_length]))
        at = end


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        pid = int(open(self.server.pidfile).read().strip())
        upstream = socket.create_connection(("127.0.0.1", self.server.target))
        stopped = threading.Event()
        lock = threading.Lock()

        def resume():
            with lock:
                if stopped.is_set():
                    os.kill(pid, signal.SIGCONT)
                    stopped.clear()

        def downstream():
            pending = b""
            results = 0
            try:
                while True:
                    data = upstream.recv(65536)
                    if not data:
                        break
                    pending += data
                    for length, op in message_ends(pending):
                        self.request.sendall(pending[:length])
                        pending = pending[length:]
                        if op == SEARCH_RESULT:
                            results += 1
                            if results == 2:
                                with lock:
                                    os.kill(pid, signal.SIGSTOP)
                                    stopped.set()
                                threading.Timer(LONGEST_STOP, resume).start()
            except OSError:
                pass

        reader = threading.Thread(target=downstream, daemon=True)
        reader.start()
        try:
            while True:
                data = self.request.recv(65536)
                if not data:
                    break
                upstream.sendall(data)
        except OSError:
            pass
        resume()
        upstream.close()


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


if __name__ == "__main__":
    with Server(("127.0.0.1", int(sys.argv[1])), Handler) as server:
        server.target = int(sys.argv[2])
        server.pidfile = sys.argv[3]
        server.serve_forever()
