// Plain value types shared by every layer: points, rectangles (two corners), colours.
#pragma once

struct KuPoint {
    float x = 0, y = 0;
};

// Two corners, not origin and size: first is the minimum, second the maximum where the engine
// computes rectangles.
struct KuRect {
    KuPoint first, second;
};

// Components nominally 0 to 1.
struct KuColor {
    float red = 0, green = 0, blue = 0, alpha = 0;
};

inline bool operator==(KuPoint a, KuPoint b) {
    return a.x == b.x && a.y == b.y;
}
inline bool operator!=(KuPoint a, KuPoint b) {
    return !(a == b);
}
inline bool operator==(const KuRect& a, const KuRect& b) {
    return a.first == b.first && a.second == b.second;
}
inline bool operator==(const KuColor& a, const KuColor& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha;
}
