#include "model/customer_exchange.h"

#include <memory>
#include <system_error>

#include "model/data_file.h"
#include "support/paths.h"
#include "support/staged_file.h"
#include "support/text_codec.h"

namespace plm::model {

bool exportCustomer(const Customer& customer, const std::string& path, ErrorReporter& reporter,
                    bool replace) {
    // A tree of its own: the line settings in use stay on this installation.
    CustomerTree single;
    single.customers.insertNode(customer);
    // Saved into a file of its own beside the target, which then takes the
    // name: a link at the name is replaced, never written through.
    const std::string resolved = resolveDataPath(path);
    support::CreateFolderPath(support::folderOf(resolved));
    std::unique_ptr<support::StagedFile> staged;
    try {
        staged = std::make_unique<support::StagedFile>(support::toFsPath(resolved));
        staged->closeFd();
    } catch (const std::system_error& e) {
        reporter.report(openFailure(resolved, e.code().value()).text(), MessageIcon::Information);
        return false;
    }
    if (!single.save(support::fromFsPath(staged->tempPath()), reporter))
        return false;
    try {
        staged->commit(replace);
    } catch (const std::system_error& e) {
        const std::string text =
            e.code() == std::errc::file_exists
                ? support::format(support::sj("指定のファイルは既に存在しています\n%s").c_str(),
                                  resolved.c_str())
                : openFailure(resolved, e.code().value()).text();
        reporter.report(text, MessageIcon::Information);
        return false;
    }
    return true;
}

std::vector<std::string> mergeCustomers(CustomerTree& target, const CustomerTree& source,
                                        ErrorReporter& reporter) {
    std::vector<std::string> given;
    for (const Customer& customer : source.customers) {
        std::string candidate = customer.name;
        int k = 0;
        while (target.customers.find(candidate) >= 0) {
            ++k;
            candidate = support::format("%s_%d", customer.name.c_str(), k);
        }
        if (k > 0) {
            reporter.report(support::format(support::sj("取り込もうとしているデータは既に登録さ"
                                                        "れています\n次の名前に変更して取り込み"
                                                        "ます\n%s")
                                                .c_str(),
                                            candidate.c_str()),
                            MessageIcon::Plain);
        }
        Customer copy(customer);
        copy.name = candidate;
        target.customers.insertNode(std::move(copy));
        given.push_back(candidate);
    }
    return given;
}

std::vector<std::string> importCustomers(CustomerTree& target, const std::string& path,
                                         ErrorReporter& reporter) {
    CustomerTree loaded;
    loaded.devType = target.devType;
    // The chosen file is only read: a file that is no export file stays as it is.
    if (!loaded.load(path, reporter, DamagedFile::Leave))
        return {};
    return mergeCustomers(target, loaded, reporter);
}

}  // namespace plm::model
