"""What the demo's scenes will see of the music.

The demo reads single magnitudes of a 512-sample spectrum of the playing sound:
for music time t the last 512 mono samples before floor(t * 44100), a periodic
Hann window, a real FFT, and |X_k| * 2 / 512 for k = 0 .. 255 (a full-scale
sine centred on a bin reads about 0.5). This module computes exactly that for
the frames of a 60 Hz run (frame n sees music time floor(n * 1000 / 60) ms), in
the demo's single precision, and reports how often each scene's threshold is
passed and how the flashes it makes look on screen.
"""
import numpy as np

SR = 44100
FFT = 512
FPS = 60

# (bin, threshold, what reacts)
BANDS = [
    (3, 0.1, "inner boxes red"),
    (128, 0.001, "corner sparkle"),
    (33, 0.01, "bolts crackle"),
    (4, 0.1, "shells red"),
]

WINDOWS = [
    (0.0, 15.37, "presents, event card"),
    (15.37, 29.708, "clouds drift in"),
    (29.708, 45.0, "background, title"),
    (45.0, 58.366, "green clouds, music credit"),
    (58.366, 75.0, "knot: tumbling boxes"),
    (75.0, 95.37, "knot: pulsing boxes"),
    (95.37, 104.9, "boxes only"),
    (104.9, 115.669, "laser + boxes"),
    (115.669, 140.745, "laser"),
    (140.745, 150.0, "laser + cluster"),
    (150.0, 160.0, "wire shells"),
    (160.0, 180.0, "cluster + clouds"),
    (180.0, 187.0, "wire shells, end"),
]


def spectrum_frames(mono, times):
    """Magnitudes (len(times), 256) as the demo computes them."""
    i = np.arange(FFT)
    window = 0.5 - 0.5 * np.cos(2.0 * np.pi * i / FFT)
    padded = np.concatenate([np.zeros(FFT), mono, np.zeros(FFT)])
    ends = np.floor(np.asarray(times) * SR).astype(np.int64)
    idx = ends[:, None] - FFT + i[None, :] + FFT   # shift for the leading zeros
    idx = np.clip(idx, 0, padded.size - 1)
    segs = padded[idx] * window[None, :]
    return np.abs(np.fft.rfft(segs, axis=1))[:, :256] * 2.0 / FFT


def longest_run(mask):
    best = run = 0
    for v in mask:
        run = run + 1 if v else 0
        best = max(best, run)
    return best


def runs_at_least(mask, count):
    """Number of runs of True at least `count` long."""
    runs, run = 0, 0
    for v in list(mask) + [False]:
        if v:
            run += 1
        else:
            if run >= count:
                runs += 1
            run = 0
    return runs


def frame_times(seconds):
    """Music time of each frame of a 60 Hz run: the clock counts whole milliseconds."""
    return np.floor(np.arange(int(seconds * FPS) + 1) * 1000.0 / FPS) / 1000.0


def flashes(above, sel, beat):
    """Flashes in the selected frames: (count per beat, mean length in frames). A flash
    is a run of frames above the threshold; a frame outside `sel` ends it."""
    on = above & sel
    count = int((on & ~np.concatenate([[False], on[:-1]])).sum())
    beats = sel.sum() / FPS / beat
    return count / beats, (on.sum() / count if count else 0.0)


def beat_hits(mags, times, beats, threshold, reach=0.12):
    """Share of beats followed within `reach` seconds by a frame above threshold."""
    hits = 0
    for b in beats:
        sel = (times >= b) & (times < b + reach)
        hits += bool((mags[sel] > threshold).any())
    return hits / max(len(beats), 1)


def report(mono, beat, beat_time, switches, bar_starts):
    """Print the analysis; returns a dict of the key figures for checks."""
    times = frame_times(187.0)
    mags = spectrum_frames(mono, times).astype(np.float32)   # the demo's floats
    lines = []
    head = "window (s)        scene                        "
    head += "".join(f"  m{b:<3}>{th:<6}" for b, th, _ in BANDS)
    lines.append(head)
    lines.append("                                               "
                 + "".join("  share  quiet" for _ in BANDS))
    for t0, t1, name in WINDOWS:
        sel = (times > t0) & (times < t1)
        row = f"{t0:7.3f}-{t1:7.3f}  {name:<28} "
        for b, th, _ in BANDS:
            m = mags[sel, b]
            share = (m > th).mean()
            quiet = longest_run(m <= th) / FPS
            row += f"  {share:5.0%} {quiet:5.2f}s"
        lines.append(row)
    lines.append("(share: frames above the threshold; quiet: longest stretch at or below it)")

    figures = {}
    knot = (times > 58.366) & (times <= 75.0)     # mode 0: tumbling boxes that turn red
    laser = (times > 104.9) & (times < 151.492)
    cluster = (times > 140.745) & (times < 187.0)
    wire_only = cluster & (((times > 150) & (times < 160)) | (times > 180))
    solid = cluster & ~wire_only
    knot_beats = [beat_time(b) for b in range(97, 125)]
    cluster_beats = [beat_time(b) for b in range(235, 313) if 140.745 < beat_time(b) < 187.0]
    solid_beats = [t for t in cluster_beats if not (150 < t < 160 or t > 180)]
    # the knot compares the float with 0.1f, the cluster widens it and compares with 0.1
    boxes_red = mags[:, 3] > np.float32(0.1)
    shells_red = mags[:, 4].astype(np.float64) > 0.1
    figures["knot_m3_beats"] = beat_hits(mags[:, 3], times, knot_beats, np.float32(0.1))
    figures["knot_flashes"], figures["knot_flash_frames"] = flashes(boxes_red, knot, beat)
    figures["knot_m128_share"] = (mags[knot, 128] > np.float32(0.001)).mean()
    figures["knot_m128_gaps"] = runs_at_least(mags[knot, 128] <= np.float32(0.001), 6)
    figures["laser_m33_share"] = (mags[laser, 33] > np.float32(0.01)).mean()
    figures["laser_quiet_runs"] = runs_at_least(mags[laser, 33] <= np.float32(0.01), FPS // 2)
    figures["dodeca_m4_beats"] = beat_hits(mags[:, 4].astype(np.float64), times, solid_beats, 0.1)
    figures["dodeca_flashes"], figures["dodeca_flash_frames"] = flashes(shells_red, solid, beat)
    figures["dodeca_wire_flashes"], _ = flashes(shells_red, wire_only, beat)
    lines.append("")
    lines.append(f"knot 58.366-75:  m3 > 0.1 within 120 ms of {figures['knot_m3_beats']:.0%} of beats, "
                 f"{figures['knot_flashes']:.2f} flashes per beat, {figures['knot_flash_frames']:.1f} frames each; "
                 f"m128 > 0.001 in {figures['knot_m128_share']:.0%} of frames, "
                 f"{figures['knot_m128_gaps']} gaps of 0.1 s or more")
    lines.append(f"laser 104.9-151.492: m33 > 0.01 in {figures['laser_m33_share']:.0%} of frames, "
                 f"{figures['laser_quiet_runs']} quiet stretches of 0.5 s or more")
    lines.append(f"cluster 140.745-187: m4 > 0.1 within 120 ms of {figures['dodeca_m4_beats']:.0%} of beats "
                 f"with solids, {figures['dodeca_flashes']:.2f} flashes per beat, "
                 f"{figures['dodeca_flash_frames']:.1f} frames each; "
                 f"wire-only {figures['dodeca_wire_flashes']:.2f} flashes per beat")
    lines.append("")
    lines.append("scene switches on the beat grid:")
    for beat, t in switches:
        lines.append(f"  {t:8.3f} s  beat {beat:3d} at {beat_time(beat):8.3f} s  ({(beat_time(beat) - t) * 1000:+5.0f} ms)")
    for t in (45, 65, 75, 150, 160, 165, 180):
        lines.append(f"  {t:8.3f} s  nearest bar line {min(bar_starts, key=lambda s: abs(s - t)):8.3f} s")
    print("\n".join(lines))
    return figures

