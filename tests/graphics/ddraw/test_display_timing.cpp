// The display's frame-time measurement against scripted displays (including ones that never report a vertical
// blank or fail), the settle delay between mode changes, and the screen layout codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "graphics/ddraw/display.h"
#include "graphics/ddraw/display_internal.h"

namespace {

// A display refreshing every `period` microseconds with a vertical blank at the end of each frame. Every query
// advances its clock by `step` microseconds, as a real poll would take time.
struct SimulatedDisplay {
    uint64_t now = 1000000;
    uint64_t step = 40;
    uint64_t period = 16667;
    uint64_t blank = 700;
    int lines = 768;
    bool reportsBlank = true;
    bool hasScanLine = true;
    bool blankStatusFails = false;
    int queries = 0;

    uint64_t phase() const { return now % period; }
    bool inBlank() const { return phase() >= period - blank; }
};

int SimBlank(void* context, int* inBlank) {
    auto* d = static_cast<SimulatedDisplay*>(context);
    d->now += d->step;
    ++d->queries;
    if (d->blankStatusFails) return -1;
    *inBlank = d->reportsBlank && d->inBlank() ? 1 : 0;
    return 0;
}

int SimScanLine(void* context, int* line) {
    auto* d = static_cast<SimulatedDisplay*>(context);
    d->now += d->step;
    ++d->queries;
    if (!d->hasScanLine) return -1;
    if (d->reportsBlank && d->inBlank()) return 1;
    *line = (int)(d->phase() * (uint64_t)d->lines / d->period);
    return 0;
}

unsigned int SimMilliseconds(void* context) {
    return (unsigned int)(static_cast<SimulatedDisplay*>(context)->now / 1000);
}

uint64_t SimMicroseconds(void* context) { return static_cast<SimulatedDisplay*>(context)->now; }

RasterSource SourceFor(SimulatedDisplay& display) {
    return RasterSource{&display, SimBlank, SimScanLine, SimMilliseconds, SimMicroseconds};
}

TEST(FrameTimeMeasurement, SixtyHertzDisplayGivesItsFrameLengthAndRate) {
    SimulatedDisplay display;
    FrameTimeResult r = MeasureFrameTime(SourceFor(display), -1);
    EXPECT_EQ(r.aborted, 0);
    EXPECT_TRUE(r.frameTime == 16 || r.frameTime == 17) << r.frameTime;
    EXPECT_EQ(r.refreshRate, 60);
    EXPECT_EQ(r.frameCount, kFrameTimeMaxFrames);
    for (int i = 0; i < r.frameCount; ++i) EXPECT_TRUE(r.frames[i] == 16 || r.frames[i] == 17) << i;
}

TEST(FrameTimeMeasurement, KnownRateMeasuresFourFramesAndKeepsTheRate) {
    SimulatedDisplay display;
    display.period = 11765;  // 85 Hz
    FrameTimeResult r = MeasureFrameTime(SourceFor(display), 85);
    EXPECT_EQ(r.aborted, 0);
    EXPECT_EQ(r.frameCount, 4);
    EXPECT_EQ(r.refreshRate, 85);
    EXPECT_TRUE(r.frameTime == 11 || r.frameTime == 12) << r.frameTime;
}

TEST(FrameTimeMeasurement, DisplayWithoutVerticalBlankStillMeasuresByItsScanLine) {
    SimulatedDisplay display;
    display.reportsBlank = false;
    FrameTimeResult r = MeasureFrameTime(SourceFor(display), -1);
    EXPECT_EQ(r.aborted, 0);
    EXPECT_TRUE(r.frameTime == 16 || r.frameTime == 17) << r.frameTime;
}

// Neither a vertical blank nor a scan line ever comes: every wait is bounded, so the measurement ends after one
// limit's worth of polling with the frame time unknown instead of spinning for ever.
TEST(FrameTimeMeasurement, DisplayThatNeverReportsAnythingEndsUnknownWithinOneWaitLimit) {
    SimulatedDisplay display;
    display.reportsBlank = false;
    display.hasScanLine = false;
    const uint64_t start = display.now;
    FrameTimeResult r = MeasureFrameTime(SourceFor(display), -1);
    EXPECT_EQ(r.aborted, 1);
    EXPECT_EQ(r.frameTime, -1);
    EXPECT_EQ(r.refreshRate, -1);
    EXPECT_LE(display.now - start, (uint64_t)(kRasterWaitLimitMs + 2) * 1000);
}

TEST(FrameTimeMeasurement, FailingDriverAbortsAtOnce) {
    SimulatedDisplay display;
    display.blankStatusFails = true;
    FrameTimeResult r = MeasureFrameTime(SourceFor(display), 60);
    EXPECT_EQ(r.aborted, 1);
    EXPECT_EQ(r.frameTime, -1);
    EXPECT_LE(display.queries, 2);
}

// A display that plays a script of frame lengths (ms). Its vertical blank takes no time: the first poll of a frame
// sees the active part begin, the next one jumps the clock to the frame's end and sees the blank, the one after
// that sees the next frame begin. The four synchronising frames take four entries.
struct ScriptedDisplay {
    enum Phase { kFresh, kSeen, kBlank };
    std::vector<int> lengths;
    size_t next = 0;
    uint64_t nowUs = 5000000;
    Phase phase = kFresh;
};

int ScriptBlank(void* context, int* inBlank) {
    auto* d = static_cast<ScriptedDisplay*>(context);
    *inBlank = 0;
    switch (d->phase) {
        case ScriptedDisplay::kFresh:
            d->phase = ScriptedDisplay::kSeen;
            break;
        case ScriptedDisplay::kSeen: {
            const int length = d->next < d->lengths.size() ? d->lengths[d->next] : 1000 + (int)d->next;
            ++d->next;
            d->nowUs += (uint64_t)length * 1000;
            d->phase = ScriptedDisplay::kBlank;
            *inBlank = 1;
            break;
        }
        case ScriptedDisplay::kBlank:
            d->phase = ScriptedDisplay::kFresh;
            break;
    }
    return 0;
}
int ScriptNoScanLine(void*, int*) { return -1; }
unsigned int ScriptMs(void* c) { return (unsigned int)(static_cast<ScriptedDisplay*>(c)->nowUs / 1000); }
uint64_t ScriptUs(void* c) { return static_cast<ScriptedDisplay*>(c)->nowUs; }

TEST(FrameTimeMeasurement, TakesTheFirstLengthThatRepeatsWithinAPass) {
    const std::vector<int> sync(4, 10);
    struct Case {
        std::vector<int> passes;  // after the synchronising frames; four frames a pass (known rate)
        int frameTime;
        std::vector<int> lastPass;
    } cases[] = {
        {{17, 16, 17, 16}, 17, {17, 16, 17, 16}},
        {{16, 17, 18, 19, 20, 21, 20, 21}, 20, {20, 21, 20, 21}},  // nothing repeats in the first pass
        {{16, 17, 18, 19, 18, 16, 20, 16}, 16, {18, 16, 20, 16}},  // 18 repeats only across passes: it may not count
    };
    for (const Case& c : cases) {
        ScriptedDisplay display;
        display.lengths = sync;
        display.lengths.insert(display.lengths.end(), c.passes.begin(), c.passes.end());
        RasterSource source{&display, ScriptBlank, ScriptNoScanLine, ScriptMs, ScriptUs};
        FrameTimeResult r = MeasureFrameTime(source, 60);
        EXPECT_EQ(r.frameTime, c.frameTime);
        ASSERT_EQ(r.frameCount, 4);
        EXPECT_EQ(std::vector<int>(r.frames, r.frames + 4), c.lastPass);
    }
}

TEST(FrameTimeMeasurement, NoRepeatedLengthInFivePassesLeavesItUnknown) {
    ScriptedDisplay display;
    display.lengths.assign(4, 10);
    for (int i = 0; i < 20; ++i) display.lengths.push_back(20 + i);
    RasterSource source{&display, ScriptBlank, ScriptNoScanLine, ScriptMs, ScriptUs};
    FrameTimeResult r = MeasureFrameTime(source, 60);
    EXPECT_EQ(r.frameTime, -1);
    EXPECT_EQ(r.aborted, 0);
    EXPECT_EQ(display.next, 4u + 5u * 4u);  // five passes of four frames, then it stops
}

TEST(ModeChangeSettleDelay, SpacesChangesAboutTwoSecondsApart) {
    struct Case {
        unsigned int now, last, expected;
    } cases[] = {
        {10000, 0, 60},              // no earlier change
        {10500, 10000, 1560},        // 500 ms after one: until 2060 ms after it
        {11999, 10000, 61},
        {12000, 10000, 60},          // two seconds or more: the short settle only
        {5, 0xFFFFFF00u, 1799},      // across the millisecond counter's wrap
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ModeChangeSettleDelay(c.now, c.last), c.expected) << c.now << " " << c.last;
    }
}

TEST(ScreenFormatCode, NamesTheLayoutsTheBackEndConverts) {
    struct Case {
        int bits;
        uint32_t r, g, b;
        int code;
    } cases[] = {
        {16, 0xF800, 0x07E0, 0x001F, kScreenFormatR5G6B5},
        {16, 0x7C00, 0x03E0, 0x001F, kScreenFormatX1R5G5B5},
        {32, 0xFF0000, 0xFF00, 0xFF, kScreenFormatX8R8G8B8},
        {32, 0xFF, 0xFF00, 0xFF0000, kScreenFormatOther},
        {24, 0xFF0000, 0xFF00, 0xFF, kScreenFormatOther},
        {16, 0x001F, 0x07E0, 0xF800, kScreenFormatOther},
    };
    for (const Case& c : cases) EXPECT_EQ(ScreenFormatCodeOf(c.bits, c.r, c.g, c.b), c.code) << c.bits;
}

}  // namespace
