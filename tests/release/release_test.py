#!/usr/bin/env python3
"""What a release hands over, checked as a user meets it. One group a run:

  package  scripts/package.sh packs the built trees; each package is unpacked
           and its plug-in loaded as a host loads it (the DLLs under Wine, by
           the Windows builds of velmora-info), the record checked; each
           packaged velmora.clap (Linux, win64) listed by the CLAP test host.
  install  cmake --install of the Linux tree into a temporary HOME (~/.vst,
           ~/.lv2, ~/.clap) and into temporary prefixes (PREFIX/lib/vst,
           PREFIX/lib/lv2, PREFIX/lib/clap).
  picture  velmora-snapshot draws the editor again, at 1x and at 2x;
           docs/editor.png and docs/editor-2x.png must have the same pixels.

Prints one line per case and "N passed, M failed"."""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile
import zipfile
import zlib

sys.dont_write_bytecode = True  # keep the source tree free of caches
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from caserun import case, run_cases  # noqa: E402
from hostcase import SKIP  # noqa: E402
from wavfloat import read_wav  # noqa: E402
from winenv import NO_32BIT, WINE, WinePrefix, runs_32bit, windows_path  # noqa: E402

A = None
WORK = None


def run(args, env=None, cwd=None, timeout=600):
    return subprocess.run(args, env=env, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, errors="replace", timeout=timeout)


# ---- the effect record as velmora-info prints it ---------------------------------

def record(text):
    """The fields of velmora-info's report: name -> value text."""
    fields = {}
    for line in text.splitlines():
        m = re.match(r"\s+\d+\s+(\w+)\s+(.*)$", line)
        if m:
            fields[m.group(1)] = m.group(2).strip()
        m = re.match(r"\s+(effect name|vendor version|vendor|product|VST version)\s{2,}(.*)$", line)
        if m:
            fields[m.group(1)] = m.group(2).strip()
        m = re.match(r"\s+record: \d+ bytes at \S+ \(pointer size (\d+)\)", line)
        if m:
            fields["pointer size"] = m.group(1)
    return fields


def check_record(text, pointer_size):
    """Velmora as a host sees it through the binary's exported main."""
    f = record(text)
    want = {"magic": '0x56737450 "VstP"', "numPrograms": "16", "numParams": "120",
            "numInputs": "2", "numOutputs": "2", "uniqueID": '0x566D717A "Vmqz"',
            "future": "all zero", "effect name": '"Velmora"', "vendor": '"Pemberly"',
            "product": '"Velmora"', "vendor version": "1", "VST version": "2200",
            "pointer size": str(pointer_size)}
    wrong = {k: (f.get(k), v) for k, v in want.items() if f.get(k) != v}
    assert not wrong, f"fields (found, wanted): {wrong}\n{text}"
    assert f"(velmora-info {A.version})" in text, f"no version {A.version} in:\n{text}"
    assert '"Default 16"' in text, text


def pe_machine(path):
    """The machine field of a PE file's header: 0x14C i386, 0x8664 x86-64."""
    with open(path, "rb") as f:
        data = f.read(4096)
    assert data[:2] == b"MZ", f"{path} is not a PE file"
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", f"{path} has no PE header"
    return struct.unpack_from("<H", data, pe + 4)[0]


# ---- package -----------------------------------------------------------------------

def clap_listing():
    """How velmora-claptesthost list names the two CLAP plug-ins."""
    return [f'com.pemberly.velmora  "Velmora" by Pemberly, version {A.version}',
            f'com.pemberly.velmora.key-left  "Velmora (Key Left)" by Pemberly, version {A.version}']


def package_group():
    trees = {"win32": A.win32_build, "win64": A.win64_build, "linux": A.linux_build}
    out = os.path.join(WORK, "out")
    names = {"win32": f"velmora-{A.version}-win32.zip", "win64": f"velmora-{A.version}-win64.zip",
             "linux": f"velmora-{A.version}-linux-x86_64.tar.gz"}
    top = f"velmora-{A.version}-linux-x86_64"

    @case("package.sh writes the three packages with the project's version in their names")
    def _():
        r = run([A.package_script, "--pack-only", "--out", out, "--win32", trees["win32"],
                 "--win64", trees["win64"], "--linux", trees["linux"]])
        assert r.returncode == 0, r.stdout
        assert sorted(os.listdir(out)) == sorted(names.values()), os.listdir(out)
        for p in ("win32", "win64"):
            with zipfile.ZipFile(os.path.join(out, names[p])) as z:
                files = ["INSTALL.txt", "velmora.dll"] + (["velmora.clap"] if p == "win64" else [])
                assert sorted(z.namelist()) == sorted(files), z.namelist()
                text = z.read("INSTALL.txt").decode()
                assert "\r\n" in text and "\n" not in text.replace("\r\n", ""), \
                    "the Windows text does not have Windows line ends"
                for needed in (f"Velmora {A.version}", "Program Files (x86)", "32-bit",
                               "LMMS", "VSTPluginsPath"):
                    assert needed in text, f"{p}: {needed!r} not in INSTALL.txt"
                clap_words = ("velmora.clap", r"Common Files\CLAP", "CLAP_PATH", "Key Left")
                for needed in clap_words:
                    assert (needed in text) == (p == "win64"), f"{p}: {needed!r} in INSTALL.txt?"
                z.extractall(os.path.join(WORK, p))
        with tarfile.open(os.path.join(out, names["linux"])) as t:
            members = {m.name: m for m in t.getmembers()}
            assert sorted(members) == sorted([top, f"{top}/INSTALL.txt", f"{top}/velmora-render",
                                       f"{top}/velmora.lv2", f"{top}/velmora.lv2/manifest.ttl",
                                       f"{top}/velmora.lv2/velmora-lv2-ui.so",
                                       f"{top}/velmora.lv2/velmora-lv2.so",
                                       f"{top}/velmora.lv2/velmora.ttl",
                                       f"{top}/velmora.clap",
                                       f"{top}/velmora.so"]), sorted(members)
            for exe in ("velmora.so", "velmora.clap", "velmora-render", "velmora.lv2/velmora-lv2.so",
                        "velmora.lv2/velmora-lv2-ui.so"):
                assert members[f"{top}/{exe}"].mode & 0o111, f"{exe} is not executable"
            text = t.extractfile(f"{top}/INSTALL.txt").read().decode()
            for needed in (f"Velmora {A.version}", "~/.vst", "/usr/local/lib/vst", "/usr/lib/vst",
                           "VST_PATH", "LXVST_PATH", "libsndfile", "~/.lv2", "/usr/local/lib/lv2",
                           "/usr/lib/lv2", "LV2_PATH", "Key", "Sidechain", "~/.clap",
                           "/usr/lib/clap", "CLAP_PATH", "Velmora (Key Left)"):
                assert needed in text, f"linux: {needed!r} not in INSTALL.txt"
            t.extractall(os.path.join(WORK, "linux"))

    @case("the packaged DLLs are the 32-bit and 64-bit builds and load under Wine, and the win64 "
          "package's velmora.clap holds both CLAP plug-ins")
    def _():
        dlls = {p: os.path.join(WORK, p, "velmora.dll") for p in ("win32", "win64")}
        for p, machine in (("win32", 0x14C), ("win64", 0x8664)):
            assert os.path.exists(dlls[p]), f"{p} was not unpacked"
            assert pe_machine(dlls[p]) == machine, f"{p}: machine {pe_machine(dlls[p]):#x}"
        with WinePrefix(WORK) as wine:
            for p, size in (("win32", 4), ("win64", 8)):
                assert p != "win32" or runs_32bit(), f"win32: {dlls[p]} not loaded: {NO_32BIT}"
                info = os.path.join(trees[p], "tools", "info", "velmora-info.exe")
                r = wine.run([WINE, info, windows_path(dlls[p])])
                wine.wait()
                assert r.returncode == 0, f"{p}: velmora-info exit {r.returncode}\n{r.stdout}"
                check_record(r.stdout, size)
                print(f"{p}: {dlls[p]} loaded, pointer size {size}")
            # In the same prefix: the win64 package's CLAP plug-ins.
            clap = os.path.join(WORK, "win64", "velmora.clap")
            assert pe_machine(clap) == 0x8664, f"win64: machine {pe_machine(clap):#x}"
            host = os.path.join(trees["win64"], "tools", "claptesthost", "velmora-claptesthost.exe")
            r = wine.run([WINE, host, "list", windows_path(clap)])
            wine.wait()
            assert r.returncode == 0, f"win64 .clap: exit {r.returncode}\n{r.stdout}"
            for line in clap_listing():
                assert line in r.stdout.replace("\r", ""), f"win64: {line!r} not in:\n{r.stdout}"
            print(f"win64: {clap} lists both CLAP plug-ins")

    @case("the Linux package's plug-in loads and its renderer finds it beside itself")
    def _():
        d = os.path.join(WORK, "linux", top)
        so = os.path.join(d, "velmora.so")
        r = run([os.path.join(trees["linux"], "tools", "info", "velmora-info"), so])
        assert r.returncode == 0, r.stdout
        check_record(r.stdout, 8)
        render = os.path.join(d, "velmora-render")
        r = run([render, "--version"])
        assert r.returncode == 0 and r.stdout == f"velmora-render {A.version}\n", r.stdout
        # No plug-in named: the one in the package, not the build tree's.
        r = run([render, "-o", "packaged.wav", "--seconds", "2"], cwd=WORK)
        assert r.returncode == 0, r.stdout
        assert f"through {so} ->" in r.stdout, r.stdout
        built = os.path.join(trees["linux"], "tools", "render", "velmora-render")
        r = run([built, os.path.join(trees["linux"], "velmora.so"), "-o", "built.wav",
                 "--seconds", "2"], cwd=WORK)
        assert r.returncode == 0, r.stdout
        packaged = read_wav(os.path.join(WORK, "packaged.wav"))
        assert packaged == read_wav(os.path.join(WORK, "built.wav")), \
            "the packaged plug-in renders other samples than the built one"
        assert max(abs(x) for x in packaged[1][0]) > 0.05, "silent render"

    @case("the Linux package's LV2 bundle is the build tree's, and LV2 hosts find it")
    def _():
        d = os.path.join(WORK, "linux", top)
        built = os.path.join(trees["linux"], "velmora.lv2")
        for ttl in ("manifest.ttl", "velmora.ttl"):
            packed = open(os.path.join(d, "velmora.lv2", ttl), "rb").read()
            assert packed == open(os.path.join(built, ttl), "rb").read(), f"{ttl} differs"
        if not shutil.which("lv2info"):
            print("lv2info is not installed (lilv-utils): the bundle was not loaded")
            return
        env = dict(os.environ, LV2_PATH=f"{os.path.join(WORK, 'lv2')}:/usr/lib/lv2")
        os.makedirs(os.path.join(WORK, "lv2"), exist_ok=True)
        shutil.copytree(os.path.join(d, "velmora.lv2"), os.path.join(WORK, "lv2", "velmora.lv2"))
        r = run(["lv2info", "urn:pemberly:velmora"], env=env)
        assert r.returncode == 0, r.stdout
        assert "Filter Plugin" in r.stdout and "velmora-lv2-ui.so" in r.stdout, r.stdout
        assert os.path.join(WORK, "lv2", "velmora.lv2", "velmora-lv2.so") in r.stdout, r.stdout


    @case("the Linux package's velmora.clap holds both CLAP plug-ins")
    def _():
        host = os.path.join(trees["linux"], "tools", "claptesthost", "velmora-claptesthost")
        packed = os.path.join(WORK, "linux", top, "velmora.clap")
        r = run([host, "list", packed])
        assert r.returncode == 0, r.stdout
        for line in clap_listing():
            assert line in r.stdout, f"linux: {line!r} not in:\n{r.stdout}"
        print(f"linux: {packed} lists both CLAP plug-ins")

# ---- install -------------------------------------------------------------------------

def files_under(root):
    return sorted(os.path.relpath(os.path.join(d, f), root)
                  for d, _, fs in os.walk(root) for f in fs)


def install_group():
    tree = A.linux_build
    built = open(os.path.join(tree, "velmora.so"), "rb").read()
    info = os.path.join(tree, "tools", "info", "velmora-info")

    def env_with(**values):
        env = {k: v for k, v in os.environ.items() if k not in ("HOME", "DESTDIR")}
        env.update(values)
        return env

    bundle = os.path.join(tree, "velmora.lv2")
    lv2_files = ["manifest.ttl", "velmora-lv2-ui.so", "velmora-lv2.so", "velmora.ttl"]
    built_clap = open(os.path.join(tree, "velmora.clap"), "rb").read()

    def installed_clap(path):
        assert open(path, "rb").read() == built_clap, f"{path} is not the built velmora.clap"
        assert os.stat(path).st_mode & 0o111, f"{path} is not executable"

    def installed(path):
        assert os.path.exists(path), f"{path} is not there"
        assert open(path, "rb").read() == built, f"{path} is not the built velmora.so"
        r = run([info, path])
        assert r.returncode == 0, r.stdout
        check_record(r.stdout, 8)

    def installed_bundle(lv2_dir):
        for f in lv2_files:
            path = os.path.join(lv2_dir, "velmora.lv2", f)
            assert open(path, "rb").read() == open(os.path.join(bundle, f), "rb").read(), \
                f"{path} is not the built one"
            if f.endswith(".so"):
                assert os.stat(path).st_mode & 0o111, f"{path} is not executable"

    def expected(vst, lv2, clap):
        return sorted([os.path.join(vst, "velmora.so"), os.path.join(clap, "velmora.clap")] +
                      [os.path.join(lv2, "velmora.lv2", f) for f in lv2_files])

    @case("cmake --install puts velmora.so into ~/.vst, velmora.lv2 into ~/.lv2 and velmora.clap "
          "into ~/.clap of the installing user")
    def _():
        cache = open(os.path.join(tree, "CMakeCache.txt")).read()
        prefix = re.search(r"^CMAKE_INSTALL_PREFIX:PATH=(.*)$", cache, re.M).group(1)
        # A tree with a prefix would install there, outside this test's folders.
        assert prefix == "", f"{tree} is configured with the prefix {prefix!r}; this case " \
                             "installs only into a temporary HOME"
        home = os.path.join(WORK, "home")
        os.makedirs(home)
        r = run([A.cmake, "--install", tree], env=env_with(HOME=home))
        assert r.returncode == 0, r.stdout
        assert files_under(home) == expected(".vst", ".lv2", ".clap"), files_under(home)
        installed(os.path.join(home, ".vst", "velmora.so"))
        installed_bundle(os.path.join(home, ".lv2"))
        installed_clap(os.path.join(home, ".clap", "velmora.clap"))
        # Again over the installed files: still the same files, still the built ones.
        assert run([A.cmake, "--install", tree], env=env_with(HOME=home)).returncode == 0
        assert files_under(home) == expected(".vst", ".lv2", ".clap")
        installed_bundle(os.path.join(home, ".lv2"))

    @case("with --prefix they go to PREFIX/lib/vst, PREFIX/lib/lv2 and PREFIX/lib/clap, and the "
          "home folder is left alone")
    def _():
        home = os.path.join(WORK, "home2")
        prefix = os.path.join(WORK, "prefix")
        os.makedirs(home)
        r = run([A.cmake, "--install", tree, "--prefix", prefix], env=env_with(HOME=home))
        assert r.returncode == 0, r.stdout
        assert files_under(prefix) == expected(os.path.join("lib", "vst"),
                                               os.path.join("lib", "lv2"),
                                               os.path.join("lib", "clap")), files_under(prefix)
        installed(os.path.join(prefix, "lib", "vst", "velmora.so"))
        installed_bundle(os.path.join(prefix, "lib", "lv2"))
        installed_clap(os.path.join(prefix, "lib", "clap", "velmora.clap"))
        assert files_under(home) == [], files_under(home)
        # A staged install for a distribution's package: DESTDIR before the prefix.
        stage = os.path.join(WORK, "stage")
        r = run([A.cmake, "--install", tree, "--prefix", "/usr"],
                env=env_with(HOME=home, DESTDIR=stage))
        assert r.returncode == 0, r.stdout
        assert files_under(stage) == expected(os.path.join("usr", "lib", "vst"),
                                              os.path.join("usr", "lib", "lv2"),
                                              os.path.join("usr", "lib", "clap")), files_under(stage)

    @case("without HOME and without a prefix it says to give --prefix")
    def _():
        r = run([A.cmake, "--install", tree], env=env_with())
        assert r.returncode != 0 and "--prefix" in r.stdout, r.stdout


# ---- picture -------------------------------------------------------------------------

def read_png(path):
    """(width, height, rows of (r, g, b)) of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG file"
    pos, idat, header = 8, b"", None
    while pos < len(data):
        size, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + size]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + size
    width, height, depth, colour, _, _, interlace = header
    assert depth == 8 and colour in (2, 6) and interlace == 0, f"{path}: {header}"
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(width)])
        prev = line
    return width, height, rows


def same_as_picture(name, snapshot_args, picture, size):
    """Draws the editor with velmora-snapshot and compares it with `picture`
    pixel for pixel; answers the fresh pixels."""
    fresh = os.path.join(WORK, name)
    r = run([A.snapshot, "-o", fresh] + snapshot_args)
    assert r.returncode == 0, r.stdout
    w, h, now = read_png(fresh)
    assert (w, h) == size, (w, h)
    dw, dh, doc = read_png(picture)
    assert (dw, dh) == (w, h), f"{picture} is {dw}x{dh}, the editor {w}x{h}"
    differing = [(x, y) for y in range(h) for x in range(w) if now[y][x] != doc[y][x]]
    if differing:
        kept = os.path.join(A.workdir, name.replace(".png", "-now.png"))
        shutil.copy(fresh, kept)
        raise AssertionError(f"{len(differing)} pixels differ, the first at {differing[0]}; "
                             f"the editor now: {kept}; scripts/make-pictures.sh renews "
                             f"{picture}")
    return now


def picture_group():
    @case("docs/editor.png is the editor as velmora-snapshot draws it now")
    def _():
        now = same_as_picture("editor.png", [], A.picture, (390, 158))
        # The picture shows the panel: many colours, not one fill.
        assert len({p for row in now for p in row}) > 20

    @case("docs/editor-2x.png is the editor at 2x as velmora-snapshot --scale 2 draws it now")
    def _():
        now = same_as_picture("editor-2x.png", ["--scale", "2"], A.picture_2x, (780, 316))
        assert len({p for row in now for p in row}) > 20


GROUPS = {"package": package_group, "install": install_group, "picture": picture_group}


def main():
    global A, WORK
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--linux-build", required=True)
    ap.add_argument("--win32-build", default="")
    ap.add_argument("--win64-build", default="")
    ap.add_argument("--package-script")
    ap.add_argument("--cmake", default="cmake")
    ap.add_argument("--snapshot")
    ap.add_argument("--picture")
    ap.add_argument("--picture-2x")
    ap.add_argument("--version", required=True)
    ap.add_argument("--workdir", required=True)
    ap.add_argument("group", choices=sorted(GROUPS))
    A = ap.parse_args()
    if A.group == "package":
        for p, t in (("win32", A.win32_build), ("win64", A.win64_build)):
            needed = [os.path.join(t, "velmora.dll"),
                      os.path.join(t, "tools", "info", "velmora-info.exe")]
            missing = [n for n in needed if not t or not os.path.exists(n)]
            if missing:
                print(f"SKIP: the {p} tree is not built ({', '.join(missing) or 'no tree given'});"
                      " scripts/build.sh builds it")
                return SKIP
        if not shutil.which("wine"):
            print("SKIP: wine is not installed")
            return SKIP
    os.makedirs(A.workdir, exist_ok=True)
    WORK = tempfile.mkdtemp(prefix=f"release-{A.group}-", dir=A.workdir)
    GROUPS[A.group]()
    status = run_cases()
    if status == 0:
        shutil.rmtree(WORK, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
