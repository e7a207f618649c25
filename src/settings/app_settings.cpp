#include "settings/app_settings.h"

#include <algorithm>

#include "support/text_codec.h"

namespace plm::settings {
namespace {

const char* const kParam = "Param";
const char* const kTextOut = "TextOut";
const char* const kFilepath = "Filepath";
const char* const kDefCnd = "DefCnd";
const char* const kDebug = "Debug";
const char* const kSetting = "Setting";
const char* const kJournal = "Journal";
const char* const kBackup = "Backup";
const char* const kArchive = "Archive";

const std::string& commDebugKey() {
    return support::sj("通信(0:リリース,1:デバック)");
}
const std::string& commLogKey() {
    return support::sj("通信ログ出力(0:しない,1:する)");
}

std::string chCommentKey(int i) {
    return support::format("ChComment%d", i);
}

const char* const kSesshokuKeys[] = {"SesshokuR", "SesshokuS", "SesshokuT"};
const char* const kVacuumKeys[] = {"VacuumR", "VacuumS", "VacuumT"};

const std::string& defaultItemName1() {
    return support::sj("需要家名称");
}
const std::string& defaultItemName2() {
    return support::sj("試験回路名称");
}
const std::string& defaultItemName3() {
    return support::sj("測定ﾃﾞｰﾀ名称");
}
const std::string& defaultPrintTitle() {
    return support::sj("クロノメイト試験結果");
}

}  // namespace

int deviceTypeIndexOf(int channels) {
    switch (channels) {
        case 3:
            return 0;
        case 4:
            return 1;
        case 6:
            return 2;
        default:
            return 3;
    }
}

AppSettings::AppSettings()
    : itemName1(defaultItemName1()),
      itemName2(defaultItemName2()),
      itemName3(defaultItemName3()),
      printTitle(defaultPrintTitle()) {}

void AppSettings::Load() {
    {
        Batch batch(*this);
        loadMainProfile();
    }
    loadDeviceProfile();
}

void AppSettings::loadMainProfile() {
    LoadPlacement();
    dataFile = GetString(kParam, "DataFile", ".\\DATA\\QBX.DAT");
    selCustomer = GetString(kParam, "SelCustomer", "");
    selCableName = GetString(kParam, "SelCableName", "");
    // Written only once a measurement was shown: a first start writes the designed keys alone.
    shownCustomer = GetString(kParam, "ShownCustomer", "", {}, false);
    shownCableName = GetString(kParam, "ShownCableName", "", {}, false);
    shownDataName = GetString(kParam, "ShownDataName", "", {}, false);
    shownIndex = GetInt(kParam, "ShownIndex", -1, {}, false);
    shownStart = GetString(kParam, "ShownStart", "", {}, false);
    shownKind = GetInt(kParam, "ShownKind", -1, {}, false);
    textOutDir = GetString(kTextOut, "Dir", "");
    textOutFile = GetString(kTextOut, "File", "");
    textOutChkExe = GetInt(kTextOut, "ChkExe", 0);
    textOutRunningExe = GetString(kTextOut, "RunningExe", "");
    prtBlankTop = GetInt(kParam, "PrtBlankTop", 5);
    prtBlankLeft = GetInt(kParam, "PrtBlankLeft", 5);
    prtBlankBottom = GetInt(kParam, "PrtBlankBottom", 5);
    prtBlankRight = GetInt(kParam, "PrtBlankRight", 5);
    prtJudgOut = GetInt(kParam, "PrtJudgOut", 1);
    serialReadBuffSize = GetInt(kParam, "SerialReadBuffSize", 0);
    saveDir = GetString(kFilepath, "SaveDir", "C:\\");
    saveFile = GetString(kFilepath, "SaveFile", "CustData.QBX");
    defDevType = GetString(kDefCnd, "DevType", "");
    defMcType = GetString(kDefCnd, "McType", "");
    defMcNum = GetString(kDefCnd, "McNum", "");
    defMcDate = GetString(kDefCnd, "McDate", "");
    defMcMaker = GetString(kDefCnd, "McMaker", "");
    for (int i = 0; i < 3; ++i)
        defSesshoku[i] = GetString(kDefCnd, kSesshokuKeys[i], "");
    for (int i = 0; i < 3; ++i)
        defVacuum[i] = GetString(kDefCnd, kVacuumKeys[i], "");
    defWeather = GetString(kDefCnd, "Weather", "");
    defHum = GetString(kDefCnd, "Hum", "");
    defTemp = GetString(kDefCnd, "Temp", "");
    defComment = GetString(kDefCnd, "Comment", "");
    for (int i = 0; i < 8; ++i)
        defChComment[i] = GetString(kDefCnd, chCommentKey(i), "");
    commDebug = GetInt(kDebug, commDebugKey(), 0);
    commLog = GetInt(kDebug, commLogKey(), 0);
    journalMaxMB = GetInt(kJournal, "MaxMB", 100);
    journalMaxDays = GetInt(kJournal, "MaxDays", 90);
    // Read only: a first start writes the designed keys alone.
    backupFolder = GetString(kBackup, "Folder", ".\\DATA\\BACKUP", {}, false);
    backupKeepLast = GetInt(kBackup, "KeepLast", 20, {}, false);
    backupKeepDays = GetInt(kBackup, "KeepDays", 30, {}, false);
    backupKeepMonths = GetInt(kBackup, "KeepMonths", 12, {}, false);
    backupMaxMB = GetInt(kBackup, "MaxMB", 2000, {}, false);
    archiveConnection = GetString(kArchive, "Connection", "", {}, false);
    archiveInstallationId = GetString(kArchive, "InstallationId", "", {}, false);
    archiveInstallationName = GetString(kArchive, "InstallationName", "", {}, false);
    archiveIntervalMinutes = std::max(0, GetInt(kArchive, "IntervalMinutes", 0, {}, false));
    defIntervalMonths = std::clamp(GetInt(kDefCnd, "IntervalMonths", 0, {}, false), 0, 1200);
}

void AppSettings::saveArchive() {
    Batch batch(*this);
    WriteString(kArchive, "Connection", archiveConnection);
    WriteString(kArchive, "InstallationId", archiveInstallationId);
    WriteString(kArchive, "InstallationName", archiveInstallationName);
    WriteInt(kArchive, "IntervalMinutes", archiveIntervalMinutes);
}

void AppSettings::loadDeviceProfile() {
    ProfileFile device;
    device.path = programFolder + "/system.ini";
    Batch batch(device);
    deviceTypeIndex = deviceTypeIndexOf(device.GetInt(kSetting, "DeviceType", 8));
    chattering = device.GetInt(kSetting, "Chattering", 1);
    measureType = device.GetInt(kSetting, "MeasureType", 1);
    measureOpe = device.GetInt(kSetting, "MeasureOpe", 1);
    outsideTrigger = device.GetInt(kSetting, "OutsideTrigger", 1);
    itemName1 = device.GetString(kSetting, "ItemName1", defaultItemName1());
    itemName2 = device.GetString(kSetting, "ItemName2", defaultItemName2());
    itemName3 = device.GetString(kSetting, "ItemName3", defaultItemName3());
    printTitle = device.GetString(kSetting, "PrintTitle", defaultPrintTitle());
    chCommentLen = std::clamp(device.GetInt(kSetting, "ChCommentLen", 14), 0, kMaxChCommentLen) + 2;
}

void AppSettings::Save() {
    Batch batch(*this);
    SavePlacement();
    WriteString(kParam, "DataFile", dataFile);
    WriteString(kParam, "SelCustomer", selCustomer);
    WriteString(kParam, "SelCableName", selCableName);
    if (shownIndex >= 0) {
        WriteString(kParam, "ShownCustomer", shownCustomer);
        WriteString(kParam, "ShownCableName", shownCableName);
        WriteString(kParam, "ShownDataName", shownDataName);
        WriteInt(kParam, "ShownIndex", shownIndex);
        WriteString(kParam, "ShownStart", shownStart);
        WriteInt(kParam, "ShownKind", shownKind);
    }
    WriteString(kTextOut, "Dir", textOutDir);
    WriteString(kTextOut, "File", textOutFile);
    WriteInt(kTextOut, "ChkExe", textOutChkExe);
    WriteString(kTextOut, "RunningExe", textOutRunningExe);
    WriteInt(kParam, "PrtBlankTop", prtBlankTop);
    WriteInt(kParam, "PrtBlankLeft", prtBlankLeft);
    WriteInt(kParam, "PrtBlankBottom", prtBlankBottom);
    WriteInt(kParam, "PrtBlankRight", prtBlankRight);
    WriteInt(kParam, "PrtJudgOut", prtJudgOut);
    WriteString(kFilepath, "SaveDir", saveDir);
    WriteString(kFilepath, "SaveFile", saveFile);
    WriteString(kDefCnd, "DevType", defDevType);
    WriteString(kDefCnd, "McType", defMcType);
    WriteString(kDefCnd, "McNum", defMcNum);
    WriteString(kDefCnd, "McDate", defMcDate);
    WriteString(kDefCnd, "McMaker", defMcMaker);
    for (int i = 0; i < 3; ++i)
        WriteString(kDefCnd, kSesshokuKeys[i], defSesshoku[i]);
    for (int i = 0; i < 3; ++i)
        WriteString(kDefCnd, kVacuumKeys[i], defVacuum[i]);
    WriteString(kDefCnd, "Weather", defWeather);
    WriteString(kDefCnd, "Hum", defHum);
    WriteString(kDefCnd, "Temp", defTemp);
    WriteString(kDefCnd, "Comment", defComment);
    for (int i = 0; i < 8; ++i)
        WriteString(kDefCnd, chCommentKey(i), defChComment[i]);
}

}  // namespace plm::settings
