#include "app/main_window/import_offer.h"

#include <QFile>
#include <QFileInfo>

#include "app/document/plm_view_doc.h"
#include "app/shell/app_context.h"
#include "link/captured_file_source.h"
#include "model/data_file.h"
#include "support/paths.h"
#include "support/text_codec.h"
#include "ui/prompter.h"

namespace plm::app {

namespace {

// A data file opens with its signature as a counted string: one length byte,
// then the text.
bool startsLikeDataFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const std::string_view signature = model::kDataFileSignature;
    const QByteArray head = file.read(static_cast<qint64>(signature.size()) + 1);
    return head.size() == static_cast<qsizetype>(signature.size()) + 1 &&
           static_cast<unsigned char>(head[0]) == signature.size() &&
           std::string_view(head.constData() + 1, signature.size()) == signature;
}

}  // namespace

bool isExportFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    return info.suffix().compare("qbx", Qt::CaseInsensitive) == 0 || startsLikeDataFile(path);
}

bool isCapturedTransferFile(const QString& path) {
    // Enough lines to tell a captured transfer from other text, few enough to
    // read at once on a drop.
    constexpr qint64 kHeadBytes = 64 * 1024;
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(kHeadBytes);
    return link::CapturedFileSource::looksLikeCapturedText(
        std::string_view(head.constData(), static_cast<size_t>(head.size())), file.atEnd());
}

std::vector<std::string> offerImport(CPLMViewDoc& doc, const QString& path) {
    const std::string stored = support::fromFsPath(path.toStdString());
    if (!ui::prompter().askYesNo(support::sj("次のファイルのデータを取り込みますか？\n") + stored))
        return {};
    if (!doc.checkDataFileAvailable())
        return {};
    return doc.importFile(stored);
}

}  // namespace plm::app
