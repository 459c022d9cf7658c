// The conversion dialog's rules by numbers: the quality table, the record's
// viewports scaled from the dialog's 650 x 325 preview (scale factors and
// products worked out in single precision by a short reference script),
// and the proposed output names.
#include <gtest/gtest.h>

#include <limits>

#include "layout/export_record.h"

namespace {

using view_layout::PreviewLayout;
using view_layout::PreviewView;

TEST(Quality, TheTableByIndexAndByLetter) {
    const struct {
        char letter;
        int width, height;
    } rows[] = {{'L', 640, 384}, {'M', 800, 480}, {'H', 1280, 768}};
    for (int i = 0; i < 3; ++i) {
        const auto q = view_layout::quality_of_index(i);
        ASSERT_TRUE(q.has_value());
        EXPECT_EQ(q->letter, rows[i].letter);
        EXPECT_EQ(q->letter, view_layout::kQualityLetters[i]);
        EXPECT_EQ(q->width, rows[i].width);
        EXPECT_EQ(q->height, rows[i].height);
        EXPECT_EQ(q->bitrate, 10240);
        const auto lower = view_layout::quality_of_letter(static_cast<char>(rows[i].letter + 32));
        ASSERT_TRUE(lower.has_value());
        EXPECT_EQ(lower->width, rows[i].width);
    }
    EXPECT_STREQ(view_layout::kQualityLetters, "LMH0");
    EXPECT_EQ(view_layout::kDefaultQuality, 1);
    EXPECT_FALSE(view_layout::quality_of_index(3));
    EXPECT_FALSE(view_layout::quality_of_index(-1));
    EXPECT_FALSE(view_layout::quality_of_letter('0'));
    EXPECT_FALSE(view_layout::quality_of_letter('X'));

    ConverterInitParam p{};
    view_layout::set_quality(p, *view_layout::quality_of_index(2));
    EXPECT_EQ(p.dst_width, 1280);
    EXPECT_EQ(p.dst_height, 768);
    EXPECT_EQ(p.bitrate, 10240);
}

// The four quarters of the 650 x 325 preview, as layout 3 makes them.
PreviewLayout four_quarters() {
    PreviewLayout preview;
    preview.width = 650;
    preview.height = 325;
    preview.count = 4;
    const view_layout::Rect rects[] = {
        {0, 0, 325, 162}, {325, 0, 325, 162}, {0, 162, 325, 162}, {325, 162, 325, 162}};
    for (int k = 0; k < 4; ++k) {
        preview.views[k].rect = rects[k];
        preview.views[k].angles = {-95.0f, 10.0f * static_cast<float>(k), 1.0f};
        preview.views[k].zoom = 1.5f + 0.25f * static_cast<float>(k);
    }
    return preview;
}

ConverterInitParam record_of(int quality) {
    ConverterInitParam p{};
    view_layout::set_quality(p, *view_layout::quality_of_index(quality));
    return p;
}

TEST(ExportViewports, FourViewsAreScaledAndLowered) {
    ConverterInitParam p = record_of(1);  // 800 x 480: sx 1.2307693, sy 1.4769231
    ASSERT_TRUE(view_layout::fill_export_viewports(p, four_quarters()));
    EXPECT_EQ(p.viewport_count, 4);
    EXPECT_EQ(p.orientation, 1);
    const int xs[] = {0, 400, 0, 400}, ys[] = {0, 0, 239, 239};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(p.viewport_x[k], xs[k]);
        EXPECT_EQ(p.viewport_y[k], ys[k]);  // 162 x sy = 239.26
        EXPECT_EQ(p.viewport_width[k], 400);
        EXPECT_EQ(p.viewport_height[k], 239);
        EXPECT_EQ(p.pitch[k], -113.0f);  // lowered by 18
        EXPECT_EQ(p.yaw[k], 10.0f * static_cast<float>(k));
        EXPECT_EQ(p.roll[k], 1.0f);
        EXPECT_EQ(p.zoom[k], 1.5f + 0.25f * static_cast<float>(k));
        EXPECT_EQ(p.prj_mode[k], 2);
    }
}

TEST(ExportViewports, ProductsAreTruncatedNotRounded) {
    ConverterInitParam p = record_of(2);  // 1280 x 768: sx 1.9692308, sy 2.3630769
    PreviewLayout preview = four_quarters();
    preview.count = 1;
    preview.views[0].rect = {325, 162, 325, 163};
    ASSERT_TRUE(view_layout::fill_export_viewports(p, preview));
    EXPECT_EQ(p.viewport_x[0], 640);
    EXPECT_EQ(p.viewport_y[0], 382);  // 382.82
    EXPECT_EQ(p.viewport_width[0], 640);
    EXPECT_EQ(p.viewport_height[0], 385);  // 385.18
}

TEST(ExportViewports, OneOrThreeViewsKeepTheirPitch) {
    for (int count : {1, 3}) {
        ConverterInitParam p = record_of(0);
        PreviewLayout preview = four_quarters();
        preview.count = count;
        preview.views[0].draw_mode = 5;
        ASSERT_TRUE(view_layout::fill_export_viewports(p, preview));
        EXPECT_EQ(p.viewport_count, count);
        EXPECT_EQ(p.pitch[0], -95.0f);
        EXPECT_EQ(p.prj_mode[0], 5);
    }
}

TEST(ExportViewports, RectanglesPastTheEdgesAreClamped) {
    ConverterInitParam p = record_of(1);
    PreviewLayout preview = four_quarters();
    preview.count = 2;
    preview.views[0].rect = {700, 400, 1000, 400};  // 861, 590, 1230, 590
    preview.views[1].rect = {-10, -1, -5, 0};
    ASSERT_TRUE(view_layout::fill_export_viewports(p, preview));
    EXPECT_EQ(p.viewport_x[0], 799);
    EXPECT_EQ(p.viewport_y[0], 479);
    EXPECT_EQ(p.viewport_width[0], 800);
    EXPECT_EQ(p.viewport_height[0], 480);
    EXPECT_EQ(p.viewport_x[1], 0);
    EXPECT_EQ(p.viewport_y[1], 0);
    EXPECT_EQ(p.viewport_width[1], 0);
    EXPECT_EQ(p.viewport_height[1], 0);
}

TEST(ExportViewports, ImpossibleInputLeavesTheRecordAlone) {
    ConverterInitParam before = record_of(1);
    before.viewport_count = 3;
    before.orientation = 2;
    PreviewLayout preview = four_quarters();
    for (int count : {0, 5}) {
        preview.count = count;
        ConverterInitParam p = before;
        EXPECT_FALSE(view_layout::fill_export_viewports(p, preview));
        EXPECT_EQ(p.viewport_count, 3);
        EXPECT_EQ(p.orientation, 2);
        EXPECT_EQ(p.viewport_width[0], 0);
        EXPECT_EQ(p.pitch[0], 0.0f);
    }
    preview.count = 4;
    preview.width = 0;
    ConverterInitParam p = before;
    EXPECT_FALSE(view_layout::fill_export_viewports(p, preview));
    preview.width = 650;
    p.dst_height = 0;
    EXPECT_FALSE(view_layout::fill_export_viewports(p, preview));
    EXPECT_EQ(p.viewport_count, 3);
}

TEST(OutputName, ProposedBesideTheSource) {
    EXPECT_EQ(view_layout::proposed_output_name("D:\\rec\\clip.ts", '\0'), "D:\\rec\\clip_out.mp4");
    EXPECT_EQ(view_layout::proposed_output_name("D:\\rec\\clip.ts", 'H'),
              "D:\\rec\\clip_H_out.mp4");
    EXPECT_EQ(view_layout::proposed_output_name("/rec/a.b.mp4", 'L'), "/rec/a.b_L_out.mp4");
    // The last full stop counts, even in a folder name.
    EXPECT_EQ(view_layout::proposed_output_name("/rec.v2/clip", '\0'), "/rec_out.mp4");
    EXPECT_FALSE(view_layout::proposed_output_name("/rec/clip", 'M'));
    EXPECT_FALSE(view_layout::proposed_output_name("", '\0'));
}

TEST(ProgressLine, PercentBarAndRemainingTime) {
    EXPECT_EQ(view_layout::percent_text(0.0f), "0.00%");
    EXPECT_EQ(view_layout::percent_text(12.345f), "12.35%");
    EXPECT_EQ(view_layout::percent_text(100.0f), "100.00%");
    EXPECT_EQ(view_layout::progress_bar_value(42.99f), 42);
    EXPECT_EQ(view_layout::progress_bar_value(-3.0f), 0);
    EXPECT_EQ(view_layout::progress_bar_value(250.0f), 100);
    EXPECT_EQ(view_layout::remaining_text(0, 0), "00:00");
    EXPECT_EQ(view_layout::remaining_text(3, 7), "03:07");
    EXPECT_EQ(view_layout::remaining_text(125, 59), "125:59");
}

// A converter that has encoded nothing yet divides by zero: the texts say
// that nothing is known instead of printing what the bits happen to mean.
TEST(ProgressLine, NumbersThatAreNotNumbersShowDashes) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {nan, inf, -inf}) {
        EXPECT_EQ(view_layout::percent_text(bad), "--%");
    }
    EXPECT_EQ(view_layout::progress_bar_value(nan), 0);
    EXPECT_EQ(view_layout::progress_bar_value(inf), 0);
    EXPECT_EQ(view_layout::progress_bar_value(-inf), 0);
    EXPECT_EQ(view_layout::remaining_text(-1, 0), "--:--");
    EXPECT_EQ(view_layout::remaining_text(0, 60), "--:--");
    EXPECT_EQ(view_layout::remaining_text(0, -5), "--:--");
    EXPECT_EQ(view_layout::remaining_text(std::numeric_limits<int>::min(), 0), "--:--");
    EXPECT_EQ(view_layout::remaining_text(35791394, 7), "--:--");  // an infinite estimate
}

// A preview nobody has turned gives the record kvptool prints: the layout's
// rectangles, draw mode and default angles (looking up: no automatic
// pitch), lowered for two and four views.
TEST(DefaultPreview, TheLayoutsOwnViewScaledToTheOutput) {
    for (int layout :
         {view_layout::kLayoutWide, view_layout::kLayoutSplit2, view_layout::kLayoutSplit4}) {
        const PreviewLayout preview =
            view_layout::default_preview(layout, view_layout::kDirectionUp, 650, 325, "", 0);
        const view_layout::Viewports views = view_layout::layout_viewports(layout, 650, 325);
        ASSERT_EQ(preview.count, views.count);
        ConverterInitParam p = record_of(0);
        ASSERT_TRUE(view_layout::fill_export_viewports(p, preview));
        const float lower = views.count % 2 == 0 ? 18.0f : 0.0f;
        for (int k = 0; k < views.count; ++k) {
            const auto a = view_layout::default_view_angles(layout, k, view_layout::kDirectionUp);
            ASSERT_TRUE(a.has_value());
            EXPECT_FLOAT_EQ(p.pitch[k], a->pitch_deg - lower);
            EXPECT_FLOAT_EQ(p.yaw[k], a->yaw_deg);
            EXPECT_EQ(p.prj_mode[k], views.draw_mode);
            // 640 / 650 and 384 / 325 of the preview's rectangle, truncated.
            EXPECT_EQ(p.viewport_x[k],
                      static_cast<int>(static_cast<float>(views.rects[k].x) * (640.0f / 650.0f)));
            EXPECT_EQ(
                p.viewport_height[k],
                static_cast<int>(static_cast<float>(views.rects[k].height) * (384.0f / 325.0f)));
        }
    }
    // An unrealised preview (no size) is refused, never divided by.
    ConverterInitParam p = record_of(0);
    EXPECT_FALSE(view_layout::fill_export_viewports(
        p, view_layout::default_preview(view_layout::kLayoutSplit4, 1, 0, 0, "", 0)));
}

}  // namespace
