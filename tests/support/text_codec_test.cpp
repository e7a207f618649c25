#include "support/text_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace plm::support {
namespace {

TEST(TextCodec, FindUnstorableNamesTheFirstCharacterCp932CannotHold) {
    struct Case {
        std::string utf8;
        size_t offset;  // std::string::npos: storable
        size_t length;
        std::string code;
    };
    const Case cases[] = {
        {"abc", std::string::npos, 0, ""},
        {"?", std::string::npos, 0, ""},
        {"東京①Ⅹ㈱ｱ髙﨑", std::string::npos, 0, ""},  // JIS X 0208, NEC and IBM extensions
        {"", std::string::npos, 0, ""},
        {"A😀", 1, 4, "U+1F600"},
        {"点🙂😀", 3, 4, "U+1F642"},
        {"a\xFF"
         "b",
         1, 1, "0xFF"},
        {"a\xE6\x9D", 1, 2, "0xE6"},               // cut short
        {"\xC0\xAF", 0, 2, "0xC0"},                // overlong
        {"\xED\xA0\x80", 0, 3, "0xED"},            // a surrogate
        {std::string("a\0b", 3), 1, 1, "U+0000"},  // NUL ends a text at every edge
        {"\xF0\xA0\x80\x8B", 0, 4, "U+2000B"},     // outside JIS X 0208
    };
    for (const Case& c : cases) {
        const auto found = findUnstorable(c.utf8);
        if (c.offset == std::string::npos) {
            EXPECT_FALSE(found) << c.utf8 << " " << found->code;
            continue;
        }
        ASSERT_TRUE(found) << c.utf8;
        EXPECT_EQ(found->offset, c.offset) << c.utf8;
        EXPECT_EQ(found->length, c.length) << c.utf8;
        EXPECT_EQ(found->code, c.code) << c.utf8;
        EXPECT_EQ(found->character, c.code[0] == 'U' ? c.utf8.substr(c.offset, c.length) : "");
    }
    EXPECT_EQ(toUtf8(unstorableText(*findUnstorable("😀"))),
              "保存できない文字が含まれています\nU+1F600");
}

}  // namespace
}  // namespace plm::support
