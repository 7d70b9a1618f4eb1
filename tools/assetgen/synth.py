"""Small numpy synthesiser: band-limited wavetable oscillators, envelopes,
FFT-domain filters, drum voices, a convolution reverb and a stereo bus.

Everything is vectorised; there is no per-sample Python loop. Randomness comes
only from generators passed in by the caller, so renders are repeatable.
"""
import numpy as np

SR = 44100
TABLE = 2048


def midi_hz(m):
    return 440.0 * 2.0 ** ((np.asarray(m, dtype=np.float64) - 69.0) / 12.0)


# ---------------------------------------------------------------- filters

def lowpass_gain(freq, cutoff, order=4, reso=0.0):
    """Magnitude of a Butterworth-like low-pass with an optional resonant bump."""
    freq = np.asarray(freq, dtype=np.float64)
    g = 1.0 / np.sqrt(1.0 + (freq / cutoff) ** (2 * order))
    if reso:
        g = g * (1.0 + reso * np.exp(-(np.log2(np.maximum(freq, 1.0) / cutoff) / 0.2) ** 2))
    return g


def highpass_gain(freq, cutoff, order=4):
    freq = np.maximum(np.asarray(freq, dtype=np.float64), 1e-6)
    return 1.0 / np.sqrt(1.0 + (cutoff / freq) ** (2 * order))


def fft_size(n):
    return 1 << int(np.ceil(np.log2(max(n, 2))))


def fft_filter(x, lo=None, hi=None, order=4, reso=0.0):
    """Zero-phase band-limiting of a (..., n) signal in the frequency domain."""
    n = x.shape[-1]
    m = fft_size(n + 2048)
    spectrum = np.fft.rfft(x, m, axis=-1)
    f = np.fft.rfftfreq(m, 1.0 / SR)
    g = np.ones_like(f)
    if hi is not None:
        g *= lowpass_gain(f, hi, order, reso)
    if lo is not None:
        g *= highpass_gain(f, lo, order)
    return np.fft.irfft(spectrum * g, m, axis=-1)[..., :n]


def convolve(x, ir):
    """Linear convolution of a 1-D signal with a (channels, k) impulse response."""
    n = x.shape[-1] + ir.shape[-1] - 1
    m = fft_size(n)
    X = np.fft.rfft(x, m)
    out = np.fft.irfft(X[None, :] * np.fft.rfft(ir, m, axis=-1), m, axis=-1)
    return out[:, :x.shape[-1]]


# ---------------------------------------------------------------- oscillators

_tables = {}


def harmonic_weights(shape, k):
    if shape == "saw":
        return 1.0 / k
    if shape == "square":
        return np.where(k % 2 == 1, 1.0 / k, 0.0)
    if shape == "tri":
        return np.where(k % 2 == 1, 1.0 / k ** 2, 0.0)
    if shape == "sine":
        return (k == 1).astype(np.float64)
    if shape == "organ":   # drawbar-ish: strong fundamental, a few bright partials
        w = np.zeros_like(k, dtype=np.float64)
        for h, a in ((1, 1.0), (2, 0.5), (3, 0.28), (4, 0.22), (6, 0.12), (8, 0.1)):
            w[k == h] = a
        return w
    if shape == "bell":    # hollow, mostly odd partials with a soft top
        return np.where(k % 2 == 1, 1.0 / k ** 1.3, 0.15 / k ** 1.5)
    raise ValueError(shape)


def wavetable(shape, freq, cutoff, reso=0.0, formant=None):
    """One period of a band-limited, low-passed waveform (peak of a saw ~ 1).
    formant = (centre Hz, boost, width in octaves) adds a resonant band."""
    key = (shape, round(float(freq), 2), round(float(cutoff), 0), reso, formant)
    tab = _tables.get(key)
    if tab is None:
        kmax = int(min(TABLE // 2 - 1, 19000.0 / freq))
        k = np.arange(1, kmax + 1, dtype=np.float64)
        w = harmonic_weights(shape, k) * lowpass_gain(k * freq, cutoff, 2, reso)
        if formant is not None:
            fc, boost, width = formant
            w = w * (1.0 + boost * np.exp(-(np.log2(k * freq / fc) / width) ** 2))
        spectrum = np.zeros(TABLE // 2 + 1, dtype=np.complex128)
        rot = np.ones(kmax)
        if formant is not None:   # Schroeder phases keep the crest factor low
            rot = np.exp(1j * np.pi * k * (k - 1) / kmax)
        spectrum[1:kmax + 1] = -1j * w * rot * (TABLE / 2.0)
        tab = np.fft.irfft(spectrum, TABLE)
        tab = np.append(tab, tab[0])
        _tables[key] = tab
    return tab


def read_table(tab, phase):
    pos = (phase % 1.0) * TABLE
    i = pos.astype(np.int64)
    frac = pos - i
    return tab[i] * (1.0 - frac) + tab[i + 1] * frac


def envelope(n, attack, decay, sustain, gate, release):
    """ADSR in samples' worth of seconds; gate = held time; returns n values."""
    t = np.arange(n) / SR
    a = np.clip(t / max(attack, 1e-4), 0.0, 1.0)
    d = sustain + (1.0 - sustain) * np.exp(-np.maximum(t - attack, 0.0) / max(decay, 1e-4))
    env = np.where(t < attack, a, d)
    rel = np.exp(-np.maximum(t - gate, 0.0) / max(release, 1e-4))
    env = env * np.where(t < gate, 1.0, rel)
    # a short fade at the very end so nothing clicks when the buffer stops
    tail = min(n, int(0.004 * SR))
    env[n - tail:] *= np.linspace(1.0, 0.0, tail)
    return env


def tone(rng, shape, midi, dur, bright, dark=None, fdecay=0.15, reso=0.0,
         attack=0.005, decay=0.2, sustain=0.7, release=0.15, voices=1,
         detune=0.0, spread=0.0, vibrato=0.0, glide_from=None, glide=0.05, formant=None):
    """A stereo (2, n) note. The timbre moves from the `bright` cut-off to the
    `dark` one with time constant `fdecay` (a filter envelope done as a
    crossfade of two tables that share one phase)."""
    n = int((dur + release * 5.0) * SR)
    t = np.arange(n) / SR
    env = envelope(n, attack, decay, sustain, dur, release)
    f0 = float(midi_hz(midi))
    out = np.zeros((2, n))
    mix = None if dark is None else np.exp(-t / fdecay)
    for v in range(voices):
        cents = 0.0 if voices == 1 else detune * (2.0 * v / (voices - 1) - 1.0)
        f = f0 * 2.0 ** (cents / 1200.0)
        if vibrato:
            freq = f * (1.0 + vibrato * np.sin(2 * np.pi * 5.2 * t) * np.clip((t - 0.15) / 0.3, 0, 1))
        else:
            freq = np.full(n, f)
        if glide_from is not None:
            fg = float(midi_hz(glide_from))
            freq = freq * (fg / f0) ** np.exp(-t / glide)
        phase = rng.random() + np.cumsum(freq) / SR
        sig = read_table(wavetable(shape, f, bright, reso, formant), phase)
        if dark is not None:
            sig = mix * sig + (1.0 - mix) * read_table(wavetable(shape, f, dark, reso, formant), phase)
        pan = 0.0 if voices == 1 else spread * (2.0 * v / (voices - 1) - 1.0)
        out[0] += sig * np.sqrt(0.5 * (1.0 - pan))
        out[1] += sig * np.sqrt(0.5 * (1.0 + pan))
    return out * env / np.sqrt(voices) * np.sqrt(2.0)


# ---------------------------------------------------------------- drums

def kick(rng, body=50.0, sweep=260.0, tau=0.032, length=0.42, decay=0.26, click=0.35):
    n = int(length * SR)
    t = np.arange(n) / SR
    freq = body + sweep * np.exp(-t / tau)
    sig = np.sin(2 * np.pi * np.cumsum(freq) / SR)
    env = np.exp(-t / decay) * np.clip(t / 0.0015, 0, 1)
    env *= np.clip((length - t) / 0.03, 0, 1)
    sig = np.tanh(1.8 * sig * env) / np.tanh(1.8)
    c = fft_filter(rng.standard_normal(n), lo=1500, hi=7000, order=2) * np.exp(-t / 0.004)
    return sig + click * c / (np.abs(c).max() + 1e-9)


def noise_hit(rng, length, decay, lo, hi, order=4, attack=0.0005):
    n = int(length * SR)
    t = np.arange(n) / SR
    x = fft_filter(rng.standard_normal(n), lo=lo, hi=hi, order=order)
    x /= np.abs(x).max() + 1e-9
    env = np.exp(-t / decay) * np.clip(t / attack, 0, 1) * np.clip((length - t) / 0.01, 0, 1)
    return x * env


def metal(rng, length, decay, lo=6000):
    """Inharmonic square partials, high-passed: the ring of a cymbal."""
    n = int(length * SR)
    t = np.arange(n) / SR
    sig = np.zeros(n)
    for f in (205.3, 304.4, 369.6, 522.7, 540.0, 800.0):
        sig += np.sign(np.sin(2 * np.pi * f * 1.7 * t + rng.random() * 6.28))
    sig = fft_filter(sig, lo=lo, hi=15000, order=3)
    sig /= np.abs(sig).max() + 1e-9
    return sig * np.exp(-t / decay) * np.clip((length - t) / 0.01, 0, 1)


def ride(rng, length=2.0, decay=0.9, partials=90, lo=8000.0):
    """A cymbal made of many inharmonic sine partials that ring for a while."""
    n = int(length * SR)
    t = np.arange(n) / SR
    # evenly spread on a log scale with some jitter: dense, but not harmonic
    grid = np.linspace(np.log(lo), np.log(15000.0), partials)
    freqs = np.exp(grid + rng.uniform(-0.4, 0.4, partials) * (grid[1] - grid[0]))
    amps = rng.uniform(0.5, 1.0, partials)
    sig = np.zeros(n)
    for f, a, ph in zip(freqs, amps, rng.uniform(0, 2 * np.pi, partials)):
        sig += a * np.sin(2 * np.pi * f * t + ph) * np.exp(-t / (decay * (4000.0 / f) ** 0.3))
    sig /= np.sqrt(partials)
    sig += 0.6 * noise_hit(rng, length, 0.05, 5000, 15000)
    sig *= np.clip(t / 0.0008, 0, 1) * np.clip((length - t) / 0.05, 0, 1)
    return sig


def hat(rng, decay=0.03, length=0.16):
    return 0.6 * noise_hit(rng, length, decay, 7000, 16000) + 0.4 * metal(rng, length, decay * 0.8, 7000)


def clap(rng):
    n = int(0.35 * SR)
    t = np.arange(n) / SR
    x = fft_filter(rng.standard_normal(n), lo=900, hi=6000, order=2)
    x /= np.abs(x).max()
    env = np.zeros(n)
    for k, off in enumerate((0.0, 0.011, 0.022)):
        tt = t - off
        env += np.where(tt >= 0, np.exp(-np.maximum(tt, 0) / 0.006), 0) * (0.8 if k < 2 else 1.0)
    env += np.where(t > 0.022, 0.55 * np.exp(-(t - 0.022) / 0.09), 0)
    env *= np.clip((0.35 - t) / 0.02, 0, 1)
    return x * env


def snare(rng, tone_hz=185.0):
    n = int(0.3 * SR)
    t = np.arange(n) / SR
    body = np.sin(2 * np.pi * tone_hz * t + 2.0 * np.exp(-t / 0.01)) * np.exp(-t / 0.05)
    return 0.55 * body + 0.8 * noise_hit(rng, 0.3, 0.09, 1200, 9000, order=2)


# ---------------------------------------------------------------- buses

class Bus:
    """A stereo track the length of the piece. A sound that is still ringing at
    one of the `cuts` (times in seconds) is faded out there and never returns."""

    def __init__(self, n, cuts=()):
        self.x = np.zeros((2, n))
        self.cuts = sorted(int(round(c * SR)) for c in cuts)

    def add(self, sig, start, gain=1.0, pan=0.0):
        i = int(round(start * SR))
        if sig.ndim == 1:
            sig = np.stack([sig * np.sqrt(0.5 * (1 - pan)), sig * np.sqrt(0.5 * (1 + pan))]) * np.sqrt(2.0)
        elif pan:
            sig = sig * np.array([[np.sqrt(1 - pan)], [np.sqrt(1 + pan)]])
        n = self.x.shape[1]
        if i >= n:
            return
        m = min(sig.shape[1], n - i)
        for c in self.cuts:
            if i < c < i + m:
                fade = min(int(0.004 * SR), c - i)
                sig = sig[:, :c - i] * 1.0
                sig[:, -fade:] *= np.linspace(1.0, 0.0, fade)
                m = c - i
                break
        self.x[:, i:i + m] += gain * sig[:, :m]


def reverb_ir(rng, length=2.4, tau=0.38, damp_tau=0.16, predelay=0.018):
    n = int(length * SR)
    t = np.arange(n) / SR
    ir = np.zeros((2, n))
    for ch in range(2):
        noise = rng.standard_normal(n)
        lowband = fft_filter(noise, hi=2500, order=2)
        high = noise - lowband
        ir[ch] = lowband * np.exp(-t / tau) + high * np.exp(-t / damp_tau)
    d = int(predelay * SR)
    ir = np.concatenate([np.zeros((2, d)), ir[:, :n - d]], axis=1)
    ir *= np.clip(t / 0.01, 0, 1)
    return ir / np.sqrt((ir ** 2).sum(axis=1, keepdims=True))


def ducking(n, times, depth, release=0.16):
    """Side-chain style gain curve: dips of `depth` at each time, recovering."""
    g = np.ones(n)
    m = int(release * 5 * SR)
    shape = 1.0 - depth * np.exp(-np.arange(m) / (release * SR)) * np.clip(np.arange(m) / (0.003 * SR), 0, 1)
    for tm in times:
        i = int(round(tm * SR))
        if i >= n:
            continue
        k = min(m, n - i)
        g[i:i + k] = np.minimum(g[i:i + k], shape[:k])
    return g
