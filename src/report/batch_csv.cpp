#include "report/batch_csv.h"

#include <memory>
#include <system_error>

#include "support/cx_exception.h"
#include "support/file_lock.h"
#include "support/log_writer.h"
#include "support/paths.h"
#include "support/staged_file.h"
#include "support/text_codec.h"

namespace plm::report {
namespace {

std::string joinPath(const std::string& folder, const std::string& fileName) {
    if (folder.empty() || folder.back() == '/' || support::endsWithBackslash(folder))
        return folder + fileName;
    return folder + "/" + fileName;
}

CxException existingFile(const std::string& path) {
    return CxException(support::format(
        support::sj("指定のファイルは既に存在しています\n%s").c_str(), path.c_str()));
}

void writeWhole(const std::string& path, const std::string& bytes, bool overwrite) {
    const std::string fsPath = support::toFsPath(path);
    std::unique_ptr<support::StagedFile> file;
    try {
        file = std::make_unique<support::StagedFile>(fsPath);
    } catch (const std::system_error&) {
        // Logged on one line, as the single-file writer logs its open failures.
        support::AppLog().writeLine("OpenError " + path);
        throw CxException(support::format("OpenError\n%s", path.c_str()));
    }
    support::writeAll(file->fd(), bytes.data(), bytes.size());
    try {
        file->commit(overwrite);
    } catch (const std::system_error& e) {
        if (e.code() == std::errc::file_exists)
            throw existingFile(path);
        throw;
    }
}

}  // namespace

std::vector<std::string> existingBatchFiles(const std::string& folder,
                                            const std::vector<std::string>& fileNames) {
    std::vector<std::string> existing;
    for (const std::string& name : fileNames) {
        const std::string path = joinPath(folder, name);
        if (support::outputNameTaken(support::toFsPath(path)))
            existing.push_back(path);
    }
    return existing;
}

BatchCsvResult writeBatchCsv(const std::string& folder, const CsvLayout& layout,
                             const std::vector<BatchItem>& items, bool overwrite,
                             const BatchProgress& progress,
                             const std::function<void(const std::string&)>& written) {
    BatchCsvResult result;
    support::CreateFolderPath(folder);
    const std::vector<std::string> names = batchCsvFileNames(items);
    const int total = static_cast<int>(items.size());
    for (int i = 0; i < total; ++i) {
        const BatchItem& item = items[static_cast<size_t>(i)];
        if (progress && !progress(i, total, item)) {
            result.cancelled = true;
            break;
        }
        const std::string path = joinPath(folder, names[static_cast<size_t>(i)]);
        const CsvNames csvNames{item.level1, item.level2, item.level3};
        writeWhole(path, csvText(layout, csvNames, *item.record), overwrite);
        result.written.push_back(path);
        if (written)
            written(path);
    }
    return result;
}

}  // namespace plm::report
