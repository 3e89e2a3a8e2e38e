#!/usr/bin/env python3
"""velmora.clap in Qtractor (Debian 12's 0.9.31), under an Xvfb and a dummy
JACK server of the test's own, with a HOME of its own whose ~/.clap holds
velmora.clap:

  - Qtractor's CLAP scanner (qtractor_plugin_scan, which Qtractor runs to
    list plug-ins) lists both plug-ins of the file: "Velmora" with its main
    input's one channel, "Velmora (Key Left)" with two, both with eight
    controls, an editor and a state;
  - Qtractor opens a session that has "Velmora (Key Left)" on a stereo audio
    track, with a state written here (a filter-type dial left between two
    choices among its values); the plug-in's editor, opened from the track,
    shows those values as the VST 2 editor shows them, pixel for pixel;
  - a drag in the editor (xdotool) reaches Qtractor: the session it saves
    holds the new value in its parameters and in the plug-in's state.

Where the machine has no ALSA sequencer (/dev/snd/seq: virtual machines
without the snd-seq module), Qtractor's engine does not start, as it needs
it beside JACK: Qtractor says so in a dialog, which the test closes, and
then opens the session, makes the plug-in and its editor, and saves, but
plays nothing. What the plug-in does to sound with the key on the left is
proved by the CLAP test host (tests/clap).

Screenshots stay in ARTIFACTS (qtractor-editor.png, qtractor-editor-
headless.png, qtractor-session.png). Prints a line per case and "N passed,
M failed"."""
import argparse
import base64
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET
import zlib

sys.dont_write_bytecode = True  # keep the source tree free of caches
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from caserun import case, run_cases  # noqa: E402
from hostcase import SKIP  # noqa: E402

A = None
WORK = None
ENV = None
PROCS = {}  # the processes the cases start, ended once they have all run
SCANNER = "/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan"

# The state the session starts with, in the layout clap/State.h documents:
# parameter id and normalised value. 103 = 0.37 is the filter type's dial
# between "Low" (0.35) and "High"; 108 = 0.25 keeps the key on the left.
STATE = [(101, 0.2), (102, 0.95), (103, 0.37), (104, 0.123), (105, 0.8), (106, 0.45),
         (107, 0.7), (108, 0.25)]
# The same values as Qtractor writes them beside the state: index, name,
# the host's plain value.
PARAMS = [(0, "Low Filter frequency", "0.2"), (1, "Hi Filter frequency", "0.95"),
          (2, "Filter type", "1"), (3, "Filter Q", "12.3"), (4, "Boost", "320"),
          (5, "Attack", "45"), (6, "Release", "70"), (7, "Stereo", "0")]


def run(args, env=None, timeout=120, check=False, input_text=None):
    r = subprocess.run(args, env=env, input=input_text, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, text=True, encoding="utf-8", errors="replace",
                       timeout=timeout)
    if check and r.returncode != 0:
        raise AssertionError(f"{args[0]} exited {r.returncode}: {r.stdout.strip()[-800:]}")
    return r


def state_bytes(values):
    b = b"VLMR" + struct.pack("<II", 1, len(values))
    for pid, v in values:
        b += struct.pack("<If", pid, v)
    return b


def qt_compressed(raw):
    """Qt's qCompress, as Qtractor keeps a plug-in's state: the length, big-
    endian, then the zlib stream; base64 in the session."""
    return base64.b64encode(struct.pack(">I", len(raw)) + zlib.compress(raw)).decode()


def qt_uncompressed(text):
    data = base64.b64decode("".join(text.split()))
    return zlib.decompress(data[4:])


def session_xml(clap, directory):
    params = "\n".join(f'      <param index="{i}" name="{n}">{v}</param>' for i, n, v in PARAMS)
    bus = """   <audio-bus mode="duplex" name="Master">
    <monitor>0</monitor>
    <channels>2</channels>
    <auto-connect>1</auto-connect>
    <input-gain>1</input-gain>
    <input-panning>0</input-panning>
    <input-controllers/>
    <input-plugins/>
    <input-connects/>
    <output-gain>1</output-gain>
    <output-panning>0</output-panning>
    <output-controllers/>
    <output-plugins/>
    <output-connects/>
   </audio-bus>"""
    return f"""<!DOCTYPE qtractorSession>
<session version="Qtractor 0.9.31" name="velmora">
 <properties>
  <directory>{directory}</directory>
  <description></description>
  <sample-rate>44100</sample-rate>
  <tempo>120</tempo>
  <ticks-per-beat>960</ticks-per-beat>
  <beats-per-bar>4</beats-per-bar>
  <beat-divisor>2</beat-divisor>
 </properties>
 <files>
  <audio-list/>
  <midi-list/>
 </files>
 <devices>
  <audio-engine>
{bus}
  </audio-engine>
 </devices>
 <tracks>
  <track type="audio" name="Key left, audio right">
   <properties>
    <input-bus>Master</input-bus>
    <output-bus>Master</output-bus>
   </properties>
   <state>
    <mute>0</mute>
    <solo>0</solo>
    <record>0</record>
    <monitor>0</monitor>
    <gain>1</gain>
    <panning>0</panning>
   </state>
   <view>
    <height>96</height>
   </view>
   <clips/>
   <plugins>
    <plugin type="CLAP">
     <filename>{clap}</filename>
     <index>1</index>
     <label>Velmora_(Key_Left)</label>
     <preset></preset>
     <direct-access-param>-1</direct-access-param>
     <activated>1</activated>
     <configs>
      <config key="state">{qt_compressed(state_bytes(STATE))}</config>
     </configs>
     <params>
{params}
     </params>
     <editor-pos>300,300</editor-pos>
     <form-pos>0,0</form-pos>
    </plugin>
   </plugins>
  </track>
 </tracks>
</session>
"""


# ---- the display and the JACK server ----------------------------------------

class Xvfb:
    def __init__(self):
        self.proc = None
        for n in range(300, 360):
            if os.path.exists(f"/tmp/.X11-unix/X{n}") or os.path.exists(f"/tmp/.X{n}-lock"):
                continue
            p = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1280x800x24", "-nolisten",
                                  "tcp", "-noreset"], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
            for _ in range(100):
                if os.path.exists(f"/tmp/.X11-unix/X{n}") or p.poll() is not None:
                    break
                time.sleep(0.1)
            if p.poll() is None and os.path.exists(f"/tmp/.X11-unix/X{n}"):
                self.proc = p
                self.display = f":{n}"
                return
            p.wait()
        raise AssertionError("no free display for Xvfb")

    def stop(self):
        if self.proc:
            self.proc.terminate()
            self.proc.wait(timeout=20)


def windows(pattern):
    """The windows whose name matches `pattern` (a Python regular expression)."""
    r = run(["xdotool", "search", "--name", "."], env=ENV, timeout=20)
    found = []
    for w in r.stdout.split():
        name = run(["xdotool", "getwindowname", w], env=ENV, timeout=20).stdout.strip()
        if re.search(pattern, name):
            found.append(w)
    return found


def geometry(window):
    r = run(["xdotool", "getwindowgeometry", "--shell", window], env=ENV, timeout=20, check=True)
    g = dict(line.split("=", 1) for line in r.stdout.split())
    return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])


def wait_for(pattern, seconds):
    end = time.time() + seconds
    while time.time() < end:
        found = windows(pattern)
        if found:
            return found[0]
        time.sleep(0.2)
    return None


def xdo(*args):
    run(["xdotool", *[str(a) for a in args]], env=ENV, timeout=20, check=True)


def shot(name, x, y, w, h):
    path = os.path.join(A.artifacts, f"{name}.png")
    run(["import", "-display", ENV["DISPLAY"], "-window", "root", "-crop", f"{w}x{h}+{x}+{y}",
         "+repage", path], env=ENV, check=True)
    return path


def differing_pixels(a, b):
    r = run(["compare", "-metric", "AE", a, b, "null:"], env=ENV)
    try:
        return int(float(r.stdout.split()[0]))
    except (ValueError, IndexError):
        raise AssertionError(f"compare failed: {r.stdout}")


def main_group():
    clap_dir = os.path.join(ENV["HOME"], ".clap")
    os.makedirs(clap_dir)
    clap = os.path.join(clap_dir, "velmora.clap")
    shutil.copy(A.clap, clap)
    session_dir = os.path.join(WORK, "session")
    os.makedirs(session_dir)
    session = os.path.join(session_dir, "velmora.qtr")
    with open(session, "w") as f:
        f.write(session_xml(clap, session_dir))
    found = {}

    @case("Qtractor's scanner lists both plug-ins of ~/.clap/velmora.clap")
    def _():
        out = run([SCANNER], env=ENV, input_text=f"CLAP:{clap}\n", check=True).stdout
        print(out.strip())
        lines = [line.split("|") for line in out.splitlines() if line.startswith("CLAP|")]
        by_name = {f[1]: f for f in lines}
        assert set(by_name) == {"Velmora", "Velmora (Key Left)"}, out
        # Fields: type, name, audio ins:outs (main ports), MIDI, controls
        # in:out, flags, file, index.
        side, left = by_name["Velmora"], by_name["Velmora (Key Left)"]
        assert side[2] == "1:2" and left[2] == "2:2", out
        assert side[4] == left[4] == "8:0", out
        for f in (side, left):
            assert {"GUI", "EXT", "RT"} <= set(f[5].split(",")), out
            assert f[6] == clap, out
        assert side[7] == "0" and left[7] == "1", out

    @case("Qtractor opens the session with \"Velmora (Key Left)\" on a stereo audio track")
    def _():
        PROCS["jackd"] = subprocess.Popen(
            ["jackd", "--no-realtime", "-n", ENV["JACK_DEFAULT_SERVER"], "-d", "dummy", "-r",
             "44100", "-p", "256"], env=ENV, stdout=open(os.path.join(WORK, "jackd.log"), "w"),
            stderr=subprocess.STDOUT)
        for _ in range(100):
            if run(["jack_lsp"], env=ENV, timeout=10).returncode == 0:
                break
            time.sleep(0.1)
        PROCS["qtractor"] = subprocess.Popen(
            ["qtractor", session], env=ENV, cwd=session_dir,
            stdout=open(os.path.join(WORK, "qtractor.log"), "w"), stderr=subprocess.STDOUT)
        assert wait_for(" — Qtractor$", 60), "no Qtractor window"
        # Qtractor tries its engine first; a dialog says when it fails.
        error = wait_for("^Error — Qtractor$", 10)
        if error:
            print("Qtractor's engine did not start (its dialog was closed):",
                  "no ALSA sequencer" if not os.path.exists("/dev/snd/seq") else "see its log")
            xdo("windowfocus", error)
            xdo("key", "Return")
        main = wait_for(r"velmora(\.qtr)?( \[modified\])? — Qtractor$", 30)
        assert main, "the session was not opened"
        found["main"] = main
        time.sleep(1)
        shot("qtractor-session", 0, 0, 1024, 768)

    @case("the plug-in's editor, opened from the track, shows the session's state as the "
          "VST 2 editor shows the same values")
    def _():
        assert "main" in found, "no session"
        # The track's plug-in list, under its name in the track list.
        xdo("mousemove", 180, 180, "click", "--repeat", 2, 1)
        editor = wait_for("^Harrowby$", 20)
        assert editor, "no editor window"
        x, y, w, h = geometry(editor)
        print(f"the editor's window: {w} x {h} at ({x}, {y})")
        assert (w, h) == (390, 158), (w, h)
        time.sleep(1)
        mine = shot("qtractor-editor", x, y, w, h)
        headless = os.path.join(A.artifacts, "qtractor-editor-headless.png")
        params = []
        for i, (_, v) in enumerate(STATE):
            params += ["--param", f"{i}={v}"]
        run([A.snapshot, "-o", headless, *params, "--show", "-1"], check=True)
        n = differing_pixels(mine, headless)
        assert n == 0, f"{n} pixels differ"
        found["editor"] = (x, y)

    @case("a drag in the editor reaches Qtractor: the session it saves holds the new value "
          "in its parameters and in the plug-in's state")
    def _():
        assert "editor" in found, "no editor to drag in"
        x, y = found["editor"]
        # SLFilter1 (parameter 0), from its column 10 to 110: 0.0 .. 1.0.
        xdo("mousemove", x + 24 + 10, y + 48)
        time.sleep(0.3)
        xdo("mousedown", 1)
        for col in (30, 50, 70, 90, 110):
            time.sleep(0.08)
            xdo("mousemove", x + 24 + col, y + 48)
        time.sleep(0.3)
        xdo("mouseup", 1)
        time.sleep(1.0)
        with open(session) as f:
            written = f.read()
        xdo("windowfocus", found["main"])
        xdo("key", "ctrl+s")
        saved = None
        for _ in range(50):
            time.sleep(0.2)
            with open(session) as f:
                text = f.read()
            if text != written and text.rstrip().endswith("</session>"):
                saved = text
                break
        assert saved, "Qtractor did not save the session"
        shutil.copy(session, os.path.join(A.artifacts, "qtractor-saved.qtr"))
        plugin = ET.fromstring(saved).find(".//plugin[@type='CLAP']")
        assert plugin is not None, "no CLAP plug-in in the saved session"
        assert plugin.findtext("filename") == clap and plugin.findtext("index") == "1"
        params = {p.get("name"): p.text for p in plugin.iter("param")}
        print("saved parameters:", params)
        assert float(params["Low Filter frequency"]) == 1.0, params
        state = qt_uncompressed(plugin.find(".//config[@key='state']").text)
        assert state[:4] == b"VLMR" and struct.unpack("<II", state[4:12]) == (1, 8), state
        values = dict(struct.unpack("<If", state[12 + 8 * i:20 + 8 * i]) for i in range(8))
        print("saved state:", {k: round(v, 6) for k, v in values.items()})
        assert values[101] == 1.0, values
        # The rest as the session gave them: the dial between two choices
        # where it was left, though Qtractor also set its choice number.
        for pid, v in STATE[1:]:
            assert values[pid] == struct.unpack("<f", struct.pack("<f", v))[0], (pid, values)

    @case("Qtractor's own plug-in list, opened to add a plug-in to a new track, holds both "
          "plug-ins of velmora.clap")
    def _():
        assert "main" in found, "no session"
        xdo("windowfocus", found["main"])
        xdo("key", "shift+Insert")  # Track > Add Track...
        track = wait_for("^Track — Qtractor$", 20)
        assert track, "no track dialog"
        x, y, _, _ = geometry(track)
        xdo("mousemove", x + 36, y + 151, "click", 1)  # an "Audio" track
        time.sleep(0.3)
        xdo("mousemove", x + 97, y + 21, "click", 1)  # its "Plugins" tab
        time.sleep(0.5)
        x, y, _, _ = geometry(track)
        xdo("mousemove", x + 390, y + 55, "click", 1)  # "Add..."
        select = wait_for("^Plugins — Qtractor$", 30)
        assert select, "no plug-in list"
        time.sleep(1)
        sx, sy, sw, sh = geometry(select)
        # The list's type, at its top right: CLAP, by its initial.
        xdo("mousemove", sx + sw - 40, sy + 14, "click", 1)
        time.sleep(0.5)
        xdo("key", "c")
        xdo("key", "Return")
        time.sleep(1.5)
        shot("qtractor-plugin-list", sx, sy, sw, sh)
        cache = os.path.join(ENV["HOME"], ".cache", "Qtractor", "qtractor_clap_scan.cache")
        assert os.path.exists(cache), "Qtractor kept no CLAP list"
        with open(cache) as f:
            fields = [line.split("|") for line in f if line.startswith("CLAP|")]
        print("Qtractor's CLAP list:", ", ".join(f[1] for f in fields))
        ours = sorted(f[1] for f in fields if f[6] == clap)
        assert ours == ["Velmora", "Velmora (Key Left)"], ours
        xdo("key", "Escape")
        time.sleep(0.3)
        xdo("windowfocus", track)
        xdo("key", "Escape")



def main():
    global A, WORK, ENV
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--clap", required=True, help="velmora.clap")
    ap.add_argument("--snapshot", required=True, help="velmora-snapshot")
    ap.add_argument("--workdir", required=True)
    ap.add_argument("--artifacts", required=True)
    A = ap.parse_args()
    missing = [t for t in ("qtractor", "jackd", "jack_lsp", "Xvfb", "xdotool", "import", "compare")
               if not shutil.which(t)]
    if missing or not os.path.exists(SCANNER):
        print(f"SKIP: {' '.join(missing) or SCANNER} not installed "
              "(scripts/install-deps.sh --hosts installs them)")
        return SKIP
    os.makedirs(A.workdir, exist_ok=True)
    os.makedirs(A.artifacts, exist_ok=True)
    WORK = tempfile.mkdtemp(prefix="qtractor-", dir=A.workdir)
    xvfb = Xvfb()
    try:
        ENV = dict(os.environ)
        for k in ("CLAP_PATH", "GDK_SCALE", "QT_SCALE_FACTOR", "XAUTHORITY"):
            ENV.pop(k, None)
        home = os.path.join(WORK, "home")
        runtime = os.path.join(WORK, "runtime")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        ENV.update(DISPLAY=xvfb.display, HOME=home, XDG_RUNTIME_DIR=runtime,
                   JACK_DEFAULT_SERVER=f"velmora-qtractor-{os.getpid()}",
                   JACK_NO_AUDIO_RESERVATION="1", LC_ALL="C.UTF-8")
        main_group()
        rc = run_cases()
    finally:
        for name in ("qtractor", "jackd"):
            p = PROCS.get(name)
            if p and p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=20)
                except subprocess.TimeoutExpired:
                    p.kill()
        xvfb.stop()
    if rc == 0:
        shutil.rmtree(WORK, ignore_errors=True)
    return rc


if __name__ == "__main__":
    sys.exit(main())
