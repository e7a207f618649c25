#pragma once

#include <array>
#include <string>

#include "settings/profile_file.h"

namespace plm::settings {

// The device profile holds the channel count; 3, 4 and 6 channels are
// indexes 0, 1, 2 and everything else is the eight-channel device. The index
// is also the device type code of a measurement.
int deviceTypeIndexOf(int channels);

// Every persistent setting of the program, read once at start-up (Load) and
// written once at a normal exit (Save). All strings are CP932.
class AppSettings : public ProfileFile {
  public:
    // Every field starts at its default, the captions included.
    AppSettings();

    void Load();
    void Save();

    // [Param], [Filepath]
    std::string dataFile = ".\\DATA\\QBX.DAT";
    std::string saveDir = "C:\\";
    std::string saveFile = "CustData.QBX";
    std::string selCustomer;
    std::string selCableName;
    // The measurement the chart showed last, shown again at the next start.
    std::string shownCustomer;
    std::string shownCableName;
    std::string shownDataName;
    int shownIndex = -1;
    // What that measurement is ("%Y/%m/%d %H:%M:%S" and its measureType):
    // another program may have filed older ones under the name meanwhile.
    std::string shownStart;
    int shownKind = -1;
    // [Debug]
    int commDebug = 0;
    int commLog = 0;
    // [Journal] the journal of received transfers keeps its files within
    // this many megabytes and days (0: no limit of that kind).
    int journalMaxMB = 100;
    int journalMaxDays = 90;
    // [Backup] earlier versions of the data file and LIMITS.INI: the folder
    // (a leading "." is the program folder) and what pruning keeps.
    std::string backupFolder = ".\\DATA\\BACKUP";
    int backupKeepLast = 20, backupKeepDays = 30, backupKeepMonths = 12, backupMaxMB = 2000;
    // [Archive] the team archive: a libpq connection string or service name
    // (empty: no archive), this installation's UUID (made at its first sync)
    // and name (empty: user@host), and the minutes between automatic syncs
    // (0: only when asked). Read only: a program that changes them writes
    // them with saveArchive, so a program without an archive never writes them.
    std::string archiveConnection;
    std::string archiveInstallationId;
    std::string archiveInstallationName;
    int archiveIntervalMinutes = 0;
    void saveArchive();
    // [TextOut]
    std::string textOutDir;
    std::string textOutFile;
    int textOutChkExe = 0;
    std::string textOutRunningExe;
    // [Param] print margins in millimetres
    int prtBlankTop = 5;
    int prtBlankLeft = 5;
    int prtBlankBottom = 5;
    int prtBlankRight = 5;
    int prtJudgOut = 1;
    int serialReadBuffSize = 0;
    // [DefCnd]
    std::string defDevType;
    std::string defMcType;
    std::string defMcNum;
    std::string defMcDate;
    std::string defMcMaker;
    std::array<std::string, 3> defSesshoku;
    std::array<std::string, 3> defVacuum;
    std::string defWeather;
    std::string defHum;
    std::string defTemp;
    std::string defComment;
    std::array<std::string, 8> defChComment;
    // [DefCnd] months between periodic tests of a test circuit whose limits
    // set none (0: none).
    int defIntervalMonths = 0;
    // system.ini [Setting]
    int deviceTypeIndex = 3;  // 0..3 for 3, 4, 6, 8 channels; equals the devType code
    int chattering = 1;
    int measureType = 1;
    int measureOpe = 1;
    int outsideTrigger = 1;
    std::string itemName1;   // defaults: "需要家名称"
    std::string itemName2;   // "試験回路名称"
    std::string itemName3;   // "測定ﾃﾞｰﾀ名称"
    std::string printTitle;  // "クロノメイト試験結果"
    int chCommentLen = 16;   // file value (0..kMaxChCommentLen) + 2
    // The longest channel comment a chart label shows. The file's value is
    // held within 0..this, so the label arithmetic (the value plus 2, times a
    // character width) stays in range whatever the file says.
    static constexpr int kMaxChCommentLen = 255;

    // Absolute stored path of the data file (MakeAbsolute of dataFile).
    std::string dataFilePath() const { return MakeAbsolute(dataFile); }

  private:
    void loadMainProfile();
    // system.ini in the program folder, read through a second profile object.
    void loadDeviceProfile();
};

}  // namespace plm::settings
