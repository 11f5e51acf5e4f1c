// The replay picture of the sample drive: its canvas takes the drive's
// shape, every event has a mark of its own (no two overlap), and rendered
// to PNG (rsvg-convert) the picture is drawn where the track is.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/tool_fixture.h"
#include <png.h>

namespace {

using tool_test::kDrive;
using tool_test::kSample;
using tool_test::tool;

struct Box {
    double x, y, w, h;
};

std::vector<Box> event_marks(const std::string& svg) {
    static const std::regex kMark(
        R"re(<rect class="event" x="([-0-9.]+)" y="([-0-9.]+)" width="([0-9.]+)" height="([0-9.]+)")re");
    std::vector<Box> marks;
    for (std::sregex_iterator it(svg.begin(), svg.end(), kMark), end; it != end; ++it) {
        marks.push_back(
            {std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4])});
    }
    return marks;
}

double attribute(const std::string& svg, const std::string& name) {
    const std::size_t at = svg.find(name + "=\"");
    return at == std::string::npos ? 0.0 : std::stod(svg.substr(at + name.size() + 2));
}

// The RGBA pixels of a PNG file, or none.
struct Picture {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<unsigned char> rgba;
    [[nodiscard]] bool inked(double x, double y) const {  // not white within a pixel
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const long px = std::lround(x) + dx;
                const long py = std::lround(y) + dy;
                if (px < 0 || py < 0 || px >= long{width} || py >= long{height}) {
                    continue;
                }
                const std::size_t i =
                    (static_cast<std::size_t>(py) * width + static_cast<std::size_t>(px)) * 4;
                if (rgba[i] < 200 || rgba[i + 1] < 200 || rgba[i + 2] < 200) {
                    return true;
                }
            }
        }
        return false;
    }
};

Picture read_png(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Picture p;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        return p;
    }
    image.format = PNG_FORMAT_RGBA;
    p.rgba.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, p.rgba.data(), 0, nullptr) == 0) {
        return {};
    }
    p.width = image.width;
    p.height = image.height;
    return p;
}

TEST(ToolSvg, TheSampleDriveIsDrawnWhereItIsAndNoMarkHidesAnother) {
    const test::ScratchDir dir;
    test::write_file("list.txt", test::read_file(kSample));
    test::write_file("drive.nmea", test::read_file(kDrive));
    ASSERT_EQ(tool(dir, {"build", "list.txt", "-o", "c.bin"}).exit_status, 0);
    ASSERT_EQ(tool(dir, {"replay", "c.bin", "drive.nmea", "--svg", "drive.svg"}).exit_status, 0);
    const std::string svg = test::read_file("drive.svg");
    // An east-west drive: a wide canvas, not a square one.
    const double width = attribute(svg, "width");
    const double height = attribute(svg, "height");
    EXPECT_EQ(width, 1000.0);
    EXPECT_LT(height, 0.5 * width);
    // 10 warnings, 3 over-speed, 10 passed: 23 marks, none over another.
    const std::vector<Box> marks = event_marks(svg);
    ASSERT_EQ(marks.size(), 23U);
    for (std::size_t i = 0; i < marks.size(); ++i) {
        for (std::size_t j = i + 1; j < marks.size(); ++j) {
            const Box& a = marks[i];
            const Box& b = marks[j];
            EXPECT_FALSE(a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h)
                << "marks " << i << " and " << j << " overlap";
        }
    }
    for (const char* legend : {">start<", ">end<", ">warning<", ">over-speed<", ">passed<",
                               ">warned camera<", ">travel it watches<"}) {
        EXPECT_NE(svg.find(legend), std::string::npos) << legend;
    }
    if (std::system("command -v rsvg-convert >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "rsvg-convert (Debian librsvg2-bin) is not installed";
    }
    ASSERT_EQ(std::system("rsvg-convert drive.svg -o drive.png"), 0);
    const Picture png = read_png("drive.png");
    ASSERT_EQ(png.width, static_cast<unsigned>(std::lround(width)));
    ASSERT_EQ(png.height, static_cast<unsigned>(std::lround(height)));
    // Ink on every tenth point of the track, and white far from it.
    const std::size_t at = svg.find("<polyline");
    std::string points = svg.substr(svg.find("points=\"", at) + 8);
    points.resize(points.find('"'));
    static const std::regex kPoint(R"(([0-9.]+),([0-9.]+))");
    int checked = 0;
    int n = 0;
    for (std::sregex_iterator it(points.begin(), points.end(), kPoint), end; it != end; ++it) {
        if (n++ % 10 == 0) {
            EXPECT_TRUE(png.inked(std::stod((*it)[1]), std::stod((*it)[2]))) << (*it)[0];
            ++checked;
        }
    }
    EXPECT_GT(checked, 30);
    EXPECT_FALSE(png.inked(width / 2, 5.0));
}

}  // namespace
