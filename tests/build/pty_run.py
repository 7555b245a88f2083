#!/usr/bin/env python3
"""Runs a program on a pseudo terminal, as a user at a console would: writes everything it
shows to OUTFILE, types KEY when it asks for a key press, and exits with its exit code.
Usage: pty_run.py OUTFILE KEY PROGRAM [ARG...]   (KEY "esc" for Esc)"""
import os
import pty
import select
import sys

out_file, key, argv = sys.argv[1], sys.argv[2], sys.argv[3:]
key = b"\x1b" if key == "esc" else key.encode()
pid, fd = pty.fork()
if pid == 0:
    os.execv(argv[0], argv)
shown = b""
asked = False
waited = 0.0
while True:
    ready, _, _ = select.select([fd], [], [], 0.25)
    if not ready:
        waited += 0.25
        if waited > 60:
            os.kill(pid, 9)
            break
        # The key wait discards what was typed before it began: type again until it ends.
        if asked:
            try:
                os.write(fd, key)
            except OSError:
                pass
        continue
    waited = 0.0
    try:
        chunk = os.read(fd, 65536)
    except OSError:
        break
    if not chunk:
        break
    shown += chunk
    if not asked and b"Press any key" in shown:
        asked = True
_, status = os.waitpid(pid, 0)
with open(out_file, "wb") as f:
    f.write(shown)
sys.exit(os.waitstatus_to_exitcode(status) if hasattr(os, "waitstatus_to_exitcode") else status >> 8)
