#include "settings/profile_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::settings {
namespace {

using support::sj;

class ProfileFileTest : public ::testing::Test {
  protected:
    ProfileFileTest() { profile.path = support::fromFsPath(dir.file("test.ini")); }

    void write(const std::string& bytes) { test::writeFile(dir.file("test.ini"), bytes); }
    std::string content() { return test::readFile(dir.file("test.ini")); }
    bool exists() { return std::filesystem::exists(dir.file("test.ini")); }

    test::TempDir dir;
    ProfileFile profile;
};

TEST_F(ProfileFileTest, ReadsLikeTheProfileFunctions) {
    // "ゾ" ends in 0x5D (']') and "ソ" in 0x5C: neither may end a name.
    write(
        "; comment=1\r\n"
        "outside=0\r\n"
        "[Param]\r\n"
        "  DataFile  =  .\\DATA\\QBX.DAT  \r\n"
        "Quoted=\"  a b  \"\r\n"
        "Single='x'\r\n"
        "Half=\"x\r\n"
        ";Hidden=1\r\n"
        "NoEquals\r\n"
        "Dup=first\r\n"
        "dup=second\r\n"
        "[ PARAM ]\r\n"
        "Later=1\r\n"
        "[" +
        sj("ゾ") + "]\n" + sj("ソ") + "=" + sj("表") + "\n" +
        "[Empty]\r\n"
        "Blank=\r\n");
    struct Case {
        std::string section, key, expected;
    };
    const std::vector<Case> cases = {
        {"param", "DATAFILE", ".\\DATA\\QBX.DAT"},
        {"Param", "Quoted", "  a b  "},
        {"Param", "Single", "x"},
        {"Param", "Half", "\"x"},
        {"Param", "Dup", "first"},
        {"Param", "Hidden", "<def>"},
        {"Param", ";Hidden", "<def>"},
        {"Param", "NoEquals", "<def>"},
        {"Param", "Later", "<def>"},  // only the first of two equal sections counts
        {"Param", "outside", "<def>"},
        {"", "outside", "<def>"},
        {sj("ゾ"), sj("ソ"), sj("表")},
        {"Empty", "Blank", ""},
        {"Missing", "Key", "<def>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(profile.GetString(c.section, c.key, "<def>", {}, false), c.expected)
            << c.section << "/" << c.key;
    }
}

TEST_F(ProfileFileTest, GetIntReadsLeadingDigitsWithSignOrHex) {
    struct Case {
        const char* stored;
        int expected;
    };
    const std::vector<Case> cases = {
        {"12", 12},
        {" -7 ", -7},
        {"+3", 3},
        {"12abc", 12},
        {"abc", 0},
        {"", 99},
        {"- 5", 0},
        {"4294967295", -1},
        {"2147483648", -2147483647 - 1},
        // Hexadecimal after "0x", as the profile functions read it.
        {"0x1F", 31},
        {" 0X1fz", 31},
        {"-0x10", -16},
        {"0x", 0},
        {"0xFFFFFFFF", -1},
        {"x1F", 0},
    };
    for (const auto& c : cases) {
        write(std::string("[S]\nv=") + c.stored + "\n");
        EXPECT_EQ(profile.GetInt("S", "v", 99, {}, false), c.expected) << c.stored;
    }
    EXPECT_EQ(profile.GetInt("S", "missing", 99, {}, false), 99);
}

TEST_F(ProfileFileTest, LongValuesAreCutAt4999Bytes) {
    write("[S]\nlong=" + std::string(6000, 'v') + "\n" + "mb=" + std::string(4998, 'a') + sj("表") +
          "tail\n");
    EXPECT_EQ(profile.GetString("S", "long", "", {}, false), std::string(4999, 'v'));
    // A double-byte character is never split at the limit.
    EXPECT_EQ(profile.GetString("S", "mb", "", {}, false), std::string(4998, 'a'));
    const std::string longDefault(6000, 'd');
    EXPECT_EQ(profile.GetString("S", "none", longDefault, {}, false), std::string(4999, 'd'));
}

TEST_F(ProfileFileTest, BrokenFilesGiveDefaults) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 151 + 7) % 256);
    garbage += "\x81";  // a lead byte at the very end
    const std::vector<std::string> contents = {"", garbage, "[S", "[S]\n=\n==\n[", "\0\0\0"};
    for (const auto& c : contents) {
        write(c);
        EXPECT_EQ(profile.GetString("S", "k", "def", {}, false), "def");
        EXPECT_EQ(profile.GetInt("S", "k", 7, {}, false), 7);
    }
    // A folder where the file should be: nothing to read, nothing written.
    std::filesystem::remove(dir.file("test.ini"));
    std::filesystem::create_directory(dir.file("test.ini"));
    EXPECT_EQ(profile.GetString("S", "k", "def"), "def");
    profile.WriteString("S", "k", "v");
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("test.ini")));
}

// The profile functions drop the trailing blanks of a default, also in what
// they write back.
TEST_F(ProfileFileTest, DefaultLosesItsTrailingBlanks) {
    EXPECT_EQ(profile.GetString("S", "k", "  def \t ", {}, false), "  def");
    EXPECT_EQ(profile.GetString("S", "k", "   "), "");
    EXPECT_EQ(profile.GetString("S", "t", "ab  "), "ab");
    EXPECT_EQ(content(), "[S]\r\nk=\r\nt=ab\r\n");
}

TEST_F(ProfileFileTest, WriteBackOfDefaults) {
    EXPECT_EQ(profile.GetString("S", "k", "def", {}, false), "def");
    EXPECT_FALSE(exists());
    EXPECT_EQ(profile.GetString("S", "k", "def"), "def");
    EXPECT_EQ(profile.GetInt("S", "n", 8), 8);
    EXPECT_EQ(content(), "[S]\r\nk=def\r\nn=8\r\n");

    // A value that differs from the default is left alone; a value that
    // reads as the default is rewritten in its plain form.
    write("[S]\nk=other\nn=\"8\"\nm=junk\n");
    EXPECT_EQ(profile.GetString("S", "k", "def"), "other");
    EXPECT_EQ(profile.GetInt("S", "n", 8), 8);
    EXPECT_EQ(profile.GetInt("S", "m", 0), 0);
    EXPECT_EQ(content(), "[S]\nk=other\nn=8\nm=0\n");

    // Another file than the own path.
    const std::string other = support::fromFsPath(dir.file("other.ini"));
    EXPECT_EQ(profile.GetInt("X", "y", 3, other), 3);
    EXPECT_EQ(test::readFile(dir.file("other.ini")), "[X]\r\ny=3\r\n");
}

TEST_F(ProfileFileTest, WritesKeepEveryOtherLine) {
    const std::string before =
        "; settings\n"
        "[A]\n"
        "x=1\n"
        "; keep me\n"
        "\n"
        "[B]\n"
        "Y = old\n"
        "\xFF\xFE garbage\n";
    write(before);
    profile.WriteString("a", "new", "n");
    profile.WriteString("b", "y", "changed");
    profile.WriteInt("C", "z", -5);
    EXPECT_EQ(content(),
              "; settings\n"
              "[A]\n"
              "x=1\n"
              "; keep me\n"
              "new=n\n"
              "\n"
              "[B]\n"
              "Y=changed\n"
              "\xFF\xFE garbage\n"
              "[C]\n"
              "z=-5\n");
}

// A file with LF line ends whose lines end in a stray CR as well, once
// after a double-byte lead byte: another key's write keeps those bytes, so
// the values read the same before and after.
TEST_F(ProfileFileTest, WritesKeepStrayCarriageReturnsOfOtherLines) {
    const std::string before = "[A]\nb=x\x95\r\nc=y \r\n";
    write(before);
    const std::string b = profile.GetString("A", "b", "", {}, false);
    profile.WriteString("Z", "k", "v");
    EXPECT_EQ(content(), before + "[Z]\nk=v\n");
    EXPECT_EQ(profile.GetString("A", "b", "", {}, false), b);
    EXPECT_EQ(profile.GetString("A", "c", "", {}, false), "y");
}

TEST_F(ProfileFileTest, BatchWritesOnceWhenTheOutermostScopeEnds) {
    write("; mine\n[S]\nk=old\n");
    {
        ProfileFile::Batch outer(profile);
        profile.WriteString("S", "k", "new");
        {
            ProfileFile::Batch inner(profile);
            EXPECT_EQ(profile.GetInt("S", "n", 4), 4);
        }
        EXPECT_EQ(content(), "; mine\n[S]\nk=old\n");
        EXPECT_EQ(profile.GetString("S", "k", "", {}, false), "new");
    }
    EXPECT_EQ(content(), "; mine\n[S]\nk=new\nn=4\n");
}

TEST_F(ProfileFileTest, ValuesCannotBreakTheFileApart) {
    profile.WriteString("A", "k", "x\r\n[B]\r\ny=1");
    EXPECT_EQ(profile.GetString("B", "y", "def", {}, false), "def");
    EXPECT_EQ(profile.GetString("A", "k", "", {}, false), "x  [B]  y=1");
    const std::string withNul("a\0b", 3);
    profile.WriteString("A", "n", withNul);
    EXPECT_EQ(profile.GetString("A", "n", "", {}, false), "a b");
}

TEST_F(ProfileFileTest, PlacementNeedsAllTenNumbers) {
    profile.placement = {1, 3, -1, -2, 10, 20, 100, 200, 900, 700};
    profile.SavePlacement();
    EXPECT_EQ(profile.GetString("Window", "Placement", "", {}, false),
              "1 , 3 , -1 , -2 , 10 , 20 , 100 , 200 , 900 , 700");
    ProfileFile reader;
    reader.path = profile.path;
    reader.LoadPlacement();
    ASSERT_TRUE(reader.placementValid);
    EXPECT_EQ(reader.placement.showCmd, 3u);
    EXPECT_EQ(reader.placement.minY, -2);
    EXPECT_EQ(reader.placement.bottom, 700);

    for (const char* text : {"", "1 , 3 , -1 , -2 , 10 , 20 , 100 , 200 , 900",
                             "1 , 3 , x , -2 , 10 , 20 , 100 , 200 , 900 , 700"}) {
        profile.WriteString("Window", "Placement", text);
        ProfileFile partial;
        partial.path = profile.path;
        partial.LoadPlacement();
        EXPECT_FALSE(partial.placementValid) << text;
    }
}

TEST_F(ProfileFileTest, LocateBuildsThePathFromKindNameAndFolder) {
    support::setProgramFolder(dir.path().string());
    const std::string folder = support::fromFsPath(dir.path().string());
    profile.Locate(ProfileFile::Kind::ProgramFolder, kMainProfileName);
    EXPECT_EQ(profile.path, folder + "/PLMView.INI");
    EXPECT_EQ(profile.programFolder, folder);
    EXPECT_EQ(profile.programBaseName, "test_settings");
    profile.Locate(ProfileFile::Kind::ProgramFolder);
    EXPECT_EQ(profile.path, folder + "/test_settings.INI");
    profile.Locate(ProfileFile::Kind::Given, "system.ini", "/etc/plm/");
    EXPECT_EQ(profile.path, "/etc/plm/system.ini");
    profile.Locate(ProfileFile::Kind::Given, "x", "C:\\" + sj("ソ"));
    EXPECT_EQ(profile.path, "C:\\" + sj("ソ") + "/x.INI");
    profile.Locate(ProfileFile::Kind::Path, "/tmp/a.ini");
    EXPECT_EQ(profile.path, "/tmp/a.ini");
    EXPECT_FALSE(profile.tempFolder.empty());
    EXPECT_NE(profile.tempFolder.back(), '/');
    support::setProgramFolder("");
}

TEST_F(ProfileFileTest, MakeAbsoluteAndMakeRelative) {
    profile.programFolder = "/home/u/PLMView";
    struct Case {
        std::string path, base, absolute, relative;
    };
    const std::vector<Case> cases = {
        {".\\DATA\\QBX.DAT", "", "/home/u/PLMView\\DATA\\QBX.DAT", ".\\DATA\\QBX.DAT"},
        {"/home/u/PLMView/DATA/Q.DAT", "", "/home/u/PLMView/DATA/Q.DAT", "./DATA/Q.DAT"},
        {"/home/u/PLMView", "", "/home/u/PLMView", "."},
        {"/home/u/plmview/x", "", "/home/u/plmview/x", "/home/u/plmview/x"},
        {"/home/u/PLMView2/x", "", "/home/u/PLMView2/x", "/home/u/PLMView2/x"},
        {"DATA\\QBX.DAT", "", "DATA\\QBX.DAT", "DATA\\QBX.DAT"},
        {"", "", "", ""},
        {".\\a", "/base", "/base\\a", ".\\a"},
        {"/base/a", "/base/", "/base/a", "./a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(profile.MakeAbsolute(c.path, c.base), c.absolute) << c.path;
        EXPECT_EQ(profile.MakeRelative(profile.MakeAbsolute(c.path, c.base), c.base), c.relative)
            << c.path;
    }
}

}  // namespace
}  // namespace plm::settings
