// tansy_drawart: draws the sample project's art, packs it into sprite sheets with their control
// files, and writes the room documents in the engine's JSON layout.
//
// Usage: tansy_drawart <project folder> [--preview <png>]
// Writes SpriteSheets/, _SpriteSheets/, Tansy/ and Tansy/Harbour/ under the project folder. The
// output depends on nothing but this file, so a re-run reproduces the committed files byte for
// byte. --preview also writes a picture of each room as the editor shows it (not part of the
// project).
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
Paint vertical(float y0, float y1, Stops stops) { return linear({0, y0}, {0, y1}, std::move(stops)); }
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
                for (int i = 0; i < 4; i++) d[i] = s[i] * opacity + d[i] * k;
            }
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

Poly rect(float x0, float y0, float x1, float y1) { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}; }

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
    for (size_t i = 0; i + 1 < line.size(); i++) out.push_back(capsule(line[i], line[i + 1], width * 0.5f));
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
        out.push_back({u * u * a.x + 2 * u * t * c.x + t * t * b.x, u * u * a.y + 2 * u * t * c.y + t * t * b.y});
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

void writeBytes(const std::string& path, const void* data, size_t n) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(n));
}

void writeText(const std::string& path, const std::string& text) { writeBytes(path, text.data(), text.size()); }

void pngToVector(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    auto* bytes = static_cast<unsigned char*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

bool writePng(const std::string& path, const std::vector<unsigned char>& rgba, int w, int h) {
    std::vector<unsigned char> png;
    if (!stbi_write_png_to_func(pngToVector, &png, w, h, 4, rgba.data(), w * 4)) return false;
    writeBytes(path, png.data(), png.size());
    return true;
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
std::string num(float v) { return fmt("%g", v); }

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
                out += fmt("            \"sourceColorRect\": \"{{%d,%d},{%d,%d}}\",\n", p.trimX, p.trimY, p.w, p.h);
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
                out += fmt("            \"frame\": {\"x\": %d, \"y\": %d, \"w\": %d, \"h\": %d},\n", p.x, p.y, p.w, p.h);
                out += "            \"rotated\": false,\n";
                out += fmt("            \"trimmed\": %s,\n", trimmed ? "true" : "false");
                out += fmt("            \"spriteSourceSize\": {\"x\": %d, \"y\": %d, \"w\": %d, \"h\": %d},\n", p.trimX,
                           p.trimY, p.w, p.h);
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
            trimBox(it.pixels, it.place.sourceW, it.place.sourceH, &it.place.trimX, &it.place.trimY, &it.place.w,
                    &it.place.h);
        } else {
            it.place.w = it.place.sourceW;
            it.place.h = it.place.sourceH;
        }
        items.push_back(std::move(it));
    }
    std::vector<size_t> order(items.size());
    for (size_t i = 0; i < order.size(); i++) order[i] = i;
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
            const unsigned char* src = &it.pixels[(static_cast<size_t>(p.trimY + row) * p.sourceW + p.trimX) * 4];
            unsigned char* dst = &atlas[(static_cast<size_t>(p.y + row) * sheet.atlasWidth + p.x) * 4];
            memcpy(dst, src, static_cast<size_t>(p.w) * 4);
        }
    }
    std::vector<Placed> placed;
    for (const Item& it : items) placed.push_back(it.place);
    std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.name < b.name; });
    if (!writePng(folder + "/" + sheet.name + ".png", atlas, sheet.atlasWidth, atlasH)) return false;
    writeText(folder + "/" + sheet.name + ".json", controlFile(sheet, placed, sheet.atlasWidth, atlasH));
    return true;
}

}  // namespace
