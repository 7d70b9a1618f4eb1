"""The demo's pictures: background, cloud puff, laser ribbon, text cards, icons."""
import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

FONT_DIR = "/usr/share/fonts/truetype/dejavu/"

# key -> (width, height) of the 14 text cards; all are shown as 200 x 60 quads.
CARD_SIZES = {
    "korrimeet": (300, 80), "tavopresents": (300, 80), "veldrin": (300, 80),
    "code": (300, 80), "music": (340, 80), "greeting": (300, 80),
    "fendrak": (300, 80), "yonveck": (300, 80), "drassel": (300, 80),
    "keltu": (300, 80), "movrin": (200, 50), "pashtek": (200, 50),
    "zelimor": (300, 80), "quorvan": (300, 80),
}
GROUPS = ["fendrak", "yonveck", "drassel", "keltu", "movrin", "pashtek", "zelimor", "quorvan"]
CARD_SCREEN = (200, 60)  # size of every card on screen, in pixels
SS = 4                    # supersampling of the card layout


def font(name, size):
    return ImageFont.truetype(FONT_DIR + name, size)


def smooth_noise(rng, size, cells):
    """Value noise: a random cells x cells grid blown up with bicubic filtering."""
    grid = rng.random((cells, cells)).astype(np.float32)
    img = Image.fromarray(grid, mode="F").resize((size, size), Image.BICUBIC)
    return np.asarray(img, dtype=np.float64)


def fbm(rng, size, base_cells, octaves, gain=0.5):
    total = np.zeros((size, size))
    amp, norm, cells = 1.0, 0.0, base_cells
    for _ in range(octaves):
        total += amp * smooth_noise(rng, size, cells)
        norm += amp
        amp *= gain
        cells *= 2
    return total / norm


def blur(a, sigma):
    """Gaussian blur of a 2-D float array (zero padded, separable, via FFT)."""
    pad = int(3 * sigma) + 1
    a = np.pad(np.asarray(a, dtype=np.float64), pad)
    for axis in (0, 1):
        n = a.shape[axis]
        f = np.fft.rfftfreq(n)
        kernel = np.exp(-2.0 * (np.pi * f * sigma) ** 2)
        shape = [1, 1]
        shape[axis] = -1
        a = np.fft.irfft(np.fft.rfft(a, axis=axis) * kernel.reshape(shape), n=n, axis=axis)
    return a[pad:-pad, pad:-pad]


def to_u8(a):
    return (np.clip(a, 0.0, 1.0) * 255.0 + 0.5).astype(np.uint8)


def background(rng):
    n = 512
    y, x = np.mgrid[0:n, 0:n] / (n - 1.0)
    # a slow diagonal gradient from deep indigo (top left) to dark teal (bottom right)
    g = np.clip(0.55 * x + 0.45 * y, 0, 1)[..., None]
    base = (1 - g) * np.array([0.030, 0.020, 0.070]) + g * np.array([0.010, 0.050, 0.065])
    # two nebula layers with ridged structure
    f1 = fbm(rng, n, 4, 6)
    f2 = fbm(rng, n, 6, 5)
    ridge = 1.0 - np.abs(2.0 * f2 - 1.0)
    neb = np.clip((f1 - 0.42) * 2.6, 0, 1) ** 1.6
    wisps = np.clip((ridge - 0.70) * 3.2, 0, 1) ** 2 * np.clip((f1 - 0.35) * 3, 0, 1)
    col = (base
           + neb[..., None] * np.array([0.16, 0.07, 0.22])
           + wisps[..., None] * np.array([0.05, 0.16, 0.18]))
    # dust lanes darken the glow
    dust = np.clip((fbm(rng, n, 8, 4) - 0.52) * 4, 0, 1)
    col *= (1.0 - 0.55 * dust)[..., None]
    # stars: sparse points, a few with a soft halo
    stars = np.zeros((n, n))
    count = 420
    sx, sy = rng.integers(0, n, count), rng.integers(0, n, count)
    mag = rng.random(count) ** 3
    stars[sy, sx] = 0.25 + 0.75 * mag
    halo = blur(stars * (stars > 0.6), 1.6)
    star_col = stars[..., None] * np.array([0.85, 0.9, 1.0]) + 2.0 * halo[..., None] * np.array([0.5, 0.6, 0.9])
    col += star_col * 0.8
    # vignette keeps the edges darker than the centre
    r = np.hypot(x - 0.5, y - 0.5) / 0.7071
    col *= (1.0 - 0.55 * r ** 2)[..., None]
    return to_u8(col)


def cloud(rng):
    n = 512
    y, x = (np.mgrid[0:n, 0:n] + 0.5) / n * 2.0 - 1.0
    ang = np.arctan2(y, x)
    # an irregular outline: the radius wobbles with angle
    wob = np.zeros_like(ang)
    for k, a in ((2, 0.10), (3, 0.08), (5, 0.05), (7, 0.03)):
        wob += a * np.cos(k * ang + rng.random() * 2 * np.pi)
    r = np.hypot(x, y) / (0.7 + wob)
    shape = np.clip(1.0 - r, 0.0, 1.0) ** 1.4
    detail = fbm(rng, n, 5, 6, gain=0.55)
    dens = shape * (0.45 + 0.9 * detail)
    dens = np.clip(dens, 0, None) ** 1.2
    # hard guarantee: pure black well before the image edge
    edge = np.clip((0.88 - np.hypot(x, y)) / 0.25, 0, 1) ** 2
    dens = np.clip(dens * edge * 1.15, 0, 1)
    col = dens[..., None] * np.array([0.97, 0.97, 1.0])
    return to_u8(col)


def laser():
    """Ribbon texture: v (image row / 127) is 0 at the outer edge and 1 on the spine."""
    n = 128
    v = np.arange(n) / (n - 1.0)             # row 0 = edge, last row = spine
    u = np.arange(n) / (n - 1.0)
    d = 1.0 - v                               # distance from the spine
    core = np.exp(-(d / 0.22) ** 2)
    glow = (1.0 - d) ** 1.3
    # faint streaks along the ribbon so the bolts shimmer
    streak = 1.0 + 0.12 * np.sin(2 * np.pi * 3 * u)[None, :] * (d[:, None] > 0.15)
    inten = np.clip((0.55 * glow[:, None] + 0.6 * core[:, None]) * streak, 0, 1)
    white = core[:, None] ** 1.5
    r = inten
    g = inten * (0.55 + 0.45 * white)
    b = inten * (0.25 + 0.75 * white)
    a = np.clip(inten * 1.1, 0, 1) ** 0.8
    a[0, :] = 0.0
    rgba = np.stack([r, g, b, a], axis=-1)
    return to_u8(rgba)


# ---------------------------------------------------------------- cards

def _text_layer(size, items):
    """items: list of (text, font, (x, y) centre anchor 'mm' in layout pixels, fill)."""
    img = Image.new("L", size, 0)
    d = ImageDraw.Draw(img)
    for text, fnt, xy, fill in items:
        d.text(xy, text, font=fnt, fill=fill, anchor="mm")
    return img


def _compose(size, text, glow_colour, text_colour, extras=None):
    """Text (grey mask) + coloured glow + optional accent mask -> RGB float array."""
    t = np.asarray(text, dtype=np.float64) / 255.0
    glow = np.asarray(text.filter(ImageFilter.GaussianBlur(6 * SS / 2)), dtype=np.float64) / 255.0
    col = glow[..., None] * np.array(glow_colour) * 1.3
    if extras is not None:
        e = np.asarray(extras, dtype=np.float64) / 255.0
        col = col + e[..., None] * np.array(glow_colour) * 1.6
    col = col * (1.0 - t[..., None]) + t[..., None] * np.array(text_colour)
    return np.clip(col, 0, 1)


def _finish(col, key):
    """Shrink the layout (drawn in screen proportions) to the stored texture size."""
    w, h = CARD_SIZES[key]
    img = Image.fromarray(to_u8(col), "RGB").resize((w, h), Image.LANCZOS)
    a = np.asarray(img).astype(np.int16)
    a[a < 6] = 0  # keep the background pure black after resampling ripple
    return a.astype(np.uint8)


def card(key):
    W, H = CARD_SCREEN[0] * SS, CARD_SCREEN[1] * SS
    size = (W, H)
    ice = (0.35, 0.75, 1.0)
    amber = (1.0, 0.55, 0.15)
    white = (0.96, 0.98, 1.0)
    bold = "DejaVuSans-Bold.ttf"
    cond = "DejaVuSansCondensed-Bold.ttf"
    book = "DejaVuSans.ttf"
    accent = Image.new("L", size, 0)
    ad = ImageDraw.Draw(accent)
    if key == "veldrin":
        txt = _text_layer(size, [("veldrin", font(bold, 42 * SS), (W // 2, H // 2 - 2 * SS), 255)])
        ad.rectangle([W // 2 - 70 * SS, H - 9 * SS, W // 2 + 70 * SS, H - 7 * SS], fill=255)
        return _finish(_compose(size, txt, amber, white, accent), key)
    if key == "tavopresents":
        txt = _text_layer(size, [("TAVO", font(bold, 30 * SS), (W // 2, 20 * SS), 255),
                                 ("presents", font(book, 15 * SS), (W // 2, 46 * SS), 230)])
        return _finish(_compose(size, txt, ice, white), key)
    if key == "korrimeet":
        txt = _text_layer(size, [("korrimeet", font(bold, 26 * SS), (W // 2, 22 * SS), 255),
                                 ("2 0 0 6", font(cond, 14 * SS), (W // 2, 47 * SS), 235)])
        ad.rectangle([22 * SS, 46 * SS, 68 * SS, 47 * SS + SS], fill=255)
        ad.rectangle([W - 68 * SS, 46 * SS, W - 22 * SS, 47 * SS + SS], fill=255)
        return _finish(_compose(size, txt, ice, white, accent), key)
    if key in ("music", "code"):
        word = "music" if key == "music" else "code"
        txt = _text_layer(size, [(word, font(book, 17 * SS), (W // 2, 17 * SS), 230),
                                 ("TAVO", font(bold, 28 * SS), (W // 2, 42 * SS), 255)])
        half = 30 if key == "music" else 26
        ad.rectangle([W // 2 - (half + 26) * SS, 18 * SS, W // 2 - half * SS, 19 * SS], fill=255)
        ad.rectangle([W // 2 + half * SS, 18 * SS, W // 2 + (half + 26) * SS, 19 * SS], fill=255)
        return _finish(_compose(size, txt, amber if key == "music" else ice, white, accent), key)
    if key == "greeting":
        txt = _text_layer(size, [("greetings", font(bold, 26 * SS), (W // 2, 24 * SS), 255),
                                 ("to", font(book, 15 * SS), (W // 2, 48 * SS), 230)])
        return _finish(_compose(size, txt, amber, white), key)
    if key in GROUPS:
        txt = _text_layer(size, [(key, font(bold, 28 * SS), (W // 2, 27 * SS), 255)])
        ad.rectangle([W // 2 - 40 * SS, 48 * SS, W // 2 + 40 * SS, 49 * SS + SS // 2], fill=255)
        return _finish(_compose(size, txt, ice, white, accent), key)
    raise KeyError(key)


# ---------------------------------------------------------------- icon

def icon(size):
    ss = 8
    n = size * ss
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rounded_rectangle([0, 0, n - 1, n - 1], radius=n // 5, fill=(14, 12, 30, 255))
    # a "v" made of two crossing ribbons, amber over ice blue
    w = max(int(n * 0.16), 1)
    top, bottom = int(n * 0.22), int(n * 0.80)
    d.line([(int(n * 0.20), top), (n // 2, bottom)], fill=(90, 190, 255, 255), width=w)
    d.line([(int(n * 0.80), top), (n // 2, bottom)], fill=(255, 150, 40, 255), width=w)
    d.ellipse([n // 2 - w // 2, bottom - w // 2, n // 2 + w // 2, bottom + w // 2], fill=(255, 230, 180, 255))
    return np.asarray(img.resize((size, size), Image.LANCZOS))


def contact_sheet(images):
    """images: list of (key, HxWxC uint8). Returns an RGB sheet with labels."""
    cell_w, cell_h, pad = 220, 200, 10
    cols = 6
    rows = (len(images) + cols - 1) // cols
    sheet = Image.new("RGB", (cols * cell_w, rows * cell_h), (24, 24, 28))
    d = ImageDraw.Draw(sheet)
    lab = font("DejaVuSans.ttf", 13)
    for i, (key, arr) in enumerate(images):
        cx, cy = (i % cols) * cell_w, (i // cols) * cell_h
        if arr.shape[2] == 4:  # show alpha images over black
            a = arr[..., 3:4].astype(np.float64) / 255.0
            arr = (arr[..., :3] * a).astype(np.uint8)
        im = Image.fromarray(arr[..., :3], "RGB")
        if key in CARD_SIZES:
            im = im.resize(CARD_SCREEN, Image.LANCZOS)  # as seen on screen
        im.thumbnail((cell_w - 2 * pad, cell_h - 2 * pad - 18), Image.LANCZOS)
        sheet.paste(im, (cx + (cell_w - im.width) // 2, cy + pad + (cell_h - 2 * pad - 18 - im.height) // 2))
        d.text((cx + cell_w // 2, cy + cell_h - pad - 6), key, font=lab, fill=(200, 200, 210), anchor="mm")
    return np.asarray(sheet)
