// Finding the fisheye image circle: edges of a reduced, blurred picture,
// the outermost edge point of each row, and a RANSAC circle fit.
#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <new>
#include <random>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "autocalib/autocalib.h"

namespace autocalib {
namespace {

// Detection parameters.
constexpr double kWorkingSize = 640.0;  // pixels on the longer side
constexpr int kBlurKernel = 17;         // Gaussian kernel, pixels square
constexpr double kBlurSigma = 2.0;
constexpr double kEdgePercentile = 0.7;  // share of pixels below the high threshold
constexpr double kLowHighRatio = 0.8;
constexpr int kSobelKernel = 3;
constexpr int kCannyAperture = 3;
constexpr int kRansacIterations = 200;
constexpr double kInlierBand = 0.03;       // x radius
constexpr double kEarlyAcceptShare = 0.8;  // of all candidate points
constexpr double kCentreBox = 0.2;         // x half the working size, either way
constexpr int kInitialBestCount = 3;       // a circle must hold more points than this
constexpr int kHistogramBins = 256;

struct Circle {
    double cx = 0.0;
    double cy = 0.0;
    double r = 0.0;
};

// Where a plausible lens circle may lie, in working pixels.
struct Bounds {
    double cx_min, cx_max, cy_min, cy_max, r_min, r_max;

    // Written so that a NaN anywhere fails.
    bool contains(const Circle& c) const {
        return c.cx >= cx_min && c.cx <= cx_max && c.cy >= cy_min && c.cy <= cy_max &&
               c.r >= r_min && c.r <= r_max;
    }
};

Bounds bounds_for(int w, int h) {
    const double half_w = w / 2.0;
    const double half_h = h / 2.0;
    return {half_w - kCentreBox * half_w, half_w + kCentreBox * half_w,
            half_h - kCentreBox * half_h, half_h + kCentreBox * half_h,
            std::min(w, h) / 2.0 * 0.5,   std::sqrt(w * w / 4.0 + h * h / 4.0)};
}

// Grey, reduced so that the longer side is the working size, and blurred.
cv::Mat working_picture(const cv::Mat& picture, double scale) {
    cv::Mat grey;
    if (picture.channels() == 1) {
        grey = picture;
    } else if (picture.channels() == 4) {
        cv::cvtColor(picture, grey, cv::COLOR_BGRA2GRAY);
    } else {
        cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
    }
    cv::Mat reduced;
    cv::resize(grey, reduced, cv::Size(), 1.0 / scale, 1.0 / scale, cv::INTER_LINEAR);
    cv::Mat blurred;
    cv::GaussianBlur(reduced, blurred, cv::Size(kBlurKernel, kBlurKernel), kBlurSigma);
    return blurred;
}

// High Canny threshold (0..1): the gradient level below which the edge
// percentile of the pixels lie.
double high_threshold(const cv::Mat& blurred) {
    cv::Mat dx, dy, abs_dx, abs_dy, magnitude;
    cv::Sobel(blurred, dx, CV_16S, 1, 0, kSobelKernel);
    cv::Sobel(blurred, dy, CV_16S, 0, 1, kSobelKernel);
    cv::convertScaleAbs(dx, abs_dx);
    cv::convertScaleAbs(dy, abs_dy);
    cv::addWeighted(abs_dx, 1.0, abs_dy, 1.0, 0.0, magnitude);

    std::array<double, kHistogramBins> histogram{};
    for (int y = 0; y < magnitude.rows; ++y) {
        const auto* row = magnitude.ptr<std::uint8_t>(y);
        for (int x = 0; x < magnitude.cols; ++x) histogram[row[x]] += 1.0;
    }
    const double total = static_cast<double>(magnitude.total());
    double cumulative = 0.0;
    for (int i = 0; i < kHistogramBins; ++i) {
        cumulative += histogram[i] / total;
        if (cumulative > kEdgePercentile) return i / 256.0;
    }
    return 0.0;
}

cv::Mat edge_picture(const cv::Mat& blurred) {
    const double high = high_threshold(blurred);
    const double low = kLowHighRatio * high;
    cv::Mat edges;
    cv::Canny(blurred, edges, 255.0 * low, 255.0 * high, kCannyAperture, false);
    return edges;
}

// First and last edge row of every column (-1 where a column has none).
struct ColumnSpans {
    std::vector<int> first, last;
};

ColumnSpans column_spans(const cv::Mat& edges) {
    ColumnSpans spans{std::vector<int>(edges.cols, -1), std::vector<int>(edges.cols, -1)};
    for (int y = 0; y < edges.rows; ++y) {
        const auto* row = edges.ptr<std::uint8_t>(y);
        for (int x = 0; x < edges.cols; ++x) {
            if (row[x] == 0) continue;
            if (spans.first[x] < 0) spans.first[x] = y;
            spans.last[x] = y;
        }
    }
    return spans;
}

// The leftmost and the rightmost edge pixel of every row, each left out
// when its column has edge pixels both above and below it (inside the lens
// picture rather than on its rim).
std::vector<cv::Point> candidate_points(const cv::Mat& edges) {
    const ColumnSpans spans = column_spans(edges);
    auto enclosed = [&spans](int x, int y) { return spans.first[x] < y && spans.last[x] > y; };
    std::vector<cv::Point> points;
    for (int y = 0; y < edges.rows; ++y) {
        const auto* row = edges.ptr<std::uint8_t>(y);
        for (int x = 0; x < edges.cols; ++x) {
            if (row[x] == 0) continue;
            if (!enclosed(x, y)) points.emplace_back(x, y);
            break;
        }
        for (int x = edges.cols - 1; x >= 0; --x) {
            if (row[x] == 0) continue;
            if (!enclosed(x, y)) points.emplace_back(x, y);
            break;
        }
    }
    return points;
}

// Circle x^2 + y^2 + D x + E y + F = 0 from the solution (D, E, F).
Circle circle_from(const cv::Matx31d& def) {
    const double d = def(0), e = def(1), f = def(2);
    return {-d / 2.0, -e / 2.0, std::sqrt(d * d / 4.0 + e * e / 4.0 - f)};
}

Circle circle_through(const cv::Point& a, const cv::Point& b, const cv::Point& c) {
    const cv::Matx33d m(a.x, a.y, 1.0, b.x, b.y, 1.0, c.x, c.y, 1.0);
    const cv::Matx31d rhs(-(a.x * a.x + a.y * a.y), -(b.x * b.x + b.y * b.y),
                          -(c.x * c.x + c.y * c.y));
    return circle_from(m.inv(cv::DECOMP_SVD) * rhs);
}

bool is_inlier(const Circle& c, const cv::Point& p) {
    return std::abs(std::hypot(p.x - c.cx, p.y - c.cy) - c.r) < kInlierBand * c.r;
}

int count_inliers(const Circle& c, const std::vector<cv::Point>& points) {
    return static_cast<int>(std::count_if(points.begin(), points.end(),
                                          [&c](const cv::Point& p) { return is_inlier(c, p); }));
}

// Least-squares circle through the `count` inliers of `c`.
Circle refit(const Circle& c, const std::vector<cv::Point>& points, int count) {
    cv::Mat a(count, 3, CV_64F);
    cv::Mat rhs(count, 1, CV_64F);
    int row = 0;
    for (const auto& p : points) {
        if (row == count) break;
        if (!is_inlier(c, p)) continue;
        const double x = p.x, y = p.y;
        a.at<double>(row, 0) = x;
        a.at<double>(row, 1) = y;
        a.at<double>(row, 2) = 1.0;
        rhs.at<double>(row, 0) = -(x * x + y * y);
        ++row;
    }
    cv::Matx31d def;
    cv::solve(a, rhs, def, cv::DECOMP_SVD);
    return circle_from(def);
}

// Least-squares refits over the inliers for as long as their number grows;
// the last refit is kept, `count` returns its inliers.
Circle refine(Circle c, const std::vector<cv::Point>& points, int& count) {
    int previous = 0;
    count = count_inliers(c, points);
    while (count > previous && count >= 3) {
        previous = count;
        c = refit(c, points, count);
        count = count_inliers(c, points);
    }
    return c;
}

struct RansacResult {
    bool found = false;
    Circle circle;
    int inliers = 0;
};

RansacResult ransac_circle(const std::vector<cv::Point>& points, const Bounds& bounds) {
    RansacResult result;
    const auto n = points.size();
    if (n < 3) return result;
    std::minstd_rand rng(static_cast<std::minstd_rand::result_type>(std::time(nullptr)));
    int best = kInitialBestCount;
    for (int i = 0; i < kRansacIterations; ++i) {
        const Circle sample =
            circle_through(points[rng() % n], points[rng() % n], points[rng() % n]);
        if (!bounds.contains(sample)) continue;
        int count = 0;
        const Circle refined = refine(sample, points, count);
        if (count <= best) continue;
        best = count;
        result.circle = refined;
        result.inliers = count;
        if (count > kEarlyAcceptShare * static_cast<double>(n) && bounds.contains(refined)) break;
    }
    result.found = result.inliers > 0 && bounds.contains(result.circle);
    return result;
}

CircleDetection detect_in(const cv::Mat& picture) {
    CircleDetection detection;
    const double scale = std::max(picture.cols, picture.rows) / kWorkingSize;
    const cv::Mat blurred = working_picture(picture, scale);
    const std::vector<cv::Point> points = candidate_points(edge_picture(blurred));
    const RansacResult fit = ransac_circle(points, bounds_for(blurred.cols, blurred.rows));
    if (!fit.found) return detection;
    detection.found = true;
    detection.cx = static_cast<float>(fit.circle.cx * scale);
    detection.cy = static_cast<float>(fit.circle.cy * scale);
    detection.radius = static_cast<float>(fit.circle.r * scale);
    detection.inlier_share = static_cast<float>(fit.inliers) / static_cast<float>(points.size());
    return detection;
}

}  // namespace

CircleDetection detect_image_circle(const cv::Mat& picture) {
    const int channels = picture.channels();
    if (picture.empty() || picture.depth() != CV_8U || picture.dims != 2 ||
        (channels != 1 && channels != 3 && channels != 4)) {
        return {};
    }
    try {
        return detect_in(picture);
    } catch (const cv::Exception&) {
        return {};  // e.g. a picture too large to allocate its working copies
    } catch (const std::bad_alloc&) {
        return {};
    }
}

bool circle_is_whole(const CircleDetection& c, int width, int height) {
    return c.cx - c.radius >= 0.0f && c.cx + c.radius <= static_cast<float>(width) &&
           c.cy - c.radius >= 0.0f && c.cy + c.radius <= static_cast<float>(height);
}

}  // namespace autocalib
