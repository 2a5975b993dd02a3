#!/usr/bin/env python3
"""make demo: the launcher in a demo client folder against a local HTTPS update server.

With a display (DISPLAY set and --headless not given) the launcher opens for a person to use
until they close it. Headless (under Xvfb) it waits for the update run, presses GAME START,
saves out/demo-start.png and out/demo-ready.png and prints what happened.

  demo.py --port N --out DIR [--headless]
"""
import argparse
import os
import shutil
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
from launcher_session import *  # noqa: E402,F403


def lay_out_sample_update(served, client):
    """The server's files, and a client folder where some are up to date and some are not."""
    files = {
        "system/l2.exe": read_file(os.path.join(WIN_BUILD, "stand_in_client.exe")),
        "system/l2.ini": b"[Engine]\nServer=vardenhal\nLanguage=en\n",
        "system/Interface.u": os.urandom(900 << 10),
        "maps/17_22.unr": os.urandom(2 << 20),
        "maps/18_22.unr": os.urandom(2 << 20),
        "textures/Vardenhal_Keep.utx": os.urandom(24 << 20),
        "music/theme_night.ogg": os.urandom(1 << 20),
        "animations/LineageMonsters.ukx": os.urandom(3 << 20),
        "staticmeshes/ruins.usx": os.urandom(1536 << 10),
        "sounds/ambient_wind.uax": os.urandom(512 << 10),
    }
    write_manifest(served, files)
    # Served slowly, so the progress bar can be watched moving.
    for path in ("maps/17_22.unr", "maps/18_22.unr", "animations/LineageMonsters.ukx"):
        with open(os.path.join(served, path + ".fault"), "w") as f:
            f.write("slow")

    make_client(client, with_game_client=True)  # an older client at system\l2.exe
    for path in ("system/Interface.u", "music/theme_night.ogg", "sounds/ambient_wind.uax"):
        target = os.path.join(client, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy(os.path.join(served, path), target)
    with open(os.path.join(client, "system", "l2.ini"), "wb") as f:
        f.write(b"[Engine]\nServer=old\n")
    for name in ("AutoLogin.ini", "system/AutoLogin.ini"):
        with open(os.path.join(client, name), "w") as f:
            f.write("account=player\n")
    return files


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--port", type=int, required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--headless", action="store_true")
    args = ap.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))

    out = os.path.realpath(args.out)
    work = os.path.join(TOP, "build", "demo")
    if os.path.exists(work):
        shutil.rmtree(work)
    served = os.path.join(work, "served")
    client = os.path.join(out, "demo-client")
    os.makedirs(served)
    files = lay_out_sample_update(served, client)
    before = {path: os.path.exists(os.path.join(client, path)) and read_file(os.path.join(client, path)) == data
              for path, data in files.items()}

    server = UpdateServer(os.path.join(work, "server"), args.port)
    launcher = Launcher(client)
    try:
        server.start(served)
        print("update server: https://localhost:%d/updater/ (%d files)" % (args.port, len(files)))
        print("demo client folder: %s" % client)
        launcher.start()
        if not args.headless:
            print("The launcher is open: close its window to end the demo.")
            launcher.process.wait()
            return 0

        time.sleep(1.5)
        screenshot(os.path.join(out, "demo-start.png"), launcher.window())
        print("status while running: %s" % launcher.status())
        done, status = launcher.wait_status(COMPLETE, 180)
        time.sleep(0.6)
        screenshot(os.path.join(out, "demo-ready.png"), launcher.window())
        launcher.click(GAME_START_BUTTON)
        for _ in range(100):
            if os.path.exists(os.path.join(client, "system", "client-cwd.txt")):
                break
            time.sleep(0.1)
        time.sleep(1.5)

        fetched = [r[1][len("/updater/"):] for r in server.requests() if r[1] != "/updater/filelist.txt"]
        print("files already up to date: %s" % ", ".join(p for p in files if before[p]))
        print("files downloaded (%d): %s" % (len(fetched), ", ".join(fetched)))
        print("final status: %s" % status)
        print("GAME START: stand-in client %s; AutoLogin files %s" % (
            "started" if os.path.exists(os.path.join(client, "system", "client-cwd.txt")) else "did NOT start",
            "removed" if not any(os.path.exists(os.path.join(client, p))
                                 for p in ("AutoLogin.ini", "system/AutoLogin.ini")) else "still there"))
        print("screenshots: %s, %s" % (os.path.join(out, "demo-start.png"), os.path.join(out, "demo-ready.png")))
        launcher.close()
        complete = done and all(read_file(os.path.join(client, p)) == d for p, d in files.items())
        return 0 if complete else 1
    finally:
        launcher.kill()
        server.close()
        stop_wine()


if __name__ == "__main__":
    sys.exit(main())
