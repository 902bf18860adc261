// tansy_drawart: draws the sample project's art, packs it into sprite sheets with their control
// files, and writes the room documents in the engine's JSON layout.
//
// Usage: tansy_drawart <project folder> [--preview <prefix>]
// Writes SpriteSheets/, _SpriteSheets/, Tansy/ and Tansy/Harbour/ under the project folder and
// exits 0, or exits 1 when a file cannot be written. The output depends only on this file and the
// engine's JSON writer, so a re-run reproduces the committed files byte for byte. --preview also
// writes <prefix>-dock0..2.png and <prefix>-lighthouse.png: each room as the editor first shows
// it, at twice the size (not part of the project).
//
// Sections:
//   // >>canvas      premultiplied RGBA canvas, anti-aliased polygon filling, paints
//   // >>shapes      polygons for rectangles, ellipses, strokes
//   // >>sheet       trimming, shelf packing, PNG atlas, control files in three layouts
//   // >>common      the shared sheet: gulls, crate, barrel
//   // >>dock        the harbour at dusk
//   // >>lighthouse  the cliff top by the lighthouse
//   // >>rooms       room documents as KuDictionary trees
//   // >>preview     composite pictures of the rooms
//   // >>main

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

#include "KuArray.h"
#include "KuDictionary.h"
#include "KuJson.h"
#include "KuObject.h"
#include "KuString.h"

namespace {

constexpr float kPi = 3.14159265358979f;

// >>canvas

struct Rgba {
    float r = 0, g = 0, b = 0, a = 0;  // straight (not premultiplied), 0..1
};

Rgba hex(uint32_t rgb, float alpha = 1) {
    return {((rgb >> 16) & 0xFF) / 255.0f, ((rgb >> 8) & 0xFF) / 255.0f, (rgb & 0xFF) / 255.0f, alpha};
}

Rgba mix(Rgba a, Rgba b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Rgba withAlpha(Rgba c, float alpha) {
    c.a = alpha;
    return c;
}

struct Pt {
    float x = 0, y = 0;
};
using Poly = std::vector<Pt>;
using Stops = std::vector<std::pair<float, Rgba>>;

// Small deterministic generator: the art must not change between runs or machines.
class Rng {
public:
    explicit Rng(uint32_t seed) : state(seed ? seed : 1) {}
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    float uniform(float lo, float hi) { return lo + (hi - lo) * ((next() >> 8) / 16777216.0f); }
    int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<uint32_t>(hi - lo + 1)); }

private:
    uint32_t state;
};

Rgba colourAtStops(const Stops& stops, float t) {
    if (stops.empty()) return {};
    if (t <= stops.front().first) return stops.front().second;
    for (size_t i = 1; i < stops.size(); i++) {
        if (t <= stops[i].first) {
            float span = stops[i].first - stops[i - 1].first;
            float u = span > 0 ? (t - stops[i - 1].first) / span : 1;
            return mix(stops[i - 1].second, stops[i].second, u);
        }
    }
    return stops.back().second;
}

// A colour per canvas point: one colour, a linear gradient from p0 to p1, or a radial gradient
// around p0 (radius r horizontally, r * aspect vertically).
struct Paint {
    enum Kind { kSolid, kLinear, kRadial } kind = kSolid;
    Rgba colour;
    Pt p0, p1;
    float radius = 1, aspect = 1;
    Stops stops;

    Rgba at(float x, float y) const {
        if (kind == kSolid) return colour;
        if (kind == kLinear) {
            float dx = p1.x - p0.x, dy = p1.y - p0.y;
            float len2 = dx * dx + dy * dy;
            float t = len2 > 0 ? ((x - p0.x) * dx + (y - p0.y) * dy) / len2 : 0;
            return colourAtStops(stops, t);
        }
        float dx = (x - p0.x) / radius, dy = (y - p0.y) / (radius * aspect);
        return colourAtStops(stops, std::sqrt(dx * dx + dy * dy));
    }
};

Paint solid(Rgba c) {
    Paint p;
    p.colour = c;
    return p;
}
Paint linear(Pt a, Pt b, Stops stops) {
    Paint p;
    p.kind = Paint::kLinear;
    p.p0 = a;
    p.p1 = b;
    p.stops = std::move(stops);
    return p;
}
Paint vertical(float y0, float y1, Stops stops) {
    return linear({0, y0}, {0, y1}, std::move(stops));
}
Paint radial(Pt centre, float radius, Stops stops, float aspect = 1) {
    Paint p;
    p.kind = Paint::kRadial;
    p.p0 = centre;
    p.radius = radius;
    p.aspect = aspect;
    p.stops = std::move(stops);
    return p;
}
// A soft light: c at the centre fading to nothing at the radius.
Paint glowPaint(Pt centre, float radius, Rgba c, float aspect = 1) {
    return radial(centre, radius, {{0, c}, {0.35f, withAlpha(c, c.a * 0.45f)}, {1, withAlpha(c, 0)}}, aspect);
}

float signedArea(const Poly& p) {
    float a = 0;
    for (size_t i = 0; i < p.size(); i++) {
        const Pt& u = p[i];
        const Pt& v = p[(i + 1) % p.size()];
        a += u.x * v.y - v.x * u.y;
    }
    return a * 0.5f;
}

class Canvas {
public:
    Canvas() = default;
    Canvas(int width, int height) : w(width), h(height), px(static_cast<size_t>(width) * height * 4, 0.0f) {}

    int width() const { return w; }
    int height() const { return h; }

    // Fills the union of the polygons (each is turned to the same winding, so overlaps never cancel).
    // Coverage is exact horizontally and sampled on kRows rows per pixel vertically.
    void fill(const std::vector<Poly>& polys, const Paint& paint, float opacity = 1) {
        struct Edge {
            Pt a, b;
            int dir;
        };
        std::vector<Edge> edges;
        float minX = 1e9f, minY = 1e9f, maxX = -1e9f, maxY = -1e9f;
        for (const Poly& poly : polys) {
            if (poly.size() < 3) continue;
            bool flip = signedArea(poly) < 0;
            for (size_t i = 0; i < poly.size(); i++) {
                Pt a = poly[i], b = poly[(i + 1) % poly.size()];
                if (flip) std::swap(a, b);
                minX = std::min(minX, a.x);
                maxX = std::max(maxX, a.x);
                minY = std::min(minY, a.y);
                maxY = std::max(maxY, a.y);
                if (a.y == b.y) continue;
                edges.push_back({a, b, b.y > a.y ? 1 : -1});
            }
        }
        if (edges.empty()) return;
        int x0 = std::max(0, static_cast<int>(std::floor(minX)));
        int x1 = std::min(w - 1, static_cast<int>(std::ceil(maxX)));
        int y0 = std::max(0, static_cast<int>(std::floor(minY)));
        int y1 = std::min(h - 1, static_cast<int>(std::ceil(maxY)));
        if (x0 > x1 || y0 > y1) return;
        constexpr int kRows = 5;
        std::vector<float> coverage(static_cast<size_t>(x1 - x0 + 1));
        std::vector<std::pair<float, int>> crossings;
        for (int py = y0; py <= y1; py++) {
            std::fill(coverage.begin(), coverage.end(), 0.0f);
            bool any = false;
            for (int s = 0; s < kRows; s++) {
                float sy = py + (s + 0.5f) / kRows;
                crossings.clear();
                for (const Edge& e : edges) {
                    float lo = std::min(e.a.y, e.b.y), hi = std::max(e.a.y, e.b.y);
                    if (sy < lo || sy >= hi) continue;
                    float x = e.a.x + (sy - e.a.y) * (e.b.x - e.a.x) / (e.b.y - e.a.y);
                    crossings.push_back({x, e.dir});
                }
                if (crossings.empty()) continue;
                std::sort(crossings.begin(), crossings.end());
                int winding = 0;
                float start = 0;
                for (const auto& c : crossings) {
                    int before = winding;
                    winding += c.second;
                    if (before == 0 && winding != 0) start = c.first;
                    if (before != 0 && winding == 0) {
                        addSpan(coverage, x0, x1, start, c.first, 1.0f / kRows);
                        any = true;
                    }
                }
            }
            if (!any) continue;
            for (int x = x0; x <= x1; x++) {
                float c = std::min(1.0f, coverage[x - x0]);
                if (c <= 0) continue;
                Rgba col = paint.at(x + 0.5f, py + 0.5f);
                blendPixel(x, py, col, col.a * c * opacity);
            }
        }
    }
    void fill(const Poly& poly, const Paint& paint, float opacity = 1) {
        fill(std::vector<Poly>{poly}, paint, opacity);
    }

    // Composites src over this canvas with its top-left corner at (dx, dy).
    void draw(const Canvas& src, int dx, int dy, float opacity = 1) {
        for (int y = 0; y < src.h; y++) {
            int ty = y + dy;
            if (ty < 0 || ty >= h) continue;
            for (int x = 0; x < src.w; x++) {
                int tx = x + dx;
                if (tx < 0 || tx >= w) continue;
                const float* s = &src.px[(static_cast<size_t>(y) * src.w + x) * 4];
                float* d = &px[(static_cast<size_t>(ty) * w + tx) * 4];
                float k = 1 - s[3] * opacity;
                for (int i = 0; i < 4; i++)
                    d[i] = s[i] * opacity + d[i] * k;
            }
        }
    }

    // Keeps this canvas only where the mask (same size) is opaque: clipping for detail drawn
    // inside a shape.
    void clipTo(const Canvas& mask) {
        for (size_t i = 0; i < static_cast<size_t>(w) * h && i < static_cast<size_t>(mask.w) * mask.h; i++) {
            float k = mask.px[i * 4 + 3];
            for (int c = 0; c < 4; c++)
                px[i * 4 + c] *= k;
        }
    }

    Canvas crop(int cx, int cy, int cw, int ch) const {
        Canvas out(cw, ch);
        out.draw(*this, -cx, -cy);
        return out;
    }

    // Straight 8-bit RGBA; fully transparent pixels are all zero.
    std::vector<unsigned char> rgba8() const {
        std::vector<unsigned char> out(static_cast<size_t>(w) * h * 4);
        for (size_t i = 0; i < static_cast<size_t>(w) * h; i++) {
            const float* p = &px[i * 4];
            int a = static_cast<int>(std::lround(std::clamp(p[3], 0.0f, 1.0f) * 255));
            if (a == 0) continue;
            for (int c = 0; c < 3; c++)
                out[i * 4 + c] =
                    static_cast<unsigned char>(std::lround(std::clamp(p[c] / p[3], 0.0f, 1.0f) * 255));
            out[i * 4 + 3] = static_cast<unsigned char>(a);
        }
        return out;
    }

private:
    int w = 0, h = 0;
    std::vector<float> px;  // premultiplied RGBA

    static void addSpan(std::vector<float>& coverage, int x0, int x1, float a, float b, float weight) {
        a = std::max(a, static_cast<float>(x0));
        b = std::min(b, static_cast<float>(x1 + 1));
        if (b <= a) return;
        int first = static_cast<int>(std::floor(a)), last = static_cast<int>(std::ceil(b)) - 1;
        for (int x = first; x <= last; x++) {
            float overlap = std::min(b, x + 1.0f) - std::max(a, static_cast<float>(x));
            if (overlap > 0) coverage[x - x0] += overlap * weight;
        }
    }

    void blendPixel(int x, int y, Rgba c, float alpha) {
        float* d = &px[(static_cast<size_t>(y) * w + x) * 4];
        float k = 1 - alpha;
        d[0] = c.r * alpha + d[0] * k;
        d[1] = c.g * alpha + d[1] * k;
        d[2] = c.b * alpha + d[2] * k;
        d[3] = alpha + d[3] * k;
    }
};

// >>shapes

Poly rect(float x0, float y0, float x1, float y1) {
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

Poly ellipse(float cx, float cy, float rx, float ry, int segments = 40) {
    Poly p;
    for (int i = 0; i < segments; i++) {
        float t = 2 * kPi * i / segments;
        p.push_back({cx + rx * std::cos(t), cy + ry * std::sin(t)});
    }
    return p;
}

// Part of an ellipse from angle a0 to a1 (degrees, y down so positive angles turn clockwise).
std::vector<Pt> arcPoints(float cx, float cy, float rx, float ry, float a0, float a1, int segments) {
    std::vector<Pt> out;
    for (int i = 0; i <= segments; i++) {
        float t = (a0 + (a1 - a0) * i / segments) * kPi / 180;
        out.push_back({cx + rx * std::cos(t), cy + ry * std::sin(t)});
    }
    return out;
}

// A line segment with round ends.
Poly capsule(Pt a, Pt b, float radius) {
    float dx = b.x - a.x, dy = b.y - a.y;
    float angle = std::atan2(dy, dx) * 180 / kPi;
    std::vector<Pt> end = arcPoints(b.x, b.y, radius, radius, angle - 90, angle + 90, 8);
    std::vector<Pt> start = arcPoints(a.x, a.y, radius, radius, angle + 90, angle + 270, 8);
    Poly p = end;
    p.insert(p.end(), start.begin(), start.end());
    return p;
}

std::vector<Poly> stroke(const std::vector<Pt>& line, float width) {
    std::vector<Poly> out;
    for (size_t i = 0; i + 1 < line.size(); i++)
        out.push_back(capsule(line[i], line[i + 1], width * 0.5f));
    return out;
}

// A rectangle whose top is a half ellipse (doorways, windows).
Poly archRect(float x0, float top, float x1, float bottom, float archHeight) {
    float cx = (x0 + x1) / 2, rx = (x1 - x0) / 2;
    Poly p = {{x0, bottom}, {x1, bottom}};
    std::vector<Pt> arc = arcPoints(cx, top + archHeight, rx, archHeight, 0, -180, 20);
    p.insert(p.end(), arc.begin(), arc.end());
    return p;
}

Poly moved(Poly p, float dx, float dy) {
    for (Pt& q : p) {
        q.x += dx;
        q.y += dy;
    }
    return p;
}

Poly rotated(Poly p, Pt centre, float degrees) {
    float c = std::cos(degrees * kPi / 180), s = std::sin(degrees * kPi / 180);
    for (Pt& q : p) {
        float x = q.x - centre.x, y = q.y - centre.y;
        q = {centre.x + x * c - y * s, centre.y + x * s + y * c};
    }
    return p;
}

// A quadratic curve from a through control c to b.
std::vector<Pt> curve(Pt a, Pt c, Pt b, int segments = 12) {
    std::vector<Pt> out;
    for (int i = 0; i <= segments; i++) {
        float t = static_cast<float>(i) / segments, u = 1 - t;
        out.push_back(
            {u * u * a.x + 2 * u * t * c.x + t * t * b.x, u * u * a.y + 2 * u * t * c.y + t * t * b.y});
    }
    return out;
}

// A four-pointed glint.
Poly glint(float cx, float cy, float radius) {
    Poly p;
    for (int i = 0; i < 8; i++) {
        float r = (i % 2 == 0) ? radius : radius * 0.22f;
        float t = kPi / 4 * i - kPi / 2;
        p.push_back({cx + r * std::cos(t), cy + r * std::sin(t)});
    }
    return p;
}

// >>sheet

struct Frame {
    std::string name;
    Canvas image;
};

// Where a frame landed in the atlas, in the three descriptions the control files use.
struct Placed {
    std::string name;
    int x = 0, y = 0;          // packed rectangle origin in the atlas (y down)
    int w = 0, h = 0;          // packed (trimmed) size
    int trimX = 0, trimY = 0;  // trimmed rectangle's corner inside the untrimmed canvas (y down)
    int sourceW = 0, sourceH = 0;
};

enum class SheetLayout { kStringRects, kCentreOffsets, kObjectRects };

struct Sheet {
    std::string name;
    SheetLayout layout;
    bool trim = true;
    int atlasWidth = 1024;
    std::vector<Frame> frames;

    void add(const std::string& frameName, Canvas image) { frames.push_back({frameName, std::move(image)}); }
    const Canvas* find(const std::string& frameName) const {
        for (const Frame& f : frames)
            if (f.name == frameName) return &f.image;
        return nullptr;
    }
};

// The alpha bounding box of an 8-bit image; a fully transparent one keeps a 1x1 corner.
void trimBox(const std::vector<unsigned char>& rgba, int w, int h, int* bx, int* by, int* bw, int* bh) {
    int minX = w, minY = h, maxX = -1, maxY = -1;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (rgba[(static_cast<size_t>(y) * w + x) * 4 + 3]) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
    if (maxX < 0) {
        *bx = *by = 0;
        *bw = *bh = 1;
        return;
    }
    *bx = minX;
    *by = minY;
    *bw = maxX - minX + 1;
    *bh = maxY - minY + 1;
}

bool writeBytes(const std::string& path, const void* data, size_t n) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(n));
    out.close();
    if (!out) fprintf(stderr, "cannot write %s\n", path.c_str());
    return static_cast<bool>(out);
}

bool writeText(const std::string& path, const std::string& text) {
    return writeBytes(path, text.data(), text.size());
}

void pngToVector(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    auto* bytes = static_cast<unsigned char*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

bool writePng(const std::string& path, const std::vector<unsigned char>& rgba, int w, int h) {
    std::vector<unsigned char> png;
    if (!stbi_write_png_to_func(pngToVector, &png, w, h, 4, rgba.data(), w * 4)) return false;
    return writeBytes(path, png.data(), png.size());
}

std::string fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return {};
    return std::string(buffer, std::min(static_cast<size_t>(n), sizeof buffer - 1));
}

// "%g" of a whole or half number, as packers write offsets.
std::string num(float v) {
    return fmt("%g", v);
}

std::string controlFile(const Sheet& sheet, const std::vector<Placed>& placed, int atlasW, int atlasH) {
    std::string png = sheet.name + ".png";
    std::string out = "{\n    \"frames\": {\n";
    for (size_t i = 0; i < placed.size(); i++) {
        const Placed& p = placed[i];
        bool trimmed = p.w != p.sourceW || p.h != p.sourceH;
        out += "        \"" + p.name + "\": {\n";
        switch (sheet.layout) {
        case SheetLayout::kStringRects: {
            // Centre offset of the trimmed rectangle, y up, as this layout's packers note it.
            float ox = p.trimX + p.w * 0.5f - p.sourceW * 0.5f;
            float oy = p.sourceH * 0.5f - p.trimY - p.h * 0.5f;
            out += fmt("            \"frame\": \"{{%d,%d},{%d,%d}}\",\n", p.x, p.y, p.w, p.h);
            out += "            \"offset\": \"{" + num(ox) + "," + num(oy) + "}\",\n";
            out += "            \"rotated\": false,\n";
            out +=
                fmt("            \"sourceColorRect\": \"{{%d,%d},{%d,%d}}\",\n", p.trimX, p.trimY, p.w, p.h);
            out += fmt("            \"sourceSize\": \"{%d,%d}\"\n", p.sourceW, p.sourceH);
            break;
        }
        case SheetLayout::kCentreOffsets: {
            float ox = p.trimX + p.w * 0.5f - p.sourceW * 0.5f;
            float oy = p.sourceH * 0.5f - p.trimY - p.h * 0.5f;
            out += "            \"aliases\": [],\n";
            out += "            \"spriteOffset\": \"{" + num(ox) + "," + num(oy) + "}\",\n";
            out += fmt("            \"spriteSize\": \"{%d,%d}\",\n", p.w, p.h);
            out += fmt("            \"spriteSourceSize\": \"{%d,%d}\",\n", p.sourceW, p.sourceH);
            out += fmt("            \"spriteTrimmed\": %s,\n", trimmed ? "true" : "false");
            out += fmt("            \"textureRect\": \"{{%d,%d},{%d,%d}}\",\n", p.x, p.y, p.w, p.h);
            out += "            \"textureRotated\": false\n";
            break;
        }
        case SheetLayout::kObjectRects:
            out += fmt("            \"frame\": {\"x\": %d, \"y\": %d, \"w\": %d, \"h\": %d},\n", p.x, p.y,
                       p.w, p.h);
            out += "            \"rotated\": false,\n";
            out += fmt("            \"trimmed\": %s,\n", trimmed ? "true" : "false");
            out += fmt("            \"spriteSourceSize\": {\"x\": %d, \"y\": %d, \"w\": %d, \"h\": %d},\n",
                       p.trimX, p.trimY, p.w, p.h);
            out += fmt("            \"sourceSize\": {\"w\": %d, \"h\": %d}\n", p.sourceW, p.sourceH);
            break;
        }
        out += i + 1 < placed.size() ? "        },\n" : "        }\n";
    }
    out += "    },\n";
    switch (sheet.layout) {
    case SheetLayout::kStringRects:
        out += "    \"metadata\": {\n        \"format\": 2,\n";
        out += "        \"realTextureFileName\": \"" + png + "\",\n";
        out += fmt("        \"size\": \"{%d,%d}\",\n", atlasW, atlasH);
        out += "        \"textureFileName\": \"" + png + "\"\n    }\n";
        break;
    case SheetLayout::kCentreOffsets:
        out += "    \"metadata\": {\n        \"format\": 3,\n        \"pixelFormat\": \"RGBA8888\",\n";
        out += "        \"premultiplyAlpha\": false,\n";
        out += "        \"realTextureFileName\": \"" + png + "\",\n";
        out += fmt("        \"size\": \"{%d,%d}\",\n", atlasW, atlasH);
        out += "        \"textureFileName\": \"" + png + "\"\n    }\n";
        break;
    case SheetLayout::kObjectRects:
        out += "    \"meta\": {\n        \"app\": \"tansy_drawart\",\n        \"version\": \"1.0\",\n";
        out += "        \"image\": \"" + png + "\",\n";
        out += fmt("        \"size\": {\"w\": %d, \"h\": %d},\n", atlasW, atlasH);
        out += "        \"scale\": \"1\"\n    }\n";
        break;
    }
    out += "}\n";
    return out;
}

// Trims (when the sheet trims), packs on shelves (tallest first, then by name), and writes
// <folder>/<name>.png and <folder>/<name>.json.
bool writeSheet(const Sheet& sheet, const std::string& folder) {
    constexpr int kPad = 2;
    struct Item {
        Placed place;
        std::vector<unsigned char> pixels;  // the whole untrimmed frame
    };
    std::vector<Item> items;
    for (const Frame& f : sheet.frames) {
        Item it;
        it.place.name = f.name;
        it.place.sourceW = f.image.width();
        it.place.sourceH = f.image.height();
        it.pixels = f.image.rgba8();
        if (sheet.trim) {
            trimBox(it.pixels, it.place.sourceW, it.place.sourceH, &it.place.trimX, &it.place.trimY,
                    &it.place.w, &it.place.h);
        } else {
            it.place.w = it.place.sourceW;
            it.place.h = it.place.sourceH;
        }
        items.push_back(std::move(it));
    }
    std::vector<size_t> order(items.size());
    for (size_t i = 0; i < order.size(); i++)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (items[a].place.h != items[b].place.h) return items[a].place.h > items[b].place.h;
        return items[a].place.name < items[b].place.name;
    });
    int x = kPad, y = kPad, shelf = 0;
    for (size_t i : order) {
        Placed& p = items[i].place;
        if (p.w + 2 * kPad > sheet.atlasWidth) {
            fprintf(stderr, "frame %s is wider than the %s atlas\n", p.name.c_str(), sheet.name.c_str());
            return false;
        }
        if (x + p.w + kPad > sheet.atlasWidth) {
            x = kPad;
            y += shelf + kPad;
            shelf = 0;
        }
        p.x = x;
        p.y = y;
        x += p.w + kPad;
        shelf = std::max(shelf, p.h);
    }
    int atlasH = y + shelf + kPad;
    std::vector<unsigned char> atlas(static_cast<size_t>(sheet.atlasWidth) * atlasH * 4, 0);
    for (const Item& it : items) {
        const Placed& p = it.place;
        for (int row = 0; row < p.h; row++) {
            const unsigned char* src =
                &it.pixels[(static_cast<size_t>(p.trimY + row) * p.sourceW + p.trimX) * 4];
            unsigned char* dst = &atlas[(static_cast<size_t>(p.y + row) * sheet.atlasWidth + p.x) * 4];
            memcpy(dst, src, static_cast<size_t>(p.w) * 4);
        }
    }
    std::vector<Placed> placed;
    for (const Item& it : items)
        placed.push_back(it.place);
    std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.name < b.name; });
    if (!writePng(folder + "/" + sheet.name + ".png", atlas, sheet.atlasWidth, atlasH)) return false;
    return writeText(folder + "/" + sheet.name + ".json",
                     controlFile(sheet, placed, sheet.atlasWidth, atlasH));
}

// >>common

// A gull seen from below, wings at one of four beats (up, level, down, level).
Canvas gullFlying(int beat) {
    Canvas c(26, 18);
    const float elbow[4] = {-4.5f, -1.5f, 1.5f, -0.5f};
    const float tip[4] = {-7.5f, -1.0f, 5.0f, 1.5f};
    const float bob[4] = {1.0f, 0.0f, -1.0f, 0.0f};
    float cy = 10 + bob[beat];
    Rgba wing = hex(0xf3e4e0), wingShade = hex(0xb9a9b8), tipColour = hex(0x3a3142);
    for (int side = -1; side <= 1; side += 2) {
        auto X = [&](float dx) { return 13 + side * dx; };
        Poly w = {{X(1.5f), cy - 1.2f},
                  {X(6.5f), cy + elbow[beat] - 1.2f},
                  {X(12.5f), cy + tip[beat]},
                  {X(7.0f), cy + elbow[beat] + 1.2f},
                  {X(1.5f), cy + 1.2f}};
        c.fill(w, linear({13, cy}, {X(12), cy + tip[beat]}, {{0, wing}, {0.7f, wingShade}, {1, wingShade}}));
        Poly t = {{X(10.0f), cy + (elbow[beat] + tip[beat]) * 0.5f - 0.6f},
                  {X(12.5f), cy + tip[beat]},
                  {X(10.2f), cy + (elbow[beat] + tip[beat]) * 0.5f + 1.0f}};
        c.fill(t, solid(tipColour));
    }
    c.fill(ellipse(13, cy + 0.3f, 3.2f, 1.8f), solid(hex(0xfaf0ea)));
    c.fill(ellipse(15.6f, cy - 0.4f, 1.5f, 1.3f), solid(hex(0xfaf0ea)));
    c.fill(Poly{{16.8f, cy - 0.8f}, {18.6f, cy - 0.2f}, {16.8f, cy + 0.2f}}, solid(hex(0xe9a03c)));
    c.fill(Poly{{10.2f, cy - 0.6f}, {8.2f, cy + 0.2f}, {10.2f, cy + 1.2f}}, solid(hex(0xd8ccd4)));
    return c;
}

// A gull sitting, looking ahead (0) or preening over its back (1).
Canvas gullSitting(int pose) {
    Canvas c(18, 18);
    Rgba white = hex(0xf7efea), grey = hex(0xb3a5b6), orange = hex(0xe69a3a);
    c.fill(stroke({{8, 13.5f}, {8, 17}}, 0.9f), solid(orange));
    c.fill(stroke({{10.5f, 13.5f}, {10.5f, 17}}, 0.9f), solid(orange));
    c.fill(Poly{{1.0f, 9.0f}, {5.0f, 9.5f}, {5.0f, 12.0f}}, solid(hex(0x2f2936)));
    c.fill(ellipse(9, 11.2f, 5.6f, 3.4f), vertical(8, 14.5f, {{0, white}, {1, hex(0xd9cbd2)}}));
    c.fill(ellipse(7.8f, 9.8f, 4.8f, 2.2f), vertical(7.6f, 12, {{0, hex(0xc9bccb)}, {1, grey}}));
    c.fill(Poly{{3.0f, 9.2f}, {5.5f, 8.6f}, {5.2f, 10.8f}}, solid(hex(0x2f2936)));
    if (pose == 0) {
        c.fill(ellipse(13.4f, 6.8f, 2.6f, 2.4f), solid(white));
        c.fill(Poly{{15.4f, 6.4f}, {18.0f, 7.2f}, {15.4f, 7.9f}}, solid(orange));
        c.fill(ellipse(14.2f, 6.2f, 0.55f, 0.55f), solid(hex(0x1c1820)));
    } else {
        c.fill(ellipse(11.8f, 7.2f, 2.6f, 2.4f), solid(white));
        c.fill(Poly{{10.0f, 6.9f}, {7.4f, 8.0f}, {10.2f, 8.3f}}, solid(orange));
        c.fill(ellipse(11.0f, 6.5f, 0.55f, 0.55f), solid(hex(0x1c1820)));
    }
    return c;
}

// A wooden crate in three-quarter view, its front face size s, with its top-left corner at (x, y).
void drawCrate(Canvas& c, float x, float y, float s) {
    float d = s * 0.28f;  // depth of the top and side faces
    Poly top = {{x, y + d}, {x + d, y}, {x + s + d, y}, {x + s, y + d}};
    Poly side = {{x + s, y + d}, {x + s + d, y}, {x + s + d, y + s}, {x + s, y + s + d}};
    Poly front = rect(x, y + d, x + s, y + s + d);
    Rgba edge = hex(0x45291c);
    c.fill(top, solid(hex(0xc99158)));
    c.fill(side, solid(hex(0x6f4529)));
    c.fill(front, vertical(y + d, y + s + d, {{0, hex(0xa8703f)}, {1, hex(0x875630)}}));
    for (int i = 1; i < 3; i++) {
        float py = y + d + s * i / 3;
        c.fill(stroke({{x, py}, {x + s, py}}, 0.7f), solid(withAlpha(edge, 0.7f)));
    }
    c.fill(stroke({{x + 1.5f, y + d + s - 1.5f}, {x + s - 1.5f, y + d + 1.5f}}, 1.6f), solid(hex(0x7a4b2a)));
    std::vector<Poly> frame =
        stroke({{x, y + d}, {x + s, y + d}, {x + s, y + s + d}, {x, y + s + d}, {x, y + d}}, 1.3f);
    c.fill(frame, solid(edge));
    c.fill(stroke({{x + s, y + d}, {x + s + d, y}, {x + s + d, y + s}, {x + s, y + s + d}}, 1.0f),
           solid(edge));
    c.fill(stroke({{x, y + d}, {x + d, y}, {x + s + d, y}}, 1.0f), solid(edge));
}

Canvas crate() {
    Canvas c(26, 26);
    drawCrate(c, 1, 1, 19);
    return c;
}

Canvas barrel() {
    Canvas c(22, 28);
    std::vector<Pt> left = curve({3.5f, 4}, {-0.5f, 15}, {3.5f, 26});
    std::vector<Pt> right = curve({18.5f, 26}, {22.5f, 15}, {18.5f, 4});
    Poly body = left;
    body.insert(body.end(), right.begin(), right.end());
    c.fill(body,
           linear({1, 0}, {21, 0},
                  {{0, hex(0x4f321f)}, {0.35f, hex(0xa9713f)}, {0.6f, hex(0x8a5a33)}, {1, hex(0x4a2e1c)}}));
    for (float sx : {6.5f, 11.0f, 15.5f})
        c.fill(stroke(curve({sx, 5}, {sx + (sx - 11) * 0.35f, 15}, {sx, 26}), 0.6f),
               solid(hex(0x3b2416, 0.6f)));
    for (float hy : {7.5f, 11.5f, 19.5f, 23.5f}) {
        float half = 7.5f + 2.0f * std::sin(kPi * (hy - 4) / 22);
        c.fill(stroke(arcPoints(11, hy - 1.8f, half, 1.8f, 0, 180, 12), 1.5f), solid(hex(0x2e2a2e)));
    }
    c.fill(ellipse(11, 4, 7.5f, 2.4f), solid(hex(0x5f3c24)));
    c.fill(ellipse(11, 4.3f, 6.2f, 1.7f), solid(hex(0x7d5231)));
    return c;
}

Sheet commonSheet() {
    Sheet s{"Common", SheetLayout::kCentreOffsets, true, 256, {}};
    for (int i = 0; i < 4; i++)
        s.add(fmt("gull_fly_%d", i + 1), gullFlying(i));
    for (int i = 0; i < 2; i++)
        s.add(fmt("gull_sit_%d", i + 1), gullSitting(i));
    s.add("crate", crate());
    s.add("barrel", barrel());
    return s;
}

// >>dock

constexpr int kRoomH = 240;
constexpr int kDockW = 800;
constexpr float kDockHorizon = 90;  // canvas rows are y down; the room's y grows upwards
constexpr float kDockCurb = 170;

Stops duskSky() {
    return {{0, hex(0x17163a)},    {0.3f, hex(0x302a5c)},  {0.56f, hex(0x6c4474)},
            {0.8f, hex(0xc9646a)}, {0.93f, hex(0xf09b64)}, {1, hex(0xffc57c)}};
}

// A long thin cloud lit from below by the low sun.
void drawCloud(Canvas& c, float cx, float cy, float length, float thick, Rng& rng) {
    std::vector<Poly> lit, body;
    int parts = 4 + static_cast<int>(length / 30);
    for (int i = 0; i < parts; i++) {
        float t = (i + 0.5f) / parts;
        float x = cx - length / 2 + length * t + rng.uniform(-4, 4);
        float rx = length / parts * rng.uniform(0.8f, 1.3f);
        float ry = thick * (0.6f + 0.5f * std::sin(kPi * t)) * rng.uniform(0.8f, 1.1f);
        lit.push_back(ellipse(x, cy + 1.3f, rx, ry));
        body.push_back(ellipse(x, cy - 0.4f, rx * 0.95f, ry * 0.8f));
    }
    c.fill(lit, solid(hex(0xf2a07e, 0.85f)));
    c.fill(body, vertical(cy - thick, cy + thick, {{0, hex(0x5b3a68)}, {1, hex(0x8c5476)}}), 0.9f);
}

void drawStars(Canvas& c, Rng& rng, int count, float maxY) {
    for (int i = 0; i < count; i++) {
        float x = rng.uniform(2, c.width() - 2.0f), y = rng.uniform(2, maxY);
        float fade = 1 - y / maxY;
        float r = rng.uniform(0.45f, 0.85f);
        c.fill(ellipse(x, y, r, r, 12), solid(hex(0xfff4dc, 0.35f + 0.6f * fade)));
        if (rng.next() % 5 == 0) c.fill(glint(x, y, 2.4f), solid(hex(0xfff4dc, 0.5f * fade)));
    }
}

Canvas dockSky() {
    Canvas c(480, kRoomH);
    Rng rng(11);
    c.fill(rect(0, 0, 480, kRoomH), vertical(0, kDockHorizon + 2, duskSky()));
    drawStars(c, rng, 34, 42);
    c.fill(ellipse(240, kDockHorizon, 150, 70),
           glowPaint({240, kDockHorizon}, 150, hex(0xffb070, 0.5f), 0.45f));
    c.fill(
        ellipse(240, kDockHorizon - 2, 15, 15, 64),
        radial({240, kDockHorizon - 5}, 16, {{0, hex(0xfff7dc)}, {0.7f, hex(0xffe3a6)}, {1, hex(0xffca84)}}));
    drawCloud(c, 90, 52, 120, 4, rng);
    drawCloud(c, 170, 68, 90, 3, rng);
    drawCloud(c, 360, 46, 150, 5, rng);
    drawCloud(c, 410, 72, 70, 2.5f, rng);
    drawCloud(c, 300, 30, 60, 2.5f, rng);
    return c;
}

// A ridge line as a sum of waves, so it is smooth and the same on every run.
float ridge(float x, float base, float a1, float f1, float p1, float a2, float f2, float p2) {
    return base + a1 * std::sin(x * f1 + p1) + a2 * std::sin(x * f2 + p2);
}

Poly ridgePoly(float x0, float x1, float bottom, const std::function<float(float)>& top) {
    Poly p = {{x0, bottom}};
    for (float x = x0; x <= x1 + 0.01f; x += 4)
        p.push_back({x, top(x)});
    p.push_back({x1, bottom});
    return p;
}

// The far hills, drawn as one canvas and cut into a west and an east frame.
Canvas dockHills() {
    Canvas c(600, kRoomH);
    float bottom = kDockHorizon + 6;
    auto farWest = [](float x) {
        float y = ridge(x, 66, 6, 0.021f, 0.4f, 3, 0.07f, 1.3f) + std::max(0.0f, x - 200) * 0.55f;
        return std::min(y, 93.0f);
    };
    auto farEast = [](float x) {
        float y = ridge(x, 64, 7, 0.018f, 2.0f, 2.5f, 0.061f, 0.2f) + std::max(0.0f, 420 - x) * 0.5f;
        return std::min(y, 93.0f);
    };
    Stops far = {{0, hex(0x765486)}, {1, hex(0x9a6483)}};
    c.fill(ridgePoly(0, 260, bottom, farWest), vertical(50, 92, far));
    c.fill(ridgePoly(350, 600, bottom, farEast), vertical(50, 92, far));
    auto nearWest = [](float x) {
        return std::min(93.0f,
                        ridge(x, 80, 3, 0.05f, 0.7f, 1.5f, 0.13f, 2.0f) + std::max(0.0f, x - 150) * 0.3f);
    };
    auto nearEast = [](float x) {
        return std::min(93.0f,
                        ridge(x, 79, 3.5f, 0.04f, 1.9f, 1.2f, 0.11f, 0.3f) + std::max(0.0f, 470 - x) * 0.3f);
    };
    Stops nearStops = {{0, hex(0x4c3a62)}, {1, hex(0x6a4a6c)}};
    c.fill(ridgePoly(0, 200, bottom, nearWest), vertical(70, 92, nearStops));
    c.fill(ridgePoly(400, 600, bottom, nearEast), vertical(70, 92, nearStops));
    // The lighthouse on the western headland: the room up the steps.
    float lx = 170, base = farWest(lx) + 1.0f;
    c.fill(Poly{{lx - 1.8f, base}, {lx + 1.8f, base}, {lx + 1.2f, base - 10}, {lx - 1.2f, base - 10}},
           linear({lx - 2, 0}, {lx + 2, 0}, {{0, hex(0xf0e2dc)}, {1, hex(0xa99aa8)}}));
    c.fill(rect(lx - 1.6f, base - 6.5f, lx + 1.6f, base - 4.5f), solid(hex(0xb8453e)));
    c.fill(rect(lx - 1.4f, base - 12, lx + 1.4f, base - 10), solid(hex(0xffe9a8)));
    c.fill(ellipse(lx, base - 11, 7, 7), glowPaint({lx, base - 11}, 7, hex(0xffe6a0, 0.7f)));
    c.fill(ellipse(lx, base - 12.6f, 1.7f, 0.9f), solid(hex(0x2e2632)));
    // Cottage windows on the eastern slopes.
    for (Pt p : {Pt{452, 78}, Pt{470, 75}, Pt{505, 71}, Pt{540, 68}, Pt{566, 74}, Pt{131, 79}}) {
        c.fill(ellipse(p.x, p.y, 3.5f, 3.5f), glowPaint(p, 3.5f, hex(0xffc46a, 0.45f)));
        c.fill(rect(p.x - 0.7f, p.y - 0.7f, p.x + 0.7f, p.y + 0.7f), solid(hex(0xffd88a)));
    }
    return c;
}

void drawWaves(Canvas& c, Rng& rng, float x0, float x1, float top, float bottom, Rgba light, Rgba dark) {
    for (int k = 0; k < 34; k++) {
        float t = std::pow(k / 33.0f, 1.5f);
        float y = top + 3 + (bottom - top - 6) * t;
        float depth = (y - top) / (bottom - top);
        float len = 3 + 16 * depth, thick = 0.5f + 1.1f * depth;
        int dashes = static_cast<int>((x1 - x0) / (len * 3.2f));
        for (int i = 0; i < dashes; i++) {
            float x = rng.uniform(x0, x1);
            float yy = y + rng.uniform(-1, 1);
            c.fill(capsule({x, yy}, {x + len, yy}, thick * 0.5f),
                   solid(withAlpha(light, light.a * (1 - 0.5f * depth))));
            c.fill(capsule({x + 1, yy + thick + 0.3f}, {x + len - 1, yy + thick + 0.3f}, thick * 0.45f),
                   solid(dark));
        }
    }
}

void drawSunPath(Canvas& c, Rng& rng, float cx, float top, float bottom) {
    for (float y = top + 1.5f; y < bottom; y += 2.6f) {
        float t = (y - top) / (bottom - top);
        float half = 24 - 12 * t;
        int n = 2 + static_cast<int>(rng.next() % 2);
        for (int i = 0; i < n; i++) {
            float x = cx + rng.uniform(-half, half);
            float len = rng.uniform(3, 9) * (1 - 0.4f * t);
            c.fill(capsule({x - len, y}, {x + len, y}, 0.55f + 0.5f * t),
                   solid(hex(0xffdca4, 0.8f - 0.55f * t)));
        }
    }
}

void drawBollard(Canvas& c, float x, float base) {
    c.fill(rect(x - 3.2f, base - 9, x + 3.2f, base),
           linear({x - 3, 0}, {x + 3, 0}, {{0, hex(0x5c4e5c)}, {1, hex(0x221c26)}}));
    c.fill(ellipse(x, base - 9.5f, 4.6f, 1.9f), solid(hex(0x2e2632)));
    c.fill(ellipse(x - 0.8f, base - 10, 2.6f, 0.9f), solid(hex(0x6e5e6c)));
}

// The pier's deck edge at depth d (0 far end, 1 at the quay).
float pierY(float d) {
    return 120 + 54 * std::pow(d, 1.4f);
}
float pierLeft(float y) {
    return 506 + (470 - 506) * (y - 120) / 54;
}
float pierRight(float y) {
    return 538 + (570 - 538) * (y - 120) / 54;
}

void drawPier(Canvas& c) {
    Rgba pile = hex(0x35241f), pileLit = hex(0x8a6452);
    const float posts[] = {0.0f, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f};
    for (float d : posts) {
        float y = pierY(d), h = 5 + 9 * d, wid = 1.6f + 2.4f * d;
        for (float x : {pierLeft(y), pierRight(y)}) {
            c.fill(rect(x - wid / 2, y, x + wid / 2, y + h * 1.3f), solid(pile));
            c.fill(ellipse(x, y + h * 1.3f, wid * 1.6f, 0.5f + 0.6f * d), solid(hex(0xd6a890, 0.35f)));
        }
    }
    Poly deck = {{pierLeft(120), 120}, {pierRight(120), 120}, {pierRight(174), 174}, {pierLeft(174), 174}};
    c.fill(deck, vertical(120, 174, {{0, hex(0x735046)}, {1, hex(0x9a6a44)}}));
    for (int i = 0; i <= 18; i++) {
        float y = pierY(i / 18.0f);
        c.fill(stroke({{pierLeft(y), y}, {pierRight(y), y}}, 0.35f + 0.6f * i / 18),
               solid(hex(0x3e271c, 0.55f)));
    }
    c.fill(stroke({{pierLeft(120), 120}, {pierLeft(174), 174}}, 1.8f), solid(hex(0x3a261e)));
    c.fill(stroke({{pierRight(120), 120}, {pierRight(174), 174}}, 1.8f), solid(hex(0x3a261e)));
    for (float d : posts) {
        float y = pierY(d), h = 5 + 9 * d, wid = 1.6f + 2.4f * d;
        for (float x : {pierLeft(y), pierRight(y)}) {
            c.fill(rect(x - wid / 2, y - h, x + wid / 2, y + 0.5f), solid(pile));
            c.fill(rect(x - wid / 2, y - h, x - wid / 2 + wid * 0.35f, y), solid(withAlpha(pileLit, 0.6f)));
            c.fill(ellipse(x, y - h, wid / 2, wid * 0.22f + 0.3f), solid(pileLit));
        }
    }
}

void drawRocks(Canvas& c, Rng& rng) {
    Poly rocks = {{0, 26},    {20, 22},   {44, 30},   {66, 52}, {92, 86},
                  {116, 122}, {136, 152}, {156, 176}, {0, 176}};
    c.fill(rocks, vertical(22, 176, {{0, hex(0x77597a)}, {0.5f, hex(0x4f3d5a)}, {1, hex(0x372c42)}}));
    for (int i = 0; i < 16; i++) {
        float x = rng.uniform(4, 110), y = rng.uniform(40, 168);
        if (x > 150 - (176 - y) * 0.9f) continue;
        float s = rng.uniform(5, 12);
        Poly facet = {
            {x, y}, {x + s, y - s * 0.6f}, {x + s * 1.5f, y + s * 0.1f}, {x + s * 0.6f, y + s * 0.5f}};
        c.fill(facet, solid(hex(0x8c6a86, 0.45f)));
        c.fill(stroke({{x + s * 0.6f, y + s * 0.5f}, {x + s * 1.5f, y + s * 0.1f}}, 0.8f),
               solid(hex(0x251d2c, 0.6f)));
    }
    // Grass along the top of the rocks.
    std::vector<Poly> grass;
    for (float x = 0; x < 70; x += 2.5f) {
        float y = x < 20 ? 26 - x * 0.2f : 22 + (x - 20) * 0.55f;
        float h = 3 + 2.5f * std::sin(x * 1.7f) * std::sin(x * 0.4f);
        grass.push_back({{x - 1.4f, y + 2}, {x + 0.5f, y - h}, {x + 1.4f, y + 2}});
    }
    c.fill(grass, solid(hex(0x3c4b48)));
    // Steps cut into the rock, climbing west to the lighthouse path.
    for (int i = 9; i >= 0; i--) {
        float x = 132 - i * 10.0f, y = 166 - i * 13.0f;
        c.fill(rect(x - 15, y - 2, x + 10, y + 4), solid(hex(0x4e4256)));
        c.fill(rect(x - 15, y - 3.5f, x + 10, y - 0.5f),
               vertical(y - 3.5f, y - 0.5f, {{0, hex(0xb59ca2)}, {1, hex(0x8a7686)}}));
    }
}

void drawWarehouse(Canvas& c) {
    Stops brick = {{0, hex(0x9b5040)}, {1, hex(0x5e2e30)}};
    c.fill(Poly{{588, 56}, {694, 26}, {800, 56}, {800, 176}, {588, 176}}, vertical(26, 176, brick));
    for (int row = 0; row * 5 + 58 < 172; row++) {
        float y = 58 + row * 5.0f;
        float x0 = std::max(588.0f, 694 - (y - 26) / 30 * 106),
              x1 = std::min(800.0f, 694 + (y - 26) / 30 * 106);
        c.fill(rect(x0, y, x1, y + 0.8f), solid(hex(0x3a1c22, 0.28f)));
        for (float x = 588 + (row % 2) * 6; x < 800; x += 12)
            if (x > x0 && x < x1) c.fill(rect(x, y, x + 0.8f, y + 5), solid(hex(0x3a1c22, 0.2f)));
    }
    c.fill(rect(588, 50, 597, 176), solid(hex(0x2a1624, 0.35f)));
    // Roof edges and the round gable window.
    c.fill(stroke({{580, 60}, {694, 25}, {808, 60}}, 6), solid(hex(0x2b2233)));
    c.fill(stroke({{581, 57.5f}, {694, 22.8f}, {807, 57.5f}}, 1.3f), solid(hex(0x7a6478)));
    c.fill(ellipse(694, 44, 20, 20), glowPaint({694, 44}, 20, hex(0xffc46a, 0.3f)));
    c.fill(ellipse(694, 44, 6.5f, 6.5f), solid(hex(0x3a2a30)));
    c.fill(ellipse(694, 44, 5, 5), radial({694, 46}, 6, {{0, hex(0xffe2a0)}, {1, hex(0xf2a25a)}}));
    c.fill(stroke({{689, 44}, {699, 44}}, 0.8f), solid(hex(0x3a2a30)));
    c.fill(stroke({{694, 39}, {694, 49}}, 0.8f), solid(hex(0x3a2a30)));
    // Lit windows.
    auto window = [&](float x0, float y0, float x1, float y1) {
        float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
        c.fill(ellipse(cx, cy, 30, 26), glowPaint({cx, cy}, 30, hex(0xffb860, 0.22f), 0.85f));
        c.fill(rect(x0 - 2, y1, x1 + 2, y1 + 2.5f), solid(hex(0xa89098)));
        c.fill(rect(x0 - 1, y0 - 1, x1 + 1, y1 + 1), solid(hex(0x2a1c22)));
        c.fill(rect(x0, y0, x1, y1), vertical(y0, y1, {{0, hex(0xffe3a0)}, {1, hex(0xf29c56)}}));
        c.fill(stroke({{cx, y0}, {cx, y1}}, 1.2f), solid(hex(0x2a1c22)));
        c.fill(stroke({{x0, cy}, {x1, cy}}, 1.2f), solid(hex(0x2a1c22)));
    };
    window(606, 74, 630, 96);
    window(682, 74, 706, 96);
    window(740, 74, 764, 96);
    window(736, 124, 768, 150);
    // The doorway; the door itself is an object.
    c.fill(archRect(645, 113, 705, 176, 13), solid(hex(0x8f7c84)));
    c.fill(archRect(650, 118, 700, 176, 10), solid(hex(0x1a1220)));
}

void drawQuay(Canvas& c) {
    c.fill(rect(0, 174, kDockW, kRoomH),
           vertical(174, kRoomH, {{0, hex(0x8c7a86)}, {0.25f, hex(0x6d5f6f)}, {1, hex(0x433a4a)}}));
    const float rows[] = {180, 185.5f, 191.5f, 198.5f, 206.5f, 215.5f, 225.5f, 236.5f};
    float prev = 175;
    int r = 0;
    for (float y : rows) {
        c.fill(stroke({{0, y}, {static_cast<float>(kDockW), y}}, 0.6f + (y - 175) / 60),
               solid(hex(0x2e2634, 0.35f)));
        float spacing = 14 + (y - 175) * 0.75f;
        for (float x = (r % 2) * spacing * 0.5f; x < kDockW; x += spacing)
            c.fill(stroke({{x, prev + 0.8f}, {x + (x - 400) * 0.02f, y - 0.5f}}, 0.5f + (y - 175) / 90),
                   solid(hex(0x2e2634, 0.28f)));
        c.fill(stroke({{0, y + 1.2f}, {static_cast<float>(kDockW), y + 1.2f}}, 0.5f),
               solid(hex(0xb4a0a4, 0.12f)));
        prev = y;
        r++;
    }
    c.fill(rect(0, 167, kDockW, 176),
           vertical(167, 176, {{0, hex(0xc0a9a4)}, {0.35f, hex(0x9c8890)}, {1, hex(0x5c4e5e)}}));
    for (float x = 8; x < kDockW; x += 27)
        c.fill(rect(x, 167, x + 0.9f, 176), solid(hex(0x3a3040, 0.5f)));
}

Canvas dockBackground() {
    Canvas c(kDockW, kRoomH);
    Rng rng(7);
    c.fill(rect(0, kDockHorizon - 1, kDockW, 176),
           vertical(kDockHorizon - 1, 176,
                    {{0, hex(0xeba486)}, {0.1f, hex(0xc37b86)}, {0.4f, hex(0x6c5386)}, {1, hex(0x262e4e)}}));
    c.fill(rect(0, kDockHorizon - 1, kDockW, kDockHorizon + 1.2f), solid(hex(0xffd6a4, 0.55f)));
    drawWaves(c, rng, 0, kDockW, kDockHorizon, kDockCurb, hex(0xf6c0a0, 0.45f), hex(0x1a1c34, 0.22f));
    drawSunPath(c, rng, 400, kDockHorizon, 160);
    drawRocks(c, rng);
    drawWarehouse(c);
    drawQuay(c);
    drawPier(c);
    for (float x : {236.0f, 448.0f, 596.0f})
        drawBollard(c, x, 172);
    return c;
}

// Foreground mooring posts with a sagging rope, passing close in front of the camera.
Canvas dockPosts() {
    Canvas c(900, kRoomH);
    const float xs[] = {40, 300, 560, 840};
    for (int i = 0; i + 1 < 4; i++) {
        std::vector<Pt> rope =
            curve({xs[i] + 8, 203}, {(xs[i] + xs[i + 1]) / 2, 228}, {xs[i + 1] - 8, 203}, 24);
        c.fill(stroke(rope, 2.6f), solid(hex(0x3b2b2a)));
        for (Pt& p : rope)
            p.y -= 0.8f;
        c.fill(stroke(rope, 0.8f), solid(hex(0x8a6a50, 0.8f)));
    }
    for (float x : xs) {
        c.fill(rect(x - 10, 196, x + 10, kRoomH),
               linear({x - 10, 0}, {x + 10, 0},
                      {{0, hex(0x5a3e40)}, {0.3f, hex(0x2a1e26)}, {1, hex(0x1a1218)}}));
        c.fill(ellipse(x, 196, 10, 3.2f), solid(hex(0x4a3436)));
        c.fill(ellipse(x - 1, 195.6f, 7, 1.8f), solid(hex(0x6e5048)));
        c.fill(rect(x - 10.5f, 207, x + 10.5f, 210.5f), solid(hex(0x2f2a30)));
        c.fill(rect(x - 10.5f, 207, x + 10.5f, 208), solid(hex(0x6a5e66, 0.8f)));
    }
    std::vector<Poly> grass;
    Rng rng(5);
    for (int i = 0; i < 90; i++) {
        float x = i < 45 ? rng.uniform(0, 120) : rng.uniform(700, 900);
        float h = rng.uniform(8, 22), lean = rng.uniform(-5, 5);
        grass.push_back({{x - 1.5f, kRoomH + 1.0f}, {x + lean, kRoomH - h}, {x + 1.5f, kRoomH + 1.0f}});
    }
    c.fill(grass, solid(hex(0x1b2224)));
    return c;
}

Canvas lamp(int frame) {
    Canvas c(40, 96);
    const float glowR[4] = {19, 22, 17, 21}, glowA[4] = {0.34f, 0.44f, 0.27f, 0.4f},
                flame[4] = {1.0f, 1.15f, 0.82f, 1.07f};
    c.fill(ellipse(20, 22, glowR[frame], glowR[frame]),
           glowPaint({20, 22}, glowR[frame], hex(0xffc86a, glowA[frame])));
    Rgba iron = hex(0x2b2530), ironLit = hex(0x6a5c6c);
    c.fill(rect(18.4f, 30, 21.6f, 90), solid(iron));
    c.fill(rect(18.8f, 30, 19.7f, 90), solid(ironLit));
    c.fill(rect(14, 88, 26, 96), solid(iron));
    c.fill(rect(16, 83, 24, 89), solid(iron));
    c.fill(rect(14, 88, 15.5f, 96), solid(ironLit));
    c.fill(rect(15, 30, 25, 33), solid(iron));
    c.fill(rect(14, 14, 26, 30), vertical(14, 30, {{0, hex(0xffe6a8)}, {1, hex(0xf6aa5c)}}));
    c.fill(ellipse(20, 23.5f, 2.6f * flame[frame], 4.2f * flame[frame]),
           radial({20, 24.5f}, 4.5f * flame[frame],
                  {{0, hex(0xffffff)}, {0.5f, hex(0xfff0b0)}, {1, hex(0xffb050)}}));
    for (float x : {14.0f, 20.0f, 26.0f})
        c.fill(stroke({{x, 14}, {x, 30}}, 1.1f), solid(iron));
    c.fill(Poly{{12, 14.5f}, {20, 6}, {28, 14.5f}}, solid(iron));
    c.fill(stroke({{13, 14}, {20, 6.5f}}, 0.7f), solid(ironLit));
    c.fill(ellipse(20, 5, 1.6f, 1.6f), solid(iron));
    return c;
}

// The rowing boat, rocking gently on its mooring.
Canvas boat(int frame) {
    Canvas c(76, 38);
    const float tilt[3] = {-1.6f, 0.0f, 1.6f}, lift[3] = {0.0f, 1.0f, 0.0f};
    Pt pivot{38, 20};
    auto place = [&](Poly p) { return rotated(moved(std::move(p), 0, lift[frame]), pivot, tilt[frame]); };
    c.fill(ellipse(38, 30.5f, 36, 3.2f), solid(hex(0x171a30, 0.35f)));
    std::vector<Pt> bow = curve({72, 10}, {63, 30}, {36, 29});
    std::vector<Pt> stern = curve({36, 29}, {11, 29}, {7, 22});
    std::vector<Pt> gunwale = curve({6, 14}, {40, 18}, {72, 10});
    Poly hull = bow;
    hull.insert(hull.end(), stern.begin(), stern.end());
    hull.insert(hull.end(), gunwale.begin(), gunwale.end());
    Poly inside = curve({7, 14.5f}, {40, 8}, {71, 10.5f});
    std::vector<Pt> back = curve({71, 10.5f}, {40, 17.5f}, {7, 14.5f});
    inside.insert(inside.end(), back.begin(), back.end());
    c.fill(place(inside), solid(hex(0x5a3a2c)));
    c.fill(place(rect(30, 11, 34, 15)), solid(hex(0x8a6040)));
    c.fill(place(hull), vertical(10, 30, {{0, hex(0xb84a3c)}, {1, hex(0x6a262c)}}));
    for (Poly& p : stroke(curve({8, 18}, {40, 21.5f}, {69, 13.5f}), 2.0f))
        c.fill(place(p), solid(hex(0xeedcb4)));
    for (Poly& p : stroke(gunwale, 1.5f))
        c.fill(place(p), solid(hex(0x3a1e20)));
    for (Poly& p : stroke({{18, 12}, {60, 5}}, 1.5f))
        c.fill(place(p), solid(hex(0xcfa36e)));
    c.fill(place(ellipse(62, 3.6f, 4.2f, 1.6f)), solid(hex(0xcfa36e)));
    c.fill(ellipse(38, 29.5f, 33, 1.1f), solid(hex(0xd8b0a0, 0.35f)));
    return c;
}

// The pennant over the warehouse, waving in four phases.
Canvas flag(int frame) {
    Canvas c(32, 24);
    float phase = frame * kPi / 2;
    c.fill(rect(2, 1, 3.4f, 24), solid(hex(0x2e2832)));
    c.fill(ellipse(2.7f, 1.4f, 1.5f, 1.4f), solid(hex(0xe0b860)));
    auto wave = [&](float x) { return std::sin(phase + x * 0.32f) * 2.2f * (x - 3.4f) / 27; };
    Poly top, bottom;
    for (float x = 3.4f; x <= 30.01f; x += 1.5f) {
        float t = (x - 3.4f) / 26.6f;
        top.push_back({x, 3 + 5 * t + wave(x)});
        bottom.push_back({x, 13 - 5 * t + wave(x)});
    }
    Poly pennant = top;
    pennant.insert(pennant.end(), bottom.rbegin(), bottom.rend());
    c.fill(pennant, solid(hex(0xc8453a)));
    Poly band;
    for (size_t i = 0; i < top.size(); i++)
        band.push_back({top[i].x, top[i].y + (bottom[i].y - top[i].y) * 0.4f});
    for (size_t i = bottom.size(); i-- > 0;)
        band.push_back({bottom[i].x, top[i].y + (bottom[i].y - top[i].y) * 0.6f});
    c.fill(band, solid(hex(0xf0c868)));
    return c;
}

// The warehouse door: closed, ajar, open onto the lit store room.
Canvas door(int frame) {
    Canvas c(50, 56);
    Poly opening = archRect(0, 0, 50, 56, 10);
    Rgba wood = hex(0x7a4c34), woodDark = hex(0x4e2f1e), iron = hex(0x2a2226);
    if (frame > 0) {
        c.fill(opening,
               radial({25, 52}, 50, {{0, hex(0xffc070)}, {0.5f, hex(0x8a4a2c)}, {1, hex(0x24161a)}}, 0.9f));
        Canvas inside(50, 56);
        drawCrate(inside, 6, 30, 16);
        drawCrate(inside, 30, 36, 13);
        inside.fill(rect(0, 52, 50, 56), solid(hex(0x4a2e24)));
        c.draw(inside, 0, 0, frame == 1 ? 0.5f : 0.85f);
    }
    auto leaf = [&](float hingeX, float freeX, float skew) {
        Poly p = {{hingeX, 8}, {freeX, 8 + skew}, {freeX, 56 - skew * 0.3f}, {hingeX, 56}};
        Canvas l(50, 56);
        l.fill(p, vertical(0, 56, {{0, wood}, {1, hex(0x5c3824)}}));
        float span = freeX - hingeX;
        for (int i = 1; i < 4; i++)
            l.fill(stroke({{hingeX + span * i / 4, 8}, {hingeX + span * i / 4, 56}}, 0.7f),
                   solid(withAlpha(woodDark, 0.8f)));
        for (float y : {16.0f, 44.0f})
            l.fill(stroke({{hingeX, y}, {hingeX + span * 0.8f, y + skew * 0.2f}}, 2.0f), solid(iron));
        return l;
    };
    if (frame == 0) {
        Canvas leaves(50, 56);
        leaves.fill(opening, vertical(0, 56, {{0, wood}, {1, hex(0x5c3824)}}));
        for (float x = 6; x < 50; x += 6.25f)
            leaves.fill(stroke({{x, 0}, {x, 56}}, 0.7f), solid(withAlpha(woodDark, 0.8f)));
        leaves.fill(rect(24.3f, 0, 25.7f, 56), solid(woodDark));
        for (float y : {16.0f, 44.0f}) {
            leaves.fill(stroke({{3, y}, {21, y}}, 2.2f), solid(iron));
            leaves.fill(stroke({{29, y}, {47, y}}, 2.2f), solid(iron));
        }
        for (float x : {21.5f, 28.5f}) {
            leaves.fill(stroke(arcPoints(x, 31, 1.8f, 1.8f, 0, 360, 12), 0.8f), solid(iron));
        }
        Canvas mask(50, 56);
        mask.fill(opening, solid(hex(0)));
        leaves.clipTo(mask);
        c.draw(leaves, 0, 0);
    } else {
        float open = frame == 1 ? 13 : 6;
        c.draw(leaf(0, open, frame == 1 ? 3 : 5), 0, 0);
        Canvas right = leaf(50, 50 - open, frame == 1 ? 3 : 5);
        c.draw(right, 0, 0);
        c.fill(rect(0, 53, 50, 56), solid(hex(0xffb860, frame == 1 ? 0.25f : 0.45f)));
    }
    return c;
}

Canvas crateStack() {
    Canvas c(44, 40);
    drawCrate(c, 1, 14, 18);
    drawCrate(c, 21, 17, 16);
    drawCrate(c, 11, 1, 14);
    return c;
}

Canvas ropeCoil() {
    Canvas c(30, 16);
    c.fill(ellipse(15, 10.5f, 14, 5), solid(hex(0x1e1a24, 0.35f)));
    for (float r : {12.5f, 9.5f, 6.5f, 3.5f}) {
        c.fill(stroke(arcPoints(15, 8.6f, r, r * 0.42f, 0, 360, 28), 2.3f), solid(hex(0x7a5e3e)));
        c.fill(stroke(arcPoints(15, 8.2f, r, r * 0.42f, 180, 360, 16), 1.2f), solid(hex(0xd4b07a)));
    }
    c.fill(stroke(curve({26, 9}, {29, 13}, {24, 14.5f}), 2.0f), solid(hex(0xb8925e)));
    return c;
}

Canvas fishSign() {
    Canvas c(44, 22);
    c.fill(stroke({{9, 0}, {9, 5}}, 0.8f), solid(hex(0x2e2832)));
    c.fill(stroke({{35, 0}, {35, 5}}, 0.8f), solid(hex(0x2e2832)));
    c.fill(rect(1, 4, 43, 21), solid(hex(0x4a2c1c)));
    c.fill(rect(2.5f, 5.5f, 41.5f, 19.5f), vertical(5, 20, {{0, hex(0x9a6a42)}, {1, hex(0x7a4e30)}}));
    c.fill(ellipse(19, 12.5f, 9.5f, 4.2f), solid(hex(0xeee2cc)));
    c.fill(Poly{{27.5f, 12.5f}, {35, 7.5f}, {33, 12.5f}, {35, 17.5f}}, solid(hex(0xeee2cc)));
    c.fill(ellipse(13.5f, 11.5f, 0.9f, 0.9f), solid(hex(0x3a2a2a)));
    c.fill(stroke(curve({17, 9.5f}, {18.5f, 12.5f}, {17, 15.5f}), 0.6f), solid(hex(0x9a8a7a)));
    return c;
}

Canvas fishingNet() {
    Canvas c(60, 46);
    Rgba wood = hex(0x5a3c2a);
    Poly drape = {{6, 6}, {54, 6}, {52, 30}, {45, 39}, {36, 34}, {27, 41}, {17, 36}, {9, 31}};
    Canvas net(60, 46);
    net.fill(drape, solid(hex(0x4a6a66, 0.45f)));
    for (float x = -40; x < 60; x += 4.5f) {
        net.fill(stroke({{x, 6}, {x + 40, 46}}, 0.55f), solid(hex(0x9ab8a8, 0.8f)));
        net.fill(stroke({{x + 40, 6}, {x, 46}}, 0.55f), solid(hex(0x9ab8a8, 0.8f)));
    }
    Canvas mask(60, 46);
    mask.fill(drape, solid(hex(0)));
    net.clipTo(mask);
    c.fill(rect(3, 4, 6.5f, 46), solid(wood));
    c.fill(rect(53.5f, 4, 57, 46), solid(wood));
    c.draw(net, 0, 0);
    c.fill(rect(1, 4, 59, 7.5f), solid(hex(0x6e4a32)));
    c.fill(rect(1, 4, 59, 5), solid(hex(0x9a7050)));
    for (float x = 10; x < 52; x += 8)
        c.fill(ellipse(x, 8.5f, 2, 1.4f), solid(hex(0xe08a3a)));
    return c;
}

Canvas sparkle(int frame) {
    Canvas c(40, 16);
    Rng rng(100 + frame);
    for (int i = 0; i < 4; i++) {
        float x = rng.uniform(5, 35), y = rng.uniform(4, 12), r = rng.uniform(1.8f, 3.8f);
        c.fill(ellipse(x, y, r * 1.3f, r * 1.3f), glowPaint({x, y}, r * 1.3f, hex(0xffe8b0, 0.5f)));
        c.fill(glint(x, y, r), solid(hex(0xfff6dc, 0.95f)));
    }
    return c;
}

Canvas sailboat() {
    Canvas c(24, 26);
    c.fill(Poly{{3, 21}, {21, 21}, {18.5f, 24}, {5.5f, 24}}, solid(hex(0x3a2c3c)));
    c.fill(stroke({{12, 2}, {12, 21}}, 0.8f), solid(hex(0x3a2c3c)));
    c.fill(Poly{{12.6f, 3}, {12.6f, 19.8f}, {21.5f, 19.8f}},
           linear({12, 0}, {22, 0}, {{0, hex(0xffe0c8)}, {1, hex(0xe8a890)}}));
    c.fill(Poly{{11.4f, 5.5f}, {11.4f, 19.8f}, {4.5f, 19.8f}}, solid(hex(0xc89298)));
    c.fill(ellipse(12, 24.5f, 10, 1.2f), solid(hex(0xffd0a0, 0.35f)));
    return c;
}

Sheet dockSheet(const Canvas& background, const Canvas& sky, const Canvas& hills, const Canvas& posts) {
    Sheet s{"Dock", SheetLayout::kObjectRects, true, 1024, {}};
    s.add("dock_left", background.crop(0, 0, kDockW / 2, kRoomH));
    s.add("dock_right", background.crop(kDockW / 2, 0, kDockW / 2, kRoomH));
    s.add("dock_sky", sky);
    s.add("dock_hills_west", hills.crop(0, 0, 300, kRoomH));
    s.add("dock_hills_east", hills.crop(300, 0, 300, kRoomH));
    s.add("dock_posts", posts);
    for (int i = 0; i < 4; i++)
        s.add(fmt("lamp_%d", i + 1), lamp(i));
    for (int i = 0; i < 3; i++)
        s.add(fmt("boat_%d", i + 1), boat(i));
    for (int i = 0; i < 4; i++)
        s.add(fmt("flag_%d", i + 1), flag(i));
    for (int i = 0; i < 3; i++)
        s.add(fmt("door_%d", i + 1), door(i));
    for (int i = 0; i < 3; i++)
        s.add(fmt("sparkle_%d", i + 1), sparkle(i));
    s.add("crates", crateStack());
    s.add("rope", ropeCoil());
    s.add("fish_sign", fishSign());
    s.add("net", fishingNet());
    s.add("sailboat", sailboat());
    return s;
}

// >>lighthouse

constexpr int kCliffW = 440;
constexpr float kCliffHorizon = 100;

Canvas cliffSky() {
    Canvas c(480, kRoomH);
    Rng rng(21);
    Paint sky = vertical(0, kCliffHorizon + 1,
                         {{0, hex(0x121232)},
                          {0.35f, hex(0x2a2756)},
                          {0.7f, hex(0x6a4272)},
                          {0.9f, hex(0xc66a6a)},
                          {1, hex(0xea9a6c)}});
    c.fill(rect(0, 0, 480, kCliffHorizon + 1), sky);
    drawStars(c, rng, 60, 62);
    c.fill(ellipse(396, 34, 7.5f, 7.5f, 48), solid(hex(0xf6eed6)));
    c.fill(ellipse(399.5f, 31.5f, 6.8f, 6.8f, 48), sky);
    c.fill(ellipse(396, 34, 22, 22), glowPaint({396, 34}, 22, hex(0xf6eed6, 0.12f)));
    c.fill(ellipse(150, kCliffHorizon, 140, 44),
           glowPaint({150, kCliffHorizon}, 140, hex(0xff9a60, 0.45f), 0.35f));
    drawCloud(c, 120, 70, 110, 3, rng);
    drawCloud(c, 260, 56, 80, 2.5f, rng);
    drawCloud(c, 330, 80, 120, 3.5f, rng);
    c.fill(rect(0, kCliffHorizon, 480, kRoomH),
           vertical(kCliffHorizon, kRoomH,
                    {{0, hex(0xc9848a)}, {0.15f, hex(0x7a5a86)}, {0.5f, hex(0x38406a)}, {1, hex(0x1c2440)}}));
    drawWaves(c, rng, 0, 480, kCliffHorizon, kRoomH, hex(0xe8b0a0, 0.35f), hex(0x10142a, 0.25f));
    drawSunPath(c, rng, 150, kCliffHorizon, 170);
    // The far shore with the harbour's lights.
    auto shore = [](float x) {
        return ridge(x, 96, 2, 0.05f, 0.3f, 1, 0.17f, 1.0f) + std::max(0.0f, 330 - x) * 0.12f;
    };
    c.fill(ridgePoly(300, 480, kCliffHorizon + 4, shore), solid(hex(0x3c2c4a)));
    for (float x = 392; x < 470; x += 7) {
        float y = shore(x) + 2.5f + (static_cast<int>(x) % 3);
        c.fill(ellipse(x, y, 2.4f, 2.4f), glowPaint({x, y}, 2.4f, hex(0xffc46a, 0.6f)));
    }
    return c;
}

// The plateau's far edge (where grass meets sky) and its cliff edge toward the sea.
float plateauFarEdge(float x) {
    return 168 - x * 0.055f + 2 * std::sin(x * 0.05f);
}
bool onPlateau(float x, float y) {
    return y > plateauFarEdge(x) + 1 && y < kRoomH && y < 188 + x * (52.0f / 90);
}

void drawTower(Canvas& c) {
    auto xl = [](float y) { return 300 + (170 - y) / 130 * 12; };
    auto xr = [](float y) { return 364 - (170 - y) / 130 * 12; };
    auto band = [&](float y0, float y1) {
        return Poly{{xl(y0), y0}, {xr(y0), y0}, {xr(y1), y1}, {xl(y1), y1}};
    };
    c.fill(ellipse(332, 34, 80, 80), glowPaint({332, 24}, 80, hex(0xffe6a0, 0.28f)));
    c.fill(band(40, 170),
           linear({300, 0}, {364, 0}, {{0, hex(0xfff4ec)}, {0.45f, hex(0xe6d8d4)}, {1, hex(0x8a7c90)}}));
    for (float y = 148; y > 40; y -= 44)
        c.fill(band(std::max(40.0f, y - 22), y),
               linear({300, 0}, {364, 0}, {{0, hex(0xd85a4c)}, {0.45f, hex(0xb8403a)}, {1, hex(0x6a2a34)}}));
    for (float y : {76.0f, 116.0f})
        c.fill(archRect(329, y, 335, y + 11, 3), solid(hex(0x2a2230)));
    c.fill(archRect(318, 128, 346, 170, 9), solid(hex(0x8a7a80)));
    c.fill(archRect(321, 132, 343, 170, 7), solid(hex(0x1c1420)));
    c.fill(rect(303, 34, 361, 41), solid(hex(0x2e2832)));
    c.fill(rect(303, 34, 361, 35.5f), solid(hex(0x6a5e70)));
    c.fill(rect(317, 14, 347, 34), vertical(14, 34, {{0, hex(0xfff4c8)}, {1, hex(0xffc870)}}));
    for (float x : {317.0f, 324.5f, 332.0f, 339.5f, 347.0f})
        c.fill(stroke({{x, 14}, {x, 34}}, 1.0f), solid(hex(0x2e2832)));
    c.fill(stroke({{305, 26}, {359, 26}}, 1.0f), solid(hex(0x2e2832)));
    for (float x = 305; x <= 359; x += 4.5f)
        c.fill(stroke({{x, 26}, {x, 34}}, 0.6f), solid(hex(0x2e2832)));
    std::vector<Pt> dome = arcPoints(332, 14.5f, 17, 9.5f, 180, 360, 24);
    c.fill(Poly(dome.begin(), dome.end()),
           linear({315, 0}, {349, 0}, {{0, hex(0x5a4a5c)}, {1, hex(0x221c28)}}));
    c.fill(stroke({{332, 5.5f}, {332, 1.5f}}, 1.2f), solid(hex(0x221c28)));
    c.fill(ellipse(332, 1.5f, 1.5f, 1.5f), solid(hex(0xe0b860)));
}

void drawHut(Canvas& c) {
    c.fill(rect(244, 124, 304, 170), linear({244, 0}, {304, 0}, {{0, hex(0xe8dcd8)}, {1, hex(0x9a8c9c)}}));
    c.fill(rect(286, 100, 294, 118), solid(hex(0x5a4a56)));
    c.fill(rect(285, 99, 295, 102), solid(hex(0x3a2e3a)));
    c.fill(Poly{{238, 128}, {272, 104}, {306, 128}, {306, 131}, {272, 107}, {238, 131}},
           solid(hex(0x2e2838)));
    c.fill(Poly{{241, 127}, {272, 105.5f}, {303, 127}},
           vertical(104, 128, {{0, hex(0x4a4058)}, {1, hex(0x3a3246)}}));
    c.fill(ellipse(261, 145, 22, 20), glowPaint({261, 145}, 22, hex(0xffb860, 0.25f)));
    c.fill(rect(253, 137, 269, 153), solid(hex(0x3a2e34)));
    c.fill(rect(254.5f, 138.5f, 267.5f, 151.5f),
           vertical(138, 152, {{0, hex(0xffe0a0)}, {1, hex(0xf0a058)}}));
    c.fill(stroke({{261, 138}, {261, 152}}, 1.0f), solid(hex(0x3a2e34)));
    c.fill(stroke({{254, 145}, {268, 145}}, 1.0f), solid(hex(0x3a2e34)));
}

Canvas cliffBackground() {
    Canvas c(kCliffW, kRoomH);
    Rng rng(31);
    // Rock face below the cliff edge, then the grass plateau over it.
    c.fill(Poly{{0, 186}, {30, 194}, {60, 212}, {92, 240}, {58, 240}, {40, 226}, {16, 210}, {0, 204}},
           vertical(186, 240, {{0, hex(0x6a5070)}, {1, hex(0x2e2436)}}));
    Poly plateau;
    for (float x = 0; x <= kCliffW + 0.01f; x += 5)
        plateau.push_back({x, plateauFarEdge(x)});
    plateau.push_back({static_cast<float>(kCliffW), kRoomH});
    plateau.push_back({90, kRoomH});
    plateau.push_back({60, 214});
    plateau.push_back({30, 196});
    plateau.push_back({0, 188});
    c.fill(plateau, vertical(140, kRoomH, {{0, hex(0x8a7a5e)}, {0.3f, hex(0x5e6048)}, {1, hex(0x2a3830)}}));
    for (int i = 0; i < 700; i++) {
        float x = rng.uniform(0, kCliffW), y = rng.uniform(146, kRoomH);
        if (!onPlateau(x, y)) continue;
        float depth = (y - 150) / 90, h = 1.5f + 4 * depth, lean = rng.uniform(-1.5f, 1.5f) * (0.5f + depth);
        Rgba col = rng.next() % 3 == 0 ? hex(0xa49a6a, 0.55f) : hex(0x26302a, 0.5f);
        c.fill(Poly{{x - 0.7f - depth * 0.5f, y}, {x + lean, y - h}, {x + 0.7f + depth * 0.5f, y}},
               solid(col));
    }
    // The path from the steps at the cliff edge up to the lighthouse door.
    std::vector<Pt> centre = curve({118, 244}, {150, 186}, {332, 171}, 30);
    Poly left, right;
    for (size_t i = 0; i < centre.size(); i++) {
        Pt a = centre[i > 0 ? i - 1 : i], b = centre[i + 1 < centre.size() ? i + 1 : i];
        float dx = b.x - a.x, dy = b.y - a.y, len = std::sqrt(dx * dx + dy * dy);
        float t = static_cast<float>(i) / (centre.size() - 1), half = 22 - 16 * t;
        left.push_back({centre[i].x - dy / len * half, centre[i].y + dx / len * half});
        right.push_back({centre[i].x + dy / len * half, centre[i].y - dx / len * half});
    }
    Poly path = left;
    path.insert(path.end(), right.rbegin(), right.rend());
    c.fill(path, vertical(168, kRoomH, {{0, hex(0x9c8470)}, {1, hex(0x6a5650)}}));
    for (int i = 0; i < 60; i++) {
        size_t k = rng.next() % centre.size();
        float t = static_cast<float>(k) / (centre.size() - 1), half = (22 - 16 * t) * 0.8f;
        float x = centre[k].x + rng.uniform(-half, half), y = centre[k].y + rng.uniform(-2, 2);
        float r = 0.5f + 1.2f * (1 - t);
        c.fill(ellipse(x, y, r * 1.4f, r), solid(rng.next() % 2 ? hex(0xc8b4a0, 0.7f) : hex(0x4a3c3a, 0.6f)));
    }
    // A dry-stone wall along the far edge.
    for (int row = 0; row < 2; row++)
        for (float x = 120 + row * 4; x < 240; x += 8) {
            float y = plateauFarEdge(x) + 6 - row * 4;
            c.fill(ellipse(x, y, 4.4f, 2.6f),
                   vertical(y - 2.6f, y + 2.6f, {{0, hex(0xa29098)}, {1, hex(0x5a4a58)}}));
        }
    drawHut(c);
    drawTower(c);
    return c;
}

Canvas cliffGrass() {
    Canvas c(520, kRoomH);
    Rng rng(41);
    std::vector<Poly> blades;
    for (int i = 0; i < 160; i++) {
        float x = i % 2 ? rng.uniform(0, 170) : rng.uniform(380, 520);
        float h = rng.uniform(10, 34), lean = rng.uniform(-8, 8);
        blades.push_back({{x - 1.8f, kRoomH + 1.0f},
                          {x + lean * 0.5f, kRoomH - h * 0.6f},
                          {x + lean, kRoomH - h},
                          {x + 1.8f, kRoomH + 1.0f}});
    }
    c.fill(blades, solid(hex(0x18221e)));
    for (int i = 0; i < 18; i++) {
        float x = i % 2 ? rng.uniform(10, 160) : rng.uniform(390, 510), y = rng.uniform(212, 230);
        c.fill(stroke({{x, y}, {x + rng.uniform(-2, 2), kRoomH}}, 0.8f), solid(hex(0x18221e)));
        c.fill(ellipse(x, y, 2.2f, 2.2f), solid(i % 3 ? hex(0xe8dcc8) : hex(0xe8c25a)));
        c.fill(ellipse(x, y, 0.8f, 0.8f), solid(hex(0xc88a3a)));
    }
    c.fill(rect(470, 190, 478, kRoomH), linear({470, 0}, {478, 0}, {{0, hex(0x4a3a36)}, {1, hex(0x1e1618)}}));
    c.fill(stroke(curve({478, 200}, {500, 208}, {520, 203}), 1.0f), solid(hex(0x2a2426)));
    return c;
}

// The lantern's beam sweeping round: six steps of a turn, the third pointing away.
Canvas beam(int frame) {
    Canvas c(240, 60);
    float phi = frame * kPi / 3, lateral = std::sin(phi), facing = std::cos(phi);
    Rgba light = hex(0xfff0c0);
    if (std::fabs(lateral) > 0.05f) {
        float end = 120 + 118 * lateral, spread = 5 + 9 * std::fabs(lateral);
        Poly cone = {{120, 28}, {120, 32}, {end, 30 + spread}, {end, 30 - spread}};
        c.fill(cone, linear({120, 30}, {end, 30}, {{0, withAlpha(light, 0.6f)}, {1, withAlpha(light, 0)}}));
    }
    float flare = std::max(0.0f, facing);
    float r = 6 + 18 * flare;
    c.fill(ellipse(120, 30, r, r), glowPaint({120, 30}, r, withAlpha(light, 0.35f + 0.55f * flare)));
    c.fill(ellipse(120, 30, 3.2f, 3.2f), solid(hex(0xfffbe8, 0.5f + 0.45f * (facing * 0.5f + 0.5f))));
    return c;
}

Canvas towerDoor() {
    Canvas c(22, 36);
    Poly shape = archRect(0, 0, 22, 36, 7);
    Canvas planks(22, 36);
    planks.fill(shape, vertical(0, 36, {{0, hex(0x3a6a6a)}, {1, hex(0x244444)}}));
    for (float x = 5.5f; x < 22; x += 5.5f)
        planks.fill(stroke({{x, 0}, {x, 36}}, 0.6f), solid(hex(0x163030, 0.8f)));
    for (float y : {12.0f, 28.0f})
        planks.fill(stroke({{0, y}, {15, y}}, 1.4f), solid(hex(0x1e1a20)));
    Canvas mask(22, 36);
    mask.fill(shape, solid(hex(0)));
    planks.clipTo(mask);
    c.draw(planks, 0, 0);
    c.fill(ellipse(17, 20, 1.3f, 1.3f), solid(hex(0xd8b060)));
    c.fill(archRect(7, 3, 15, 9, 3), solid(hex(0xffd890)));
    return c;
}

Canvas bench() {
    Canvas c(44, 22);
    Rgba wood = hex(0x8a6040), dark = hex(0x4a3020);
    c.fill(ellipse(22, 20.5f, 20, 1.6f), solid(hex(0x101418, 0.35f)));
    for (float x : {6.0f, 36.0f}) {
        c.fill(rect(x, 2, x + 2.4f, 21), solid(dark));
        c.fill(rect(x + 1, 13, x + 3.4f, 21), solid(dark));
    }
    c.fill(rect(2, 2, 42, 4.5f), solid(wood));
    c.fill(rect(2, 6, 42, 8.5f), solid(wood));
    c.fill(rect(1, 12, 43, 15), vertical(12, 15, {{0, hex(0xb08058)}, {1, hex(0x6e4a30)}}));
    c.fill(rect(2, 2, 42, 2.8f), solid(hex(0xc89a6a)));
    return c;
}

Canvas telescope() {
    Canvas c(22, 40);
    Rgba metal = hex(0x3a5a6a), metalDark = hex(0x1e3038);
    c.fill(ellipse(11, 38, 7, 1.8f), solid(metalDark));
    c.fill(rect(9.5f, 16, 12.5f, 38), linear({9.5f, 0}, {12.5f, 0}, {{0, hex(0x6a8a96)}, {1, metalDark}}));
    c.fill(rect(7.5f, 20, 14.5f, 27), solid(metalDark));
    c.fill(rect(10, 22, 12, 23), solid(hex(0xd8b060)));
    c.fill(capsule({5, 12.5f}, {16, 10.5f}, 4.3f),
           vertical(6, 16, {{0, hex(0x7a9aa6)}, {0.5f, metal}, {1, metalDark}}));
    c.fill(rect(16, 7.5f, 20, 10), solid(metalDark));
    c.fill(rect(16, 11.5f, 20, 14), solid(metalDark));
    c.fill(ellipse(1.6f, 13, 1.4f, 3.4f), solid(hex(0xbfe0f0)));
    return c;
}

Canvas flowers() {
    Canvas c(32, 14);
    Rng rng(51);
    for (int i = 0; i < 14; i++) {
        float x = rng.uniform(3, 29);
        c.fill(stroke({{x, 14}, {x + rng.uniform(-3, 3), rng.uniform(5, 11)}}, 1.0f), solid(hex(0x3e5a3c)));
    }
    for (int i = 0; i < 9; i++) {
        float x = rng.uniform(4, 28), y = rng.uniform(3, 9);
        bool white = i % 3 != 0;
        c.fill(ellipse(x, y, 1.9f, 1.9f), solid(white ? hex(0xf4eee0) : hex(0xf0d060)));
        c.fill(ellipse(x, y, 0.7f, 0.7f), solid(hex(0xc8862e)));
    }
    return c;
}

Canvas lifebuoy() {
    Canvas c(18, 20);
    c.fill(stroke({{9, 0.5f}, {9, 2.5f}}, 0.8f), solid(hex(0x2e2832)));
    c.fill(stroke(arcPoints(9, 11, 6, 6, 0, 360, 36), 4.2f), solid(hex(0xf2ece4)));
    for (float a = 20; a < 360; a += 90)
        c.fill(stroke(arcPoints(9, 11, 6, 6, a, a + 45, 8), 4.2f), solid(hex(0xd04a3c)));
    c.fill(stroke(arcPoints(9, 11, 8.2f, 8.2f, 0, 360, 40), 0.6f), solid(hex(0xd8c8a0, 0.9f)));
    return c;
}

Sheet lighthouseSheet(const Canvas& background, const Canvas& sky, const Canvas& grass) {
    Sheet s{"Lighthouse", SheetLayout::kStringRects, true, 1024, {}};
    s.add("cliff", background);
    s.add("cliff_sky", sky);
    s.add("cliff_grass", grass);
    for (int i = 0; i < 6; i++)
        s.add(fmt("beam_%d", i + 1), beam(i));
    s.add("tower_door", towerDoor());
    s.add("bench", bench());
    s.add("telescope", telescope());
    s.add("flowers", flowers());
    s.add("lifebuoy", lifebuoy());
    return s;
}

// >>rooms

enum class Kind { kPlain, kProp, kSpot, kTrigger };

struct Animation {
    std::string name;
    int fps = 0;
    bool loop = false;
    std::vector<std::string> frames;
};

// One object as the room document keeps it, already in the form the editor writes back: whole
// numbers, hotspot corners ordered, directions as words, only the keys its kind keeps.
struct RoomObject {
    std::string name;
    Kind kind = Kind::kPlain;
    int x = 0, y = 0;  // pos, room pixels, y up
    int zsort = 0;
    int hotspot[4] = {0, 0, 0, 0};  // relative to pos: min x, min y, max x, max y
    int useX = 0, useY = 0;
    const char* usedir = "DIR_FRONT";
    bool hasUsepos2 = false;
    int use2X = 0, use2Y = 0;
    const char* usedir2 = "DIR_FRONT";
    int layer = 0;
    std::string image;
    std::vector<Animation> animations;
};

struct Layer {
    std::vector<std::string> frames;  // one frame, or two joined left to right
    int zsort = 0;
    bool parallaxAsPoint = true;
    float parallaxX = 1, parallaxY = 1;
};

struct Room {
    std::string path;  // relative to the project folder
    std::string sheet;
    std::vector<std::string> background;
    bool backgroundAsArray = true;
    int width = 0, height = kRoomH;
    std::vector<Layer> layers;
    std::vector<RoomObject> objects;
    std::vector<std::pair<std::string, std::vector<Pt>>> walkboxes;
    std::vector<std::pair<std::string, std::string>> extras;  // keys the editor carries through
};

// The canvas centre of a frame drawn with its top-left corner at (left, top) of the room picture:
// the object position that shows it there.
void placeFrame(RoomObject& o, const Canvas& frame, int left, int top) {
    o.x = left + frame.width() / 2;
    o.y = kRoomH - top - frame.height() / 2;
}

KuString* key(const char* text) {
    return KuString::stringWithString(text);
}
KuString* key(const std::string& text) {
    return KuString::stringWithString(text.c_str());
}

KuArray<KuObject*>* stringArray(const std::vector<std::string>& texts) {
    KuArray<KuObject*>* a = KuArray<KuObject*>::array();
    for (const std::string& t : texts)
        a->addObject(key(t));
    return a;
}

KuDictionary* objectDictionary(const RoomObject& o) {
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyString(key("name"), key(o.name));
    d->addKeyPoint(key("pos"), KuPoint{static_cast<float>(o.x), static_cast<float>(o.y)});
    switch (o.kind) {
    case Kind::kSpot:
        d->addKeyString(key("usedir"), key(o.usedir));
        d->addKeyInt(key("spot"), 1);
        break;
    case Kind::kProp:
        d->addKeyInt(key("zsort"), o.zsort);
        d->addKeyInt(key("prop"), 1);
        break;
    case Kind::kPlain:
    case Kind::kTrigger:
        d->addKeyRect(key("hotspot"),
                      KuRect{{static_cast<float>(o.hotspot[0]), static_cast<float>(o.hotspot[1])},
                             {static_cast<float>(o.hotspot[2]), static_cast<float>(o.hotspot[3])}});
        d->addKeyPoint(key("usepos"), KuPoint{static_cast<float>(o.useX), static_cast<float>(o.useY)});
        d->addKeyString(key("usedir"), key(o.usedir));
        if (o.hasUsepos2) {
            d->addKeyPoint(key("usepos2"), KuPoint{static_cast<float>(o.use2X), static_cast<float>(o.use2Y)});
            d->addKeyString(key("usedir2"), key(o.usedir2));
        }
        d->addKeyInt(key("zsort"), o.zsort);
        if (o.kind == Kind::kTrigger) d->addKeyInt(key("trigger"), 1);
        break;
    }
    if (o.layer) d->addKeyInt(key("layer"), o.layer);
    if (!o.image.empty()) d->addKeyString(key("image"), key(o.image));
    if (!o.animations.empty()) {
        KuArray<KuObject*>* list = KuArray<KuObject*>::array();
        for (const Animation& a : o.animations) {
            KuDictionary* ad = KuDictionary::dictionary();
            ad->addKeyString(key("name"), key(a.name));
            ad->addKeyInt(key("fps"), a.fps);
            ad->addKeyInt(key("loop"), a.loop ? 1 : 0);
            ad->addKeyObject(key("frames"), stringArray(a.frames));
            list->addObject(ad);
        }
        d->addKeyObject(key("animations"), list);
    }
    return d;
}

std::string polygonText(const std::vector<Pt>& points) {
    std::string out;
    for (const Pt& p : points)
        out += (out.empty() ? "" : ";") + fmt("(%g,%g)", p.x, p.y);
    return out;
}

KuDictionary* roomDictionary(const Room& room) {
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyString(key("sheet"), key(room.sheet));
    if (room.backgroundAsArray)
        d->addKeyObject(key("background"), stringArray(room.background));
    else
        d->addKeyString(key("background"), key(room.background.front()));
    d->addKeyInt(key("room_scale"), 3);
    d->addKeyRect(key("room_bounds"),
                  KuRect{{0, 0}, {static_cast<float>(room.width), static_cast<float>(room.height)}});
    d->addKeyPoint(key("room_size"),
                   KuPoint{static_cast<float>(room.width), static_cast<float>(room.height)});
    for (const auto& extra : room.extras)
        d->addKeyString(key(extra.first), key(extra.second));
    KuArray<KuObject*>* layers = KuArray<KuObject*>::array();
    for (const Layer& l : room.layers) {
        KuDictionary* ld = KuDictionary::dictionary();
        if (l.frames.size() == 1)
            ld->addKeyString(key("name"), key(l.frames.front()));
        else
            ld->addKeyObject(key("name"), stringArray(l.frames));
        ld->addKeyInt(key("zsort"), l.zsort);
        if (l.parallaxAsPoint)
            ld->addKeyPoint(key("parallax"), KuPoint{l.parallaxX, l.parallaxY});
        else
            ld->addKeyFloat(key("parallax"), l.parallaxX);
        layers->addObject(ld);
    }
    d->addKeyObject(key("layers"), layers);
    KuArray<KuObject*>* objects = KuArray<KuObject*>::array();
    for (const RoomObject& o : room.objects)
        objects->addObject(objectDictionary(o));
    d->addKeyObject(key("objects"), objects);
    KuArray<KuObject*>* walkboxes = KuArray<KuObject*>::array();
    for (const auto& w : room.walkboxes) {
        KuDictionary* wd = KuDictionary::dictionary();
        wd->addKeyString(key("name"), key(w.first));
        wd->addKeyString(key("polygon"), key(polygonText(w.second)));
        walkboxes->addObject(wd);
    }
    d->addKeyObject(key("walkboxes"), walkboxes);
    return d;
}

bool writeRoom(const Room& room, const std::string& root) {
    KuMutableString* text = KuJson::stringFromDict(roomDictionary(room));
    if (!text) return false;
    return writeBytes(root + "/" + room.path, text->c_str(), static_cast<size_t>(text->length));
}

Animation anim(const char* name, int fps, bool loop, std::vector<std::string> frames) {
    return {name, fps, loop, std::move(frames)};
}

std::vector<std::string> numbered(const char* prefix, int count) {
    std::vector<std::string> out;
    for (int i = 1; i <= count; i++)
        out.push_back(fmt("%s_%d", prefix, i));
    return out;
}

RoomObject plain(const char* name, int zsort, std::initializer_list<int> hotspot, int useX, int useY,
                 const char* usedir) {
    RoomObject o;
    o.name = name;
    o.kind = Kind::kPlain;
    o.zsort = zsort;
    std::copy(hotspot.begin(), hotspot.end(), o.hotspot);
    o.useX = useX;
    o.useY = useY;
    o.usedir = usedir;
    return o;
}

RoomObject prop(const char* name, int zsort) {
    RoomObject o;
    o.name = name;
    o.kind = Kind::kProp;
    o.zsort = zsort;
    return o;
}

RoomObject spot(const char* name, int x, int y, const char* usedir) {
    RoomObject o;
    o.name = name;
    o.kind = Kind::kSpot;
    o.x = x;
    o.y = y;
    o.usedir = usedir;
    return o;
}

RoomObject trigger(const char* name, int x, int y, std::initializer_list<int> hotspot, int useX, int useY,
                   const char* usedir) {
    RoomObject o = plain(name, y, hotspot, useX, useY, usedir);
    o.kind = Kind::kTrigger;
    o.x = x;
    o.y = y;
    return o;
}

struct Sheets {
    std::map<std::string, const Sheet*> byName;
    std::string roomSheet;
    mutable bool missing = false;  // a reference named no frame; the project must not be written
    // A frame reference as rooms write it: "frame" in the room's sheet, or "sheet:frame". A missing
    // frame gives an empty canvas and sets missing.
    const Canvas& frame(const std::string& ref) const {
        static const Canvas kNone(2, 2);
        size_t colon = ref.find(':');
        std::string sheet = colon == std::string::npos ? roomSheet : ref.substr(0, colon);
        std::string name = colon == std::string::npos ? ref : ref.substr(colon + 1);
        auto it = byName.find(sheet);
        const Canvas* c = it == byName.end() ? nullptr : it->second->find(name);
        if (!c) {
            fprintf(stderr, "missing frame %s\n", ref.c_str());
            missing = true;
            return kNone;
        }
        return *c;
    }
};

Room dockRoom(const Sheets& sheets) {
    Room r;
    r.path = "Tansy/Harbour/Dock.tansy";
    r.sheet = "Dock";
    r.background = {"dock_left", "dock_right"};
    r.width = kDockW;
    r.extras = {{"music", "harbour_evening"}, {"ambience", "waves_and_gulls"}};
    r.layers = {{{"dock_sky"}, 4, true, 0.1f, 1},
                {{"dock_hills_west", "dock_hills_east"}, 2, false, 0.4f, 1},
                {{"dock_posts"}, -1, true, 1.25f, 1}};
    auto& o = r.objects;
    auto at = [&](RoomObject obj, const std::string& frameRef, int left, int top) {
        placeFrame(obj, sheets.frame(frameRef), left, top);
        return obj;
    };

    RoomObject lampPost = plain("lamp", 40, {-10, -48, 10, 40}, 16, -44, "DIR_LEFT");
    lampPost.animations = {
        anim("flicker", 8, true, {"lamp_1", "lamp_2", "lamp_3", "lamp_4", "lamp_2", "lamp_3"})};
    o.push_back(at(lampPost, "lamp_1", 280, 104));

    RoomObject rowingBoat = plain("boat", 92, {-34, -12, 34, 12}, 0, -41, "DIR_BACK");
    rowingBoat.hasUsepos2 = true;
    rowingBoat.use2X = -30;
    rowingBoat.use2Y = -41;
    rowingBoat.usedir2 = "DIR_RIGHT";
    rowingBoat.animations = {anim("bob", 3, true, {"boat_1", "boat_2", "boat_3", "boat_2"})};
    o.push_back(at(rowingBoat, "boat_1", 300, 118));

    RoomObject door = plain("warehouse_door", 64, {-25, -28, 25, 28}, 0, -36, "DIR_BACK");
    door.animations = {anim("closed", 6, false, {"door_1"}), anim("open", 6, false, numbered("door", 3)),
                       anim("close", 6, false, {"door_3", "door_2", "door_1"})};
    o.push_back(at(door, "door_1", 650, 118));

    RoomObject pennant = prop("flag", 215);
    pennant.animations = {anim("wave", 6, true, numbered("flag", 4))};
    o.push_back(at(pennant, "flag_1", 692, 1));

    RoomObject stack = prop("crates", 62);
    stack.image = "crates";
    o.push_back(at(stack, "crates", 596, 138));

    RoomObject cask = prop("barrel", 60);
    cask.image = "Common:barrel";
    o.push_back(at(cask, "Common:barrel", 574, 152));

    RoomObject box = plain("crate", 48, {-13, -13, 13, 13}, -22, -12, "DIR_RIGHT");
    box.image = "Common:crate";
    o.push_back(at(box, "Common:crate", 720, 166));

    RoomObject coil = plain("rope", 30, {-15, -8, 15, 8}, 0, -14, "DIR_BACK");
    coil.image = "rope";
    o.push_back(at(coil, "rope", 410, 194));

    RoomObject sign = plain("fish_sign", 66, {-22, -11, 22, 11}, 0, -71, "DIR_BACK");
    sign.image = "fish_sign";
    o.push_back(at(sign, "fish_sign", 603, 100));

    RoomObject net = plain("net", 66, {-28, -21, 28, 23}, 0, -37, "DIR_BACK");
    net.image = "net";
    o.push_back(at(net, "net", 165, 128));

    RoomObject flying = prop("gull_flying", 200);
    flying.animations = {
        anim("fly", 10, true,
             {"Common:gull_fly_1", "Common:gull_fly_2", "Common:gull_fly_3", "Common:gull_fly_4"})};
    o.push_back(at(flying, "Common:gull_fly_1", 240, 40));

    RoomObject perched = prop("gull_pier", 120);
    perched.animations = {
        anim("preen", 2, true,
             {"Common:gull_sit_1", "Common:gull_sit_1", "Common:gull_sit_1", "Common:gull_sit_2"})};
    o.push_back(at(perched, "Common:gull_sit_1", 497, 98));

    RoomObject glints = prop("sparkles", 140);
    glints.animations = {anim("glint", 4, true, numbered("sparkle", 3))};
    o.push_back(at(glints, "sparkle_1", 380, 98));

    RoomObject sail = prop("sailboat", 146);
    sail.layer = 2;
    sail.image = "sailboat";
    o.push_back(at(sail, "sailboat", 150, 68));

    o.push_back(spot("pier_end", 522, 112, "DIR_BACK"));
    o.push_back(spot("quay_centre", 400, 24, "DIR_FRONT"));
    o.push_back(spot("steps_top", 46, 188, "DIR_LEFT"));
    o.push_back(trigger("exit_steps", 40, 196, {-22, -12, 22, 20}, 4, -8, "DIR_LEFT"));
    o.push_back(trigger("exit_east", 790, 34, {-10, -30, 10, 30}, -8, 0, "DIR_RIGHT"));

    r.walkboxes = {
        {"quay_west", {{10, 4}, {400, 4}, {400, 62}, {144, 62}, {118, 62}, {10, 62}}},
        {"quay_east", {{400, 4}, {790, 4}, {790, 62}, {566, 62}, {474, 62}, {400, 62}}},
        {"pier", {{474, 62}, {566, 62}, {536, 116}, {508, 116}}},
        {"steps", {{118, 62}, {144, 62}, {58, 190}, {36, 190}}},
    };
    return r;
}

Room lighthouseRoom(const Sheets& sheets) {
    Room r;
    r.path = "Tansy/Lighthouse.tansy";
    r.sheet = "Lighthouse";
    r.background = {"cliff"};
    r.backgroundAsArray = false;
    r.width = kCliffW;
    r.extras = {{"music", "cliff_wind"}};
    r.layers = {{{"cliff_sky"}, 3, true, 0.3f, 1}, {{"cliff_grass"}, -2, false, 1.2f, 1}};
    auto& o = r.objects;
    auto at = [&](RoomObject obj, const std::string& frameRef, int left, int top) {
        placeFrame(obj, sheets.frame(frameRef), left, top);
        return obj;
    };

    RoomObject sweep = prop("lamp_beam", 170);
    sweep.animations = {anim("sweep", 6, true, numbered("beam", 6))};
    o.push_back(at(sweep, "beam_1", 212, -6));

    RoomObject door = plain("lighthouse_door", 70, {-11, -18, 11, 18}, 0, -22, "DIR_BACK");
    door.image = "tower_door";
    o.push_back(at(door, "tower_door", 321, 132));

    RoomObject seat = plain("bench", 48, {-22, -11, 22, 11}, 0, -6, "DIR_FRONT");
    seat.image = "bench";
    o.push_back(at(seat, "bench", 168, 170));

    RoomObject scope = plain("telescope", 48, {-11, -20, 11, 20}, 16, -18, "DIR_LEFT");
    scope.image = "telescope";
    o.push_back(at(scope, "telescope", 64, 152));

    RoomObject ring = plain("lifebuoy", 70, {-9, -10, 9, 10}, 0, -30, "DIR_BACK");
    ring.image = "lifebuoy";
    o.push_back(at(ring, "lifebuoy", 278, 132));

    RoomObject bloom = prop("flowers", 26);
    bloom.image = "flowers";
    o.push_back(at(bloom, "flowers", 384, 200));

    RoomObject roofGull = prop("gull_roof", 134);
    roofGull.animations = {
        anim("look", 2, true, {"Common:gull_sit_2", "Common:gull_sit_1", "Common:gull_sit_1"})};
    o.push_back(at(roofGull, "Common:gull_sit_1", 263, 89));

    RoomObject skyGull = prop("gull_sky", 200);
    skyGull.animations = {
        anim("fly", 9, true,
             {"Common:gull_fly_3", "Common:gull_fly_4", "Common:gull_fly_1", "Common:gull_fly_2"})};
    o.push_back(at(skyGull, "Common:gull_fly_1", 120, 50));

    o.push_back(spot("bench_spot", 190, 44, "DIR_FRONT"));
    o.push_back(spot("cliff_view", 96, 58, "DIR_LEFT"));
    o.push_back(trigger("path_down", 120, 12, {-24, -10, 24, 10}, 0, 4, "DIR_FRONT"));

    r.walkboxes = {
        {"path", {{92, 2}, {146, 2}, {168, 36}, {122, 36}}},
        {"plateau",
         {{122, 36}, {168, 36}, {250, 20}, {430, 20}, {430, 64}, {346, 68}, {320, 69}, {250, 72}, {110, 60}}},
        {"doorstep", {{320, 69}, {346, 68}, {344, 74}, {322, 74}}},
    };
    return r;
}

// >>preview

// The room as the editor first shows it with the camera at cameraX: back layers far to near, the
// background, objects by depth (each on the last frame of its first animation), front layers.
Canvas previewRoom(const Room& room, const Sheets& sheets, const std::map<std::string, Canvas>& layerCanvas,
                   float cameraX) {
    const int screenW = 426;
    Canvas out(screenW, kRoomH);
    out.fill(rect(0, 0, screenW, kRoomH), solid(hex(0x404040)));
    auto drawLayer = [&](const Canvas& c, float parallax) {
        float dx = screenW / 2.0f - c.width() / 2.0f - (cameraX - room.width / 2.0f) * parallax;
        out.draw(c, static_cast<int>(std::lround(dx)), 0);
    };
    for (int z = 5; z >= 1; z--)
        for (const Layer& l : room.layers)
            if (l.zsort == z) drawLayer(layerCanvas.at(l.frames.front()), l.parallaxX);
    drawLayer(layerCanvas.at("background"), 1);
    std::vector<const RoomObject*> order;
    for (const RoomObject& o : room.objects)
        if (!o.image.empty() || !o.animations.empty()) order.push_back(&o);
    std::stable_sort(order.begin(), order.end(),
                     [](const RoomObject* a, const RoomObject* b) { return a->zsort > b->zsort; });
    for (const RoomObject* o : order) {
        const Canvas& f = sheets.frame(o->image.empty() ? o->animations.front().frames.back() : o->image);
        int left = static_cast<int>(std::lround(screenW / 2.0f + o->x - cameraX - f.width() / 2.0f));
        out.draw(f, left, kRoomH - o->y - f.height() / 2);
    }
    for (int z = -1; z >= -5; z--)
        for (const Layer& l : room.layers)
            if (l.zsort == z) drawLayer(layerCanvas.at(l.frames.front()), l.parallaxX);
    return out;
}

// Twice the size, nearest sampling, as the editor's room scale shows pixel art.
bool writePreview(const Canvas& c, const std::string& path) {
    std::vector<unsigned char> small = c.rgba8(), big(small.size() * 4);
    int w = c.width(), h = c.height();
    for (int y = 0; y < h * 2; y++)
        for (int x = 0; x < w * 2; x++)
            memcpy(&big[(static_cast<size_t>(y) * w * 2 + x) * 4],
                   &small[(static_cast<size_t>(y / 2) * w + x / 2) * 4], 4);
    return writePng(path, big, w * 2, h * 2);
}

}  // namespace

// >>main

int main(int argc, char** argv) {
    std::string root, preview;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--preview") && i + 1 < argc)
            preview = argv[++i];
        else if (root.empty())
            root = argv[i];
    }
    if (root.empty()) {
        fprintf(stderr, "usage: tansy_drawart <project folder> [--preview <png>]\n");
        return 2;
    }
    KuAutoreleasePool::currentPool();
    stbi_write_png_compression_level = 9;

    Canvas dockBg = dockBackground(), dockSkyCanvas = dockSky(), hills = dockHills(), posts = dockPosts();
    Canvas cliff = cliffBackground(), cliffSkyCanvas = cliffSky(), grass = cliffGrass();
    Sheet common = commonSheet();
    Sheet dock = dockSheet(dockBg, dockSkyCanvas, hills, posts);
    Sheet lighthouse = lighthouseSheet(cliff, cliffSkyCanvas, grass);

    bool ok = writeSheet(common, root + "/_SpriteSheets") && writeSheet(dock, root + "/SpriteSheets") &&
              writeSheet(lighthouse, root + "/SpriteSheets");

    Sheets dockSheets{{{"Common", &common}, {"Dock", &dock}}, "Dock"};
    Sheets cliffSheets{{{"Common", &common}, {"Lighthouse", &lighthouse}}, "Lighthouse"};
    Room dockDoc = dockRoom(dockSheets), cliffDoc = lighthouseRoom(cliffSheets);
    ok = ok && !dockSheets.missing && !cliffSheets.missing && writeRoom(dockDoc, root) &&
         writeRoom(cliffDoc, root);

    if (ok && !preview.empty()) {
        std::map<std::string, Canvas> dockLayers = {{"background", dockBg},
                                                    {"dock_sky", dockSkyCanvas},
                                                    {"dock_hills_west", hills},
                                                    {"dock_posts", posts}};
        std::map<std::string, Canvas> cliffLayers = {
            {"background", cliff}, {"cliff_sky", cliffSkyCanvas}, {"cliff_grass", grass}};
        const float cameras[] = {213, 400, 587};
        for (int i = 0; i < 3; i++)
            ok = ok && writePreview(previewRoom(dockDoc, dockSheets, dockLayers, cameras[i]),
                                    fmt("%s-dock%d.png", preview.c_str(), i));
        ok = ok &&
             writePreview(previewRoom(cliffDoc, cliffSheets, cliffLayers, 220), preview + "-lighthouse.png");
    }
    KuAutoreleasePool::drainCurrentPool();
    if (!ok) {
        fprintf(stderr, "tansy_drawart: could not write the project into %s\n", root.c_str());
        return 1;
    }
    return 0;
}
