#!/usr/bin/env python3
"""The LV2 plug-in as LV2's own tools and hosts meet it. One group a run:

  bundle  every Turtle file of velmora.lv2 parses (sordi) and passes
          sord_validate against the LV2 schemas Debian installs; lv2ls lists
          the plug-in and lv2info shows its class, UI and ports with their
          names, ranges, defaults, choices and properties.
  render  lv2apply runs files through the plug-in (audio on "Audio", key on
          "Key", factory settings and others given in the ports' units); the
          output equals velmora-render's through the VST 2 build, with the
          key on the left and the audio on the right, sample for sample (a Hz
          value that stands for no single sweep position: within 1e-3).
  jalv    jalv (console) runs the plug-in under a dummy JACK server, takes a
          control value and stays up.

Prints one line per case and "N passed, M failed"."""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # keep the source tree free of caches
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from caserun import case, run_cases  # noqa: E402
from hostcase import SKIP  # noqa: E402
from wavfloat import read_wav, write_wav_float  # noqa: E402

URI = "urn:pemberly:velmora"
A = None
WORK = None
LV2_DIR = None  # holds a copy of the bundle, as ~/.lv2 would


def run(args, env=None, timeout=300, check=False):
    r = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                       errors="replace", timeout=timeout)
    if check and r.returncode != 0:
        raise AssertionError(f"{args[0]} exited {r.returncode}: {r.stdout.strip()[-800:]}")
    return r


def lv2_env():
    """lilv searches only LV2_PATH when it is set: the bundle's folder, and
    the schemas' bundles so that the plug-in's class is known."""
    env = dict(os.environ)
    env["LV2_PATH"] = f"{LV2_DIR}:/usr/lib/lv2"
    return env


def spec_files():
    r = run(["dpkg", "-L", "lv2-dev"], check=True)
    return [p for p in r.stdout.split() if p.endswith(".ttl") and os.path.isfile(p)]


# ---- bundle ---------------------------------------------------------------

def bundle_group():
    bundle = os.path.join(LV2_DIR, "velmora.lv2")
    ttl = sorted(os.path.join(bundle, f) for f in os.listdir(bundle) if f.endswith(".ttl"))

    @case("the bundle holds the plug-in, its editor and two Turtle files")
    def _():
        names = sorted(os.listdir(bundle))
        assert names == ["manifest.ttl", "velmora-lv2-ui.so", "velmora-lv2.so", "velmora.ttl"], names

    @case("every Turtle file parses (sordi) and sord_validate finds no error")
    def _():
        for f in ttl:
            run(["sordi", f"file://{f}"], check=True)
        r = run(["sord_validate"] + spec_files() + ttl, check=True)
        print(r.stdout.strip().splitlines()[-1])
        # It exits 0 on errors too: its count is what tells.
        assert re.search(r"^Found 0 errors", r.stdout, re.M), r.stdout[-2000:]
        assert "error" not in r.stdout.replace("Found 0 errors", ""), r.stdout[-2000:]

    @case("lv2ls lists the plug-in")
    def _():
        r = run(["lv2ls"], env=lv2_env(), check=True)
        assert URI in r.stdout.split(), r.stdout

    @case("lv2info shows a filter by Pemberly with its X11 editor and thirteen ports")
    def _():
        r = run(["lv2info", URI], env=lv2_env(), check=True)
        out = r.stdout
        print(out)
        assert re.search(r"Name:\s+Velmora$", out, re.M)
        assert re.search(r"Class:\s+Filter Plugin$", out, re.M)
        assert re.search(r"Author:\s+Pemberly$", out, re.M)
        assert re.search(r"urn:pemberly:velmora#ui\s+Class:\s+http://lv2plug.in/ns/extensions/ui#X11UI", out)
        assert "velmora-lv2-ui.so" in out
        assert "http://lv2plug.in/ns/lv2core#hardRTCapable" in out
        ports = re.split(r"\n\tPort \d+:\n", out)[1:]
        assert len(ports) == 13, len(ports)

        def port(i):
            return ports[i]
        expected = [  # symbol, name, minimum, maximum, default
            ("low_frequency", "Low Filter frequency", "15.000000", "15360.000000", "2715.290039"),
            ("high_frequency", "Hi Filter frequency", "15.000000", "15360.000000", "15360.000000"),
            ("filter_type", "Filter type", "0.000000", "4.000000", "1.000000"),
            ("filter_q", "Filter Q", "0.000000", "100.000000", "90.000000"),
            ("boost", "Boost", "0.000000", "400.000000", "360.000000"),
            ("attack", "Attack", "0.000000", "100.000000", "50.000000"),
            ("release", "Release", "0.000000", "100.000000", "50.000000"),
            ("swap_stereo", "Stereo", "0.000000", "1.000000", "0.000000"),
        ]
        for i, (symbol, name, lo, hi, default) in enumerate(expected):
            p = port(i)
            assert "lv2core#ControlPort" in p and "lv2core#InputPort" in p, p
            assert re.search(rf"Symbol:\s+{symbol}$", p, re.M), p
            assert re.search(rf"Name:\s+{re.escape(name)}$", p, re.M), p
            assert re.search(rf"Minimum:\s+{lo}$", p, re.M), p
            assert re.search(rf"Maximum:\s+{hi}$", p, re.M), p
            assert re.search(rf"Default:\s+{default}$", p, re.M), p
        for i in (0, 1):
            assert "port-props#logarithmic" in port(i)
        assert "lv2core#enumeration" in port(2) and "lv2core#integer" in port(2)
        for k, label in enumerate(["Off", "Low", "High", "Band Pass", "Band Reject"]):
            assert f'{k}.0 = "{label}"' in port(2), port(2)
        assert "lv2core#toggled" in port(7)
        assert '0.0 = "Normal"' in port(7) and '1.0 = "Reversed"' in port(7)
        audio = [("audio", "Audio", "Input"), ("key", "Key", "Input"),
                 ("out_left", "Output 1", "Output"), ("out_right", "Output 2", "Output")]
        for i, (symbol, name, direction) in enumerate(audio, start=8):
            p = port(i)
            assert "lv2core#AudioPort" in p and f"lv2core#{direction}Port" in p, p
            assert re.search(rf"Symbol:\s+{symbol}$", p, re.M), p
            assert re.search(rf"Name:\s+{name}$", p, re.M), p
        assert "lv2core#isSideChain" in port(9) and "lv2core#connectionOptional" in port(9)
        assert "isSideChain" not in port(8)
        # The groups: Audio and Key each a mono group's centre, the outputs
        # the stereo group's left and right.
        for i, group, element in ((8, "main_in", "center"), (9, "sidechain_in", "center"),
                                  (10, "main_out", "left"), (11, "main_out", "right")):
            assert re.search(rf"Group:\s+urn:pemberly:velmora#{group}$", port(i), re.M), port(i)
            assert re.search(rf"Designation:\s+\S+port-groups#{element}$", port(i), re.M), port(i)
        # The host's bypass, after the ports of the first release.
        p = port(12)
        assert "lv2core#ControlPort" in p and "lv2core#InputPort" in p, p
        assert re.search(r"Symbol:\s+enabled$", p, re.M), p
        assert re.search(r"Designation:\s+http://lv2plug.in/ns/lv2core#enabled$", p, re.M), p
        assert re.search(r"Default:\s+1.000000$", p, re.M), p
        assert "lv2core#toggled" in p, p

    @case("the Key's group is a side-chain of the main input's; main input and output named")
    def _():
        r = run(["sordi", "-o", "ntriples", f"file://{os.path.join(bundle, 'velmora.ttl')}"],
                check=True)
        pg = "http://lv2plug.in/ns/ext/port-groups#"
        triples = set(re.findall(r"^(<[^>]+>) (<[^>]+>) (\S+) \.$", r.stdout, re.M))
        plugin, group = "<urn:pemberly:velmora>", "<urn:pemberly:velmora#{}>".format
        for want in [(group("sidechain_in"), f"<{pg}sideChainOf>", group("main_in")),
                     (plugin, f"<{pg}mainInput>", group("main_in")),
                     (plugin, f"<{pg}mainOutput>", group("main_out")),
                     (group("main_in"), "<http://www.w3.org/1999/02/22-rdf-syntax-ns#type>",
                      f"<{pg}InputGroup>"),
                     (group("sidechain_in"), "<http://www.w3.org/1999/02/22-rdf-syntax-ns#type>",
                      f"<{pg}InputGroup>"),
                     (group("main_out"), "<http://www.w3.org/1999/02/22-rdf-syntax-ns#type>",
                      f"<{pg}StereoGroup>")]:
            assert want in triples, want

    @case("the description gives the sweep in Hz and the rest in percent (units)")
    def _():
        # lv2info does not show units: read them from the triples.
        r = run(["sordi", "-o", "ntriples", f"file://{os.path.join(bundle, 'velmora.ttl')}"],
                check=True)
        units = r.stdout.count("<http://lv2plug.in/ns/extensions/units#unit>")
        hz = r.stdout.count("<http://lv2plug.in/ns/extensions/units#hz>")
        pc = r.stdout.count("<http://lv2plug.in/ns/extensions/units#pc>")
        assert (units, hz, pc) == (6, 2, 4), (units, hz, pc)


# ---- render ---------------------------------------------------------------

# Each setting: lv2apply's controls in the ports' units, and the same
# setting as velmora-render's normalised parameters.
SETTINGS = [
    ("factory", [], []),
    ("high pass, swept 120 Hz .. 7680 Hz",
     [("filter_type", "2"), ("filter_q", "50"), ("boost", "200"), ("attack", "25"),
      ("release", "75"), ("low_frequency", "120"), ("high_frequency", "7680")],
     ["2=0.5", "3=0.5", "4=0.5", "5=0.25", "6=0.75", "0=0.3", "1=0.9"]),
    ("band pass with the inputs swapped, falling sweep",
     [("swap_stereo", "1"), ("filter_type", "3"), ("low_frequency", "3840"),
      ("high_frequency", "60"), ("attack", "0"), ("release", "100")],
     ["7=1", "2=0.7", "0=0.8", "1=0.2", "5=0", "6=1"]),
    ("band reject, off-grid values", [("filter_type", "4"), ("filter_q", "33"), ("boost", "123")],
     ["2=0.9", "3=0.33", "4=0.3075"]),
]

# A Hz value that stands for no single sweep position exactly: 15 * 2^1.23
# Hz, the exact frequency of the decimal position 0.123, is as a single
# closer to a position 2e-8 below the single 0.123 that the renderer takes.
# A filter swept from 35 Hz turns that into differences of 3e-5 (Q 0) to
# 5e-4 (the factory's Q 90 %) in the output; the bound says that the port
# takes the position its Hz value means, not one further off.
INEXACT = ("sweep from 15 * 2^1.23 Hz, which no single position carries exactly",
           [("low_frequency", repr(15 * 2 ** 1.23))], ["0=0.123"])
INEXACT_BOUND = 1e-3


def render_group():
    env = lv2_env()
    # The renderer's demo as the test signal: pulses (the key) on the left,
    # a chord (the audio) on the right.
    stereo = os.path.join(WORK, "stereo.wav")
    run([A.render, "--plugin", A.plugin, "--seconds", "3", "--write-input", stereo, "-o",
         os.path.join(WORK, "unused.wav")], check=True)
    rate, (key, audio) = read_wav(stereo)
    # lv2apply reads one channel per audio input, in port order.
    ports_in = os.path.join(WORK, "audio-key.wav")
    write_wav_float(ports_in, rate, [audio, key])

    for name, controls, params in SETTINGS + [INEXACT]:
        exact = "sample for sample" if (name, controls, params) != INEXACT else "within 1e-3"

        @case(f"lv2apply equals velmora-render {exact}: {name}")
        def _(name=name, controls=controls, params=params):
            tag = re.sub(r"\W+", "-", name)
            lv2_out = os.path.join(WORK, f"lv2-{tag}.wav")
            vst_out = os.path.join(WORK, f"vst-{tag}.wav")
            args = ["lv2apply", "-i", ports_in, "-o", lv2_out]
            for symbol, value in controls:
                args += ["-c", symbol, value]
            run(args + [URI], env=env, check=True)
            cmd = [A.render, "--plugin", A.plugin, "-i", stereo, "-o", vst_out]
            for p in params:
                cmd += ["--param", p]
            run(cmd, check=True)
            _, lv2 = read_wav(lv2_out)
            _, vst = read_wav(vst_out)
            assert len(lv2) == 2 and len(lv2[0]) == len(vst[0]) == len(key), (len(lv2[0]), len(vst[0]))
            differing = sum(a != b for c in range(2) for a, b in zip(lv2[c], vst[c]))
            peak = max(abs(v) for v in vst[0])
            worst = max(abs(a - b) for c in range(2) for a, b in zip(lv2[c], vst[c]))
            print(f"  {name}: {len(key)} frames, {differing} samples differ, largest difference "
                  f"{worst:g}, peak {peak:.3f}")
            assert peak > 0.01, "silence proves nothing"
            if (name, controls, params) == INEXACT:
                assert 0 < worst <= INEXACT_BOUND, worst
            else:
                assert differing == 0


# ---- jalv -----------------------------------------------------------------

def jalv_group():
    @case("jalv runs the plug-in under a dummy JACK server and takes a control value")
    def _():
        env = lv2_env()
        server = f"velmora-{os.getpid()}"
        env["JACK_DEFAULT_SERVER"] = server
        env["JACK_NO_AUDIO_RESERVATION"] = "1"
        jackd = subprocess.Popen(["jackd", "--no-realtime", "-n", server, "-d", "dummy", "-r",
                                  "44100", "-p", "256"], env=env, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, text=True)
        try:
            ok = False
            for _ in range(100):
                if run(["jack_lsp"], env=env, timeout=10).returncode == 0:
                    ok = True
                    break
                time.sleep(0.1)
            assert ok, "the dummy JACK server did not start"
            jalv = subprocess.Popen(["jalv", "-n", "velmora", URI], env=env, stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            try:
                # Commands, then a look at the ports it made, then quit.
                jalv.stdin.write("filter_q = 25\n")
                jalv.stdin.flush()
                time.sleep(1.5)
                ports = run(["jack_lsp", "velmora"], env=env, timeout=10).stdout.split()
                jalv.stdin.write("controls\n")
                jalv.stdin.flush()
                time.sleep(0.5)
                alive = jalv.poll() is None
                # It ends at the end of its input.
                out, _ = jalv.communicate(timeout=20)
            finally:
                if jalv.poll() is None:
                    jalv.kill()
            print(out.strip()[-3000:])
            print("JACK ports:", ports)
            assert alive, "jalv exited while running"
            assert set(ports) >= {"velmora:audio", "velmora:key", "velmora:out_left",
                                  "velmora:out_right"}, ports
            assert re.search(r"filter_q\s*=\s*25", out), "the control value was not taken"
        finally:
            jackd.terminate()
            try:
                jackd.communicate(timeout=20)
            except subprocess.TimeoutExpired:
                jackd.kill()


def main():
    global A, WORK, LV2_DIR
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--bundle", required=True, help="velmora.lv2 in the build tree")
    ap.add_argument("--render", help="velmora-render")
    ap.add_argument("--plugin", help="the VST 2 velmora.so")
    ap.add_argument("--workdir", required=True)
    ap.add_argument("group", choices=["bundle", "render", "jalv"])
    A = ap.parse_args()
    tools = {"bundle": ["sordi", "sord_validate", "lv2ls", "lv2info"], "render": ["lv2apply"],
             "jalv": ["jalv", "jackd", "jack_lsp"]}[A.group]
    missing = [t for t in tools if not shutil.which(t)]
    if missing:
        print(f"SKIP: {' '.join(missing)} not installed (scripts/install-deps.sh installs them)")
        return SKIP
    os.makedirs(A.workdir, exist_ok=True)
    WORK = tempfile.mkdtemp(prefix=f"lv2-{A.group}-", dir=A.workdir)
    LV2_DIR = os.path.join(WORK, "lv2")
    shutil.copytree(A.bundle, os.path.join(LV2_DIR, "velmora.lv2"))
    {"bundle": bundle_group, "render": render_group, "jalv": jalv_group}[A.group]()
    rc = run_cases()
    if rc == 0:
        shutil.rmtree(WORK, ignore_errors=True)
    return rc


if __name__ == "__main__":
    sys.exit(main())
