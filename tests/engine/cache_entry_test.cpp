#include "engine/cache_entry.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

const std::string kGuid = "0A1B2C3D4E5F60718293A4B5C6D7E8F9";
const std::string kErr = "**ERROR** Missing file extension in cache.ini ---> ";

TEST(CacheEntryTest, LinesAreReadByPositionWithoutTrimming) {
    struct Case {
        std::string line, guid, realName, display;
    };
    const std::string odd = "\xC9t\xE9-\xFF\x80map.unr";  // bytes that are not UTF-8 are kept
    const std::vector<Case> cases = {
        {kGuid + "=CTF-Face.unr", kGuid, "CTF-Face.unr", "CTF-Face.unr"},
        // Character 33 is not examined; nothing is trimmed.
        {kGuid + ": My Map [v2] .UnR ", kGuid, " My Map [v2] .UnR ", " My Map [v2] .UnR "},
        {kGuid + "=" + odd, kGuid, odd, odd},
        {kGuid + "=DM-Deck16][", kGuid, "DM-Deck16][", kErr + "DM-Deck16]["},    // no dot
        {kGuid + "=", kGuid, "", kErr},                                          // exactly 33
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "", kErr},  // 26
        // A further section or comment line is longer than ten characters and so an entry.
        {"[OtherSection]", "[OtherSection]", "", kErr},
        {"01234567890", "01234567890", "", kErr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        auto e = parseEntryLine(c.line, "uxx");
        ASSERT_TRUE(e);
        EXPECT_EQ(e->Guid, c.guid);
        EXPECT_EQ(e->CacheFileName, c.guid + ".uxx");
        EXPECT_EQ(e->RealName, c.realName);
        EXPECT_EQ(e->missingExtension(), c.display.rfind(kErr, 0) == 0);
        EXPECT_EQ(e->displayName(), c.display);
    }
    for (const char* skipped : {"", "[Cache]", "0123456789"})  // ten characters or fewer
        EXPECT_FALSE(parseEntryLine(skipped, "uxx")) << skipped;
}

}  // namespace
}  // namespace qv
