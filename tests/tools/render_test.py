#!/usr/bin/env python3
"""velmora-render as a musician runs it: every mistake is named with the
argument that caused it and a hint and ends with a non-zero exit; --key and
--audio give what the single stereo file gives; --bits and the sample rate;
--list; the progress line on a terminal. One group of cases per run:

  render_test.py --render BIN --plugin SO --workdir DIR --version V GROUP

GROUP is mistakes, key-audio, formats, list or progress. Prints one line per
case and "N passed, M failed"."""
import argparse
import array
import math
import os
import pty
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # keep the source tree free of caches
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from caserun import case, run_cases  # noqa: E402
from wavfloat import read_wav, write_wav_float  # noqa: E402

A = None  # the parsed command line
WORK = None


def render(*args, env=None, timeout=300):
    return subprocess.run([A.render, "--plugin", A.plugin, *args], cwd=WORK, env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                          timeout=timeout)


def path(name):
    return os.path.join(WORK, name)


# ---- signals ------------------------------------------------------------------

def pulses(frames, rate, period=0.25):
    """A decaying tone burst every `period` seconds: a key that opens the filter."""
    out = []
    for i in range(frames):
        t = (i % int(rate * period)) / rate
        out.append(0.8 * math.exp(-t * 18.0) * math.sin(2 * math.pi * 80.0 * t))
    return out


def chord(frames, rate):
    """Three sawtooth voices: an audio signal with harmonics to filter."""
    out = []
    for i in range(frames):
        s = sum(2.0 * ((f * i / rate) % 1.0) - 1.0 for f in (110.0, 164.81, 220.5))
        out.append(0.2 * s)
    return out


def f32(values):
    """The values as single-precision floats, as a WAV file holds them."""
    return list(array.array("f", values))


def samples(name):
    """(rate, [left, right]) of a WAV file in the work folder."""
    return read_wav(path(name))


# ---- mistakes -------------------------------------------------------------------

def mistake(args, status, *expected):
    """The renderer refuses `args` with `status`, names what is given in
    `expected` on standard error with a hint, and writes no output."""
    out = path("refused.wav")
    if os.path.exists(out):
        os.remove(out)
    r = render(*args)
    assert r.returncode == status, f"{args}: exit {r.returncode}, want {status}\n{r.stderr}"
    for text in expected:
        assert text in r.stderr, f"{args}: {text!r} not in the message:\n{r.stderr}"
    lines = r.stderr.strip().splitlines()
    assert lines and lines[0].startswith("velmora-render: "), f"{args}: message {r.stderr!r}"
    assert any(line.strip().startswith("hint: ") and len(line.strip()) > 12 for line in lines), \
        f"{args}: no hint in {r.stderr!r}"
    assert r.stdout == "", f"{args}: printed {r.stdout!r}"
    assert not os.path.exists(out), f"{args}: wrote {out} though it refused"


def mistakes_group():
    out = ["-o", "refused.wav"]
    key = pulses(4410, 44100)
    write_wav_float(path("in.wav"), 44100, [key, key])
    write_wav_float(path("at48k.wav"), 48000, [key])
    write_wav_float(path("three.wav"), 44100, [key, key, key])
    with open(path("notes.txt"), "w") as f:
        f.write("not a sound\n")
    os.makedirs(path("folder"), exist_ok=True)

    @case("a parameter value that is not a number")
    def _():
        mistake(["--param", "2=abc", *out], 2, "--param 2=abc", '"abc" is not a number')
        mistake(["--param", "3=0.5x", *out], 2, "--param 3=0.5x", "is not a number")
        mistake(["--param", "3=nan", *out], 2, "--param 3=nan", "is not a number")
        mistake(["--param", "3=", *out], 2, "--param 3=", "is not a number")
        mistake(["--param", "2", *out], 2, "--param 2", "is not INDEX=VALUE")

    @case("a parameter value outside 0 .. 1")
    def _():
        mistake(["--param", "2=1.5", *out], 2, "--param 2=1.5", "outside 0 .. 1")
        mistake(["--param", "4=-0.01", *out], 2, "--param 4=-0.01", "outside 0 .. 1")
        mistake(["--param", "0=1e9", *out], 2, "--param 0=1e9", "outside 0 .. 1")

    @case("a parameter index outside 0 .. 119")
    def _():
        mistake(["--param", "999=0.5", *out], 2, "--param 999=0.5", "no parameter 999",
                "0 .. 119")
        mistake(["--param", "120=0.5", *out], 2, "--param 120=0.5", "no parameter 120")
        mistake(["--param", "-1=0.5", *out], 2, "--param -1=0.5", "no parameter -1")
        mistake(["--param", "x=0.5", *out], 2, "--param x=0.5", "is not a parameter index")
        # The last good index is taken.
        r = render("--param", "119=0.5", "-o", "ok.wav", "--seconds", "0.1")
        assert r.returncode == 0, r.stderr

    @case("--help names the eight parameters that act")
    def _():
        r = render("--help")
        assert r.returncode == 0, r.stderr
        for i, name in enumerate(["Filter Low Frequency", "Filter Hi Frequency", "Filter Type",
                                  "Filter Q", "Boost", "Attack", "Release", "Swap Stereo"]):
            assert any(line.split()[:1] == [str(i)] and name in line
                       for line in r.stdout.splitlines()), f"{i} {name} not in --help"
        assert "Off, Low, High, Band Pass, Band Reject" in r.stdout, r.stdout

    @case("a program outside 0 .. 15")
    def _():
        mistake(["--program", "99", *out], 2, "--program 99", "no program 99", "0 .. 15")
        mistake(["--program", "16", *out], 2, "--program 16", "no program 16")
        mistake(["--program", "-1", *out], 2, "--program -1", "no program -1")
        mistake(["--program", "two", *out], 2, "--program two", "is not a program number")

    @case("a sample rate out of range")
    def _():
        mistake(["--rate", "100", *out], 2, "--rate 100", "outside 8000 .. 384000 Hz")
        mistake(["--rate", "1000000", *out], 2, "--rate 1000000", "outside 8000 .. 384000")
        mistake(["--rate", "44100.5", *out], 2, "--rate 44100.5", "not a whole number")
        mistake(["--rate", "fast", *out], 2, "--rate fast", "not a whole number")
        mistake(["-i", "at48k.wav", "--rate", "7999", *out], 2, "--rate 7999", "outside")

    @case("a block size out of range")
    def _():
        mistake(["--block", "0", *out], 2, "--block 0", "1 .. 65536")
        mistake(["--block", "65537", *out], 2, "--block 65537", "1 .. 65536")
        mistake(["--block", "big", *out], 2, "--block big", "1 .. 65536")

    @case("an unreadable input")
    def _():
        mistake(["-i", "missing.wav", *out], 1, "-i missing.wav", "does not exist")
        mistake(["-i", "folder", *out], 1, "-i folder", "cannot be read")
        mistake(["--key", "missing.wav", "--audio", "in.wav", *out], 1, "--key missing.wav",
                "does not exist")

    @case("an unsupported input")
    def _():
        mistake(["-i", "notes.txt", *out], 1, "-i notes.txt", "is not a sound file")
        mistake(["-i", "three.wav", *out], 1, "-i three.wav", "has 3 channels", "mono or stereo")
        mistake(["--key", "in.wav", "--audio", "notes.txt", *out], 1, "--audio notes.txt",
                "is not a sound file")

    @case("an output that is the input file is refused unless --force")
    def _():
        shutil.copy(path("in.wav"), path("song.wav"))
        original = open(path("song.wav"), "rb").read()
        os.link(path("song.wav"), path("hardlink.wav"))
        os.symlink("song.wav", path("symlink.wav"))
        for given in (["-i", "song.wav", "-o", "song.wav"],
                      ["-i", "song.wav", "-o", "./song.wav"],
                      ["-i", "song.wav", "-o", path("song.wav")],
                      ["-i", "song.wav", "-o", "hardlink.wav"],
                      ["-i", "symlink.wav", "-o", "song.wav"],
                      ["--key", "in.wav", "--audio", "song.wav", "-o", "hardlink.wav"]):
            r = render(*given)
            assert r.returncode == 2, f"{given}: exit {r.returncode}"
            assert f"-o {given[-1]}" in r.stderr and "is the input file" in r.stderr \
                and "--force" in r.stderr, r.stderr
            assert open(path("song.wav"), "rb").read() == original, f"{given} changed the input"
        # The same name is not the same file: another folder's song.wav is fine.
        os.makedirs(path("other"), exist_ok=True)
        assert render("-i", "song.wav", "-o", "other/song.wav").returncode == 0
        # With --force the result replaces the input, as rendering elsewhere gives it.
        r = render("-i", "song.wav", "-o", "song.wav", "--force")
        assert r.returncode == 0, r.stderr
        assert samples("song.wav") == samples("other/song.wav")

    @case("an unwritable output")
    def _():
        mistake(["-o", "no-such-folder/out.wav"], 1, "-o no-such-folder/out.wav",
                "cannot be written")
        mistake(["-o", "in.wav/out.wav"], 1, "-o in.wav/out.wav", "cannot be written")
        if os.path.exists("/dev/full"):  # a disk that is always full
            r = render("-o", "/dev/full", "--seconds", "1")
            assert r.returncode == 1 and "-o /dev/full" in r.stderr and "hint:" in r.stderr, \
                r.stderr

    @case("the key and the audio from files of different rates")
    def _():
        mistake(["--key", "in.wav", "--audio", "at48k.wav", *out], 1, "--audio at48k.wav",
                "48000 Hz", "44100 Hz")

    @case("other mistakes on the command line")
    def _():
        mistake(["--bits", "20", *out], 2, "--bits 20", "16", "24")
        mistake(["--frobnicate", *out], 2, "--frobnicate", "is not an option")
        mistake(["-o"], 2, "-o", "needs a value")
        mistake(["--seconds", "2"], 2, "no output file")
        mistake(["--key", "in.wav", *out], 2, "--key in.wav", "no audio")
        mistake(["--audio", "in.wav", *out], 2, "--audio in.wav", "no key")
        mistake(["-i", "in.wav", "--key", "in.wav", "--audio", "in.wav", *out], 2,
                "cannot be combined with -i in.wav")
        mistake(["-i", "in.wav", "--seconds", "3", *out], 2, "--seconds", "demo")
        mistake(["--list", *out], 2, "--list", "renders nothing")
        r = subprocess.run([A.render, "no-such-plugin.so", *out], cwd=WORK, text=True,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        assert r.returncode == 1 and "no-such-plugin.so" in r.stderr and "hint:" in r.stderr, \
            r.stderr


# ---- --key / --audio ------------------------------------------------------------------

def key_audio_group():
    rate = 44100
    key = f32(pulses(rate * 3 // 2, rate))     # 1.5 s
    audio = f32(chord(rate * 2, rate))         # 2 s: the key is padded
    pad = [0.0] * (len(audio) - len(key))
    write_wav_float(path("key.wav"), rate, [key])
    write_wav_float(path("audio.wav"), rate, [audio])
    write_wav_float(path("both.wav"), rate, [key + pad, audio])
    write_wav_float(path("swapped.wav"), rate, [audio, key + pad])
    # Stereo files whose mix to mono, (left + right) / 2, is exactly the mono signal.
    write_wav_float(path("key-stereo.wav"), rate, [[2.0 * x for x in key], [0.0] * len(key)])
    write_wav_float(path("audio-stereo.wav"), rate, [audio, audio])
    short_audio = audio[: rate // 2]
    write_wav_float(path("audio-short.wav"), rate, [short_audio])
    write_wav_float(path("both-short.wav"), rate,
                    [key, short_audio + [0.0] * (len(key) - len(short_audio))])

    def same(args_a, args_b, name):
        ra = render(*args_a, "-o", name + "-a.wav")
        rb = render(*args_b, "-o", name + "-b.wav")
        assert ra.returncode == 0 and rb.returncode == 0, ra.stderr + rb.stderr
        a, b = samples(name + "-a.wav"), samples(name + "-b.wav")
        assert a[0] == b[0] == rate, f"rates {a[0]} {b[0]}"
        assert len(a[1][0]) == len(b[1][0]) > 0, f"{len(a[1][0])} vs {len(b[1][0])} frames"
        differing = sum(1 for c in range(2) for x, y in zip(a[1][c], b[1][c]) if x != y)
        assert differing == 0, f"{differing} samples differ"
        return a

    @case("mono key and audio give the single stereo file's output, bit for bit")
    def _():
        out = same(["--key", "key.wav", "--audio", "audio.wav"], ["-i", "both.wav"], "mono")
        assert len(out[1][0]) == len(audio), "the shorter key was not padded to the audio"
        # The effect did something: the output is not the dry audio.
        assert max(abs(x - y) for x, y in zip(out[1][0], audio)) > 0.05

    @case("stereo key and audio are mixed to mono")
    def _():
        same(["--key", "key-stereo.wav", "--audio", "audio-stereo.wav"], ["-i", "both.wav"],
             "stereo")

    @case("a shorter audio file is padded with silence")
    def _():
        out = same(["--key", "key.wav", "--audio", "audio-short.wav"], ["-i", "both-short.wav"],
                   "short")
        assert len(out[1][0]) == len(key)

    @case("with Swap Stereo the key goes to the input the effect keys from")
    def _():
        same(["--key", "key.wav", "--audio", "audio.wav", "--param", "7=1", "--block", "100"],
             ["-i", "swapped.wav", "--param", "7=1", "--block", "100"], "swapped")


# ---- formats and rates -------------------------------------------------------------------

def formats_group():
    rate = 44100
    key = f32(pulses(rate, rate))
    audio = f32(chord(rate, rate))
    write_wav_float(path("in.wav"), rate, [key, audio])
    # Loud enough that the output reaches the clipper.
    write_wav_float(path("loud.wav"), rate, [key, [min(1.0, 4.0 * x) for x in audio]])

    def fmt(name):
        """(format tag, channels, rate, bits) of a WAV file."""
        with open(path(name), "rb") as f:
            data = f.read(256)
        pos = 12
        while pos + 8 <= len(data):
            cid, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
            if cid == b"fmt ":
                tag, ch, r, _, _, bits = struct.unpack_from("<HHIIHH", data, pos + 8)
                return tag, ch, r, bits
            pos += 8 + size
        raise AssertionError(f"{name}: no fmt chunk")

    @case("--bits 32 (the default) writes float, 16 and 24 the nearest integer step")
    def _():
        for src in ("in.wav", "loud.wav"):
            assert render("-i", src, "-o", "f.wav").returncode == 0
            assert render("-i", src, "-o", "f32.wav", "--bits", "32").returncode == 0
            assert fmt("f.wav") == (3, 2, rate, 32) == fmt("f32.wav"), fmt("f.wav")
            _, (fl, fr) = samples("f.wav")
            assert samples("f32.wav")[1] == [fl, fr]
            for bits in (16, 24):
                r = render("-i", src, "-o", f"i{bits}.wav", "--bits", str(bits))
                assert r.returncode == 0, r.stderr
                assert fmt(f"i{bits}.wav") == (1, 2, rate, bits), fmt(f"i{bits}.wav")
                _, (il, ir) = samples(f"i{bits}.wav")
                scale = 2 ** (bits - 1)
                want = [max(-scale, min(scale - 1, round(x * scale))) / scale for x in fl]
                assert len(il) == len(fl)
                bad = sum(1 for x, y in zip(il, want) if x != y)
                assert bad == 0, f"{src} --bits {bits}: {bad} samples are not the nearest step"
                assert il == ir
            assert max(abs(x) for x in fl) > 0.1, "silent output"

    @case("the input's sample rate is kept unless --rate is given")
    def _():
        write_wav_float(path("at22k.wav"), 22050, [key[:22050], audio[:22050]])
        r = render("-i", "at22k.wav", "-o", "kept.wav")
        assert r.returncode == 0 and "22050 Hz" in r.stdout, r.stdout + r.stderr
        assert fmt("kept.wav")[2] == 22050 and "note:" not in r.stderr, r.stderr
        r = render("-i", "at22k.wav", "-o", "given.wav", "--rate", "22050")
        assert r.returncode == 0 and samples("given.wav") == samples("kept.wav")
        # The effect's coefficients follow the rate: the same samples at 48000 Hz sound otherwise.
        r = render("-i", "at22k.wav", "-o", "relabelled.wav", "--rate", "48000")
        assert r.returncode == 0, r.stderr
        assert "note:" in r.stderr and "without resampling" in r.stderr, r.stderr
        assert fmt("relabelled.wav")[2] == 48000
        assert samples("relabelled.wav")[1] != samples("kept.wav")[1]
        r = render("-o", "demo.wav", "--seconds", "0.5")
        assert r.returncode == 0 and fmt("demo.wav")[2] == 44100

    @case("--version prints the project's version")
    def _():
        r = render("--version")
        assert r.returncode == 0 and r.stdout == f"velmora-render {A.version}\n", r.stdout


# ---- --list --------------------------------------------------------------------------------

def list_group():
    def listing(*args):
        r = render("--list", *args)
        assert r.returncode == 0, r.stderr
        return r.stdout.splitlines()

    def row(lines, index):
        """The parameter row of `index` (the rows before the programs)."""
        params = lines[: lines.index("programs:")] if "programs:" in lines else lines
        for line in params:
            if line.split()[:1] == [str(index)]:
                return line
        raise AssertionError(f"no row for {index} in {params}")

    @case("--list shows each value with the editor's read-out text")
    def _():
        settings = {0: ("0.5", "Filter Low Frequency: 566Hz"),
                    1: ("1", "Filter Hi Frequency: 12.8KHz"),
                    2: ("0.75", "Filter Type: Band Pass"),
                    3: ("0.355", "Filter Q: 35.5%"),
                    4: ("0.9", "Boost: 360%"),
                    5: ("1", "Attack: 100%"),
                    6: ("0.35", "Release: 35%"),
                    7: ("0.5026", "Swap Stereo: Reversed")}
        args = [a for i, (v, _) in settings.items() for a in ("--param", f"{i}={v}")]
        lines = listing(*args)
        params = [l for l in lines if l.startswith("  ") and "Default" not in l]
        for i, (v, text) in settings.items():
            line = row(params, i)
            assert line.rstrip().endswith(text), f"{line!r} does not end with {text!r}"
            assert float(line.split()[-len(text.split()) - 1]) == float(v), line
        # The names a host sees stand beside the read-out's.
        assert "Low Filter frequency" in row(params, 0) and "Stereo" in row(params, 7)
        lines = listing("--param", "0=0.6", "--param", "7=0.5", "--param", "2=0.2004")
        assert row(lines, 0).endswith("1.1KHz") and row(lines, 7).endswith("Swap Stereo: Normal")
        assert row(lines, 2).endswith("Filter Type: Off")

    @case("--list shows the programs and which is selected")
    def _():
        lines = listing("--program", "5", "--param", "50=0.25")
        progs = lines[lines.index("programs:") + 1:]
        assert len(progs) == 16, progs
        names = [" ".join(l.split()[1:]).replace(" (selected)", "") for l in progs]
        assert names == ["Default"] + [f"Default {i}" for i in range(2, 17)], names
        assert [l for l in progs if "(selected)" in l] == [progs[5]], progs
        assert 'program 5 "Default 6"' in lines[0], lines[0]
        # A parameter without a name is listed once it holds a value.
        params = lines[: lines.index("programs:")]
        assert any(l.split()[:2] == ["50", "(no"] and "0.25" in l for l in params), params
        assert any("111 parameter(s)" in l for l in params), params


# ---- progress ------------------------------------------------------------------------------

def run_on_terminal(args, stop_when=None, limit=60.0):
    """Runs the renderer with standard error on a pseudo-terminal and answers
    what it wrote there; stops it once `stop_when` is in the text."""
    master, slave = pty.openpty()
    p = subprocess.Popen([A.render, "--plugin", A.plugin, *args], cwd=WORK, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=slave)
    os.close(slave)
    text = b""
    end = time.monotonic() + limit
    try:
        while time.monotonic() < end:
            ready, _, _ = select.select([master], [], [], 0.2)
            if ready:
                try:
                    chunk = os.read(master, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                text += chunk
                if stop_when and stop_when in text.decode(errors="replace"):
                    break
            elif p.poll() is not None:
                break
    finally:
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
        p.wait(timeout=30)
        os.close(master)
    return p.returncode, text.decode(errors="replace")


def progress_group():
    # About 1.4 billion frames: far longer than a second on any machine;
    # the output goes nowhere, and the run is stopped once the line is seen.
    long_render = ["--seconds", "3600", "--rate", "384000", "-o", os.devnull]

    @case("a render longer than a second shows one progress line on a terminal")
    def _():
        rc, text = run_on_terminal(long_render, stop_when=" of 3600.0 s", limit=120)
        assert "rendering" in text and "%" in text and " of 3600.0 s" in text, repr(text)
        assert text.startswith("\r") and "\n" not in text.replace("\r\n", "\n").rstrip("\n"), \
            repr(text)

    @case("no progress line when standard error is not a terminal")
    def _():
        p = subprocess.Popen([A.render, "--plugin", A.plugin, *long_render], cwd=WORK,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        time.sleep(2.5)
        p.send_signal(signal.SIGTERM)
        _, err = p.communicate(timeout=30)
        assert err == b"", repr(err)

    @case("a short render on a terminal shows none")
    def _():
        rc, text = run_on_terminal(["--seconds", "1", "-o", "short.wav"])
        assert rc == 0 and text == "", (rc, repr(text))


GROUPS = {"mistakes": mistakes_group, "key-audio": key_audio_group, "formats": formats_group,
          "list": list_group, "progress": progress_group}


def main():
    global A, WORK
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--render", required=True)
    ap.add_argument("--plugin", required=True)
    ap.add_argument("--workdir", required=True)
    ap.add_argument("--version", required=True, help="the project's version")
    ap.add_argument("group", choices=sorted(GROUPS))
    A = ap.parse_args()
    os.makedirs(A.workdir, exist_ok=True)
    WORK = tempfile.mkdtemp(prefix=f"render-{A.group}-", dir=A.workdir)
    GROUPS[A.group]()
    status = run_cases()
    if status == 0:
        shutil.rmtree(WORK, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
