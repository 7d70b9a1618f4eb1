"""The soundtrack: arrangement, parts and mix.

Tempo: 100.5 BPM, one beat every BEAT seconds, beat 0 at BEAT0 seconds. The
piece is in A minor. Bars are listed explicitly (a few are two or six beats
long) so that every section change lands on the beat where the picture
changes.
"""
import numpy as np

import synth
from synth import SR, Bus, midi_hz

LENGTH = 187.06          # seconds of sound
BEAT = 0.597
BEAT0 = 0.448
END_FADE = 187.0         # silent from here on
N = int(round(LENGTH * SR))

# Scene switches that fall on beats: (beat index, time in seconds where the picture changes)
SWITCHES = [(25, 15.37), (49, 29.708), (97, 58.366), (159, 95.37), (175, 104.9),
            (193, 115.669), (235, 140.745), (253, 151.492)]


def bt(b):
    """Time in seconds of beat b (fractions allowed)."""
    return BEAT0 + BEAT * b


# ---------------------------------------------------------------- harmony

# chord name -> (bass root MIDI, voicing MIDI notes around middle C)
CHORDS = {
    "Am": (33, (57, 60, 64)),
    "F": (29, (57, 60, 65)),
    "C": (36, (55, 60, 64)),
    "G": (31, (55, 59, 62, 67)),
    "Dm": (38, (57, 62, 65)),
    "Em": (28, (55, 59, 64)),
    "E": (28, (56, 59, 64)),
}
MAIN = ["Am", "F", "C", "G"]
# Chord stabs, voiced open: one low note carries the pulse the scenes see, the other chord
# tones sit well above it, out of the band being read, so they cannot beat against it and
# split a flash into flickers. The drive's low notes lie near 260 Hz (spectrum entry 3, the
# knot's boxes), the heavy and final sections' near 345 Hz (entry 4, the cluster's shells).
STAB_LOW = {"Am": (60, 69, 76), "F": (60, 69, 77), "C": (60, 67, 76), "G": (59, 67, 74)}
STAB_HIGH = {"Am": (64, 72, 81), "F": (65, 72, 81), "C": (64, 72, 79), "G": (67, 74, 83),
             "Dm": (65, 74, 81), "E": (64, 71, 80)}

# Held about 85 ms with a short release: the band stays above the scenes' threshold for
# about six frames at 60 fps, and well below it until the next beat.
STAB_GATE = 0.14            # beats
STAB_GAIN = (0.5, 0.2, 0.18)   # the low note first
STAB_PAN = (0.0, -0.25, 0.25)

# (section, first beat, beats, chord)
BARS = []


def _bars(section, first, count, chords, length=4):
    for i in range(count):
        BARS.append((section, first + i * length, length, chords[i % len(chords)]))
    return first + count * length


_b = 1
_b = _bars("intro", _b, 6, ["Am", "F", "C", "G", "Am", "E"])          # 1 .. 25
_b = _bars("rise", _b, 6, ["Am", "F", "C", "G", "F", "G"])            # 25 .. 49
_b = _bars("groove", _b, 6, MAIN)                                      # 49 .. 73
_b = _bars("fill", _b, 1, ["G"], 2)                                    # 73 .. 75
_b = _bars("variation", _b, 4, ["Dm", "Am", "F", "G"])                # 75 .. 91
_b = _bars("build", _b, 1, ["E"], 6)                                   # 91 .. 97
_b = _bars("drive", _b, 7, MAIN)                                       # 97 .. 125
_b = _bars("theme", _b, 8, MAIN)                                       # 125 .. 157
_b = _bars("fill", _b, 1, ["E"], 2)                                    # 157 .. 159
_b = _bars("breakdown", _b, 4, ["F", "C", "Dm", "E"])                  # 159 .. 175
_b = _bars("laser", _b, 4, MAIN)                                       # 175 .. 191
_b = _bars("stop", _b, 1, ["G"], 2)                                    # 191 .. 193
_b = _bars("laser", _b, 3, ["Dm", "F", "C"])                           # 193 .. 205
_b = _bars("laser", _b, 1, ["G"], 2)                                   # 205 .. 207
_b = _bars("stop", _b, 1, ["G"], 2)                                    # 207 .. 209
_b = _bars("laser", _b, 3, MAIN)                                       # 209 .. 221
_b = _bars("laser", _b, 1, ["G"], 2)                                   # 221 .. 223
_b = _bars("stop", _b, 1, ["G"], 2)                                    # 223 .. 225
_b = _bars("laser", _b, 2, ["Dm", "E"])                                # 225 .. 233
_b = _bars("stop", _b, 1, ["E"], 2)                                    # 233 .. 235
_b = _bars("heavy", _b, 4, ["Am", "F", "Dm", "E"])                     # 235 .. 251
_b = _bars("breath", _b, 1, ["E"], 2)                                  # 251 .. 253
_b = _bars("calm", _b, 3, ["F", "C", "G"])                             # 253 .. 265
_b = _bars("calm", _b, 1, ["Am"], 2)                                   # 265 .. 267
_b = _bars("final", _b, 8, MAIN)                                       # 267 .. 299
_b = _bars("fill", _b, 1, ["G"], 2)                                    # 299 .. 301
_b = _bars("outro", _b, 3, ["Am", "F", "Am"])                          # 301 .. 313

# The lead theme, eight bars over Am F C G Am F C G: (eighth index, eighths, MIDI)
THEME = [
    [(0, 3, 76), (3, 1, 74), (4, 2, 72), (6, 1, 74), (7, 1, 76)],
    [(0, 3, 77), (3, 1, 76), (4, 2, 72), (6, 2, 69)],
    [(0, 2, 79), (2, 1, 76), (3, 1, 72), (4, 2, 76), (6, 1, 79), (7, 1, 81)],
    [(0, 3, 83), (3, 1, 81), (4, 2, 79), (6, 2, 74)],
    [(0, 3, 81), (3, 1, 79), (4, 2, 76), (6, 1, 72), (7, 1, 74)],
    [(0, 2, 77), (2, 1, 76), (3, 1, 77), (4, 3, 81), (7, 1, 79)],
    [(0, 2, 76), (2, 1, 74), (3, 1, 72), (4, 2, 74), (6, 2, 76)],
    [(0, 3, 74), (3, 1, 71), (4, 2, 67), (6, 1, 71), (7, 1, 74)],
]

def ring(midi, centre=2842.0):
    """A narrow resonance on the harmonic of `midi` nearest to `centre` Hz: the
    buzz keeps one steady, strong partial where the bolts listen."""
    f = float(midi_hz(midi))
    return (round(centre / f) * f, 25.0, 0.03)


# a melody bar for chords outside the theme's own order
THEME_E = [(0, 2, 80), (2, 2, 76), (4, 2, 71), (6, 2, 74)]
THEME_FOR = {"Am": (THEME[0], THEME[4]), "F": (THEME[1], THEME[5]), "C": (THEME[2], THEME[6]),
             "G": (THEME[3], THEME[7]), "Dm": (THEME[5],), "Em": (THEME[3],), "E": (THEME_E,)}

# quiet moments: (first beat, last beat) where everything stops
STOPS = [(bar[1], bar[1] + bar[2]) for bar in BARS if bar[0] == "stop"]


def render(seed=2006):
    rng = np.random.default_rng(seed)
    cuts = [bt(first) for first, _ in STOPS]
    drums, bass, pads, keys, lead, stabs, fx, cymbals = (Bus(N, cuts) for _ in range(8))
    chokes = []   # (start, end) in seconds where the cymbals are cut short
    send_rev = Bus(N, cuts)
    send_dly = Bus(N, cuts)

    # drum samples, a few variants each so repeats are not identical
    kicks = [synth.kick(rng) for _ in range(3)]
    soft_kick = synth.kick(rng, sweep=120, decay=0.2, click=0.1)
    hats = [synth.hat(rng, 0.028) for _ in range(4)]
    open_hat = synth.hat(rng, 0.16, 0.5)
    ride = synth.ride(rng, decay=1.3)
    claps = [synth.clap(rng) for _ in range(2)]
    snares = [synth.snare(rng) for _ in range(2)]
    crash = 0.6 * synth.noise_hit(rng, 2.5, 0.7, 2500, 15000, order=2) + 0.4 * synth.metal(rng, 2.5, 0.9, 3000)
    shaker = [synth.noise_hit(rng, 0.09, 0.018, 2500, 12000, order=2, attack=0.006) for _ in range(3)]

    kick_times = []

    def hit(bus, sample, beat, gain, pan=0.0, rev=0.0):
        gain *= 1.0 + 0.12 * (rng.random() - 0.5)   # a player never hits twice the same
        bus.add(sample, bt(beat), gain, pan)
        if rev:
            send_rev.add(sample, bt(beat), gain * rev, pan)

    def note(bus, shape, midi, beat, beats, gain, pan=0.0, rev=0.0, dly=0.0, **kw):
        sig = synth.tone(rng, shape, midi, beats * BEAT, **kw)
        bus.add(sig, bt(beat), gain, pan)
        if rev:
            send_rev.add(sig, bt(beat), gain * rev, pan)
        if dly:
            send_dly.add(sig, bt(beat), gain * dly, pan)

    theme_bar = 0
    for bar_index, (section, b0, nb, chord) in enumerate(BARS):
        root, voicing = CHORDS[chord]
        prev_section = BARS[bar_index - 1][0] if bar_index else None
        next_section = BARS[bar_index + 1][0] if bar_index + 1 < len(BARS) else None
        first_of_section = section != prev_section
        last_of_section = section != next_section
        if section == "stop":
            continue

        # ---------------- pad: long chords, everywhere except the drops
        pad_gain = {"intro": 0.05, "rise": 0.05, "groove": 0.04, "variation": 0.045, "build": 0.045,
                    "drive": 0.03, "theme": 0.035, "fill": 0.0, "breakdown": 0.055, "laser": 0.028,
                    "heavy": 0.025, "breath": 0.045, "calm": 0.055, "final": 0.035, "outro": 0.05}[section]
        if pad_gain:
            for i, m in enumerate(voicing):
                note(pads, "saw", m, b0, nb, pad_gain, pan=(i - 1) * 0.4, rev=0.9,
                     bright=1800, attack=0.9 if section in ("intro", "calm", "outro") else 0.25,
                     decay=1.0, sustain=0.8, release=0.9, voices=3, detune=14, spread=0.8)
            note(pads, "tri", voicing[0] - 12, b0, nb, pad_gain * 1.2, rev=0.6,
                 bright=900, attack=0.6, decay=1.0, sustain=0.9, release=0.9)

        # ---------------- arpeggio: 16ths over two octaves of the chord
        arp_on = section in ("intro", "rise", "groove", "variation", "build", "drive", "breakdown",
                             "laser", "calm", "final", "outro")
        if section == "intro" and b0 < 9:
            arp_on = False
        if arp_on:
            bright_arp = section in ("laser", "final")
            pool = sorted(set([m + 12 for m in voicing] + [m + 24 for m in voicing]))
            pattern = [0, 1, 2, 3, 1, 2, 3, 4, 2, 3, 4, 5, 3, 2, 1, 0] if bright_arp else \
                      [0, 2, 1, 3, 2, 4, 3, 5, 4, 3, 2, 1, 3, 2, 1, 0]
            step = 0.25 if section not in ("intro", "calm", "outro") else 0.5
            g = {"intro": 0.07, "rise": 0.065, "groove": 0.06, "variation": 0.065, "build": 0.065,
                 "drive": 0.05, "breakdown": 0.065, "laser": 0.06, "calm": 0.065, "final": 0.045,
                 "outro": 0.06}[section]
            for k in range(int(nb / step)):
                m = pool[pattern[k % 16] % len(pool)]
                if bright_arp:
                    note(keys, "saw", m, b0 + k * step, step * 0.9, g, pan=0.35 * np.sin(k * 0.7), dly=0.35,
                         rev=0.3, bright=5200, dark=2600, fdecay=0.06, reso=0.6, attack=0.002, decay=0.12,
                         formant=(2850, 6, 0.4),
                         sustain=0.35, release=0.05, voices=2, detune=8, spread=0.5)
                else:
                    note(keys, "bell", m, b0 + k * step, step * 0.9, g, pan=0.4 * np.sin(k * 0.9), dly=0.4,
                         rev=0.5, bright=3500, dark=900, fdecay=0.05, attack=0.002, decay=0.15,
                         sustain=0.15, release=0.12)

        # ---------------- bass
        if section in ("intro", "breath"):
            pass
        elif section in ("rise", "breakdown", "calm", "outro"):
            if section != "outro" or b0 < 305:
                note(bass, "saw", root + 12, b0, nb - 0.1, 0.11, bright=260, dark=160, fdecay=0.4,
                     attack=0.02, decay=0.5, sustain=0.7, release=0.3, rev=0.1)
        elif section == "fill":
            note(bass, "saw", root + 12, b0, 0.5, 0.14, bright=500, dark=200, fdecay=0.1, decay=0.2,
                 sustain=0.4, release=0.08)
        elif section == "build":
            for k in range(nb * 2):
                note(bass, "saw", root + 12 + (12 if k % 2 else 0), b0 + k * 0.5, 0.45, 0.12,
                     bright=250 + 220 * k, dark=200 + 60 * k, fdecay=0.08, decay=0.15, sustain=0.5, release=0.05)
        else:
            if section in ("groove", "variation", "theme"):
                pat = [(0, 2, 0), (3, 1, 0), (6, 2, 12), (8, 2, 0), (11, 1, 0), (14, 2, 12)]
            elif section == "heavy":
                pat = [(k, 1, 12 if k % 4 == 2 else 0) for k in range(16) if k % 4 != 0]
            else:  # drive, laser, final: rolling 16ths off the kick
                pat = [(k, 1, 12 if k in (3, 10, 14) else 0) for k in range(16) if k % 4 != 0]
            for pos, length, octave in pat:
                if pos / 4.0 >= nb:
                    continue
                cut = 700 if section in ("heavy",) else 520
                note(bass, "saw" if section != "theme" else "square", root + 12 + octave, b0 + pos / 4.0,
                     length / 4.0 * 0.85, 0.13, bright=cut, dark=180, fdecay=0.07, reso=0.5,
                     attack=0.003, decay=0.12, sustain=0.55, release=0.04,
                     voices=2 if section == "heavy" else 1, detune=18, spread=0.3)
            if section in ("laser", "heavy"):
                # a buzzing upper layer on the bass: the bolts crackle to it
                for k in range(nb * 2):
                    note(lead, "saw", root + 12, b0 + k * 0.5, 0.49, 0.065, bright=6000,
                         formant=ring(root + 12), attack=0.003, decay=0.1, sustain=0.75, release=0.03)
            # a sub under the root on the downbeat keeps the low end round
            note(bass, "sine", root, b0, min(nb, 4) * 0.95, 0.12, bright=200, attack=0.01, decay=1.0,
                 sustain=0.8, release=0.1)

        # ---------------- stabs on the beats (the boxes and the shells react to them)
        if section in ("drive", "heavy", "final"):
            for k in range(nb):
                if section == "final" and (b0 + k) % 8 == 7:
                    continue
                voicing_stab = STAB_LOW[chord] if section == "drive" else STAB_HIGH[chord]
                for i, m in enumerate(voicing_stab):
                    note(stabs, "organ", m, b0 + k, STAB_GATE, STAB_GAIN[i], pan=STAB_PAN[i],
                         rev=0.25, bright=2400, dark=700, fdecay=0.05, attack=0.002, decay=0.1,
                         sustain=0.8, release=0.03)

        # ---------------- lead theme
        if section in ("theme", "final", "laser", "breakdown", "calm"):
            if section in ("theme", "final"):
                bar_theme = THEME[theme_bar % 8]
                theme_bar += 1
            else:
                options = THEME_FOR[chord]
                bar_theme = options[(b0 // 4) % len(options)]
            for e0, el, m in bar_theme:
                if e0 / 2.0 >= nb:
                    continue
                if section in ("breakdown", "calm"):
                    note(lead, "bell", m, b0 + e0 / 2.0, el / 2.0 * 0.9, 0.06, dly=0.5, rev=0.7,
                         bright=3000, dark=1200, fdecay=0.2, attack=0.01, decay=0.4, sustain=0.4,
                         release=0.3)
                elif section == "laser":
                    note(lead, "square", m, b0 + e0 / 2.0, el / 2.0 * 0.8, 0.07, dly=0.3, rev=0.25,
                         bright=4800, dark=3000, fdecay=0.1, reso=0.8, attack=0.004, decay=0.2,
                         formant=(2850, 4, 0.5),
                         sustain=0.6, release=0.06, voices=2, detune=10, spread=0.6)
                else:
                    note(lead, "saw", m, b0 + e0 / 2.0, el / 2.0 * 0.9, 0.13, dly=0.35, rev=0.4,
                         bright=4200, dark=2200, fdecay=0.25, attack=0.01, decay=0.3, sustain=0.7,
                         release=0.12, voices=3, detune=12, spread=0.7, vibrato=0.004)
                    note(lead, "sine", m - 12, b0 + e0 / 2.0, el / 2.0 * 0.9, 0.03, bright=2000,
                         attack=0.01, decay=0.3, sustain=0.7, release=0.12)

        # ---------------- drums
        drums_on = section in ("groove", "variation", "build", "drive", "theme", "laser", "heavy",
                               "final", "fill")
        if drums_on and section != "fill" and section != "build":
            for k in range(nb):
                kk = kicks[(b0 + k) % 3]
                hit(drums, kk, b0 + k, 0.42)
                kick_times.append(bt(b0 + k))
                if (b0 + k) % 2 == 0 and section != "groove" or ((b0 + k) % 2 == 0 and b0 >= 61):
                    hit(drums, claps[k % 2], b0 + k, 0.26, rev=0.35)
        if section == "build":
            for k in range(nb):
                hit(drums, kicks[k % 3], b0 + k, 0.45)
                kick_times.append(bt(b0 + k))
            # snare roll speeding up into the drop
            roll = [0, 1, 2, 3, 3.5, 4, 4.5, 5, 5.25, 5.5, 5.75]
            for i, r in enumerate(roll):
                hit(drums, snares[i % 2], b0 + r, 0.1 + 0.02 * i, rev=0.3)
            rise = synth.noise_hit(rng, nb * BEAT, 1e6, 1500, 9000, order=2)
            rise *= np.linspace(0, 1, rise.size) ** 2
            fx.add(rise, bt(b0), 0.07)
        if section == "fill":
            for r in (0, 0.5, 1, 1.25, 1.5, 1.75):
                hit(drums, snares[int(r * 4) % 2], b0 + r, 0.16 + 0.04 * r, rev=0.3)
            hit(drums, soft_kick, b0, 0.4)

        # hats
        if section == "rise":
            for k in range(nb):
                hit(cymbals, hats[k % 4], b0 + k + 0.5, 0.27 if b0 >= 33 else 0.18, pan=0.3)
            for k in range(nb * 4):
                hit(cymbals, shaker[k % 3], b0 + k / 4.0, 0.06 + 0.04 * (k % 2), pan=-0.3)
            if b0 >= 41:
                for k in range(nb):
                    hit(drums, soft_kick, b0 + k, 0.22)
        if section in ("groove", "variation", "theme", "final", "build"):
            for k in range(nb * 4):
                accent = 0.09 if k % 2 == 1 else 0.05
                if section == "groove" and b0 < 57 and k % 2 == 0:
                    continue
                hit(cymbals, hats[k % 4], b0 + k / 4.0, 3 * accent, pan=0.25)
            if section != "build":
                for k in range(nb):
                    hit(cymbals, open_hat, b0 + k + 0.5, 0.12, pan=-0.2)
        if section in ("drive", "heavy", "laser"):
            gap_beat = nb - 1 if (section == "drive" and bar_index % 2 == 1) else None
            if gap_beat is not None:
                chokes.append((bt(b0 + gap_beat), bt(b0 + gap_beat + 1)))
            for k in range(nb * 4):
                if gap_beat is not None and k // 4 == gap_beat:
                    continue
                hit(cymbals, hats[k % 4], b0 + k / 4.0, 0.3 if k % 2 else 0.2, pan=0.25)
            for k in range(nb):
                if gap_beat is not None and k == gap_beat:
                    continue
                hit(cymbals, open_hat, b0 + k + 0.5, 0.14, pan=-0.25)
                hit(cymbals, ride, b0 + k, 0.11, pan=0.4)
            if section == "laser":
                for k in range(nb * 4):
                    hit(cymbals, shaker[k % 3], b0 + k / 4.0, 0.14, pan=-0.35)

        # crashes on section starts
        if first_of_section and section in ("groove", "variation", "drive", "theme", "laser", "heavy", "final"):
            hit(drums, crash, b0, 0.16, rev=0.4)

        # intro swell into the first cloud section
        if (section == "intro" and b0 == 21) or section == "breath":
            sw = synth.noise_hit(rng, nb * BEAT, 1e6, 800, 6000, order=2)
            sw *= np.linspace(0, 1, sw.size) ** 3
            fx.add(sw, bt(b0), 0.08)
            send_rev.add(sw, bt(b0), 0.05)

    # ---------------- mixing
    duck = synth.ducking(N, kick_times, 0.55)
    duck_light = synth.ducking(N, kick_times, 0.3)
    ir = synth.reverb_ir(rng)
    wet = synth.convolve(send_rev.x.sum(axis=0) * 0.5, ir) * 0.7
    # ping-pong delay, dotted eighths
    dry = send_dly.x.sum(axis=0) * 0.5
    dly = np.zeros((2, N))
    d = int(round(0.75 * BEAT * SR))
    for tap in range(1, 6):
        g = 0.45 ** tap
        ch = tap % 2
        dly[ch, tap * d:] += g * dry[:N - tap * d]
    dly = synth.fft_filter(dly, lo=300, hi=4500, order=2)

    choke = np.ones(N)
    r = int(0.006 * SR)
    for c0, c1 in chokes:
        i0, i1 = int(round(c0 * SR)), int(round(c1 * SR)) - r
        choke[i0:i1] = 0.0
        choke[i0 - r:i0] = np.linspace(1, 0, r)
        choke[i1:i1 + r] = np.linspace(0, 1, r)
    mix = (drums.x + cymbals.x * choke + bass.x * duck + pads.x * duck + keys.x * duck_light + lead.x + stabs.x + fx.x
           + wet * duck_light + dly * 0.8)
    mix = synth.fft_filter(mix, lo=28, order=2)

    # quiet moments: hard stops (with tiny ramps) so tails do not fill them
    gate = np.ones(N)
    for b_start, b_end in STOPS:
        i0 = int(round(bt(b_start) * SR))
        r = int(0.004 * SR)
        i1 = int(round(bt(b_end) * SR)) - r
        gate[i0:i1] = 0.0
        gate[i0 - r:i0] = np.minimum(gate[i0 - r:i0], np.linspace(1, 0, r))
        gate[i1:i1 + r] = np.linspace(0, 1, r)   # what still rings fades back in, no click
    # fade in at the very start, fade out into silence by END_FADE
    t = np.arange(N) / SR
    gate *= np.clip(t / 2.0, 0, 1)
    fade_start = bt(305)
    gate *= np.clip((END_FADE - t) / (END_FADE - fade_start), 0, 1) ** 1.5
    mix *= gate[None, :]

    # soft knee keeps the peaks below full scale, with room for the encoder's overshoot
    mix *= 0.9
    a = np.abs(mix)
    knee, ceiling = 0.68, 0.9
    over = a > knee
    mix[over] = np.sign(mix[over]) * (knee + (ceiling - knee) * np.tanh((a[over] - knee) / (ceiling - knee)))
    return mix

