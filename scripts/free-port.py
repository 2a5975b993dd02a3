#!/usr/bin/env python3
"""Prints a TCP port on 127.0.0.1 that nothing listens on: PREFERRED when it is free, else one at
random below the kernel's range for outgoing connections, where no connection of another program
lands meanwhile. Runs side by side (two checkouts' make check) so pick ports of their own.

  free-port.py [PREFERRED]
"""
import random
import socket
import sys


def is_free(port):
    # As the test server binds: an old connection in TIME_WAIT does not stand in its way.
    probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        probe.bind(("127.0.0.1", port))
        return True
    except OSError:
        return False
    finally:
        probe.close()


def main():
    preferred = int(sys.argv[1]) if len(sys.argv) > 1 and sys.argv[1].isdigit() else 0
    if 0 < preferred < 65536 and is_free(preferred):
        print(preferred)
        return 0
    try:
        with open("/proc/sys/net/ipv4/ip_local_port_range") as f:
            outgoing = int(f.read().split()[0])
    except (OSError, ValueError, IndexError):
        outgoing = 32768
    low = 20000 if outgoing > 21000 else 1024
    for _ in range(200):
        port = random.randrange(low, outgoing)
        if is_free(port):
            print(port)
            return 0
    print("free-port: no free port found below %d" % outgoing, file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
