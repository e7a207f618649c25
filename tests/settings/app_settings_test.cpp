#include "settings/app_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::settings {
namespace {

using support::sj;

class AppSettingsTest : public ::testing::Test {
  protected:
    AppSettingsTest() { support::setProgramFolder(dir.path().string()); }
    ~AppSettingsTest() override { support::setProgramFolder(""); }

    void load(AppSettings& s) {
        s.Locate(ProfileFile::Kind::ProgramFolder, kMainProfileName);
        s.Load();
    }
    std::string mainIni() { return test::readFile(dir.file("PLMView.INI")); }
    std::string systemIni() { return test::readFile(dir.file("system.ini")); }

    test::TempDir dir;
};

TEST_F(AppSettingsTest, FirstRunWritesBothFilesWithEveryKey) {
    AppSettings s;
    EXPECT_EQ(s.itemName1, sj("需要家名称"));  // before any file is read
    load(s);
    std::string expected =
        "[Window]\r\nPlacement=\r\n"
        "[Param]\r\nDataFile=.\\DATA\\QBX.DAT\r\nSelCustomer=\r\nSelCableName=\r\n"
        "PrtBlankTop=5\r\nPrtBlankLeft=5\r\nPrtBlankBottom=5\r\nPrtBlankRight=5\r\n"
        "PrtJudgOut=1\r\nSerialReadBuffSize=0\r\n"
        "[TextOut]\r\nDir=\r\nFile=\r\nChkExe=0\r\nRunningExe=\r\n"
        "[Filepath]\r\nSaveDir=C:\\\r\nSaveFile=CustData.QBX\r\n"
        "[DefCnd]\r\nDevType=\r\nMcType=\r\nMcNum=\r\nMcDate=\r\nMcMaker=\r\n"
        "SesshokuR=\r\nSesshokuS=\r\nSesshokuT=\r\nVacuumR=\r\nVacuumS=\r\nVacuumT=\r\n"
        "Weather=\r\nHum=\r\nTemp=\r\nComment=\r\n";
    for (int i = 0; i < 8; ++i)
        expected += "ChComment" + std::to_string(i) + "=\r\n";
    expected += "[Debug]\r\n" + sj("通信(0:リリース,1:デバック)") + "=0\r\n" +
                sj("通信ログ出力(0:しない,1:する)") + "=0\r\n" +
                "[Journal]\r\nMaxMB=100\r\nMaxDays=90\r\n";
    EXPECT_EQ(mainIni(), expected);
    EXPECT_EQ(systemIni(),
              "[Setting]\r\nDeviceType=8\r\nChattering=1\r\nMeasureType=1\r\n"
              "MeasureOpe=1\r\nOutsideTrigger=1\r\nItemName1=" +
                  sj("需要家名称") + "\r\nItemName2=" + sj("試験回路名称") +
                  "\r\nItemName3=" + sj("測定ﾃﾞｰﾀ名称") +
                  "\r\nPrintTitle=" + sj("クロノメイト試験結果") + "\r\nChCommentLen=14\r\n");
    EXPECT_EQ(s.deviceTypeIndex, 3);
    EXPECT_EQ(s.chCommentLen, 16);
    EXPECT_EQ(s.itemName3, sj("測定ﾃﾞｰﾀ名称"));
    EXPECT_FALSE(s.placementValid);
    EXPECT_EQ(s.dataFilePath(), support::fromFsPath(dir.path().string()) + "\\DATA\\QBX.DAT");

    // A second start finds every key and changes nothing.
    const std::string mainBefore = mainIni();
    AppSettings again;
    load(again);
    EXPECT_EQ(mainIni(), mainBefore);
}

TEST_F(AppSettingsTest, DeviceProfileValuesAreMapped) {
    struct Case {
        const char* deviceType;
        int index;
    };
    const std::vector<Case> cases = {{"3", 0}, {"4", 1}, {"6", 2}, {"8", 3},
                                     {"5", 3}, {"0", 3}, {"x", 3}};
    for (const auto& c : cases) {
        test::writeFile(dir.file("system.ini"), std::string("[Setting]\r\nDeviceType=") +
                                                    c.deviceType +
                                                    "\r\nChCommentLen=20\r\nChattering=0\r\n");
        AppSettings s;
        load(s);
        EXPECT_EQ(s.deviceTypeIndex, c.index) << c.deviceType;
        EXPECT_EQ(s.chCommentLen, 22);
        EXPECT_EQ(s.chattering, 0);
        EXPECT_EQ(s.measureOpe, 1);
    }
}

TEST_F(AppSettingsTest, SaveWritesTheUserValuesOnly) {
    AppSettings s;
    load(s);
    const std::string systemBefore = systemIni();
    s.dataFile = "/data/" + sj("需要家") + ".DAT";
    s.prtBlankTop = 12;
    s.defSesshoku[2] = "17";
    s.defChComment[7] = sj("ｺﾒﾝﾄ");
    s.serialReadBuffSize = 4096;
    s.commLog = 1;
    s.deviceTypeIndex = 0;
    s.placement = {0, 1, -1, -1, -1, -1, 10, 20, 810, 620};
    s.Save();
    EXPECT_EQ(systemIni(), systemBefore);

    AppSettings back;
    load(back);
    EXPECT_EQ(back.dataFile, s.dataFile);
    EXPECT_EQ(back.prtBlankTop, 12);
    EXPECT_EQ(back.defSesshoku[2], "17");
    EXPECT_EQ(back.defChComment[7], sj("ｺﾒﾝﾄ"));
    EXPECT_EQ(back.serialReadBuffSize, 0);
    EXPECT_EQ(back.commLog, 0);
    EXPECT_EQ(back.deviceTypeIndex, 3);
    ASSERT_TRUE(back.placementValid);
    EXPECT_EQ(back.placement.right, 810);
}

// Every integer key of both files, read with the extremes a hand-edited
// file can hold. Nothing that is read may overflow (the ASan/UBSan build
// runs this); a value whose use adds to it is held within its range.
TEST_F(AppSettingsTest, ExtremeIntegersOfEveryKeyAreReadWithoutOverflow) {
    struct Key {
        const char* file;
        const char* section;
        std::string key;
        int AppSettings::*field;
    };
    const std::vector<Key> keys = {
        {"PLMView.INI", "Param", "ShownIndex", &AppSettings::shownIndex},
        {"PLMView.INI", "Param", "PrtBlankTop", &AppSettings::prtBlankTop},
        {"PLMView.INI", "Param", "PrtBlankLeft", &AppSettings::prtBlankLeft},
        {"PLMView.INI", "Param", "PrtBlankBottom", &AppSettings::prtBlankBottom},
        {"PLMView.INI", "Param", "PrtBlankRight", &AppSettings::prtBlankRight},
        {"PLMView.INI", "Param", "PrtJudgOut", &AppSettings::prtJudgOut},
        {"PLMView.INI", "Param", "SerialReadBuffSize", &AppSettings::serialReadBuffSize},
        {"PLMView.INI", "TextOut", "ChkExe", &AppSettings::textOutChkExe},
        {"PLMView.INI", "Debug", sj("通信(0:リリース,1:デバック)"), &AppSettings::commDebug},
        {"PLMView.INI", "Debug", sj("通信ログ出力(0:しない,1:する)"), &AppSettings::commLog},
        {"PLMView.INI", "Journal", "MaxMB", &AppSettings::journalMaxMB},
        {"PLMView.INI", "Journal", "MaxDays", &AppSettings::journalMaxDays},
        {"system.ini", "Setting", "DeviceType", &AppSettings::deviceTypeIndex},
        {"system.ini", "Setting", "Chattering", &AppSettings::chattering},
        {"system.ini", "Setting", "MeasureType", &AppSettings::measureType},
        {"system.ini", "Setting", "MeasureOpe", &AppSettings::measureOpe},
        {"system.ini", "Setting", "OutsideTrigger", &AppSettings::outsideTrigger},
        {"system.ini", "Setting", "ChCommentLen", &AppSettings::chCommentLen},
    };
    struct Value {
        const char* text;
        int read;  // as the profile functions give it
    };
    const std::vector<Value> values = {
        {"2147483647", INT_MAX},   {"2147483646", INT_MAX - 1}, {"-2147483648", INT_MIN},
        {"-2147483647", -INT_MAX}, {"4294967295", -1},          {"0x7FFFFFFF", INT_MAX},
        {"0xFFFFFFFF", -1},        {"99999999999", 1215752191}, {"-99999999999", -1215752191},
    };
    for (const Key& k : keys) {
        for (const Value& v : values) {
            SCOPED_TRACE(std::string(k.file) + " " + support::toUtf8(k.key) + "=" + v.text);
            std::filesystem::remove(dir.file("PLMView.INI"));
            std::filesystem::remove(dir.file("system.ini"));
            test::writeFile(dir.file(k.file),
                            std::string("[") + k.section + "]\r\n" + k.key + "=" + v.text + "\r\n");
            AppSettings s;
            load(s);
            const int got = s.*k.field;
            if (k.key == "ChCommentLen") {
                EXPECT_EQ(got, std::clamp(v.read, 0, AppSettings::kMaxChCommentLen) + 2);
            } else if (k.key == "DeviceType") {
                EXPECT_EQ(got, deviceTypeIndexOf(v.read));
            } else {
                EXPECT_EQ(got, v.read);
            }
        }
    }
}

}  // namespace
}  // namespace plm::settings
