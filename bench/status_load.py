#!/usr/bin/env python3
"""The status page under load: renders demonstration scene 1 on a local farm
of two nodes, once quietly and once while 64 requests a second (alternately
the page and /status.json, over loopback) arrive at kintrahub --http, both
orders side by side in every run, and prints the wall times, their ratio
per run and the ratios' spread, with the requests answered and the slowest
answer.

    bench/status_load.py [--bin build/bin] [--runs 3] [--width 1024 --height 768]
                         [--rate 64] [--shots DIR]

--shots DIR also renders the scene at 2048 x 1536 and saves two screenshots
of the page by headless Chromium, a few seconds apart, as DIR/status-1.png
and DIR/status-2.png.
"""
import argparse
import http.client
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time


def free_port(kind=socket.SOCK_STREAM):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Farm:
    def __init__(self, bin_dir):
        self.bin = os.path.abspath(bin_dir)
        self.work = tempfile.mkdtemp(prefix="status-bench.")
        self.procs = []
        env = dict(os.environ)
        env["TMPDIR"] = os.path.join(self.work, "tmp")
        os.makedirs(env["TMPDIR"])
        env.setdefault("XDG_RUNTIME_DIR", os.path.join(env["TMPDIR"], "runtime"))
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        env["XDG_CONFIG_HOME"] = os.path.join(self.work, "config")
        env["LEDGO_HOST"] = "127.0.0.1"
        env["LEDGO_PORT"] = str(free_port(socket.SOCK_DGRAM))
        env["QT_QPA_PLATFORM"] = "offscreen"
        env.pop("DISPLAY", None)
        self.env = env
        self.http_port = free_port()
        hub_port = free_port()
        self.start("ledgo", self.work, [os.path.join(self.bin, "ledgo")])
        time.sleep(0.5)
        self.hub = self.start("kintrahub", self.work, [os.path.join(self.bin, "kintrahub"), "--http",
                                            "127.0.0.1:%d" % self.http_port,
                                            "-ORBendPoint", "giop:tcp:127.0.0.1:%d" % hub_port])
        self.wait_for(lambda: self.connects(self.http_port), 15, "kintrahub")
        for n in (1, 2):
            folder = self.copy_bin("node-%d" % n)
            self.start("tessel-%d" % n, folder, [os.path.join(folder, "tessel"), "-ORBendPoint", "giop:tcp:127.0.0.1:"])
        for n in (1, 2):
            log = os.path.join(self.work, "tessel-%d.log" % n)
            self.wait_for(lambda: "joined the work group" in open(log, errors="replace").read(), 30, "tessel-%d" % n)
        self.client = self.copy_bin("client")
        subprocess.run([os.path.join(self.client, "farmreg"), os.path.join(self.client, "liblumora.so")],
                       env=self.env, check=True, stdout=subprocess.DEVNULL)

    def copy_bin(self, name):
        folder = os.path.join(self.work, name)
        shutil.copytree(self.bin, folder, symlinks=True)
        return folder

    def start(self, name, folder, argv):
        log = open(os.path.join(self.work, name + ".log"), "w")
        self.procs.append(subprocess.Popen(argv, cwd=folder, env=self.env, stdout=log, stderr=subprocess.STDOUT))
        return self.procs[-1]

    def hub_cpu(self):
        """CPU seconds kintrahub has used so far."""
        with open("/proc/%d/stat" % self.hub.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    @staticmethod
    def connects(port):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.5).close()
            return True
        except OSError:
            return False

    def wait_for(self, ready, seconds, what):
        end = time.time() + seconds
        while time.time() < end:
            if ready():
                return
            time.sleep(0.1)
        sys.exit("status_load: %s did not start; see %s" % (what, self.work))

    def render(self, width, height, background=False):
        argv = [os.path.join(self.client, "vornel"), "--scene", "1", "--width", str(width), "--height", str(height),
                "--out", os.path.join(self.work, "scene1.png"), "--quiet"]
        if background:
            return subprocess.Popen(argv, cwd=self.client, env=self.env, stdout=subprocess.DEVNULL)
        start = time.monotonic()
        subprocess.run(argv, cwd=self.client, env=self.env, check=True, stdout=subprocess.DEVNULL)
        return time.monotonic() - start

    def close(self):
        for p in self.procs:
            p.terminate()
        time.sleep(0.5)
        for p in self.procs:
            p.kill()
            p.wait()
        # Engines run in process groups of their own: end whatever still
        # runs from the farm's folders.
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                where = os.readlink("/proc/%s/cwd" % pid)
            except OSError:
                continue
            if where.startswith(self.work):
                try:
                    os.kill(int(pid), signal.SIGKILL)
                except OSError:
                    pass
        shutil.rmtree(self.work, ignore_errors=True)


class Load:
    """`rate` requests a second, alternately / and /status.json, until stopped."""

    def __init__(self, port, rate):
        self.port, self.rate = port, rate
        self.ok = self.failed = 0
        self.slowest = 0.0
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run)

    def run(self):
        cpu = time.thread_time()
        start = time.monotonic()
        n = 0
        while not self.stop.is_set():
            due = start + n / self.rate
            pause = due - time.monotonic()
            if pause > 0:
                time.sleep(pause)
            path = "/" if n % 2 == 0 else "/status.json"
            t = time.monotonic()
            try:
                c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=5)
                c.request("GET", path)
                r = c.getresponse()
                r.read()
                c.close()
                if r.status == 200:
                    self.ok += 1
                else:
                    self.failed += 1
            except OSError:
                self.failed += 1
            self.slowest = max(self.slowest, time.monotonic() - t)
            n += 1
        self.cpu = time.thread_time() - cpu

    def __enter__(self):
        self.began = time.monotonic()
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join()
        self.seconds = time.monotonic() - self.began


def shots(farm, folder):
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if chromium is None:
        print("status_load: no chromium, no screenshots")
        return
    os.makedirs(folder, exist_ok=True)
    job = farm.render(2048, 1536, background=True)
    url = "http://127.0.0.1:%d/" % farm.http_port
    for i, wait in ((1, 2), (2, 1)):
        time.sleep(wait)
        out = os.path.join(os.path.abspath(folder), "status-%d.png" % i)
        subprocess.run([chromium, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                        "--window-size=900,1100", "--virtual-time-budget=3000", "--screenshot=" + out, url],
                       env=farm.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        print("screenshot %d: %s" % (i, out))
    job.wait()


def main():
    a = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    a.add_argument("--bin", default=os.path.join(os.path.dirname(__file__), "..", "build", "bin"))
    a.add_argument("--runs", type=int, default=3)
    a.add_argument("--width", type=int, default=1024)
    a.add_argument("--height", type=int, default=768)
    a.add_argument("--rate", type=float, default=64)
    a.add_argument("--shots")
    args = a.parse_args()
    farm = Farm(args.bin)
    try:
        if args.shots:
            shots(farm, args.shots)
        farm.render(160, 120)  # warm the nodes' caches
        ratios = []
        print("scene 1 at %d x %d on 2 nodes; load: %g requests/s" % (args.width, args.height, args.rate))
        print("run  quiet s  loaded s  loaded/quiet  answered  failed  slowest ms  hub CPU s quiet/loaded  client CPU s")
        for run in range(1, args.runs + 1):
            times, hub = {}, {}
            for mode in (("quiet", "loaded") if run % 2 else ("loaded", "quiet")):
                before = farm.hub_cpu()
                if mode == "quiet":
                    times[mode] = farm.render(args.width, args.height)
                else:
                    with Load(farm.http_port, args.rate) as load:
                        times[mode] = farm.render(args.width, args.height)
                hub[mode] = farm.hub_cpu() - before
            ratio = times["loaded"] / times["quiet"]
            ratios.append(ratio)
            print("%3d  %7.2f  %8.2f  %12.3f  %8d  %6d  %10.1f  %10.2f / %-10.2f  %12.2f" % (
                run, times["quiet"], times["loaded"], ratio, load.ok, load.failed, load.slowest * 1000,
                hub["quiet"], hub["loaded"], load.cpu))
            print("     (%.1f requests/s answered)" % (load.ok / load.seconds))
        print("loaded/quiet: %.3f .. %.3f (median %.3f)" % (min(ratios), max(ratios), sorted(ratios)[len(ratios) // 2]))
    finally:
        farm.close()


if __name__ == "__main__":
    main()
