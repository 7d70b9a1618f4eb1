"""Checks of the generator's own machinery: run with
/usr/bin/python3 -m unittest discover -s tools/assetgen"""
import io
import os
import sys
import unittest

import numpy as np
from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import analysis  # noqa: E402
import music     # noqa: E402
import pngio     # noqa: E402


class PngWriter(unittest.TestCase):
    def test_pixels_survive_a_round_trip_through_another_decoder(self):
        rng = np.random.default_rng(7)
        # noise exercises every row filter; smooth ramps favour Sub/Up/Average/Paeth
        ramp = np.add.outer(np.arange(37), np.arange(53)) % 256
        cases = [
            rng.integers(0, 256, (31, 29, 3), dtype=np.uint8),
            rng.integers(0, 256, (17, 40, 4), dtype=np.uint8),
            np.stack([ramp, ramp.T[:37, :53] if ramp.shape[0] >= 53 else ramp[::-1], 255 - ramp], -1).astype(np.uint8),
            np.zeros((5, 7, 4), dtype=np.uint8),
        ]
        for pixels in cases:
            with self.subTest(shape=pixels.shape):
                data = pngio.encode_png(pixels, 0.45454)
                img = Image.open(io.BytesIO(data))
                self.assertEqual(img.mode, "RGB" if pixels.shape[2] == 3 else "RGBA")
                self.assertAlmostEqual(img.info["gamma"], 0.45454, places=5)
                np.testing.assert_array_equal(np.asarray(img), pixels)
                self.assertEqual(data, pngio.encode_png(pixels, 0.45454))


class Spectrum(unittest.TestCase):
    def test_scaling_and_window_position(self):
        sr = analysis.SR
        n = sr * 2
        freq = 3 * sr / analysis.FFT                   # centre of bin 3
        sine = np.sin(2 * np.pi * freq * np.arange(n) / sr)
        m = analysis.spectrum_frames(sine, [1.0])[0]
        self.assertAlmostEqual(m[3], 0.5, places=3)     # full-scale sine reads 0.5
        self.assertLess(m[6], 1e-3)
        # the window ends just before sample floor(t * sr): a click at that
        # sample is not seen yet, one sample earlier it is
        click = np.zeros(n)
        click[sr] = 1.0
        self.assertEqual(analysis.spectrum_frames(click, [1.0])[0].max(), 0.0)
        self.assertGreater(analysis.spectrum_frames(click, [(sr + 1) / sr])[0].max(), 0.0)
        # before the start and past the end there are only zeros
        self.assertEqual(analysis.spectrum_frames(sine, [0.0])[0].max(), 0.0)
        self.assertEqual(analysis.spectrum_frames(sine, [3.0])[0].max(), 0.0)

    def test_runs(self):
        mask = [1, 1, 0, 1, 1, 1, 0, 0, 1]
        self.assertEqual(analysis.longest_run(mask), 3)
        self.assertEqual(analysis.runs_at_least(mask, 2), 2)
        self.assertEqual(analysis.runs_at_least(mask, 4), 0)
        # a frame outside the selection ends a flash; the rest of that run still counts
        above = np.array([1, 1, 0, 0, 1, 1, 1, 1, 1, 0], dtype=bool)
        sel = np.array([1, 1, 1, 1, 1, 1, 1, 0, 1, 1], dtype=bool)
        per_beat, frames = analysis.flashes(above, sel, 3.0 / analysis.FPS)
        self.assertAlmostEqual(per_beat, 1.0)      # 3 flashes in 9 selected frames, 3 to a beat
        self.assertAlmostEqual(frames, 6 / 3)
        self.assertEqual(analysis.flashes(~sel, sel, 1.0), (0.0, 0.0))

    def test_frame_clock_counts_whole_milliseconds(self):
        t = analysis.frame_times(1.0)
        self.assertEqual(t.size, 61)
        self.assertEqual(list(t[:4]), [0.0, 0.016, 0.033, 0.05])
        self.assertEqual(t[-1], 1.0)


class Arrangement(unittest.TestCase):
    def test_bars_tile_the_piece_and_switches_start_bars(self):
        starts = [b[1] for b in music.BARS]
        for (_, first, beats, _), nxt in zip(music.BARS, starts[1:]):
            self.assertEqual(first + beats, nxt)
        for beat, seconds in music.SWITCHES:
            self.assertIn(beat, starts)
            self.assertLess(abs(music.bt(beat) - seconds), 0.025)
        self.assertGreaterEqual(music.bt(music.BARS[-1][1] + music.BARS[-1][2]), music.END_FADE)

    def test_stops_fall_inside_the_laser_stretch(self):
        self.assertGreaterEqual(len(music.STOPS), 3)
        for first, last in music.STOPS:
            self.assertGreater(music.bt(first), 104.9)
            self.assertLess(music.bt(last), 151.492)
            self.assertGreaterEqual((last - first) * music.BEAT, 0.5)


if __name__ == "__main__":
    unittest.main()
