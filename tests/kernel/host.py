#!/usr/bin/env python3
"""Host side of the kernel-driver cases: starts the simulators, boots the
guest in QEMU with an FTDI adapter and a UART wired to them, plugs and unplugs
adapters through QMP when the guest asks (KVSYNC on its console), and checks
in the simulators' logs what only they can tell (the window's polling).

Exit code 0 when every expected case reported PASS."""

import argparse
import json
import os
import re
import select
import socket
import subprocess
import sys
import threading
import time

# The adapters: QMP id, chardev (simulator line) and USB serial number.
ADAPTERS = {
    "main": ("usb-main", "line-main", "KVMAIN01"),
    "other": ("usb-other", "line-main", "KVOTHR01"),
    "slow": ("usb-slow", "line-slow", "KVSLOW01"),
}


class Sim:
    """A kv508-sim whose log lines are kept with the host's monotonic time."""

    def __init__(self, program, name, work, extra):
        self.name = name
        self.log_path = os.path.join(work, f"sim-{name}.log")
        self.lines = []  # (time, text)
        self.proc = subprocess.Popen([program, "--no-link", "--no-stdin", "--verbose"] + extra,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     text=True)
        self.path = self.proc.stdout.readline().strip()
        if not self.path.startswith("/dev/"):
            raise RuntimeError(f"simulator {name} did not print its terminal: {self.path!r}")
        threading.Thread(target=self._keep, daemon=True).start()

    def _keep(self):
        with open(self.log_path, "w", encoding="utf-8") as log:
            for line in self.proc.stderr:
                t = time.monotonic()
                self.lines.append((t, line.rstrip("\n")))
                log.write(f"{t:.3f} {line}")
                log.flush()

    def requests(self, start, end):
        return [t for t, text in list(self.lines) if start <= t < end and "command " in text]

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()


class Qmp:
    def __init__(self, path, deadline):
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX)
                self.sock.connect(path)
                break
            except OSError:
                self.sock.close()
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)  # QEMU makes the socket as it starts
        self.buf = b""
        self.events = []
        self._read()  # greeting
        self.call("qmp_capabilities")

    def _read(self):
        while b"\n" not in self.buf:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise RuntimeError("QMP closed")
            self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        return json.loads(line)

    def call(self, command, **arguments):
        self.sock.sendall(json.dumps({"execute": command, "arguments": arguments}).encode() + b"\n")
        while True:
            reply = self._read()
            if "event" in reply:
                self.events.append(reply)
                continue
            if "error" in reply:
                raise RuntimeError(f"{command}: {reply['error'].get('desc')}")
            return reply.get("return")

    def wait_event(self, name, device, timeout):
        end = time.monotonic() + timeout
        while True:
            for e in self.events:
                if e["event"] == name and e.get("data", {}).get("device") == device:
                    self.events.remove(e)
                    return True
            if time.monotonic() > end:
                return False
            self.sock.settimeout(max(0.01, end - time.monotonic()))
            try:
                self.events.append(self._read())
            except socket.timeout:
                return False
            finally:
                self.sock.settimeout(None)


class Run:
    def __init__(self, args):
        self.args = args
        self.work = args.work
        self.results = {}
        self.marks = {}
        self.plugs = []  # (time, adapter)
        self.unplugs = []
        self.t0 = time.monotonic()
        self.boot = None

    def note(self, text):
        print(f"test-kernel: {text}", flush=True)

    def start(self):
        a = self.args
        self.sims = {
            "main": Sim(a.sim, "usb", self.work, []),
            # Slow to answer, so that an unplug lands between a write and its answer.
            "slow": Sim(a.sim, "usb-slow", self.work, ["--turnaround", "1500"]),
            "uart": Sim(a.sim, "uart", self.work, []),
        }
        con_path = os.path.join(self.work, "console.sock")
        qmp_path = os.path.join(self.work, "qmp.sock")
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(con_path)
        listener.listen(1)
        append = f"console=ttyS0 loglevel=4 panic=-1 rdinit=/init kv.cases={a.cases}"
        if a.watch_options:
            append += f" kv.watch={a.watch_options}"
        cmd = [a.qemu, "-nographic", "-no-reboot", "-m", "1024", "-nodefaults", "-monitor", "none",
               "-kernel", a.kernel, "-initrd", a.initrd, "-append", append,
               "-chardev", f"socket,id=con,path={con_path}", "-serial", "chardev:con",
               "-chardev", f"serial,id=uart,path={self.sims['uart'].path}", "-serial", "chardev:uart",
               "-device", "qemu-xhci,id=xhci",
               "-chardev", f"serial,id=line-main,path={self.sims['main'].path}",
               "-chardev", f"serial,id=line-slow,path={self.sims['slow'].path}",
               "-qmp", f"unix:{qmp_path},server=on,wait=off"]
        for name in ("main", "slow"):
            qid, chardev, serial = ADAPTERS[name]
            cmd += ["-device", f"usb-serial,id={qid},bus=xhci.0,chardev={chardev},serial={serial}"]
        with open(os.path.join(self.work, "qemu.cmd"), "w", encoding="utf-8") as f:
            f.write(" ".join(cmd) + "\n")
        self.qemu_err = open(os.path.join(self.work, "qemu.err"), "w", encoding="utf-8")
        self.qemu = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=self.qemu_err, stderr=subprocess.STDOUT)
        listener.settimeout(20)
        self.con, _ = listener.accept()
        listener.close()
        self.qmp = Qmp(qmp_path, time.monotonic() + 20)

    def act(self, words):
        what = words[0]
        if what == "unplug":
            qid = ADAPTERS[words[1]][0]
            self.qmp.call("device_del", id=qid)
            if not self.qmp.wait_event("DEVICE_DELETED", qid, 10):
                raise RuntimeError(f"{qid} was not deleted")
            self.unplugs.append((time.monotonic(), words[1]))
        elif what == "plug":
            qid, chardev, serial = ADAPTERS[words[1]]
            self.qmp.call("device_add", driver="usb-serial", id=qid, bus="xhci.0", chardev=chardev, serial=serial)
            self.plugs.append((time.monotonic(), words[1]))
        elif what == "mark":
            self.marks[words[1]] = time.monotonic()
        elif what == "check":
            self.check_window(words[1])

    def check_window(self, mark):
        """The window polled, stopped while the adapter was out, and polled again after the replug."""
        start = self.marks.get(mark, self.t0)
        now = time.monotonic()
        unplug = next(t for t, n in reversed(self.unplugs) if n == "main")
        plug = next(t for t, n in reversed(self.plugs) if n == "main")
        sim = self.sims["main"]
        before = sim.requests(start - 3, unplug)
        during = sim.requests(unplug + 1.0, plug)
        after = sim.requests(plug, now)
        detail = f"{len(before)} requests before the unplug, {len(during)} while out, {len(after)} after the replug"
        ok = before and not during and after
        if after:
            detail += f", the first {after[0] - plug:.2f} s after it"
        self.report("window-sim", "PASS" if ok else "FAIL", detail)

    def report(self, case, verdict, detail):
        self.results[case] = verdict
        self.note(f"{case:18} {verdict} {detail}")

    def line(self, text):
        m = re.search(r"KVTEST (\S+) (PASS|FAIL) ?(.*)", text)
        if m:
            self.report(m.group(1), m.group(2), m.group(3))
        m = re.search(r"KVBOOT ([0-9.]+)", text)
        if m:
            self.boot = float(m.group(1))
            self.note(f"guest up: {self.boot:.1f} s of guest time, {time.monotonic() - self.t0:.1f} s on this machine")
        m = re.search(r"KVSYNC (\d+) (.*)", text)
        if m:
            self.act(m.group(2).split())
            self.con.sendall(f"KVGO {m.group(1)}\n".encode())
        return "KVEND" in text

    def console(self):
        deadline = self.t0 + self.args.timeout
        buf = b""
        ended = False
        with open(os.path.join(self.work, "guest.log"), "wb") as log:
            while not ended:
                left = deadline - time.monotonic()
                if left <= 0:
                    self.note(f"the guest did not finish within {self.args.timeout} s")
                    return
                ready, _, _ = select.select([self.con], [], [], min(left, 1.0))
                if not ready:
                    if self.qemu.poll() is not None:
                        self.note(f"QEMU ended (exit {self.qemu.returncode}) before the guest finished")
                        return
                    continue
                chunk = self.con.recv(65536)
                if not chunk:
                    return
                log.write(chunk)
                log.flush()
                buf += chunk
                while b"\n" in buf:
                    raw, buf = buf.split(b"\n", 1)
                    ended = self.line(raw.decode("utf-8", "replace").rstrip("\r")) or ended

    def reconnect_figures(self):
        sim = self.sims["main"]
        for t, name in self.plugs:
            if name != "main":
                continue
            first = sim.requests(t, t + 30)
            if first:
                self.note(f"replug of the adapter at {t - self.t0:.1f} s: first request on the line {first[0] - t:.2f} s after it")

    def stop(self):
        try:
            self.qemu.wait(20)
        except subprocess.TimeoutExpired:
            self.qemu.kill()
            self.qemu.wait()
        for sim in self.sims.values():
            sim.stop()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--work", required=True)
    p.add_argument("--qemu", default="qemu-system-x86_64")
    p.add_argument("--kernel", required=True)
    p.add_argument("--initrd", required=True)
    p.add_argument("--sim", required=True)
    p.add_argument("--cases", required=True)
    p.add_argument("--expect", required=True, help="comma-separated case results that must PASS")
    p.add_argument("--watch-options", default="")
    p.add_argument("--timeout", type=float, default=400)
    a = p.parse_args()
    run = Run(a)
    try:
        run.start()
        run.console()
    except Exception as e:  # noqa: BLE001 - any failure of the harness is a failed step
        run.note(f"harness failure: {e}")
    finally:
        if hasattr(run, "qemu"):
            run.stop()
    run.reconnect_figures()
    failed = [c for c in a.expect.split(",") if run.results.get(c) != "PASS"]
    run.note(f"guest run took {time.monotonic() - run.t0:.1f} s")
    if failed:
        run.note("failed or missing: " + ", ".join(failed))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
