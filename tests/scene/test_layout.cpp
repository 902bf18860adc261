// Fitting the design screen into the window, the layout units and the conversions between window
// and screen points.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "KuLayout.h"
#include "KuPackfileManager.h"
#include "core/ChildProcess.h"

namespace {

std::string describe(KuRect r) {
    char text[128];
    snprintf(text, sizeof text, "(%g,%g)-(%g,%g)", r.first.x, r.first.y, r.second.x, r.second.y);
    return text;
}

std::string describe(KuPoint p) {
    char text[64];
    snprintf(text, sizeof text, "(%g,%g)", p.x, p.y);
    return text;
}

KuRect margins(float left, float top, float right, float bottom) {
    return {{left, top}, {right, bottom}};
}

class LayoutTest : public ::testing::Test {
protected:
    void TearDown() override {
        KuSetDeviceScale(1);
        KuSetLayout({320, 240}, {}, {320, 240});
    }
};

TEST_F(LayoutTest, StartsWithTheSmallDesignScreen) {
    ChildOutcome child = runInChild([] {
        printf("%s %s %s %s %g", describe(KuWindowSize(kKuLayoutPoints)).c_str(),
               describe(KuScreenSize(kKuLayoutPixels)).c_str(),
               describe(KuWindowMargins(kKuLayoutPoints)).c_str(),
               describe(KuScreenFrame(kKuLayoutPoints)).c_str(), KuDeviceScale());
    });
    EXPECT_EQ(child.output, "(320,240) (320,240) (0,0)-(0,0) (0,0)-(320,240) 1");
}

TEST_F(LayoutTest, ScreenFrameFitsTheDesignIntoTheWindowLessMargins) {
    struct Row {
        KuPoint window;
        KuRect margins;
        KuPoint screen;
        const char* frame;
    } rows[] = {
        {{1280, 720}, {}, {320, 240}, "(160,0)-(1120,720)"},
        {{800, 800}, {}, {400, 200}, "(0,200)-(800,600)"},
        {{680, 510}, margins(20, 10, 20, 20), {320, 240}, "(20,10)-(660,490)"},  // exact aspect
        {{800, 1000}, margins(0, 100, 0, 0), {400, 200}, "(0,350)-(800,750)"},
        {{1283, 720}, {}, {320, 240}, "(162,0)-(1122,720)"},  // odd slack
        {{800, 603}, {}, {400, 200}, "(0,102)-(800,502)"},    // odd slack, vertical
        {{1000, 600}, margins(100, 0, 0, 0), {320, 240}, "(150,0)-(950,600)"},
    };
    for (const Row& row : rows) {
        KuSetLayout(row.window, row.margins, row.screen);
        EXPECT_EQ(describe(KuScreenFrame(kKuLayoutPoints)), row.frame)
            << describe(row.window) << " margins " << describe(row.margins) << " screen "
            << describe(row.screen);
    }
    // The single setters recompute the frame too.
    KuSetLayout({1280, 720}, {}, {320, 240});
    KuSetWindowSize({800, 600});
    EXPECT_EQ(describe(KuScreenFrame(kKuLayoutPoints)), "(0,0)-(800,600)");
    KuSetWindowMargins(margins(0, 0, 0, 150));
    EXPECT_EQ(describe(KuScreenFrame(kKuLayoutPoints)), "(100,0)-(700,450)");
}

TEST_F(LayoutTest, AreaWithoutExtentKeepsThePreviousFrame) {
    KuSetLayout({1280, 720}, {}, {320, 240});
    const std::string kept = "(160,0)-(1120,720)";
    KuSetWindowSize({1280, 0});
    EXPECT_EQ(describe(KuScreenFrame(kKuLayoutPoints)), kept);
    KuSetLayout({1280, 720}, margins(0, 400, 0, 400), {320, 240});
    EXPECT_EQ(describe(KuScreenFrame(kKuLayoutPoints)), kept);
    KuSetLayout({1280, 720}, {}, {320, 0});
    EXPECT_EQ(describe(KuScreenFrame(kKuLayoutPoints)), kept);
    EXPECT_EQ(describe(KuWindowToScreen({5, 6}, true)), "(5,6)");  // no design height: no mapping
}

TEST_F(LayoutTest, WindowAndScreenPointsConvertBothWays) {
    KuSetLayout({1280, 720}, {}, {320, 240});
    struct Row {
        KuPoint window;
        bool flip;
        const char* screen;
    } rows[] = {
        {{640, 0}, true, "(160,240)"},    {{640, 0}, false, "(160,0)"},   {{160, 720}, true, "(0,0)"},
        {{1120, 360}, true, "(320,120)"}, {{400, 180}, false, "(80,60)"}, {{0, 0}, false, "(-53.3333,0)"},
    };
    for (const Row& row : rows) {
        KuPoint screen = KuWindowToScreen(row.window, row.flip);
        EXPECT_EQ(describe(screen), row.screen) << describe(row.window) << " flip " << row.flip;
        KuPoint back = KuScreenToWindow(screen, row.flip);
        EXPECT_NEAR(back.x, row.window.x, 1e-3) << describe(row.window);
        EXPECT_NEAR(back.y, row.window.y, 1e-3) << describe(row.window);
    }
}

TEST_F(LayoutTest, PixelUnitsMultiplyByTheDeviceScale) {
    KuSetLayout({1280, 720}, margins(10, 0, 0, 0), {320, 240});
    KuSetDeviceScale(2);
    struct Row {
        KuLayoutUnits units;
        const char* screen;
        const char* window;
        const char* margins;
        const char* frame;
    } rows[] = {
        {kKuLayoutPixels, "(640,480)", "(2560,1440)", "(20,0)-(0,0)", "(330,0)-(2250,1440)"},
        {kKuLayoutPoints, "(320,240)", "(1280,720)", "(10,0)-(0,0)", "(165,0)-(1125,720)"},
        {7, "(320,240)", "(1280,720)", "(10,0)-(0,0)", "(165,0)-(1125,720)"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(describe(KuScreenSize(row.units)), row.screen) << row.units;
        EXPECT_EQ(describe(KuWindowSize(row.units)), row.window) << row.units;
        EXPECT_EQ(describe(KuWindowMargins(row.units)), row.margins) << row.units;
        EXPECT_EQ(describe(KuScreenFrame(row.units)), row.frame) << row.units;
    }
    EXPECT_EQ(KuDeviceScale(), 2);
    EXPECT_EQ(KuPackfileManager::deviceScale(), 2);  // scaled resources follow the display
}

}  // namespace
