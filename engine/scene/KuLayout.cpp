#include "KuLayout.h"

#include <cmath>

#include "KuPackfileManager.h"

namespace {
KuPoint windowSize{320, 240};
KuPoint screenSize{320, 240};
float deviceScale = 1;
KuRect windowMargins{};
KuRect screenFrame{{0, 0}, {320, 240}};

// The design screen fitted into the window less its margins. An odd slack puts the extra point on
// the side of the maximum corner. Products are compared instead of ratios so that exact sizes give
// exact frames.
void recomputeScreenFrame() {
    double left = windowMargins.first.x, top = windowMargins.first.y;
    double w = windowSize.x - left - windowMargins.second.x;
    double h = windowSize.y - top - windowMargins.second.y;
    double sx = screenSize.x, sy = screenSize.y;
    if (!(w > 0) || !(h > 0) || !(sx > 0) || !(sy > 0)) return;
    KuRect frame;
    if (w * sy > h * sx) {
        double slack = (w * sy - h * sx) / (2 * sy);
        frame.first = {static_cast<float>(left + std::ceil(slack)), static_cast<float>(top)};
        frame.second = {static_cast<float>(left + w - std::floor(slack)), static_cast<float>(top + h)};
    } else {
        double slack = (h * sx - w * sy) / (2 * sx);
        frame.first = {static_cast<float>(left), static_cast<float>(top + std::ceil(slack))};
        frame.second = {static_cast<float>(left + w), static_cast<float>(top + h - std::floor(slack))};
    }
    screenFrame = frame;
}

float unitFactor(KuLayoutUnits units) {
    return units == kKuLayoutPixels ? deviceScale : 1;
}
KuPoint scaled(KuPoint p, float f) {
    return {p.x * f, p.y * f};
}
KuRect scaled(KuRect r, float f) {
    return {scaled(r.first, f), scaled(r.second, f)};
}
}  // namespace

void KuSetLayout(KuPoint newWindowSize, KuRect margins, KuPoint newScreenSize) {
    windowSize = newWindowSize;
    windowMargins = margins;
    screenSize = newScreenSize;
    recomputeScreenFrame();
}

void KuSetWindowSize(KuPoint newWindowSize) {
    windowSize = newWindowSize;
    recomputeScreenFrame();
}

void KuSetWindowMargins(KuRect margins) {
    windowMargins = margins;
    recomputeScreenFrame();
}

KuPoint KuWindowSize(KuLayoutUnits units) {
    return scaled(windowSize, unitFactor(units));
}
KuPoint KuScreenSize(KuLayoutUnits units) {
    return scaled(screenSize, unitFactor(units));
}
KuRect KuWindowMargins(KuLayoutUnits units) {
    return scaled(windowMargins, unitFactor(units));
}
KuRect KuScreenFrame(KuLayoutUnits units) {
    return scaled(screenFrame, unitFactor(units));
}

float KuDeviceScale() {
    return deviceScale;
}

void KuSetDeviceScale(float scale) {
    deviceScale = scale;
    KuPackfileManager::setDeviceScale(scale);  // scaled resource variants follow the display
}

// The frame always has extent (it is only replaced by one that has); a design screen without
// extent has no mapping, so the point is returned as it is.
KuPoint KuWindowToScreen(KuPoint p, bool flip) {
    KuPoint a = screenFrame.first, b = screenFrame.second;
    if (!(screenSize.x > 0) || !(screenSize.y > 0)) return p;
    float y = screenSize.y * (p.y - a.y) / std::fabs(b.y - a.y);
    return {(p.x - a.x) * screenSize.x / std::fabs(b.x - a.x), flip ? screenSize.y - y : y};
}

KuPoint KuScreenToWindow(KuPoint p, bool flip) {
    KuPoint a = screenFrame.first, b = screenFrame.second;
    if (!(screenSize.x > 0) || !(screenSize.y > 0)) return p;
    float y = flip ? screenSize.y - p.y : p.y;
    return {std::fabs(b.x - a.x) * p.x / screenSize.x + a.x, a.y + std::fabs(b.y - a.y) * y / screenSize.y};
}
