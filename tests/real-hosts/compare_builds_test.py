#!/usr/bin/env python3
"""Renders one fixed signal through the Linux build and through the 32-bit
Windows build (under Wine) with the same parameters, and compares the output
samples. Both builds must give the same samples; prints the largest
difference found."""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # keep the source tree free of caches
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from wavfloat import read_raw_stereo  # noqa: E402
from winenv import NO_32BIT, WINE, WinePrefix, runs_32bit, windows_path  # noqa: E402
from hostcase import SKIP  # noqa: E402


# Parameter sets: every filter type, both stereo settings, resonance at its
# top, a rate where the sweep's top passes half the rate, odd block sizes.
CASES = [
    ("program 0", []),
    ("high pass, sharp", ["--param", "2=0.5", "--param", "3=1", "--param", "0=0.2"]),
    ("band pass, reversed", ["--param", "2=0.7", "--param", "3=0.6", "--param", "7=1",
                             "--param", "0=0.1", "--param", "1=0.95"]),
    ("band reject, falling sweep", ["--param", "2=0.9", "--param", "0=0.9", "--param", "1=0.2",
                                    "--param", "5=0.1", "--param", "6=0.9"]),
    ("off, program 3", ["--program", "3", "--param", "2=0.1", "--param", "4=0.5"]),
    ("low pass at 22050 Hz", ["--rate", "22050", "--block", "37", "--param", "1=1",
                              "--param", "3=0.995"]),
    ("low pass at 48000 Hz", ["--rate", "48000", "--block", "1000", "--param", "4=1",
                              "--param", "3=0.3"]),
]


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--linux-render", required=True)
    ap.add_argument("--linux-plugin", required=True)
    ap.add_argument("--win-render", required=True)
    ap.add_argument("--win-plugin", required=True)
    ap.add_argument("--workdir", required=True)
    ap.add_argument("--seconds", default="6")
    a = ap.parse_args()

    for path in (a.win_render, a.win_plugin):
        if not os.path.exists(path):
            print(f"SKIP: {path} does not exist (build the win32 tree first)")
            return SKIP
    if not shutil.which("wine"):
        print("SKIP: wine is not installed")
        return SKIP
    if not runs_32bit():
        print(f"SKIP: {NO_32BIT}")
        return SKIP

    os.makedirs(a.workdir, exist_ok=True)
    work = tempfile.mkdtemp(prefix="compare-", dir=a.workdir)
    signal = os.path.join(work, "input.raw")
    subprocess.run([a.linux_render, "--plugin", a.linux_plugin, "--seconds", a.seconds,
                    "--write-input", signal, "-o", os.path.join(work, "unused.raw")],
                   check=True, stdout=subprocess.DEVNULL)
    worst = 0.0
    failures = 0
    with WinePrefix(work) as wine:
        for i, (name, args) in enumerate(CASES):
            lin_out = os.path.join(work, f"linux-{i}.raw")
            win_out = os.path.join(work, f"win32-{i}.raw")
            subprocess.run([a.linux_render, "--plugin", a.linux_plugin, "-i", signal, "-o",
                            lin_out] + args, check=True, stdout=subprocess.DEVNULL)
            r = wine.run([WINE, a.win_render, "--plugin", windows_path(a.win_plugin), "-i",
                          windows_path(signal), "-o", windows_path(win_out)] + args)
            wine.wait()
            if r.returncode != 0 or not os.path.exists(win_out):
                print(f"FAIL {name}: the win32 renderer failed ({r.returncode}):\n{r.stdout}")
                failures += 1
                continue
            ll, lr = read_raw_stereo(lin_out)
            wl, wr = read_raw_stereo(win_out)
            if len(ll) != len(wl) or len(ll) == 0:
                print(f"FAIL {name}: {len(ll)} frames from linux, {len(wl)} from win32")
                failures += 1
                continue
            diff = max(max(abs(x - y) for x, y in zip(ll, wl)),
                       max(abs(x - y) for x, y in zip(lr, wr)))
            differing = sum(1 for x, y in zip(ll + lr, wl + wr) if x != y)
            peak = max(abs(x) for x in ll)
            print(f"{name}: {len(ll)} frames, peak {peak:.4f}, largest difference {diff:.9g}, "
                  f"{differing} differing samples")
            if peak < 1e-3:
                print(f"FAIL {name}: the output is silent, nothing was compared")
                failures += 1
            if differing:
                failures += 1
            worst = max(worst, diff)
    print(f"largest linux-vs-win32 difference over all cases: {worst:.9g}")
    print(f"{len(CASES) - failures} passed, {failures} failed")
    if failures:
        print(f"FAIL: {failures} case(s) differ or failed")
        return 1
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
