"""Minimal RIFF/WAVE reader for the test scripts: 16/24/32-bit PCM and
32-bit float, any channel count, returned as per-channel lists of floats."""
import struct


def read_wav(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[0:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError(f"{path}: not a RIFF/WAVE file")
    pos = 12
    fmt = None
    samples = None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        body = data[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            tag, channels, rate, _, _, bits = struct.unpack_from("<HHIIHH", body)
            if tag == 0xFFFE and len(body) >= 26:  # WAVE_FORMAT_EXTENSIBLE
                tag = struct.unpack_from("<H", body, 24)[0]
            fmt = (tag, channels, rate, bits)
        elif cid == b"data":
            samples = body
        pos += 8 + size + (size & 1)
    if fmt is None or samples is None:
        raise ValueError(f"{path}: no fmt or data chunk")
    tag, channels, rate, bits = fmt
    if tag == 3 and bits == 32:
        values = struct.unpack(f"<{len(samples) // 4}f", samples[: len(samples) // 4 * 4])
    elif tag == 1 and bits == 16:
        values = [v / 32768.0 for v in struct.unpack(f"<{len(samples) // 2}h", samples[: len(samples) // 2 * 2])]
    elif tag == 1 and bits == 32:
        values = [v / 2147483648.0 for v in struct.unpack(f"<{len(samples) // 4}i", samples[: len(samples) // 4 * 4])]
    elif tag == 1 and bits == 24:
        values = []
        for i in range(0, len(samples) - 2, 3):
            v = int.from_bytes(samples[i:i + 3], "little", signed=True)
            values.append(v / 8388608.0)
    else:
        raise ValueError(f"{path}: unsupported format tag {tag} with {bits} bits")
    return rate, [list(values[c::channels]) for c in range(channels)]


def write_wav_float(path, rate, channels):
    """Writes per-channel lists of floats as a 32-bit float WAVE file."""
    frames = len(channels[0])
    n = len(channels)
    interleaved = [channels[c][i] for i in range(frames) for c in range(n)]
    body = struct.pack(f"<{len(interleaved)}f", *interleaved)
    fmt = struct.pack("<HHIIHH", 3, n, rate, rate * n * 4, n * 4, 32)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(body)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        f.write(b"data" + struct.pack("<I", len(body)) + body)


def read_raw_stereo(path):
    """Raw interleaved stereo 32-bit little-endian floats, as two lists."""
    with open(path, "rb") as f:
        data = f.read()
    values = struct.unpack(f"<{len(data) // 4}f", data[: len(data) // 4 * 4])
    return list(values[0::2]), list(values[1::2])
