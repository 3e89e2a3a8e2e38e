"""A throw-away Wine prefix for one test run: WINEDEBUG=-all, no Mono/Gecko
prompts, the null graphics driver (without a display driver a plug-in's
editor window makes the host hang), and `wineserver -w` before results are
read."""
import os
import shutil
import subprocess
import tempfile


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
        self.run(["wineboot", "-i"], timeout=300)
        self.run(["wine", "reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Graphics",
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
