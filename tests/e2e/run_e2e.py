#!/usr/bin/env python3
"""Acceptance suite: the real VardenhalUpdater.exe under Wine and Xvfb against the local HTTPS
update server, each scenario in a fresh client folder.

  run_e2e.py --port N --results DIR [--screenshots DIR] [--only NAME ...]

The Windows tree must have been built with VARDENHAL_UPDATE_ROOT=https://localhost:N, and a
display (Xvfb) and Wine prefix must be ready. Writes DIR/e2e.xml, one test case per scenario.
"""
import argparse
import os
import shutil
import signal
import sys
import time
import traceback
import xml.sax.saxutils

sys.path.insert(0, os.path.dirname(__file__))
from launcher_session import *  # noqa: E402,F403


class Checks:
    """Collects the failed expectations of one scenario."""

    def __init__(self):
        self.failures = []

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
        return condition

    def equal(self, actual, expected, what):
        return self.expect(actual == expected, "%s: got %r, expected %r" % (what, actual, expected))

    def pixel(self, launcher, point, colour, what):
        """The window shows `colour` at `point`, once any highlight there has faded."""
        return self.equal(launcher.wait_pixel(point, colour), colour, what)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def files_below(folder):
    found = set()
    for root, _, names in os.walk(folder):
        for name in names:
            found.add(os.path.relpath(os.path.join(root, name), folder))
    return found


def temporary_leftovers(folder):
    return [name for name in files_below(folder) if ".vhl" in name]


def expect_complete(c, launcher, run="the run"):
    done, status = launcher.wait_status(COMPLETE, 60)
    c.expect(done, "%s did not complete; status %r" % (run, status))


def press_update(c, launcher):
    """UPDATE, once the last run has ended: its text comes just before its end, and a press in
    between would be CANCEL."""
    c.pixel(launcher, UPDATE_FILL_PIXEL, ACCENT_PURPLE, "UPDATE button before the press")
    launcher.click(UPDATE_BUTTON)


def wait_until(condition, seconds):
    end = time.time() + seconds
    while not condition() and time.time() < end:
        time.sleep(0.1)


def set_old_time(path):
    stamp = time.mktime((2001, 1, 1, 12, 0, 0, 0, 0, -1))
    os.utime(path, (stamp, stamp))


class Scenarios:
    def __init__(self, port, work, screenshots):
        self.work = work
        self.screenshots = screenshots
        self.server = UpdateServer(os.path.join(work, "server"), port)

    def fresh(self, name, with_game_client):
        """A client folder and a served folder for one scenario, and a clean temporary folder and desktop."""
        base = os.path.join(self.work, name)
        if os.path.exists(base):
            shutil.rmtree(base)
        client = os.path.join(base, "client")
        served = os.path.join(base, "served")
        make_client(client, with_game_client)
        os.makedirs(served)
        for folder in (wine_temp_folder(), wine_desktop_folder()):
            if os.path.isdir(folder):
                for entry in os.listdir(folder):
                    if entry.startswith("vhl_") or entry == "Vardenhal.lnk":
                        os.remove(os.path.join(folder, entry))
        return client, served

    def shot(self, launcher, name):
        if self.screenshots:
            os.makedirs(self.screenshots, exist_ok=True)
            screenshot(os.path.join(self.screenshots, name), launcher.window())

    # 1 and 2: the client is there, the run starts by itself; then GAME START.
    def client_present_update_and_game_start(self, c):
        client, served = self.fresh("present", with_game_client=True)
        files = {
            "system/l2.ini": b"[Engine]\nfresh settings\n",
            "maps/world/21_21.unr": os.urandom(300000),
            "data/same.dat": b"already up to date\n",
            "textures/big.utx": os.urandom(3 << 20),
        }
        write_manifest(served, files)
        os.makedirs(os.path.join(client, "data"))
        with open(os.path.join(client, "data", "same.dat"), "wb") as f:
            f.write(files["data/same.dat"])
        set_old_time(os.path.join(client, "data", "same.dat"))
        with open(os.path.join(client, "system", "l2.ini"), "wb") as f:
            f.write(b"stale settings\n")
        for name in ("AutoLogin", "AutoLogin.ini", "system/AutoLogin.ini", "system/AutoLogin"):
            with open(os.path.join(client, name), "w") as f:
                f.write("token\n")
        same_mtime = os.stat(os.path.join(client, "data", "same.dat")).st_mtime_ns

        self.server.start(served)
        launcher = Launcher(client).start()
        try:
            expect_complete(c, launcher)
            for path, data in files.items():
                local = os.path.join(client, path)
                c.expect(os.path.isfile(local) and read(local) == data, "%s not as served" % path)
            c.equal(os.stat(os.path.join(client, "data", "same.dat")).st_mtime_ns, same_mtime,
                    "modification time of the up-to-date file")
            c.equal(temporary_leftovers(client), [], "temporary files left")
            fetched = [r[1] for r in self.server.requests()]
            c.equal(fetched[0] if fetched else None, "/updater/filelist.txt", "first request")
            c.expect("/updater/data/same.dat" not in fetched, "the up-to-date file was fetched again")
            c.expect(all(r[2] == "VardenhalUpdater" for r in self.server.requests()), "user agent")
            c.pixel(launcher, GAME_START_FILL_PIXEL, GAME_START_READY, "GAME START colour when ready")
            c.pixel(launcher, UPDATE_FILL_PIXEL, ACCENT_PURPLE, "UPDATE button after the run")
            self.shot(launcher, "ready.png")

            launcher.click(GAME_START_BUTTON)
            cwd_file = os.path.join(client, "system", "client-cwd.txt")
            for _ in range(100):
                if os.path.exists(cwd_file):
                    break
                time.sleep(0.1)
            c.expect(os.path.exists(cwd_file), "the stand-in client did not start")
            if os.path.exists(cwd_file):
                c.equal(read(cwd_file).decode().rstrip("\\").lower(), unix_to_wine(client).lower(),
                        "the client's working directory")
            names = ("AutoLogin", "AutoLogin.ini", "system/AutoLogin.ini", "system/AutoLogin")
            wait_until(lambda: not any(os.path.exists(os.path.join(client, n)) for n in names), 10)
            for name in names:
                c.expect(not os.path.exists(os.path.join(client, name)), "%s still there after GAME START" % name)
            c.expect(launcher.process.poll() is None and launcher.window().get("title") == "Vardenhal Updater",
                     "the launcher did not stay open")
        finally:
            c.equal(launcher.close(), 0, "exit code")

    # 3: without the client nothing is fetched until UPDATE is pressed; also the window itself,
    # the Info dialog and what closing leaves behind.
    def client_absent_window_info_and_close(self, c):
        client, served = self.fresh("absent", with_game_client=False)
        write_manifest(served, {"system/l2.exe": b"MZ stand-in", "readme.txt": b"hello\n"})
        self.server.start(served)
        launcher = Launcher(client).start()
        try:
            info = launcher.window()
            c.equal(info.get("title"), "Vardenhal Updater", "title")
            c.equal(info.get("client"), [1024, 660], "client size")
            if "outer" in info and "screen" in info:
                left, top, right, bottom = info["outer"]
                c.equal([left, top], [(info["screen"][0] - (right - left)) // 2,
                                      (info["screen"][1] - (bottom - top)) // 2], "window centred")
            c.equal(launcher.status(), WELCOME, "status line")
            temp = wine_temp_folder()
            c.equal(os.path.getsize(os.path.join(temp, "vhl_bg.jpg")), 406823, "size of vhl_bg.jpg")
            c.equal(os.path.getsize(os.path.join(temp, "vhl_music.mp3")), 508976, "size of vhl_music.mp3")
            c.expect(os.path.exists(os.path.join(wine_desktop_folder(), "Vardenhal.lnk")), "no desktop shortcut")

            time.sleep(2.5)
            c.equal(self.server.requests(), [], "requests before UPDATE")
            self.shot(launcher, "started.png")
            if self.screenshots:
                picture = read_pixels(os.path.join(self.screenshots, "started.png"))
                c.equal(picture[:2], (1024, 660), "screenshot size")
                for (x, y), colour, what in (
                        (UPDATE_FILL_PIXEL, ACCENT_PURPLE, "UPDATE"), (GAME_START_FILL_PIXEL, DISABLED_GREY,
                                                                       "GAME START"),
                        ((12, 12), ACCENT_PURPLE, "title box"), ((354, 562), (140, 30, 30), "STOP (music playing)"),
                        ((442, 562), (40, 35, 55), "VOL"), ((540, 572), ACCENT_PURPLE, "volume level at 30"),
                        ((560, 572), (20, 15, 35), "slider track right of the knob"), ((400, 628), (10, 5, 20),
                                                                                       "empty progress bar"),
                        ((500, 598), (0, 0, 0), "bottom bar")):
                    c.equal(pixel_of(picture, x, y), colour, "screenshot pixel of %s" % what)

            launcher.click(INFO_BUTTON)
            wait_until(lambda: launcher.dialogs() == 1, 15)
            c.equal(launcher.dialogs(), 1, "Info dialogs after INFO")
            launcher.probe("dialog-click", str(INFO_OK[0]), str(INFO_OK[1]))
            wait_until(lambda: launcher.dialogs() == 0, 15)  # each probe is a Wine start: slow on a busy machine
            c.equal(launcher.dialogs(), 0, "Info dialogs after OK")

            launcher.click(UPDATE_BUTTON)
            expect_complete(c, launcher, "the run after UPDATE")
            c.equal([r[1] for r in self.server.requests()][:1], ["/updater/filelist.txt"], "first request")
            c.equal(read(os.path.join(client, "readme.txt")), b"hello\n", "downloaded file")
        finally:
            c.equal(launcher.close(), 0, "exit code")
        temp = wine_temp_folder()
        c.expect(not os.path.exists(os.path.join(temp, "vhl_music.mp3")), "vhl_music.mp3 left after closing")
        c.expect(os.path.exists(os.path.join(temp, "vhl_bg.jpg")), "vhl_bg.jpg removed at closing")

    # 4: a 404 and a cut body end the run and keep the old file; a healthy server then completes.
    def failed_downloads_keep_old_files(self, c):
        client, served = self.fresh("faults", with_game_client=True)
        files = {"a.dat": os.urandom(50000), "b/missing.dat": os.urandom(70000), "c/cut.dat": os.urandom(900000)}
        write_manifest(served, files)
        for path in ("b/missing.dat", "c/cut.dat"):
            os.makedirs(os.path.dirname(os.path.join(client, path)), exist_ok=True)
            with open(os.path.join(client, path), "wb") as f:
                f.write(b"old content of " + path.encode())
        with open(os.path.join(served, "b/missing.dat.fault"), "w") as f:
            f.write("404")
        self.server.start(served)
        launcher = Launcher(client).start()
        try:
            done, status = launcher.wait_status("Error downloading: ", 60)
            c.equal(status, "Error downloading: b/missing.dat", "status after a 404")
            c.equal(read(os.path.join(client, "b/missing.dat")), b"old content of b/missing.dat", "file after a 404")
            c.equal(temporary_leftovers(client), [], "temporary files after a 404")
            c.pixel(launcher, GAME_START_FILL_PIXEL, DISABLED_GREY, "GAME START after a failed run")

            os.remove(os.path.join(served, "b/missing.dat.fault"))
            with open(os.path.join(served, "c/cut.dat.fault"), "w") as f:
                f.write("cut")
            press_update(c, launcher)
            done, status = launcher.wait_status("Error downloading: c/", 60)
            c.equal(status, "Error downloading: c/cut.dat", "status after a cut body")
            c.equal(read(os.path.join(client, "c/cut.dat")), b"old content of c/cut.dat", "file after a cut body")
            # Cut on every try, it keeps what arrived, and the next run asks for the rest.
            c.equal(sorted(temporary_leftovers(client)), ["c/cut.dat.vhl\u2193part", "c/cut.dat.vhl\u2193resume"],
                    "temporary files after a cut body")
            c.equal(read(os.path.join(client, "b/missing.dat")), files["b/missing.dat"], "file fetched on the retry")
            c.pixel(launcher, GAME_START_FILL_PIXEL, DISABLED_GREY, "GAME START after two failed runs")

            os.remove(os.path.join(served, "c/cut.dat.fault"))
            press_update(c, launcher)
            expect_complete(c, launcher, "the run against the healthy server")
            for path, data in files.items():
                c.expect(read(os.path.join(client, path)) == data, "%s not as served" % path)
            c.equal(temporary_leftovers(client), [], "temporary files after the healthy run")
            c.pixel(launcher, GAME_START_FILL_PIXEL, GAME_START_READY, "GAME START after the healthy run")
        finally:
            c.equal(launcher.close(), 0, "exit code")

    # 5: no server at all.
    def no_server(self, c):
        client, served = self.fresh("no-server", with_game_client=True)
        self.server.stop()
        before = files_below(client)
        launcher = Launcher(client).start()
        try:
            done, status = launcher.wait_status(NO_CONNECTION, 60)
            c.equal(status, NO_CONNECTION, "status")
            c.equal(files_below(client), before, "files in the client folder")
            c.pixel(launcher, GAME_START_FILL_PIXEL, DISABLED_GREY, "GAME START")
        finally:
            c.equal(launcher.close(), 0, "exit code")

    # 6: manifest paths that try to leave the client folder are refused.
    def paths_leaving_the_folder_are_refused(self, c):
        client, served = self.fresh("escape", with_game_client=True)
        outside = os.path.join(self.work, "outside")
        escapes = ["../outside/parent.txt", "/outside/absolute.txt",
                   unix_to_wine(os.path.join(outside, "drive.txt")).replace("\\", "/")]
        with open(os.path.join(served, "filelist.txt"), "w") as f:
            f.write("%s|%s\n" % (escapes[0], md5(b"x")))
        self.server.start(served)
        launcher = Launcher(client).start()
        try:
            for index, path in enumerate(escapes):
                if index:
                    with open(os.path.join(served, "filelist.txt"), "w") as f:
                        f.write("%s|%s\n" % (path, md5(b"x")))
                    press_update(c, launcher)
                done, status = launcher.wait_status("Error downloading: " + path, 30)
                c.equal(status, "Error downloading: " + path, "status for %s" % path)
            c.expect(not os.path.exists(outside), "something was written outside the client folder")
            c.expect(not os.path.exists(os.path.join(client, "..", "outside")), "parent folder written")
            c.expect(not os.path.exists("/outside"), "root folder written")
            c.equal(sorted(files_below(client)), ["VardenhalUpdater.exe", os.path.join("system", "l2.exe")],
                    "files in the client folder")
            c.expect(all(not r[1].startswith("/updater/..") and "outside" not in r[1]
                         for r in self.server.requests() if r[1] != "/updater/filelist.txt"),
                     "a refused path was requested")
        finally:
            c.equal(launcher.close(), 0, "exit code")

    # 7: CANCEL during a run of many files. The server answers the first three and holds every
    # later one until the test lets it go, so the run is under way whatever the machine's pace.
    def cancel_during_a_run(self, c):
        client, served = self.fresh("cancel", with_game_client=True)
        files = {"pack/%03d.dat" % i: os.urandom(40000) for i in range(150)}
        write_manifest(served, files)
        held = sorted(files)[3:]
        for path in held:
            with open(os.path.join(served, path + ".fault"), "w") as f:
                f.write("gate:")
        self.server.start(served)
        launcher = Launcher(client).start()
        try:
            started, status = launcher.wait_status("Downloading: " + held[0], 60)
            c.expect(started, "the run did not reach the held files; status %r" % status)
            c.pixel(launcher, UPDATE_FILL_PIXEL, CANCEL_RED, "button during the run")
            launcher.click(UPDATE_BUTTON)
            done, status = launcher.wait_status(CANCELLED, 30)
            c.equal(status, CANCELLED, "status after CANCEL")
            c.pixel(launcher, UPDATE_FILL_PIXEL, ACCENT_PURPLE, "button after the cancel")
            fetched = sorted(p for p in files if os.path.exists(os.path.join(client, p)))
            c.equal(fetched, sorted(files)[:3], "files fetched before the cancel")
            c.expect(all(read(os.path.join(client, p)) == files[p] for p in fetched), "a fetched file is incomplete")
            c.equal(temporary_leftovers(client), [], "temporary files")
        finally:
            for path in held:
                open(os.path.join(served, path + ".release"), "w").close()
            c.equal(launcher.close(), 0, "exit code")

    # 8: the manifest brings a new launcher: it takes the running one's place, which goes next start.
    def the_launcher_in_its_own_list(self, c):
        client, served = self.fresh("self-update", with_game_client=True)
        newer = read(os.path.join(client, "VardenhalUpdater.exe")) + b"\0newer launcher"
        write_manifest(served, {"VardenhalUpdater.exe": newer, "system/l2.ini": b"[Engine]\n"})
        aside = os.path.join(client, "VardenhalUpdater.exe.vhl\u2193old")
        self.server.start(served)
        launcher = Launcher(client).start()
        try:
            expect_complete(c, launcher)
            c.expect(read(os.path.join(client, "VardenhalUpdater.exe")) == newer, "the launcher was not replaced")
            c.expect(os.path.exists(aside), "the running launcher was not moved aside")
        finally:
            c.equal(launcher.close(), 0, "exit code")
        launcher = Launcher(client).start()
        try:
            expect_complete(c, launcher, "the new launcher's run")
            c.expect(not os.path.exists(aside), "the old launcher is still there after the next start")
        finally:
            c.equal(launcher.close(), 0, "exit code of the new launcher")

    # The window closed at twenty moments of a run that replaces the launcher: the process never
    # ends between the two renames, so a launcher is always there, the old one or the new.
    def closing_during_a_self_update(self, c):
        client, served = self.fresh("close-during-self-update", with_game_client=True)
        launcher_path = os.path.join(client, "VardenhalUpdater.exe")
        older = read(launcher_path)
        newer = older + b"\0newer launcher"
        files = {"pack/%02d.dat" % i: os.urandom(20000) for i in range(20)}
        files["VardenhalUpdater.exe"] = newer
        write_manifest(served, files)
        # The new launcher comes at 800 KB/s, so the closes fall before, during and after its place-taking.
        with open(os.path.join(served, "VardenhalUpdater.exe.fault"), "w") as f:
            f.write("slow")
        self.server.start(served)
        outcomes = {"old": 0, "new": 0}
        for round in range(20):
            with open(launcher_path, "wb") as f:
                f.write(older)
            for name in os.listdir(client):
                if ".vhl" in name:
                    os.remove(os.path.join(client, name))
            launcher = Launcher(client).start()
            time.sleep(0.1 * round)  # spreads the closes over the run; nothing is judged by it
            code = launcher.close()
            c.expect(code is not None, "round %d: the launcher did not end after the close" % round)
            if not os.path.exists(launcher_path):
                c.expect(False, "round %d: no launcher left after the close" % round)
                break
            now = read(launcher_path)
            c.expect(now in (older, newer), "round %d: the launcher is neither the old one nor the new" % round)
            outcomes["new" if now == newer else "old"] += 1
        print("    launchers after the close: %d old, %d new" % (outcomes["old"], outcomes["new"]), flush=True)

    def all(self):
        return [
            ("client_present_update_and_game_start", self.client_present_update_and_game_start),
            ("client_absent_window_info_and_close", self.client_absent_window_info_and_close),
            ("failed_downloads_keep_old_files", self.failed_downloads_keep_old_files),
            ("no_server", self.no_server),
            ("paths_leaving_the_folder_are_refused", self.paths_leaving_the_folder_are_refused),
            ("cancel_during_a_run", self.cancel_during_a_run),
            ("the_launcher_in_its_own_list", self.the_launcher_in_its_own_list),
            ("closing_during_a_self_update", self.closing_during_a_self_update),
        ]


def main():
    # A stopped run still takes its test CA out of the system store (the finally below).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    ap = argparse.ArgumentParser()
    ap.add_argument("--port", type=int, required=True)
    ap.add_argument("--results", required=True)
    ap.add_argument("--work", default=os.path.join(TOP, "build", "check", "e2e"))
    ap.add_argument("--screenshots")
    ap.add_argument("--only", nargs="*")
    args = ap.parse_args()

    if os.path.exists(args.work):
        shutil.rmtree(args.work)
    os.makedirs(args.work)
    scenarios = Scenarios(args.port, args.work, args.screenshots)
    cases = []
    try:
        for name, run in scenarios.all():
            if args.only and name not in args.only:
                continue
            checks = Checks()
            began = time.time()
            try:
                run(checks)
            except Exception:
                checks.failures.append("error: " + traceback.format_exc())
            finally:
                stop_wine()
            seconds = time.time() - began
            print("%s %s (%.1f s)" % ("ok    " if not checks.failures else "FAILED", name, seconds), flush=True)
            for failure in checks.failures:
                print("    " + failure, flush=True)
            cases.append((name, seconds, checks.failures))
    finally:
        scenarios.server.close()

    os.makedirs(args.results, exist_ok=True)
    with open(os.path.join(args.results, "e2e.xml"), "w") as f:
        failed = sum(1 for case in cases if case[2])
        f.write('<?xml version="1.0"?>\n<testsuites tests="%d" failures="%d">\n' % (len(cases), failed))
        f.write('<testsuite name="e2e" tests="%d" failures="%d">\n' % (len(cases), failed))
        for name, seconds, failures in cases:
            f.write('<testcase classname="e2e" name="%s" time="%.1f">' % (name, seconds))
            if failures:
                f.write('<failure message=%s/>' % xml.sax.saxutils.quoteattr("; ".join(failures)))
            f.write("</testcase>\n")
        f.write("</testsuite>\n</testsuites>\n")
    return 1 if any(case[2] for case in cases) else 0


if __name__ == "__main__":
    sys.exit(main())
