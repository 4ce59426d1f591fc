// make_assets tiles: draws every picture the game shows and writes it into the
// folder named on the command line. Everything is integer maths (no libm, no std
// random), so the bytes come out the same on every machine and every run.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "make_assets.h"

namespace {

// ---------------------------------------------------------------- colours

struct Rgb {
    int r = 0, g = 0, b = 0;
};

int clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// t in 0..256, 0 gives a, 256 gives b.
Rgb mix(Rgb a, Rgb b, int t)
{
    return {a.r + (b.r - a.r) * t / 256, a.g + (b.g - a.g) * t / 256, a.b + (b.b - a.b) * t / 256};
}

// f in 1/256 units; above 256 brightens.
Rgb shade(Rgb a, int f) { return {clamp255(a.r * f / 256), clamp255(a.g * f / 256), clamp255(a.b * f / 256)}; }

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};

// ---------------------------------------------------------------- canvas

// Shapes are tested on a 4x4 grid of samples per pixel; coordinates are kept
// in eighths of a pixel so the sample points (1,3,5,7)/8 are whole numbers.
constexpr int Q = 8;

struct Img {
    int w, h;
    std::vector<Rgb> px;
    std::vector<int> alpha;  // only the icon uses it
    Img(int w_, int h_, Rgb fill = kBlack) : w(w_), h(h_), px(size_t(w_) * size_t(h_), fill), alpha(size_t(w_) * size_t(h_), 255) {}
    Rgb& at(int x, int y) { return px[size_t(y) * size_t(w) + size_t(x)]; }
    int& a(int x, int y) { return alpha[size_t(y) * size_t(w) + size_t(x)]; }
};

template <class In>
int coverage(const In& in, int x, int y)
{
    int n = 0;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            if (in(x * Q + 1 + 2 * i, y * Q + 1 + 2 * j)) ++n;
    return n;  // 0..16
}

// Paints colour col(x, y) wherever shape `in` covers, at opacity alpha/256.
template <class In, class Col>
void paint(Img& im, const In& in, const Col& col, int alpha = 256)
{
    for (int y = 0; y < im.h; ++y)
        for (int x = 0; x < im.w; ++x) {
            int c = coverage(in, x, y);
            if (c == 0) continue;
            int t = c * alpha / 16;
            Rgb& p = im.at(x, y);
            p = mix(p, col(x, y), t);
            int& a = im.a(x, y);
            a = a + (255 - a) * t / 256;
        }
}

template <class In>
void fill(Img& im, const In& in, Rgb c, int alpha = 256)
{
    paint(im, in, [c](int, int) { return c; }, alpha);
}

// ---------------------------------------------------------------- shapes (Q units)

using i64 = std::int64_t;

struct Ellipse {
    i64 cx, cy, rx, ry;
    bool operator()(i64 x, i64 y) const
    {
        if (rx <= 0 || ry <= 0) return false;  // shrunk to nothing in a small icon
        i64 dx = (x - cx) * ry, dy = (y - cy) * rx, rr = rx * ry;
        return dx * dx + dy * dy <= rr * rr;
    }
};

struct Capsule {
    i64 ax, ay, bx, by, r;
    bool operator()(i64 x, i64 y) const
    {
        i64 dx = bx - ax, dy = by - ay, px = x - ax, py = y - ay;
        i64 len2 = dx * dx + dy * dy, dot = px * dx + py * dy;
        if (len2 == 0 || dot <= 0) return px * px + py * py <= r * r;
        if (dot >= len2) return (x - bx) * (x - bx) + (y - by) * (y - by) <= r * r;
        i64 cr = px * dy - py * dx;
        return cr * cr <= r * r * len2;
    }
};

struct Pt {
    i64 x, y;
};

// A thick line through the points, with round joints and ends.
struct Stroke {
    std::vector<Capsule> parts;
    Stroke() = default;
    Stroke(const std::vector<Pt>& p, i64 r)
    {
        for (size_t i = 0; i + 1 < p.size(); ++i) parts.push_back({p[i].x, p[i].y, p[i + 1].x, p[i + 1].y, r});
        if (p.size() == 1) parts.push_back({p[0].x, p[0].y, p[0].x, p[0].y, r});
    }
    void add(const Stroke& s) { parts.insert(parts.end(), s.parts.begin(), s.parts.end()); }
    bool operator()(i64 x, i64 y) const
    {
        for (const auto& c : parts)
            if (c(x, y)) return true;
        return false;
    }
};

struct Poly {
    std::vector<Pt> p;
    bool operator()(i64 x, i64 y) const
    {
        bool in = false;
        for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
            const Pt& a = p[i];
            const Pt& b = p[j];
            if ((a.y > y) == (b.y > y)) continue;
            i64 d = b.y - a.y, lhs = (x - a.x) * d, rhs = (b.x - a.x) * (y - a.y);
            if (d > 0 ? lhs < rhs : lhs > rhs) in = !in;
        }
        return in;
    }
};

struct RRect {
    i64 x0, y0, x1, y1, r;
    bool operator()(i64 x, i64 y) const
    {
        if (x < x0 || x > x1 || y < y0 || y > y1) return false;
        i64 cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
        return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
    }
};

template <class A, class B>
auto both(A a, B b)
{
    return [a, b](i64 x, i64 y) { return a(x, y) && b(x, y); };
}
template <class A, class B>
auto butNot(A a, B b)
{
    return [a, b](i64 x, i64 y) { return a(x, y) && !b(x, y); };
}
auto above(i64 yl) { return [yl](i64, i64 y) { return y <= yl; }; }

// sin of k/64 of a turn, times 1024, so stars and rings need no libm.
int isin(int k)
{
    static constexpr std::array<int, 17> q{0, 100, 200, 297, 392, 483, 569, 650, 724, 792, 851, 903, 946, 980, 1004, 1019, 1024};
    k = ((k % 64) + 64) % 64;
    if (k <= 16) return q[size_t(k)];
    if (k <= 32) return q[size_t(32 - k)];
    if (k <= 48) return -q[size_t(k - 32)];
    return -q[size_t(64 - k)];
}
int icos(int k) { return isin(k + 16); }

// Tiny fixed-seed generator for sparks and debris.
struct Rng {
    std::uint32_t s;
    std::uint32_t next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    int range(int lo, int hi) { return lo + int(next() % std::uint32_t(hi - lo + 1)); }
};

// A star with `points` tips; angles step in 64ths of a turn.
Poly star(i64 cx, i64 cy, int points, i64 outer, i64 inner, int rot, Rng* jitter = nullptr, int jit = 0)
{
    Poly p;
    int step = 32 / points;
    for (int i = 0; i < 2 * points; ++i) {
        i64 r = (i % 2 == 0) ? outer : inner;
        if (jitter && jit > 0) r += jitter->range(-jit, jit);
        int k = rot + i * step;
        p.p.push_back({cx + r * icos(k) / 1024, cy - r * isin(k) / 1024});
    }
    return p;
}

// ---------------------------------------------------------------- file writers

void put16(std::vector<std::uint8_t>& v, unsigned x)
{
    v.push_back(std::uint8_t(x));
    v.push_back(std::uint8_t(x >> 8));
}
void put32(std::vector<std::uint8_t>& v, std::uint32_t x)
{
    for (int i = 0; i < 4; ++i) v.push_back(std::uint8_t(x >> (8 * i)));
}
void put32be(std::vector<std::uint8_t>& v, std::uint32_t x)
{
    for (int i = 3; i >= 0; --i) v.push_back(std::uint8_t(x >> (8 * i)));
}

bool writeFile(const std::filesystem::path& p, const std::vector<std::uint8_t>& d)
{
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size()));
    f.close();
    if (!f) std::fprintf(stderr, "make_tiles: cannot write %s\n", p.string().c_str());
    return bool(f);
}

// 24-bit bottom-up BMP with the plain 40-byte info header.
std::vector<std::uint8_t> bmp(Img& im)
{
    const std::uint32_t row = std::uint32_t((im.w * 3 + 3) & ~3), size = row * std::uint32_t(im.h);
    std::vector<std::uint8_t> v;
    v.push_back('B');
    v.push_back('M');
    put32(v, 54 + size);
    put32(v, 0);
    put32(v, 54);
    put32(v, 40);
    put32(v, std::uint32_t(im.w));
    put32(v, std::uint32_t(im.h));
    put16(v, 1);
    put16(v, 24);
    put32(v, 0);  // BI_RGB
    put32(v, size);
    put32(v, 2835);
    put32(v, 2835);
    put32(v, 0);
    put32(v, 0);
    for (int y = im.h - 1; y >= 0; --y) {
        for (int x = 0; x < im.w; ++x) {
            const Rgb& c = im.at(x, y);
            v.push_back(std::uint8_t(c.b));
            v.push_back(std::uint8_t(c.g));
            v.push_back(std::uint8_t(c.r));
        }
        for (int pad = im.w * 3; pad < int(row); ++pad) v.push_back(0);
    }
    return v;
}

std::uint32_t crc32(const std::uint8_t* d, size_t n)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= d[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return c ^ 0xFFFFFFFFu;
}

void chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data)
{
    put32be(out, std::uint32_t(data.size()));
    std::vector<std::uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    put32be(out, crc32(body.data(), body.size()));
}

// A PNG of im's size around raw scanlines (each led by its filter byte), in a zlib
// stream of stored deflate blocks: no compressor, so the bytes never vary.
std::vector<std::uint8_t> png(const Img& im, std::uint8_t colourType, const std::vector<std::uint8_t>& raw,
                              const std::vector<std::uint8_t>& plte = {}, const std::vector<std::uint8_t>& trns = {})
{
    std::vector<std::uint8_t> z{0x78, 0x01};
    for (size_t pos = 0; pos < raw.size() || pos == 0;) {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        bool last = pos + n >= raw.size();
        z.push_back(last ? 1 : 0);
        put16(z, unsigned(n));
        put16(z, unsigned(~n & 0xFFFF));
        z.insert(z.end(), raw.begin() + std::ptrdiff_t(pos), raw.begin() + std::ptrdiff_t(pos + n));
        pos += n;
        if (last) break;
    }
    std::uint32_t s1 = 1, s2 = 0;
    for (std::uint8_t b : raw) {
        s1 = (s1 + b) % 65521;
        s2 = (s2 + s1) % 65521;
    }
    put32be(z, (s2 << 16) | s1);

    std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> ihdr;
    put32be(ihdr, std::uint32_t(im.w));
    put32be(ihdr, std::uint32_t(im.h));
    ihdr.insert(ihdr.end(), {8, colourType, 0, 0, 0});
    chunk(out, "IHDR", ihdr);
    if (!plte.empty()) chunk(out, "PLTE", plte);
    if (!trns.empty()) chunk(out, "tRNS", trns);
    chunk(out, "IDAT", z);
    chunk(out, "IEND", {});
    return out;
}

// Palette PNG. Colours are rounded to fewer bits until they fit in 256 entries;
// entries that are not fully opaque go first so tRNS stays short.
std::vector<std::uint8_t> indexedPng(Img& im)
{
    auto key = [](Rgb c, int a, int bits) {
        auto q = [bits](int v) {
            int step = 1 << (8 - bits);
            int r = (v + step / 2) / step * step;
            return std::min(r, 255);
        };
        if (a == 0) return std::array<int, 4>{0, 0, 0, 0};
        return std::array<int, 4>{q(c.r), q(c.g), q(c.b), q(a)};
    };
    std::vector<std::array<int, 4>> pal;
    int bits = 8;
    for (; bits >= 3; --bits) {
        pal.clear();
        for (int y = 0; y < im.h; ++y)
            for (int x = 0; x < im.w; ++x) pal.push_back(key(im.at(x, y), im.a(x, y), bits));
        std::sort(pal.begin(), pal.end(), [](const auto& a, const auto& b) {
            if ((a[3] == 255) != (b[3] == 255)) return a[3] != 255;
            return a < b;
        });
        pal.erase(std::unique(pal.begin(), pal.end()), pal.end());
        if (pal.size() <= 256) break;
    }
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < im.h; ++y) {
        raw.push_back(0);  // filter: none
        for (int x = 0; x < im.w; ++x) {
            auto k = key(im.at(x, y), im.a(x, y), bits);
            auto it = std::lower_bound(pal.begin(), pal.end(), k, [](const auto& a, const auto& b) {
                if ((a[3] == 255) != (b[3] == 255)) return a[3] != 255;
                return a < b;
            });
            raw.push_back(std::uint8_t(it - pal.begin()));
        }
    }
    std::vector<std::uint8_t> plte, trns;
    for (const auto& e : pal) {
        plte.insert(plte.end(), {std::uint8_t(e[0]), std::uint8_t(e[1]), std::uint8_t(e[2])});
        if (e[3] != 255) trns.push_back(std::uint8_t(e[3]));
    }
    return png(im, 3, raw, plte, trns);
}

// Truecolour with alpha, for the desktop icons: smooth at every size. The canvas
// keeps colours premultiplied by coverage; PNG wants them straight.
std::vector<std::uint8_t> rgbaPng(Img& im)
{
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < im.h; ++y) {
        raw.push_back(0);  // filter: none
        for (int x = 0; x < im.w; ++x) {
            const Rgb c = im.at(x, y);
            const int a = im.a(x, y);
            for (int v : {c.r, c.g, c.b}) raw.push_back(std::uint8_t(a == 0 ? 0 : std::min(255, (v * 255 + a / 2) / a)));
            raw.push_back(std::uint8_t(a));
        }
    }
    return png(im, 6, raw);
}

// ---------------------------------------------------------------- the well

constexpr int T = 33;  // cell size

// Empty slot: a shallow recess, shadowed top-left and catching a little light
// bottom-right, so 81 of them read as a grid without pulling the eye.
Img emptyCell()
{
    Img im(T, T);
    const Rgb rim{4, 5, 9}, shadow{7, 8, 14}, faceTop{15, 17, 27}, faceBot{19, 22, 34}, lip{30, 35, 52};
    for (int y = 0; y < T; ++y)
        for (int x = 0; x < T; ++x) {
            Rgb c = mix(faceTop, faceBot, y * 256 / (T - 1));
            if (x == 0 || y == 0)
                c = rim;
            else if (x == 1 || y == 1)
                c = shadow;
            else if (x == T - 1 || y == T - 1)
                c = lip;
            else if (x == 2 || y == 2)
                c = mix(shadow, c, 128);
            im.at(x, y) = c;
        }
    // faint socket mark in the middle
    fill(im, Ellipse{16 * Q + 4, 16 * Q + 4, 18, 18}, Rgb{28, 32, 48}, 200);
    return im;
}

// ---------------------------------------------------------------- numbered blocks

// One hue per number; lightness is staggered too so neighbours stay apart
// for players who confuse red and green.
constexpr std::array<Rgb, 10> kHue{{
    {0, 0, 0},
    {206, 38, 46},    // 1 red
    {248, 148, 36},   // 2 orange
    {246, 218, 56},   // 3 yellow
    {48, 172, 84},    // 4 green
    {34, 192, 214},   // 5 cyan
    {60, 118, 240},   // 6 blue
    {112, 46, 186},   // 7 violet
    {232, 82, 164},   // 8 pink
    {184, 192, 208},  // 9 silver
}};

// Digit outlines on a 20 x 32 grid, drawn as thick round-ended strokes:
// chamfered corners give the arcade look and stay clear at small sizes.
using Glyph = std::vector<std::vector<std::pair<int, int>>>;
const std::array<Glyph, 10>& glyphs()
{
    static const std::array<Glyph, 10> g{{
        {{{6, 0}, {14, 0}, {20, 6}, {20, 26}, {14, 32}, {6, 32}, {0, 26}, {0, 6}, {6, 0}}},
        {{{3, 6}, {10, 0}, {10, 32}}, {{3, 32}, {17, 32}}},
        {{{0, 7}, {6, 0}, {14, 0}, {20, 6}, {20, 11}, {0, 32}, {20, 32}}},
        {{{0, 5}, {5, 0}, {15, 0}, {20, 5}, {20, 10}, {15, 15}, {7, 15}}, {{15, 15}, {20, 20}, {20, 27}, {15, 32}, {5, 32}, {0, 27}}},
        {{{15, 32}, {15, 0}, {0, 22}, {20, 22}}},
        {{{19, 0}, {2, 0}, {1, 14}, {13, 13}, {20, 19}, {20, 26}, {14, 32}, {5, 32}, {0, 27}}},
        {{{18, 2}, {14, 0}, {6, 0}, {0, 6}, {0, 26}, {6, 32}, {14, 32}, {20, 26}, {20, 19}, {14, 13}, {6, 13}, {0, 18}}},
        {{{0, 0}, {20, 0}, {20, 4}, {8, 32}}},
        {{{6, 0}, {14, 0}, {19, 4}, {19, 10}, {14, 15}, {6, 15}, {1, 10}, {1, 4}, {6, 0}},
         {{14, 15}, {20, 20}, {20, 27}, {15, 32}, {5, 32}, {0, 27}, {0, 20}, {6, 15}}},
        {{{2, 30}, {6, 32}, {14, 32}, {20, 26}, {20, 6}, {14, 0}, {6, 0}, {0, 6}, {0, 13}, {6, 19}, {14, 19}, {20, 14}}},
    }};
    return g;
}

// Digit d centred on (cx, cy), glyph box gw x gh, stroke radius r (all Q units).
Stroke digitStroke(int d, i64 cx, i64 cy, i64 gw, i64 gh, i64 r)
{
    Stroke s;
    for (const auto& line : glyphs()[size_t(d)]) {
        std::vector<Pt> pts;
        for (auto [x, y] : line) pts.push_back({cx - gw / 2 + x * gw / 20, cy - gh / 2 + y * gh / 32});
        s.add(Stroke(pts, r));
    }
    return s;
}

// A bevelled block of size s at (ox, oy) in pixels, carrying digit d.
void drawBlock(Img& im, int ox, int oy, int s, int d, Rgb hue)
{
    // u: a pixel of the 33-pixel tile, in Q units; the big icons scale it up.
    const i64 u = std::max<i64>(Q, i64(s) * Q / 33);
    const int bev = s >= 28 ? int(3 * u / Q) : 2;
    const Rgb outline = shade(hue, 70), top = mix(hue, kWhite, 150), left = mix(hue, kWhite, 90),
              right = shade(hue, 176), bottom = shade(hue, 132);
    const Rgb faceTop = mix(hue, kWhite, 36), faceBot = shade(hue, 220);
    const i64 x0 = ox * Q, y0 = oy * Q, x1 = (ox + s) * Q, y1 = (oy + s) * Q;

    fill(im, RRect{x0, y0, x1, y1, 3 * u}, outline);
    // bevel: each pixel takes the tone of the nearest edge; mitred corners
    paint(im, RRect{x0 + u, y0 + u, x1 - u, y1 - u, 2 * u}, [&](int x, int y) {
        int dt = y - oy, dl = x - ox, dr = ox + s - 1 - x, db = oy + s - 1 - y;
        int m = std::min({dt, dl, dr, db});
        if (m == dt && m == dr) return mix(top, right, 128);
        if (m == dl && m == db) return mix(left, bottom, 128);
        if (m == dt) return top;
        if (m == dl) return left;
        if (m == dr) return right;
        return bottom;
    });
    const i64 f0 = (ox + bev) * Q, g0 = (oy + bev) * Q, f1 = (ox + s - bev) * Q, g1 = (oy + s - bev) * Q;
    paint(im, RRect{f0, g0, f1, g1, u}, [&](int, int y) { return mix(faceTop, faceBot, (y - oy - bev) * 256 / (s - 2 * bev)); });
    // soft sheen across the upper face
    fill(im, both(Ellipse{(ox * 2 + s) * Q / 2, g0 - s * Q / 5, s * Q * 6 / 10, s * Q * 9 / 20}, RRect{f0, g0, f1, g1, u}), kWhite, 34);

    if (d <= 0) return;
    const i64 cx = (ox * 2 + s) * Q / 2, cy = (oy * 2 + s) * Q / 2;
    const i64 gw = s * Q * 11 / 33, gh = s * Q * 18 / 33, r = s * Q * 21 / 330, ring = s * Q * 13 / 330;
    const Stroke ink = digitStroke(d, cx, cy, gw, gh, r);
    const Stroke edge = digitStroke(d, cx, cy, gw, gh, r + ring);
    const Stroke drop = digitStroke(d, cx + u, cy + u, gw, gh, r + ring);
    fill(im, drop, kBlack, 110);
    fill(im, edge, shade(hue, 56));
    const Rgb inkTop = kWhite, inkBot = mix(kWhite, hue, 56);
    paint(im, ink, [&](int, int y) { return mix(inkTop, inkBot, std::clamp((y * Q - int(cy - gh / 2)) * 256 / int(gh), 0, 256)); });
}

Img numberTile(int n)
{
    Img im = emptyCell();
    if (n > 0) drawBlock(im, 0, 0, T, n, kHue[size_t(n)]);
    return im;
}

// ---------------------------------------------------------------- bomb and blast

Img bombTile()
{
    Img im = emptyCell();
    const i64 cx = 13 * Q, cy = 21 * Q, R = 8 * Q;
    // A warm glow behind it and a light rim around it, so the dark body stands
    // off the dark well as clearly as a numbered block.
    paint(im, Ellipse{cx, cy, 15 * Q, 15 * Q}, [&](int x, int y) {
        i64 dx = x * Q + Q / 2 - cx, dy = y * Q + Q / 2 - cy;
        int t = int(std::min<i64>(256, (dx * dx + dy * dy) * 256 / (15 * Q * 15 * Q)));
        return mix(Rgb{255, 196, 84}, Rgb{110, 22, 18}, t);
    }, 230);
    // cap, set on the body at 45 degrees towards the top-right
    const i64 ux = 724, uy = -724;  // outward direction, x1024
    auto P = [&](i64 along, i64 across) {
        return Pt{cx + (ux * along - uy * across) / 1024, cy + (uy * along + ux * across) / 1024};
    };
    auto capBox = [&](i64 out, i64 half) { return Poly{{P(R - 2 * Q, -half), P(R + out, -half), P(R + out, half), P(R - 2 * Q, half)}}; };
    const Rgb rim{255, 244, 222};
    fill(im, Ellipse{cx, cy, R + 2 * Q, R + 2 * Q}, rim);
    fill(im, capBox(4 * Q, 4 * Q), rim);
    fill(im, Ellipse{cx, cy, R + Q, R + Q}, kBlack);
    fill(im, capBox(3 * Q, 3 * Q), kBlack);
    fill(im, capBox(2 * Q, 2 * Q), Rgb{120, 126, 146});
    fill(im, Capsule{P(R + Q, -Q).x, P(R + Q, -Q).y, P(R + Q, Q).x, P(R + Q, Q).y, Q / 2}, Rgb{200, 206, 222});
    // body: light falls from the top-left
    const i64 lx = cx - 4 * Q, ly = cy - 4 * Q, L = (R + 6 * Q) * (R + 6 * Q);
    const Rgb hi{140, 148, 176}, mid{52, 54, 74}, lo{16, 16, 26};
    paint(im, Ellipse{cx, cy, R, R}, [&](int x, int y) {
        i64 dx = x * Q + Q / 2 - lx, dy = y * Q + Q / 2 - ly;
        int t = int(std::min<i64>(512, (dx * dx + dy * dy) * 512 / L));
        return t < 96 ? mix(hi, mid, t * 256 / 96) : mix(mid, lo, (t - 96) * 256 / 416);
    });
    // the glow reflected on the lower right
    fill(im, butNot(Ellipse{cx, cy, R, R}, Ellipse{cx - 3 * Q / 2, cy - 3 * Q / 2, R, R}), Rgb{255, 140, 60}, 160);
    fill(im, Ellipse{cx - 4 * Q, cy - 4 * Q, 3 * Q, 2 * Q}, Rgb{230, 236, 255}, 180);
    fill(im, Ellipse{cx - 5 * Q, cy - 9 * Q / 2, Q, Q * 3 / 4}, kWhite, 240);
    // fuse
    const Pt f0 = P(R + 3 * Q, 0);
    std::vector<Pt> fuse{f0, {f0.x, f0.y - 2 * Q}, {f0.x + Q, f0.y - 4 * Q}, {f0.x + 3 * Q, f0.y - 5 * Q}};
    fill(im, Stroke(fuse, Q * 3 / 2), Rgb{40, 26, 16});
    fill(im, Stroke(fuse, Q * 3 / 4), Rgb{236, 204, 144});
    // spark: white-hot core, yellow and orange rays
    const i64 sx = fuse.back().x + Q, sy = fuse.back().y - Q;
    fill(im, Ellipse{sx, sy, 5 * Q, 5 * Q}, Rgb{255, 210, 80}, 100);
    fill(im, star(sx, sy, 8, 5 * Q, 3 * Q / 2, 2), Rgb{255, 186, 40});
    fill(im, star(sx, sy, 4, 9 * Q / 2, 5 * Q / 4, 0), Rgb{255, 246, 160});
    fill(im, Ellipse{sx, sy, 3 * Q / 2, 3 * Q / 2}, kWhite);
    return im;
}

Img blastTile()
{
    Img im = emptyCell();
    Rng rng{0x5EED1234u};
    const i64 cx = T * Q / 2, cy = T * Q / 2;
    fill(im, Ellipse{cx, cy, 16 * Q, 16 * Q}, Rgb{120, 20, 10}, 120);
    fill(im, star(cx, cy, 16, 17 * Q, 9 * Q, 1, &rng, 2 * Q), Rgb{150, 24, 16});
    fill(im, star(cx, cy, 16, 15 * Q, 8 * Q, 0, &rng, 2 * Q), Rgb{226, 58, 26});
    fill(im, star(cx, cy, 8, 12 * Q, 6 * Q, 2, &rng, Q), Rgb{255, 138, 30});
    fill(im, star(cx, cy, 8, 8 * Q, 5 * Q, 0, &rng, Q), Rgb{255, 212, 60});
    fill(im, Ellipse{cx, cy, 4 * Q, 4 * Q}, Rgb{255, 250, 210});
    // flying sparks
    for (int i = 0; i < 10; ++i) {
        int k = i * 64 / 10 + rng.range(0, 4);
        i64 d = rng.range(11, 15) * Q;
        i64 x = cx + d * icos(k) / 1024, y = cy - d * isin(k) / 1024;
        fill(im, Ellipse{x, y, Q, Q}, i % 2 ? Rgb{255, 230, 120} : Rgb{255, 160, 60});
    }
    return im;
}

// ---------------------------------------------------------------- the UFO

// Design space: 96 x 63 pixels, hatch centred on x = 48.5 so a 33-pixel
// cargo tile hung at x = 32 sits exactly under it. (ox, oy) and num/den map
// design Q units into the target image, so the icon can reuse the drawing.
struct Xf {
    i64 ox = 0, oy = 0, num = 1, den = 1;
    i64 x(i64 v) const { return ox + v * num / den; }
    i64 y(i64 v) const { return oy + v * num / den; }
    i64 l(i64 v) const { return v * num / den; }
    int iy(int py) const { return int((py * Q + Q / 2 - oy) * den / num); }  // pixel row -> design Q
};

constexpr i64 CX = 97 * Q / 2;  // 48.5 px

void drawUfo(Img& im, const Xf& t, bool open, bool arms = true)
{
    auto E = [&](i64 dx, i64 cy, i64 rx, i64 ry) { return Ellipse{t.x(CX + dx), t.y(cy), t.l(rx), t.l(ry)}; };
    auto C = [&](i64 ax, i64 ay, i64 bx, i64 by, i64 r) { return Capsule{t.x(CX + ax), t.y(ay), t.x(CX + bx), t.y(by), t.l(r)}; };
    auto S = [&](std::vector<Pt> p, i64 r) {
        for (auto& q : p) q = {t.x(CX + q.x), t.y(q.y)};
        return Stroke(p, t.l(r));
    };
    auto P = [&](std::vector<Pt> p) {
        for (auto& q : p) q = {t.x(CX + q.x), t.y(q.y)};
        return Poly{p};
    };
    auto vgrad = [&](Rgb a, Rgb b, i64 ya, i64 yb) {
        return [=](int, int py) {
            i64 d = t.iy(py);
            return mix(a, b, int(std::clamp<i64>((d - ya) * 256 / (yb - ya), 0, 256)));
        };
    };
    const Rgb dark{16, 18, 30};

    // tractor beam first, so the hull sits on top of it
    if (open) {
        for (int k = 0; k < 4; ++k) {
            i64 w = (8 + k * 3) * Q, wb = (10 + k * 2) * Q + 13 * Q / 2;
            paint(im, P({{-w / 2 - 4 * Q, 44 * Q}, {w / 2 + 4 * Q, 44 * Q}, {wb, 63 * Q}, {-wb, 63 * Q}}),
                  vgrad(Rgb{255, 246, 196}, Rgb{255, 200, 90}, 44 * Q, 66 * Q), 64 - k * 10);
        }
        Rng rng{0xB0A7u};
        for (int i = 0; i < 9; ++i) {
            i64 y = rng.range(49, 61) * Q, span = (y - 44 * Q) * 12 / 19 + 8 * Q;
            i64 x = rng.range(-int(span), int(span)) * 3 / 4;
            fill(im, E(x, y, Q * 2 / 3, Q * 2 / 3), Rgb{255, 255, 220}, 200);
        }
    }

    // grabber arms: clamp the cargo shut, or swing wide when it drops
    if (arms) {
        for (int side = -1; side <= 1; side += 2) {
            std::vector<Pt> arm = open ? std::vector<Pt>{{side * 10 * Q, 42 * Q}, {side * 20 * Q, 47 * Q}, {side * 26 * Q, 54 * Q}, {side * 23 * Q, 57 * Q}}
                                       : std::vector<Pt>{{side * 10 * Q, 42 * Q}, {side * 35 * Q / 2, 49 * Q}, {side * 35 * Q / 2, 61 * Q}, {side * 14 * Q, 61 * Q + 6}};
            fill(im, S(arm, 2 * Q), dark);
            paint(im, S(arm, 5 * Q / 4), vgrad(Rgb{190, 196, 214}, Rgb{96, 102, 124}, 42 * Q, 62 * Q));
            std::vector<Pt> joint{arm[1]};
            fill(im, S(joint, 2 * Q), dark);
            fill(im, S(joint, 5 * Q / 4), Rgb{226, 196, 90});
        }
    }

    // hatch housing under the hull
    fill(im, P({{-15 * Q, 34 * Q}, {15 * Q, 34 * Q}, {10 * Q, 46 * Q}, {-10 * Q, 46 * Q}}), dark);
    paint(im, P({{-14 * Q, 34 * Q}, {14 * Q, 34 * Q}, {9 * Q, 45 * Q}, {-9 * Q, 45 * Q}}), vgrad(Rgb{110, 116, 140}, Rgb{54, 58, 76}, 36 * Q, 45 * Q));
    if (open) {
        fill(im, P({{-8 * Q, 42 * Q}, {8 * Q, 42 * Q}, {8 * Q, 46 * Q}, {-8 * Q, 46 * Q}}), Rgb{255, 246, 190});
        fill(im, E(0, 45 * Q, 9 * Q, 3 * Q), Rgb{255, 255, 230}, 150);
        // doors hang open from their outer hinges
        for (int side = -1; side <= 1; side += 2) {
            std::vector<Pt> door{{side * 9 * Q, 45 * Q}, {side * 12 * Q, 51 * Q}};
            fill(im, S(door, Q * 3 / 2), dark);
            fill(im, S(door, Q * 3 / 4), Rgb{140, 146, 170});
        }
    } else {
        fill(im, P({{-9 * Q, 43 * Q}, {9 * Q, 43 * Q}, {9 * Q, 47 * Q}, {-9 * Q, 47 * Q}}), dark);
        paint(im, P({{-8 * Q, 44 * Q}, {8 * Q, 44 * Q}, {8 * Q, 46 * Q}, {-8 * Q, 46 * Q}}), vgrad(Rgb{170, 176, 198}, Rgb{100, 106, 128}, 44 * Q, 46 * Q));
        fill(im, C(0, 44 * Q, 0, 46 * Q, Q / 2), dark);
    }

    // antenna
    fill(im, C(0, 4 * Q, 0, 10 * Q, Q * 3 / 4), dark);
    fill(im, C(0, 4 * Q, 0, 10 * Q, Q * 3 / 8), Rgb{170, 176, 196});
    fill(im, E(0, 3 * Q, 5 * Q / 2, 5 * Q / 2), dark);
    fill(im, E(0, 3 * Q, 2 * Q, 2 * Q), open ? Rgb{255, 90, 80} : Rgb{200, 40, 40});
    if (open) fill(im, E(0, 3 * Q, 4 * Q, 4 * Q), Rgb{255, 80, 60}, 70);
    fill(im, E(-Q / 2, 5 * Q / 2, Q * 3 / 4, Q * 3 / 4), Rgb{255, 220, 210}, 200);

    // glass dome with a little pilot inside
    auto domeClip = above(27 * Q);
    fill(im, both(E(0, 24 * Q, 18 * Q, 17 * Q), domeClip), dark);
    paint(im, both(E(0, 24 * Q, 17 * Q, 16 * Q), domeClip), vgrad(Rgb{40, 96, 140}, Rgb{14, 40, 70}, 8 * Q, 27 * Q));
    const Rgb skin{128, 218, 96};
    fill(im, E(0, 23 * Q, 7 * Q, 4 * Q), dark);
    fill(im, E(0, 23 * Q, 6 * Q, 3 * Q), shade(skin, 200));
    fill(im, E(0, 17 * Q, 6 * Q, 6 * Q), dark);
    fill(im, E(0, 17 * Q, 5 * Q, 5 * Q), skin);
    for (int side = -1; side <= 1; side += 2) {
        fill(im, E(side * 2 * Q, 17 * Q, Q * 3 / 2, 2 * Q), Rgb{10, 12, 20});
        fill(im, E(side * 2 * Q - Q / 2, 16 * Q, Q / 2, Q / 2), kWhite);
    }
    paint(im, both(E(0, 24 * Q, 17 * Q, 16 * Q), domeClip), vgrad(Rgb{150, 230, 255}, Rgb{60, 150, 200}, 8 * Q, 27 * Q), 70);
    fill(im, both(butNot(E(0, 24 * Q, 15 * Q, 14 * Q), E(2 * Q, 26 * Q, 15 * Q, 14 * Q)), domeClip), kWhite, 150);
    fill(im, E(-9 * Q, 15 * Q, 2 * Q, 3 * Q / 2), kWhite, 200);

    // saucer hull
    fill(im, E(0, 31 * Q, 47 * Q, 11 * Q), dark);
    paint(im, E(0, 31 * Q, 46 * Q, 10 * Q), [&](int px, int py) {
        i64 d = t.iy(py);
        (void)px;
        if (d < 31 * Q) return mix(Rgb{236, 240, 250}, Rgb{150, 158, 182}, int(std::clamp<i64>((d - 21 * Q) * 256 / (10 * Q), 0, 256)));
        return mix(Rgb{96, 102, 128}, Rgb{40, 44, 62}, int(std::clamp<i64>((d - 31 * Q) * 256 / (10 * Q), 0, 256)));
    });
    // panel seams on the upper hull
    for (int i = -2; i <= 2; ++i) {
        if (i == 0) continue;
        fill(im, both(C(i * 9 * Q, 23 * Q, i * 15 * Q, 30 * Q, Q / 3), E(0, 31 * Q, 45 * Q, 9 * Q)), Rgb{110, 118, 142}, 150);
    }
    fill(im, both(E(-14 * Q, 24 * Q, 20 * Q, 2 * Q), E(0, 31 * Q, 46 * Q, 10 * Q)), kWhite, 120);
    // rim band with running lights; the colours swap between the two frames
    fill(im, both(E(0, 31 * Q, 46 * Q, 10 * Q), [&](i64, i64 y) { return y >= t.y(30 * Q) && y <= t.y(33 * Q); }), Rgb{34, 38, 58});
    fill(im, both(E(0, 31 * Q, 46 * Q, 10 * Q), [&](i64, i64 y) { return y >= t.y(30 * Q) && y <= t.y(30 * Q + Q / 2); }), Rgb{190, 196, 220}, 140);
    const std::array<Rgb, 2> lamp{{{255, 214, 64}, {80, 230, 255}}};
    for (int i = -3; i <= 3; ++i) {
        Rgb c = lamp[size_t((i + 3 + (open ? 1 : 0)) % 2)];
        i64 x = i * 12 * Q, y = 31 * Q + Q / 2;
        fill(im, E(x, y, 4 * Q, 3 * Q), c, 60);
        fill(im, E(x, y, 2 * Q, 2 * Q), dark);
        fill(im, E(x, y, 3 * Q / 2, 3 * Q / 2), c);
        fill(im, E(x - Q / 3, y - Q / 3, Q / 2, Q / 2), kWhite, 220);
    }
}

Img ufo(bool open)
{
    Img im(96, 63);
    drawUfo(im, Xf{}, open);
    return im;
}

// ---------------------------------------------------------------- icon

// The game's icon at s x s pixels, drawn afresh at each size so every one is crisp.
Img icon(int s)
{
    Img im(s, s);
    std::fill(im.alpha.begin(), im.alpha.end(), 0);
    const i64 edge = std::max<i64>(Q, s * Q / 48);
    fill(im, RRect{0, 0, s * Q, s * Q, 9 * Q * s / 48}, Rgb{40, 48, 84});
    paint(im, RRect{edge, edge, s * Q - edge, s * Q - edge, 8 * Q * s / 48},
          [s](int, int y) { return mix(Rgb{26, 32, 64}, Rgb{6, 8, 18}, y * 256 / (s - 1)); });
    // the design hatch centre (48.5) lands on the block centre
    Xf t;
    t.num = 4 * s;
    t.den = 9 * 48;
    t.ox = 23 * Q * s / 48 - CX * t.num / t.den;
    t.oy = Q * s / 96;
    drawUfo(im, t, true, false);
    // in front of the beam; at 16 pixels a bigger block, or its digit would not read
    if (s >= 32)
        drawBlock(im, s / 4, s / 2, 22 * s / 48, 5, kHue[5]);
    else
        drawBlock(im, (s - 10) / 2, s - 11, 10, 5, kHue[5]);
    return im;
}

// "n3.bmp": built by hand, as GCC 12 warns (-Wrestrict) on "n" + std::to_string(3) at -O3.
std::string numbered(const char* stem, int n, const char* ending)
{
    std::string name = stem;
    name += std::to_string(n);
    name += ending;
    return name;
}

}  // namespace

int makeTiles(const std::filesystem::path& out)
{
    std::error_code ec;
    std::filesystem::create_directories(out, ec);
    bool ok = true;
    for (int n = 0; n <= 9; ++n) {
        Img im = numberTile(n);
        ok &= writeFile(out / numbered("n", n, ".bmp"), bmp(im));
    }
    Img b = bombTile(), x = blastTile(), u1 = ufo(false), u2 = ufo(true), ic = icon(48);
    ok &= writeFile(out / "bom.bmp", bmp(b));
    ok &= writeFile(out / "ban.bmp", bmp(x));
    ok &= writeFile(out / "ufo01.bmp", bmp(u1));
    ok &= writeFile(out / "ufo02.bmp", bmp(u2));
    ok &= writeFile(out / "zenkora.png", indexedPng(ic));
    for (int size : {16, 32, 48, 64, 128, 256}) {
        Img im = icon(size);
        ok &= writeFile(out / numbered("zenkora-", size, ".png"), rgbaPng(im));
    }
    const std::string hs = "\"HighScore=0\"\r\n";
    ok &= writeFile(out / "h-score.txt", std::vector<std::uint8_t>(hs.begin(), hs.end()));
    return ok ? 0 : 1;
}
