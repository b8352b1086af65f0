// Reading .prj texts and deciding whether two coordinate systems differ.

#include "srs/projection_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "process_end_capture.h"
#include "srs/coordsys_meaning.h"

namespace {

const char* const kWgs84 =
    "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
    "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]]";

TEST(CoordsysDiffer, ForgivesCaseBlanksAndTinyNumberDifferences) {
    EXPECT_FALSE(coordsys_differ(kWgs84, kWgs84));
    EXPECT_FALSE(coordsys_differ(
        kWgs84,
        "geogcs[ \"wgs 84\" , datum[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137.000,298.2572235630]],"
        "PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.01745329251994330]]"));
    EXPECT_FALSE(coordsys_differ("A[1]", "A[1.0]"));
    EXPECT_FALSE(coordsys_differ("A[0.5]", "A[.5]"));
    EXPECT_FALSE(coordsys_differ("A[2.50]", "A[2.5]"));
    EXPECT_FALSE(coordsys_differ("A[1e3]", "A[1000]"));
    EXPECT_FALSE(coordsys_differ("A[6378137]", "A[6378137.000000001]"));
    EXPECT_FALSE(coordsys_differ("UNKNOWN", " \"unknown\" "));

    EXPECT_TRUE(coordsys_differ("A[+1]", "A[1]"));
    EXPECT_TRUE(coordsys_differ("A[1]", "A[1.001]"));
    EXPECT_TRUE(coordsys_differ("A[0.0]", "A[0.00001]"));
    EXPECT_TRUE(coordsys_differ("DATUM[\"WGS_1984\"]", "DATUM[\"NAD83\"]"));
    EXPECT_TRUE(coordsys_differ("A[1,2]", "A[1,2,3]"));
    EXPECT_TRUE(coordsys_differ("A[0x10]", "A[16]"));
    EXPECT_TRUE(coordsys_differ("", ""));
    EXPECT_TRUE(coordsys_differ(kWgs84, ""));
    EXPECT_TRUE(coordsys_differ(nullptr, kWgs84));
    EXPECT_TRUE(coordsys_differ(kWgs84, "UNKNOWN"));
}

TEST(CoordsysDiffer, HasNoLimitOnTheNumberOfTokens) {
    std::string a = "A[";
    std::string b = "A[";
    for (int i = 0; i < 500; ++i) {
        a += std::to_string(i) + ",";
        b += std::to_string(i) + ".0,";
    }
    EXPECT_FALSE(coordsys_differ((a + "x]").c_str(), (b + "x]").c_str()));
    EXPECT_TRUE(coordsys_differ((a + "x]").c_str(), (b + "y]").c_str()));
}

TEST(CoordsysMeaning, SameSystemInOtherWordsAxisOrderOrWithATransformation) {
    const std::string esri =
        "GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\",6378137.0,"
        "298.257223563]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]]";
    std::string lat_lon = kWgs84;
    lat_lon.insert(lat_lon.size() - 1, ",AXIS[\"Latitude\",NORTH],AXIS[\"Longitude\",EAST]");
    std::string bound = kWgs84;
    bound.insert(bound.find("]],") + 1, ",TOWGS84[0,0,0,0,0,0,0]");
    std::string nad83 = esri;
    nad83.replace(nad83.find("D_WGS_1984"), 10, "D_North_American_1983");
    nad83.replace(nad83.find("298.257223563"), 13, "298.257222101");
    struct Case {
        std::string a;
        std::string b;
        CoordsysMeaning meaning;
    };
    const Case cases[] = {
        {kWgs84, esri, CoordsysMeaning::kSame},
        {lat_lon, esri, CoordsysMeaning::kSame},
        {bound, esri, CoordsysMeaning::kSame},
        {nad83, esri, CoordsysMeaning::kDifferent},
        {"UNKNOWN", esri, CoordsysMeaning::kNotComparable},
        {kWgs84, "GEOGCS[\"x\"", CoordsysMeaning::kNotComparable},
    };
    for (const Case& c : cases) {
        EndResult result = run_capturing_end([&] {
            EXPECT_EQ(coordsys_meaning(c.a.c_str(), c.b.c_str()), c.meaning) << c.a << "\n" << c.b;
        });
        EXPECT_EQ(result.out + result.err, "");  // PROJ keeps quiet
    }
}

TEST(TrimBlanks, BothEnds) {
    char a[] = "\t\r\n\b x y \b\n";
    EXPECT_STREQ(trim_blanks(a), "x y");
    char b[] = " \t ";
    EXPECT_STREQ(trim_blanks(b), "");
    char c[] = "z";
    EXPECT_STREQ(trim_blanks(c), "z");
}

std::string read_prj(const std::string& content, size_t size, bool* whole = nullptr) {
    FILE* stream = std::tmpfile();
    std::fwrite(content.data(), 1, content.size(), stream);
    std::rewind(stream);
    std::string buffer(size, 'X');
    bool fitted = read_prj_text(buffer.data(), size, stream);
    std::fclose(stream);
    if (whole != nullptr)
        *whole = fitted;
    return fitted ? std::string(buffer.c_str()) : std::string();
}

TEST(ReadPrjText, EndsRightAfterTheLastBracket) {
    EXPECT_EQ(read_prj("A[1]\r\n", 64), "A[1]");
    EXPECT_EQ(read_prj("A[1] junk", 64), "A[1]");
    EXPECT_EQ(read_prj("no bracket", 64), "");
    EXPECT_EQ(read_prj("", 64), "");
    EXPECT_EQ(read_prj("A[1]", 5), "A[1]");
    bool whole = true;
    read_prj("A[12345]", 5, &whole);
    EXPECT_FALSE(whole);
}

// init writes the column's text exactly, without a line end; an UNKNOWN
// coordinate system writes nothing and tells the run the set has no .prj; a
// failed write ends the run naming the file.
TEST(WriteProjectionFile, TextExactlyOrNothingForUnknown) {
    SpatialReference unknown;
    std::snprintf(unknown.text, sizeof unknown.text, "UNKNOWN");
    SpatialReference wgs84;
    std::snprintf(wgs84.text, sizeof wgs84.text, "%s", kWgs84);

    FILE* prj = std::tmpfile();
    ASSERT_NE(prj, nullptr);
    EXPECT_TRUE(write_projection_file(prj, "out.prj", wgs84));
    EXPECT_FALSE(write_projection_file(prj, "out.prj", unknown));
    std::rewind(prj);
    char text[512] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text - 1, prj), std::strlen(kWgs84));
    EXPECT_STREQ(text, kWgs84);
    std::fclose(prj);

    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    EndResult result = run_capturing_end([&] { write_projection_file(full, "out.prj", wgs84); });
    std::fclose(full);
    EXPECT_TRUE(result.ended);
    EXPECT_EQ(result.err, "\nWrite failed for file out.prj: No space left on device.\n");
}

}  // namespace
