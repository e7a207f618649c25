#include "app/startup/import_offer.h"

#include <QFile>
#include <QFileInfo>

#include "app/document/plm_view_doc.h"
#include "app/shell/app_context.h"
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

bool offerImport(CPLMViewDoc& doc, const QString& path) {
    const std::string stored = support::fromFsPath(path.toStdString());
    if (!ui::prompter().askYesNo(support::sj("次のファイルのデータを取り込みますか？\n") + stored))
        return false;
    if (!doc.checkDataFileAvailable())
        return false;
    doc.importFile(stored);
    return true;
}

}  // namespace plm::app
