// ProgressMeter arithmetic: clamping, repaint requests, percentage, fill width, label.
#include <gtest/gtest.h>

#include "container_writer.h"
#include "install/window_seam.h"
#include "payload/extract.h"
#include "payload/pipeline.h"
#include "support/repaint_counter.h"
#include "support/test_support.h"
#include "ui/progress_meter.h"

TEST(ProgressMeter, NewMeterStartsAtMinimumWithEmptyFill) {
    ProgressMeter m(0, 100);
    m.set_geometry(20, 350, 553, 21);
    EXPECT_EQ(m.position(), 0);
    EXPECT_EQ(m.fill_width(), 0);
    EXPECT_DOUBLE_EQ(m.percent(), 0.0);
    EXPECT_FALSE(m.label_visible());
}

TEST(ProgressMeter, SetPositionClampsAndRepaintsOnlyOnChange) {
    struct Case {
        int32_t start, value, expected;
        int repaints;
    } cases[] = {
        {10, 150, 100, 1},   // above the maximum
        {10, -5, 0, 1},      // below the minimum
        {100, 150, 100, 0},  // clamps to the stored position
        {10, 10, 10, 0},     // unchanged
        {10, 55, 55, 1},
    };
    for (const Case& c : cases) {
        ProgressMeter m(0, 100);
        m.set_position(c.start);
        RepaintCounter repaints;
        m.set_position(c.value);
        EXPECT_EQ(m.position(), c.expected) << c.start << " -> " << c.value;
        EXPECT_EQ(repaints.count(), c.repaints) << c.start << " -> " << c.value;
    }
}

TEST(ProgressMeter, AdvanceZeroAndSetMaximumAskForNoRepaint) {
    ProgressMeter m(0, 100);
    m.set_position(50);
    RepaintCounter repaints;
    m.advance(0);
    m.set_maximum(10);  // the position is left above the new maximum, unclamped
    EXPECT_EQ(m.position(), 50);
    EXPECT_EQ(repaints.count(), 0);
    m.advance(1);  // clamps to 10
    EXPECT_EQ(m.position(), 10);
    EXPECT_EQ(repaints.count(), 1);
}

TEST(ProgressMeter, ShowLabelRepaintsOnlyWhenItChanges) {
    ProgressMeter m(0, 100);
    RepaintCounter repaints;
    m.show_label(false);
    EXPECT_EQ(repaints.count(), 0);
    m.show_label(true);
    m.show_label(true);
    EXPECT_EQ(repaints.count(), 1);
}

// A window that repaints the progress strip on its own: position changes ask for the strip, and the label, which
// the bar shows, for the whole window.
TEST(ProgressMeter, PositionChangesAskTheWindowForTheProgressStripWhereItHasOne) {
    struct Counts {
        int whole = 0, strip = 0;
    } counts;
    WindowSeam seam{};
    seam.context = &counts;
    seam.invalidate = [](void* c) { ++static_cast<Counts*>(c)->whole; };
    seam.invalidate_progress = [](void* c) { ++static_cast<Counts*>(c)->strip; };
    set_window_seam(seam);
    ProgressMeter m(0, 100);
    m.set_position(10);
    m.advance(5);
    m.advance(0);
    m.set_position(15);
    m.show_label(true);
    set_window_seam(WindowSeam{});
    EXPECT_EQ(counts.strip, 2);
    EXPECT_EQ(counts.whole, 1);
}

TEST(ProgressMeter, PercentAndFillWidth) {
    struct Case {
        int32_t minimum, maximum, position;
        int32_t fill;
        const char* label;
    } cases[] = {
        {0, 100, 0, 0, " 0.0%"},
        {0, 100, 100, 553, " 100.0%"},
        {0, 1000, 425, 235, " 42.5%"},
        {50, 50, 50, 553, " 100.0%"},                     // empty range
        {0, 491752890, 491752888, 552, " 100.0%"},        // a whole installation ends 2 short
        {0, 491752890, 245876445, 276, " 50.0%"},         // 32-bit product would overflow here
        {-2147483647 - 1, 2147483647, 0, 276, " 50.0%"},  // the widest range
    };
    for (const Case& c : cases) {
        ProgressMeter m(c.minimum, c.maximum);
        m.set_geometry(20, 350, 553, 21);
        m.set_position(c.position);
        char label[64];
        EXPECT_EQ(m.fill_width(), c.fill) << c.maximum << " @ " << c.position;
        EXPECT_STREQ(m.format_label(label, sizeof label), c.label) << c.maximum << " @ " << c.position;
    }
}

TEST(ProgressMeter, InvertedRangeIsFull) {
    ProgressMeter m(0, 100);
    m.set_geometry(0, 0, 553, 21);
    m.set_maximum(-1);
    EXPECT_DOUBLE_EQ(m.percent(), 100.0);
    EXPECT_EQ(m.fill_width(), 553);
}

TEST(ProgressMeter, AsTheEnginesSinkItEndsOneUnitShortAndRepaintsPerStep) {
    // One block: a directory record (8 bytes), a file record of 1 MiB + 1 (20 + 1048577 bytes) and the end byte.
    RecordStreamWriter w;
    w.add_dir("\\data");
    w.add_file("\\data\\big.bin", random_bytes(1048577, 7));
    const std::vector<uint8_t> stream = w.finish();
    ASSERT_EQ(stream.size(), 1048606u);
    std::vector<uint8_t> stored = encode(stream);
    PayloadBlock block{stored.data(), int32_t(stored.size())};
    PayloadBlock* blocks[] = {&block};

    ProgressMeter m(0, 100);
    const ProgressSink sink = m.sink();
    ScratchDir scratch;
    RepaintCounter repaints;
    testing::internal::CaptureStdout();
    const int status = install_payload(scratch.path().c_str(), blocks, 1, uint32_t(stream.size()), false, &sink);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m.maximum(), 3145818);
    // Decoding: 2 x 1048606 in two steps; extraction: 1048605 at the file record; the end byte never.
    EXPECT_EQ(m.position(), 3145817);
    EXPECT_EQ(repaints.count(), 3);
}
