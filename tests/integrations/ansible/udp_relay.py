#!/usr/bin/env python3
"""Loopback UDP relay between velkaro-cli and velkaro-sim that records every request.

The playbooks point the modules at this relay, which passes each datagram on to the simulator and
each answer back. It appends one line per request to --log, "COMMAND DESTINATION" (command byte
0 discover, 1 read, 2 write, 3 upgrade trigger; destination as 16 hex digits), so a test can tell
whether the simulator received a write. --mute MAC drops the read, write and trigger requests to
that device while it still answers discoveries: a device that is found and then stays silent.
Only 127.0.0.0/8 is ever sent to; the relay ends after --lifetime seconds at the latest.
"""

import argparse
import ipaddress
import selectors
import signal
import socket
import sys
import time

MAX_CLIENTS = 4096
COMMAND_OFFSET = 24


def loopback_endpoint(text):
    host, _, port = text.rpartition(':')
    if not ipaddress.ip_address(host).is_loopback:
        raise argparse.ArgumentTypeError('%s is not a loopback address' % host)
    return host, int(port)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--upstream', type=loopback_endpoint, required=True,
                        help='the simulator, 127.0.0.1:PORT')
    parser.add_argument('--log', required=True, help='file that gets one line per request')
    parser.add_argument('--mute', default='', help='MAC (12 hex digits) whose reads to drop')
    parser.add_argument('--lifetime', type=float, default=600.0)
    args = parser.parse_args()
    mute = bytes.fromhex(args.mute) if args.mute else None

    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.bind(('127.0.0.1', 0))
    selector = selectors.DefaultSelector()
    selector.register(listener, selectors.EVENT_READ, None)
    upstream_of = {}  # client address -> socket towards the simulator
    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(True))
    signal.signal(signal.SIGINT, lambda *_: stop.append(True))
    print('relay listening on 127.0.0.1:%d' % listener.getsockname()[1], flush=True)

    deadline = time.monotonic() + args.lifetime
    with open(args.log, 'a', buffering=1) as log:
        while not stop and time.monotonic() < deadline:
            for key, _ in selector.select(timeout=0.2):
                if key.data is None:
                    data, client = listener.recvfrom(65535)
                    if len(data) <= COMMAND_OFFSET:
                        continue
                    command, destination = data[COMMAND_OFFSET], data[:8]
                    log.write('%d %s\n' % (command, destination.hex()))
                    if mute is not None and command in (1, 2, 3) and destination[2:] == mute:
                        continue
                    up = upstream_of.get(client)
                    if up is None:
                        if len(upstream_of) >= MAX_CLIENTS:
                            old_client, old = next(iter(upstream_of.items()))
                            selector.unregister(old)
                            old.close()
                            del upstream_of[old_client]
                        up = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                        up.bind(('127.0.0.1', 0))
                        selector.register(up, selectors.EVENT_READ, client)
                        upstream_of[client] = up
                    up.sendto(data, args.upstream)
                else:
                    data, _ = key.fileobj.recvfrom(65535)
                    listener.sendto(data, key.data)
    return 0


if __name__ == '__main__':
    sys.exit(main())
