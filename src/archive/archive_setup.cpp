#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "analysis/limits_file.h"
#include "archive/archive_connection.h"
#include "archive/archive_sync.h"
#include "support/cx_exception.h"
#include "support/paths.h"
#include "support/text_codec.h"

// Who this installation is to the archive, from [Archive] of the settings.
namespace plm::archive {
namespace {

std::string newUuid() {
    unsigned char b[16] = {};
    std::ifstream random("/dev/urandom", std::ios::binary);
    random.read(reinterpret_cast<char*>(b), sizeof b);
    if (!random)
        throw std::runtime_error("cannot read /dev/urandom");
    b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40);
    b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}

std::string userAtHost() {
    const passwd* pw = getpwuid(getuid());
    std::string user = pw && pw->pw_name ? pw->pw_name : "user";
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0)
        std::snprintf(host, sizeof host, "localhost");
    return user + "@" + host;
}

}  // namespace

std::string defaultStateFile() {
    return support::programFolder() + "/ARCHIVE.SYN";
}

SyncSetup syncSetup(settings::AppSettings& settings, const std::string& dataFile,
                    const std::string& connection, bool dryRun) {
    SyncSetup setup;
    setup.connection = connection.empty() ? settings.archiveConnection : connection;
    if (setup.connection.empty()) {
        throw CxException(support::sj(
            "アーカイブが設定されていません\nPLMView.INI の [Archive] Connection に接続先を設定して"
            "ください"));
    }
    checkConnectionText(setup.connection);
    if (settings.archiveInstallationId.empty() && dryRun) {
        setup.installationId = newUuid();
    } else {
        if (settings.archiveInstallationId.empty()) {
            settings.archiveInstallationId = newUuid();
            settings.saveArchive();
        }
        setup.installationId = settings.archiveInstallationId;
    }
    setup.installationName = settings.archiveInstallationName.empty()
                                 ? support::fromUtf8(userAtHost())
                                 : settings.archiveInstallationName;
    setup.dataFile = dataFile;
    setup.stateFile = defaultStateFile();
    setup.limitsFile = analysis::limitsFilePath();
    setup.devType = settings.deviceTypeIndex;
    return setup;
}

}  // namespace plm::archive
