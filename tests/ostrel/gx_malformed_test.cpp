// The geometry converter on malformed input: every valid blob of the fuzz
// corpus cut at every length, lengthened, and corrupted one byte or one count
// at a time; huge counts, unknown types, misplaced members. Every one must be
// an error or a well-formed shape, never a read outside the input (this file
// runs under AddressSanitizer too).

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "gx_test_bytes.h"

namespace {

struct Seed {
    std::string name;
    Bytes blob;
    bool unsupported = false;
};

std::vector<Seed> corpus_seeds() {
    std::string directory = SPOOLMAP_SOURCE_DIR "/fuzz/corpus/gx_shape_fuzz";
    std::vector<Seed> seeds;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) {
        return seeds;
    }
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name[0] == '.') {
            continue;
        }
        std::ifstream file(directory + "/" + name, std::ios::binary);
        Seed seed{name, Bytes(std::istreambuf_iterator<char>(file), {}),
                  name.find("unsupported") != std::string::npos};
        seeds.push_back(std::move(seed));
    }
    closedir(dir);
    std::sort(seeds.begin(), seeds.end(),
              [](const Seed& a, const Seed& b) { return a.name < b.name; });
    return seeds;
}

bool is_flagged_empty_geopackage(const Bytes& blob) {
    return blob.size() >= 4 && blob[0] == 'G' && blob[1] == 'P' && (blob[3] & 0x10);
}

// Any input: an error with a state and a message, or a shape whose length
// matches its own counts.
void expect_error_or_sound_shape(const Bytes& in, const std::string& what) {
    Converted result = convert(in);
    if (result.ok) {
        EXPECT_TRUE(read_shape(result.shape).ok) << what;
    } else {
        EXPECT_FALSE(result.message.empty()) << what;
        EXPECT_EQ(result.sql_state.substr(0, 2), "GX") << what;
    }
}

}  // namespace

TEST(GxMalformedTest, EverySeedConvertsAndEveryCutOfItFails) {
    std::vector<Seed> seeds = corpus_seeds();
    ASSERT_GE(seeds.size(), 50u) << "fuzz corpus missing";
    for (const Seed& seed : seeds) {
        Converted whole = convert(seed.blob);
        if (seed.unsupported) {
            EXPECT_EQ(whole.sql_state, kGxUnsupportedType) << seed.name;
            continue;
        }
        ASSERT_TRUE(whole.ok) << seed.name << ": " << whole.message;
        EXPECT_TRUE(read_shape(whole.shape).ok) << seed.name;
        for (size_t length = 0; length < seed.blob.size(); ++length) {
            Bytes cut(seed.blob.begin(), seed.blob.begin() + length);
            Converted result = convert(cut);
            // A GeoPackage header flagged empty is a whole geometry on its own.
            bool header_alone_is_empty =
                is_flagged_empty_geopackage(seed.blob) && result.ok && result.shape == Bytes(4, 0);
            EXPECT_TRUE(!result.ok || header_alone_is_empty)
                << seed.name << " cut to " << length << " bytes";
        }
        Bytes longer = seed.blob;
        longer.push_back(0);
        EXPECT_FALSE(convert(longer).ok) << seed.name << " with a byte more";
    }
}

TEST(GxMalformedTest, CorruptedBytesAndCountsGiveErrorsOrSoundShapes) {
    for (const Seed& seed : corpus_seeds()) {
        for (size_t at = 0; at < seed.blob.size(); ++at) {
            for (uint8_t value : {0x00, 0x01, 0x69, 0x7C, 0x80, 0xFE, 0xFF}) {
                Bytes changed = seed.blob;
                changed[at] = value;
                expect_error_or_sound_shape(changed, seed.name + " byte " + std::to_string(at));
            }
            if (at + 4 > seed.blob.size()) {
                continue;
            }
            for (uint32_t count : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x10000u, 0x40u}) {
                Bytes changed = seed.blob;
                for (int i = 0; i < 4; ++i) {
                    changed[at + i] = static_cast<uint8_t>(count >> (8 * i));
                }
                expect_error_or_sound_shape(changed, seed.name + " word " + std::to_string(at));
            }
        }
    }
}

TEST(GxMalformedTest, HugeCountsAreRefusedBeforeAnythingIsRead) {
    Bytes line;
    le(line).u8(1).u32(2).u32(0xFFFFFFFF).f64s({0, 0, 1, 1});
    Converted result = convert(line);
    EXPECT_EQ(result.sql_state, kGxCountBeyondInput);
    EXPECT_NE(result.message.find("4294967295 points of the LineString at byte 0"),
              std::string::npos)
        << result.message;

    Bytes rings;
    le(rings).u8(1).u32(3).u32(0x40000000).u32(1).f64s({0, 0});
    EXPECT_EQ(convert(rings).sql_state, kGxCountBeyondInput);

    Bytes members;  // big-endian multipolygon of 2^31 members
    be(members).u8(0).u32(6).u32(0x80000000).u8(0).u32(3).u32(0);
    EXPECT_EQ(convert(members).sql_state, kGxCountBeyondInput);

    Bytes compressed_ring = from_hex(  // a SpatiaLite compressed line claiming 2^32-1 points
        "0001E6100000000000000000F03F00000000000000400000000000001C4000000000000020407C42420F00"
        "FFFFFFFF000000000000F03F0000000000000040FE");
    EXPECT_EQ(convert(compressed_ring).sql_state, kGxCountBeyondInput);
}

TEST(GxMalformedTest, UnknownTypesAndMisplacedMembers) {
    for (uint32_t type :
         {0u, 18u, 999u, 1000u, 1018u, 4001u, 0x10000001u, 0x80000000u | 1001u, 0x0FFFFFFFu}) {
        Bytes in;
        le(in).u8(1).u32(type).f64s({1, 2});
        Converted result = convert(in);
        EXPECT_EQ(result.sql_state, kGxUnknownType) << type << ": " << result.message;
    }

    Bytes line_in_multipoint;
    le(line_in_multipoint).u8(1).u32(4).u32(1).u8(1).u32(2).u32(1).f64s({1, 2});
    Converted kind = convert(line_in_multipoint);
    EXPECT_EQ(kind.sql_state, kGxTruncated);
    EXPECT_NE(kind.message.find("member 1 of the MultiPoint at byte 0 is a LineString"),
              std::string::npos)
        << kind.message;

    Bytes flat_in_z;  // a 2D member inside a MultiPointZ
    le(flat_in_z).u8(1).u32(1004).u32(1).u8(1).u32(1).f64s({1, 2, 3});
    EXPECT_EQ(convert(flat_in_z).sql_state, kGxTruncated);

    Bytes bad_order;
    le(bad_order).u8(1).u32(4).u32(1).u8(7).u32(1).f64s({1, 2});
    Converted order = convert(bad_order);
    EXPECT_EQ(order.sql_state, kGxBadHeader);
    EXPECT_NE(order.message.find("0x07 at byte 9"), std::string::npos) << order.message;

    Bytes text = {'P', 'O', 'I', 'N', 'T', '(', '1', ' ', '2', ')'};
    Converted not_geometry = convert(text);
    EXPECT_EQ(not_geometry.sql_state, kGxBadHeader);
    EXPECT_NE(not_geometry.message.find("Not a geometry blob"), std::string::npos);
    EXPECT_EQ(convert(Bytes{}).sql_state, kGxBadHeader);

    // SpatiaLite: a member without its mark, and a class SpatiaLite never writes.
    Bytes no_mark = from_hex(
        "0001E6100000000000000000F03F0000000000000040000000000000084000000000000010407C04000000"
        "010000006801000000000000000000F03F0000000000000040FE");
    EXPECT_EQ(convert(no_mark).sql_state, kGxTruncated);
    Bytes compressed_point = from_hex(
        "0001E6100000000000000000F03F0000000000000040000000000000084000000000000010407C40420F00"
        "000000000000F03F0000000000000040FE");
    EXPECT_EQ(convert(compressed_point).sql_state, kGxUnknownType);
}
