// The one cut at a whole UTF-8 character, on valid and invalid UTF-8.

#include <gtest/gtest.h>

#include <string>

#include "text/characters.h"

namespace {

TEST(WholeCharacterPrefix, BacksOffAtMostThreeBytesAndNeverPastTheStart) {
    struct Case {
        const char* text;
        size_t limit;
        const char* kept;
    };
    const Case cases[] = {
        {"abc", 3, "abc"},
        {"abcd", 3, "abc"},
        {"", 0, ""},
        {"h\xc3\xa9llo", 2, "h"},                           // two-byte letter across the cut
        {"h\xc3\xa9llo", 3, "h\xc3\xa9"},                   // ends right at the cut
        {"a\xf0\x9f\x98\x80", 4, "a"},                      // four bytes, three back
        {"\xe2\x82\xac", 2, ""},                            // back to the start, not past it
        {"a\xc3\xa9\x80z", 3, "a\xc3\xa9"},                 // a stray byte after a whole letter
        {"aaa\x80\x80\x80\x80\x80", 6, "aaa\x80\x80\x80"},  // no lead within three bytes
        {"\x80\x80\x80\x80\x80", 2, "\x80\x80"},            // no lead before the start
        {"ab\x80\x80", 3, "ab\x80"},                        // continuation after ASCII
    };
    for (const Case& c : cases) {
        size_t cut = whole_character_prefix(c.text, c.limit);
        EXPECT_EQ(std::string(c.text, cut), c.kept) << c.text << " at " << c.limit;
    }
}

}  // namespace
