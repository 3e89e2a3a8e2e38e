"""A throw-away Wine prefix for one test run: WINEDEBUG=-all, no Mono/Gecko
prompts, the null graphics driver (without a display driver a plug-in's
editor window makes the host hang), and `wineserver -w` before results are
read."""
import os
import shutil
import subprocess
import tempfile

# The Wine loader this machine can run (scripts/wine.sh), used as `wine`.
WINE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                     "scripts", "wine.sh"))


def runs_32bit():
    """Whether this machine executes 32-bit x86 programs (wine32, the win32
    DLL, LMMS): natively, or through qemu-i386 where the kernel cannot."""
    return subprocess.run([WINE, "--runs-32bit"]).returncode == 0


NO_32BIT = ("this machine executes no 32-bit x86 program (its kernel has no IA-32 emulation "
            "and no qemu-i386 handler is registered: scripts/install-deps.sh sets one up), "
            "so neither 32-bit Wine nor the win32 DLL can run")


class WinePrefix:
    def __init__(self, base_dir):
        self.path = tempfile.mkdtemp(prefix="wine-", dir=base_dir)
        self.env = dict(os.environ)
        self.env.update({
            "WINEPREFIX": self.path,
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
        })
        self.env.pop("DISPLAY", None)

    def __enter__(self):
        self.run([WINE, "wineboot", "-i"], timeout=300)
        self.run([WINE, "reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Graphics",
                  "/d", "null", "/f"], timeout=120)
        self.wait()
        return self

    def __exit__(self, *exc):
        self.wait()
        shutil.rmtree(self.path, ignore_errors=True)

    def run(self, args, timeout=600, **kw):
        return subprocess.run(args, env=self.env, timeout=timeout, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, errors="replace", **kw)

    def wait(self):
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=300)


def windows_path(path):
    """The Z: drive path under which Wine sees an absolute Unix path."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")
