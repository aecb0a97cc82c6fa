#include "engine/cache_entry.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

const std::string kGuid = "0A1B2C3D4E5F60718293A4B5C6D7E8F9";

TEST(CacheEntryTest, WellFormedLineIsReadByPosition) {
    auto e = parseEntryLine(kGuid + "=CTF-Face.unr", "uxx");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Guid, kGuid);
    EXPECT_EQ(e->CacheFileName, kGuid + ".uxx");
    EXPECT_EQ(e->RealName, "CTF-Face.unr");
    EXPECT_FALSE(e->missingExtension());
    EXPECT_EQ(e->displayName(), "CTF-Face.unr");
}

TEST(CacheEntryTest, NothingIsTrimmedAndCharacter33IsNotExamined) {
    auto e = parseEntryLine(kGuid + ": My Map [v2] .UnR ", "uxx");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Guid, kGuid);
    EXPECT_EQ(e->RealName, " My Map [v2] .UnR ");
    EXPECT_EQ(e->displayName(), " My Map [v2] .UnR ");
}

TEST(CacheEntryTest, LinesOfTenCharactersOrFewerAreSkipped) {
    EXPECT_FALSE(parseEntryLine("", "uxx"));
    EXPECT_FALSE(parseEntryLine("[Cache]", "uxx"));
    EXPECT_FALSE(parseEntryLine("0123456789", "uxx"));
    EXPECT_TRUE(parseEntryLine("01234567890", "uxx"));
    // A further section or comment line is longer than ten characters and so an entry.
    auto e = parseEntryLine("[OtherSection]", "uxx");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Guid, "[OtherSection]");
    EXPECT_EQ(e->RealName, "");
}

TEST(CacheEntryTest, ShortEntryLineHasNoRealNameAndShowsAsError) {
    auto e = parseEntryLine("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "uxx");  // 26 characters
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Guid, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(e->CacheFileName, "ABCDEFGHIJKLMNOPQRSTUVWXYZ.uxx");
    EXPECT_EQ(e->RealName, "");
    EXPECT_TRUE(e->missingExtension());
    EXPECT_EQ(e->displayName(), "**ERROR** Missing file extension in cache.ini ---> ");

    auto exactly33 = parseEntryLine(kGuid + "=", "uxx");
    ASSERT_TRUE(exactly33);
    EXPECT_EQ(exactly33->Guid, kGuid);
    EXPECT_EQ(exactly33->RealName, "");
    EXPECT_EQ(exactly33->displayName(), "**ERROR** Missing file extension in cache.ini ---> ");
}

TEST(CacheEntryTest, NameWithoutDotShowsTheErrorPrefix) {
    auto e = parseEntryLine(kGuid + "=DM-Deck16][", "uxx");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->RealName, "DM-Deck16][");
    EXPECT_EQ(e->displayName(), "**ERROR** Missing file extension in cache.ini ---> DM-Deck16][");
}

TEST(CacheEntryTest, BytesThatAreNotUtf8AreKept) {
    const std::string name = "\xC9t\xE9-\xFF\x80map.unr";
    auto e = parseEntryLine(kGuid + "=" + name, "uxx");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->RealName, name);
    EXPECT_EQ(e->displayName(), name);
}

}  // namespace
}  // namespace qv
