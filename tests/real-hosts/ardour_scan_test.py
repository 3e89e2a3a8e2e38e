#!/usr/bin/env python3
"""Ardour's VST 2 scanner loads the Linux build like Ardour does and writes
its cache file; the fields it found must describe Velmora."""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

sys.dont_write_bytecode = True  # keep the source tree free of caches
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from hostcase import SKIP, exit_single_case  # noqa: E402



def four_char_code(s):
    return (ord(s[0]) << 24) | (ord(s[1]) << 16) | (ord(s[2]) << 8) | ord(s[3])


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--scanner", required=True)
    ap.add_argument("--libdir", required=True)
    ap.add_argument("--plugin", required=True)
    ap.add_argument("--workdir", required=True)
    a = ap.parse_args()
    if not os.path.exists(a.scanner):
        print(f"SKIP: {a.scanner} is not installed (Debian package ardour)")
        return SKIP

    os.makedirs(a.workdir, exist_ok=True)
    home = tempfile.mkdtemp(prefix="ardour-", dir=a.workdir)
    # The scanner names its cache after the binary's path: scan a copy in a
    # fresh home so that no earlier cache can answer for it.
    plugin = os.path.join(home, "velmora.so")
    shutil.copy(a.plugin, plugin)
    env = dict(os.environ)
    env.update({"HOME": home, "XDG_CACHE_HOME": os.path.join(home, "cache"),
                "XDG_CONFIG_HOME": os.path.join(home, "config"),
                "LD_LIBRARY_PATH": a.libdir})
    r = subprocess.run([a.scanner, "-f", plugin], env=env, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, text=True, timeout=120)
    print(r.stdout.strip())
    caches = glob.glob(os.path.join(home, "cache", "**", "*.v2i"), recursive=True)
    if r.returncode != 0 or len(caches) != 1:
        print(f"FAIL: scanner exit {r.returncode}, cache files {caches}")
        return 1
    root = ET.parse(caches[0]).getroot()
    infos = root.findall("VST2Info")
    if root.get("binary") != plugin or len(infos) != 1:
        print(f"FAIL: cache describes {root.get('binary')} with {len(infos)} plug-ins")
        return 1
    info = infos[0].attrib
    expected = {
        "id": str(four_char_code("Vmqz")),
        "name": "Velmora",
        "creator": "Pemberly",
        "n_inputs": "2",
        "n_outputs": "2",
        "can_process_replace": "1",
        "has_editor": "1",
        "is_instrument": "0",
    }
    bad = {k: (v, info.get(k)) for k, v in expected.items() if info.get(k) != v}
    for k in expected:
        print(f"{k} = {info.get(k)}")
    if bad:
        print(f"FAIL: expected vs found: {bad}")
        return 1
    shutil.rmtree(home, ignore_errors=True)
    return 0


if __name__ == "__main__":
    exit_single_case(main)
