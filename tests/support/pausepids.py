#!/usr/bin/env python3
"""Runs a command the way a busy machine runs it: the processes the command
starts (its children, e.g. the tests ctest runs) are stopped for STOP ms in
every PERIOD ms with SIGSTOP/SIGCONT, and the given ports are held by this
process for the whole run (TCP listener and UDP socket on 0.0.0.0 and
127.0.0.1), as another program on the machine might hold them.

  pausepids.py [--stop-ms 120] [--period-ms 160] [--ports 47399,40000-40063]
               [--tree] -- command [args...]

Without --tree only the command's direct children are paused (ctest itself
keeps running, so its timeouts and its -j slots work); with --tree every
process below the command is. Exits with the command's exit status.

Run it inside the private network namespace of scripts/run-tests, e.g.
  unshare -rn sh -c 'ip link set lo up; cd build && exec python3 \
      ../tests/support/pausepids.py -- ctest -j4 --timeout 1800 -R tst_endtoend'
"""
import argparse
import os
import signal
import socket
import subprocess
import sys
import time


def parse_ports(text):
    ports = []
    for part in filter(None, (p.strip() for p in text.split(','))):
        if '-' in part:
            a, b = part.split('-', 1)
            ports.extend(range(int(a), int(b) + 1))
        else:
            ports.append(int(part))
    return ports


def hold_ports(ports):
    held = []
    for port in ports:
        for kind in (socket.SOCK_STREAM, socket.SOCK_DGRAM):
            s = socket.socket(socket.AF_INET, kind)
            try:
                s.bind(('0.0.0.0', port))
                if kind == socket.SOCK_STREAM:
                    s.listen(1)
                held.append(s)
            except OSError as e:
                print('pausepids: port %d/%s not taken: %s'
                      % (port, 'tcp' if kind == socket.SOCK_STREAM else 'udp', e), file=sys.stderr)
                s.close()
    return held


def children_of():
    """Maps each pid to the pids of its children, from /proc."""
    kids = {}
    for name in os.listdir('/proc'):
        if not name.isdigit():
            continue
        try:
            with open('/proc/%s/stat' % name) as f:
                stat = f.read()
        except OSError:
            continue
        # The command name sits in parentheses and may hold spaces.
        fields = stat[stat.rfind(')') + 2:].split()
        kids.setdefault(int(fields[1]), []).append(int(name))
    return kids


def targets(root, tree):
    kids = children_of()
    found = []
    todo = list(kids.get(root, []))
    while todo:
        pid = todo.pop()
        found.append(pid)
        if tree:
            todo.extend(kids.get(pid, []))
    return found


def signal_all(pids, sig):
    for pid in pids:
        try:
            os.kill(pid, sig)
        except ProcessLookupError:
            pass


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--stop-ms', type=int, default=120)
    ap.add_argument('--period-ms', type=int, default=160)
    ap.add_argument('--ports', default='')
    ap.add_argument('--tree', action='store_true')
    ap.add_argument('command', nargs=argparse.REMAINDER)
    args = ap.parse_args()
    command = args.command[1:] if args.command[:1] == ['--'] else args.command
    if not command:
        ap.error('no command')
    # A session of our own: were this process group orphaned while a member
    # is stopped (the shell that started it exits), the kernel would send
    # SIGHUP to every process in it.
    try:
        os.setsid()
    except OSError:
        pass  # already a session leader
    held = hold_ports(parse_ports(args.ports))
    proc = subprocess.Popen(command)
    stopped = []
    cycles = 0

    def forward(sig, _frame):
        signal_all(stopped, signal.SIGCONT)
        proc.send_signal(sig)
    signal.signal(signal.SIGINT, forward)
    signal.signal(signal.SIGTERM, forward)

    run_s = (args.period_ms - args.stop_ms) / 1000.0
    stop_s = args.stop_ms / 1000.0
    while proc.poll() is None:
        stopped = targets(proc.pid, args.tree)
        signal_all(stopped, signal.SIGSTOP)
        time.sleep(stop_s)
        signal_all(stopped, signal.SIGCONT)
        stopped = []
        cycles += 1
        time.sleep(run_s)
    for s in held:
        s.close()
    print('pausepids: %d pause cycles, exit %d' % (cycles, proc.returncode), file=sys.stderr)
    return proc.returncode


if __name__ == '__main__':
    sys.exit(main())
