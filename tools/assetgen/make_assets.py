"""Writes every file under assets/ (and the contact sheet under docs/images/).

Run through tools/assetgen/make-assets. The output is byte-for-byte the same
on every run: fixed random seeds, PNGs without time stamps, and LAME's
deterministic constant-bit-rate encoder.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import wave

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import analysis  # noqa: E402
import ico       # noqa: E402
import images    # noqa: E402
import music     # noqa: E402
import pngio     # noqa: E402

ROOT = os.path.dirname(os.path.dirname(HERE))
ASSETS = os.path.join(ROOT, "assets")
SHEET = os.path.join(ROOT, "docs", "images", "assets-sheet.png")

IMAGE_GAMMA = 0.45
LASER_GAMMA = 0.45454


def make_images():
    pics = [
        ("bg01", images.background(np.random.default_rng(101)), IMAGE_GAMMA),
        ("cloud", images.cloud(np.random.default_rng(102)), IMAGE_GAMMA),
        ("laser", images.laser(), LASER_GAMMA),
    ]
    for key in images.CARD_SIZES:
        pics.append((key, images.card(key), IMAGE_GAMMA))
    pics.append(("icon32", images.icon(32), IMAGE_GAMMA))
    pics.append(("icon16", images.icon(16), IMAGE_GAMMA))
    for key, arr, gamma in pics:
        pngio.write_png(os.path.join(ASSETS, key + ".png"), arr, gamma)
    # The Windows build's icon resource: the same two window icons.
    icons = {key: np.ascontiguousarray(arr, dtype=np.uint8) for key, arr, _ in pics if key.startswith("icon")}
    ico.write_ico(os.path.join(ASSETS, "veldrin.ico"),
                  [(a.shape[1], a.shape[0], a.tobytes()) for a in (icons["icon32"], icons["icon16"])])
    os.makedirs(os.path.dirname(SHEET), exist_ok=True)
    pngio.write_png(SHEET, images.contact_sheet([(k, a) for k, a, _ in pics]), IMAGE_GAMMA)
    print(f"wrote {len(pics)} images and {os.path.relpath(SHEET, ROOT)}")


def write_wav(path, stereo):
    pcm = np.clip(np.round(stereo.T * 32767.0), -32768, 32767).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(music.SR)
        w.writeframes(pcm.tobytes())


def decode(path):
    raw = subprocess.run(["mpg123", "-q", "-s", path], check=True, stdout=subprocess.PIPE).stdout
    pcm = np.frombuffer(raw, dtype="<i2").astype(np.float64).reshape(-1, 2) / 32768.0
    return pcm


def make_music():
    mix = music.render()
    peak = np.abs(mix).max()
    rms = np.sqrt((mix ** 2).mean())
    busy = mix[:, int(97 * 0 + 60 * music.SR):int(75 * music.SR)]
    print(f"rendered {mix.shape[1] / music.SR:.3f} s, peak {peak:.3f}, "
          f"RMS {20 * np.log10(rms):.1f} dBFS overall, {20 * np.log10(np.sqrt((busy ** 2).mean())):.1f} dBFS at 60-75 s")
    if peak > 0.98:
        raise SystemExit("mix clips")
    out = os.path.join(ASSETS, "music.mp3")
    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, "music.wav")
        write_wav(wav, mix)
        subprocess.run(["lame", "--quiet", "-b", "160", "--cbr", "--add-id3v2", "--id3v2-latin1",
                        "--pad-id3v2-size", "472",
                        "--tt", "veldrin", "--ta", "TAVO", wav, out], check=True)
    print(f"wrote {os.path.relpath(out, ROOT)} ({os.path.getsize(out)} bytes)")
    return out


def analyse(path):
    pcm = decode(path)
    print(f"decoded {pcm.shape[0] / music.SR:.3f} s, peak {np.abs(pcm).max():.3f}")
    mono = pcm.mean(axis=1)
    bar_starts = [music.bt(b[1]) for b in music.BARS]
    return analysis.report(mono, music.BEAT, music.bt, music.SWITCHES, bar_starts)


# what each scene needs from the music; checked on every run
TARGETS = [
    ("knot_m3_beats", ">=", 0.9, "inner boxes flash red on the beats"),
    ("knot_flashes", ">=", 0.6, "... about once a beat"),
    ("knot_flashes", "<=", 1.5, "... not several times a beat"),
    ("knot_flash_frames", ">=", 4, "... each flash held long enough to read as a pulse"),
    ("knot_flash_frames", "<=", 8, "... and short enough to end before the next"),
    ("knot_m128_share", ">=", 0.7, "corner sparkle most of the time"),
    ("knot_m128_gaps", ">=", 2, "... with a few short gaps"),
    ("laser_m33_share", ">=", 0.7, "bolts crackle while the music is busy"),
    ("laser_quiet_runs", ">=", 3, "... and freeze in the stops"),
    ("dodeca_m4_beats", ">=", 0.8, "shells turn red on the beats"),
    ("dodeca_flashes", ">=", 0.6, "... about once a beat"),
    ("dodeca_flashes", "<=", 1.5, "... not several times a beat"),
    ("dodeca_flash_frames", ">=", 4, "... each flash held long enough to read as a pulse"),
    ("dodeca_flash_frames", "<=", 8, "... and short enough to end before the next"),
    ("dodeca_wire_flashes", "<=", 0.2, "... but hardly in the wire-only stretches"),
]


def check(figures):
    failed = []
    for key, op, limit, what in TARGETS:
        v = figures[key]
        if not (v >= limit if op == ">=" else v <= limit):
            failed.append(f"  {what}: {key} = {v:.3g}, wanted {op} {limit}")
    print("reaction check: " + ("ok" if not failed else "FAILED\n" + "\n".join(failed)))
    return not failed


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--images", action="store_true", help="only the pictures")
    ap.add_argument("--analyse", action="store_true", help="only analyse the committed music")
    args = ap.parse_args()
    os.makedirs(ASSETS, exist_ok=True)
    if not args.analyse:
        make_images()
        if args.images:
            return
        make_music()
    if not check(analyse(os.path.join(ASSETS, "music.mp3"))):
        sys.exit(1)


if __name__ == "__main__":
    main()
