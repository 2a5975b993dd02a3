"""Running the real launcher under Wine and looking at it from outside.

Shared by the end-to-end suite and `make demo`: a client folder with the launcher in it, the local
HTTPS update server, the probe program that reads and drives the window, and screenshots.
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

TOP = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", ".."))
WINE_RUN = os.path.join(TOP, "scripts", "wine-run.sh")


def _wine_settings():
    """The Windows tree and the Wine prefix that the scripts pick for this machine."""
    script = 'source "$1/scripts/wine-arch.sh" && source "$1/scripts/wine-run.sh" && ' \
             'printf "%s\\n%s" "$VARDENHAL_WINE_TREE" "$WINEPREFIX"'
    tree, prefix = subprocess.run(["bash", "-c", script, "-", TOP], capture_output=True, text=True,
                                  check=True).stdout.split("\n")
    return os.path.join(TOP, "build", tree), prefix


WIN_BUILD, WINE_PREFIX = _wine_settings()
SERVER = os.path.join(TOP, "tests", "server", "update_server.py")
TEST_CA = os.path.join(TOP, "tests", "server", "test_ca.sh")
# ImageMagick's own convert: another program of that name may come first in PATH.
CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"

# The launcher's own texts.
WELCOME = "Welcome! Press UPDATE to download files and start your journey."
COMPLETE = "Update complete! Press GAME START to play."
NO_CONNECTION = "Error: Cannot connect to update server."
CANCELLED = "Update cancelled."

# Client coordinates of the controls at 1024 x 660, and their colours.
AWAY = (300, 300)
UPDATE_BUTTON = (85, 628)
GAME_START_BUTTON = (939, 628)
INFO_BUTTON = (964, 570)
INFO_OK = (300, 327)  # client coordinates of the Info dialog's OK button
ACCENT_PURPLE = (120, 40, 180)
CANCEL_RED = (160, 30, 30)
DISABLED_GREY = (60, 60, 60)
GAME_START_READY = (140, 30, 100)
UPDATE_FILL_PIXEL = (12, 616)
GAME_START_FILL_PIXEL = (866, 616)


def md5(data):
    return hashlib.md5(data).hexdigest()


def wine(*args):
    """Runs a Windows program to its end and returns it with its output. The output goes through a
    file, not a pipe: Wine's helper processes inherit the pipe and would hold it open for ever."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        result = subprocess.run([WINE_RUN] + list(args), stdout=out, stderr=err, timeout=120)
        out.seek(0)
        err.seek(0)
        result.stdout = out.read().decode("utf-8", "replace")
        result.stderr = err.read().decode("utf-8", "replace")
    return result


def unix_to_wine(path):
    return "Z:" + os.path.realpath(path).replace("/", "\\")


def wine_temp_folder():
    """The user's TEMP as the prefix sets it: C:\\users\\NAME\\Temp up to Wine 8,
    C:\\users\\NAME\\AppData\\Local\\Temp from Wine 9 on."""
    user = os.environ.get("USER", "root")
    try:
        with open(os.path.join(WINE_PREFIX, "user.reg"), encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.startswith('"TEMP"="C:\\\\'):
                    parts = line.split('"')[3].split("\\\\")[1:]
                    return os.path.join(WINE_PREFIX, "drive_c", *parts)
    except FileNotFoundError:
        pass
    return os.path.join(WINE_PREFIX, "drive_c", "users", user, "Temp")


def wine_desktop_folder():
    return os.path.join(WINE_PREFIX, "drive_c", "users", os.environ.get("USER", "root"), "Desktop")


def stop_wine():
    """Ends every Windows program of the prefix, and its wineserver."""
    subprocess.run([os.path.join(TOP, "scripts", "wine-prefix.sh"), "stop"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)


class UpdateServer:
    """The local HTTPS server on a fixed port, serving a folder under /updater/."""

    def __init__(self, work, port):
        self.work = work
        self.port = port
        self.tls = os.path.join(work, "tls")
        self.process = None
        self.log = os.path.join(work, "requests.log")
        subprocess.run([TEST_CA, "make", self.tls], check=True)

    def start(self, served):
        self.stop()
        open(self.log, "w").close()
        port_file = os.path.join(self.work, "port")
        if os.path.exists(port_file):
            os.remove(port_file)
        self.process = subprocess.Popen(
            [sys.executable, SERVER, "--root", served, "--cert", os.path.join(self.tls, "server.crt"),
             "--key", os.path.join(self.tls, "server.key"), "--port", str(self.port), "--port-file", port_file,
             "--log-file", self.log],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(port_file):
                return
            time.sleep(0.1)
        raise RuntimeError("the update server did not start on port %d" % self.port)

    def stop(self):
        if self.process:
            self.process.terminate()
            self.process.wait()
            self.process = None

    def requests(self):
        with open(self.log) as f:
            return [line.split() for line in f if line.strip()]

    def close(self):
        self.stop()
        subprocess.run([TEST_CA, "remove", self.tls])


def write_manifest(served, files, extra_lines=()):
    """Writes `files` (path -> bytes) below `served` and a filelist.txt listing them."""
    lines = []
    for path, data in files.items():
        target = os.path.join(served, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)
        lines.append("%s|%s" % (path, md5(data)))
    lines.extend(extra_lines)
    with open(os.path.join(served, "filelist.txt"), "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


class Launcher:
    """One run of VardenhalUpdater.exe from a client folder."""

    def __init__(self, client):
        self.client = client
        self.process = None

    def start(self, timeout=30):
        # Started from another folder: the launcher must find its folder from its own path.
        # What Wine says of the launcher goes beside its folder, for a scenario that fails.
        with open(self.client.rstrip("/") + ".wine.log", "ab") as log:
            self.process = subprocess.Popen([WINE_RUN, os.path.join(self.client, "VardenhalUpdater.exe")],
                                            cwd="/", stdout=log, stderr=log)
        began = time.time()
        waited = self.probe("wait", str(timeout))
        if waited.returncode != 0 and time.time() - began < timeout / 2 and self.process.poll() is None:
            # The probe itself did not run (Wine said why); the launcher is given its time again.
            print("    probe wait ended at once (exit status %d): %s" % (waited.returncode, waited.stderr.strip()),
                  flush=True)
            waited = self.probe("wait", str(timeout))
        if waited.returncode != 0:
            raise RuntimeError("the launcher window did not appear (probe exit status %d, launcher %s): %s" %
                               (waited.returncode, "running" if self.process.poll() is None else
                                "ended with %s" % self.process.returncode, waited.stderr.strip()[-2000:]))
        return self

    def probe(self, *args):
        return wine(os.path.join(WIN_BUILD, "e2e_probe.exe"), *args)

    def status(self):
        return self.probe("status").stdout.rstrip("\r\n")

    def wait_status(self, prefix, seconds):
        result = self.probe("wait-status", prefix, str(seconds))
        return result.returncode == 0, result.stdout.rstrip("\r\n")

    def window(self):
        info = {}
        for line in self.probe("window").stdout.splitlines():
            line = line.rstrip("\r")
            key, _, value = line.partition("=")
            info[key] = value if key == "title" else [int(v) for v in value.split()]
        return info

    def pixel(self, x, y):
        return tuple(int(v) for v in self.probe("pixel", str(x), str(y)).stdout.split())

    def wait_pixel(self, point, colour, seconds=5.0):
        """The pixel at `point` once it has `colour` (a highlight may still be fading), or the last
        one read when `seconds` pass first."""
        end = time.time() + seconds
        while True:
            pixel = self.pixel(*point)
            if pixel == colour or time.time() > end:
                return pixel
            time.sleep(0.1)

    def dialogs(self):
        return int(self.probe("dialogs").stdout.split()[0])

    def click(self, point):
        """A press and release at `point`, then the pointer moves off every control, so the
        highlight fades and the colours read afterwards are the resting ones."""
        self.probe("click", str(point[0]), str(point[1]))
        self.probe("move", str(AWAY[0]), str(AWAY[1]))

    def close(self, timeout=20):
        closed = self.probe("close")
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            # Tells a close that never reached the window from a launcher that did not end.
            window = self.probe("window")
            print("    the launcher did not end within %d s of the close (probe exit status %d%s; its window %s)" %
                  (timeout, closed.returncode, ": " + closed.stderr.strip() if closed.stderr.strip() else "",
                   "still there" if window.returncode == 0 else "gone"), flush=True)
            self.process.kill()
            return None

    def kill(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def make_client(folder, with_game_client):
    if os.path.exists(folder):
        shutil.rmtree(folder)
    os.makedirs(folder)
    shutil.copy(os.path.join(WIN_BUILD, "VardenhalUpdater.exe"), folder)
    if with_game_client:
        os.makedirs(os.path.join(folder, "system"), exist_ok=True)
        shutil.copy(os.path.join(WIN_BUILD, "stand_in_client.exe"), os.path.join(folder, "system", "l2.exe"))


def screenshot(path, window=None):
    """The X screen, or only the launcher's client area when `window` (from Launcher.window) is given."""
    display = os.environ.get("DISPLAY", ":0")
    shot = path + ".full.png"
    subprocess.run(["import", "-display", display, "-window", "root", shot], check=True)
    if window:
        width, height = window["client"]
        x, y = window["origin"]
        subprocess.run([CONVERT, shot, "-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage", path], check=True)
        os.remove(shot)
    else:
        os.replace(shot, path)


def read_pixels(png):
    """(width, height, rgb bytes) of a picture, through ImageMagick's PPM output."""
    data = subprocess.run([CONVERT, png, "-depth", "8", "ppm:-"], capture_output=True, check=True).stdout
    fields = []
    position = 0
    while len(fields) < 4:
        while data[position:position + 1].isspace():
            position += 1
        end = position
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[position:end])
        position = end
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[position + 1:]


def pixel_of(picture, x, y):
    width, _, rgb = picture
    offset = (y * width + x) * 3
    return tuple(rgb[offset:offset + 3])
