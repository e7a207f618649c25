#include "model/customer_exchange.h"

#include "support/text_codec.h"

namespace plm::model {

bool exportCustomer(const Customer& customer, const std::string& path, ErrorReporter& reporter) {
    // A tree of its own: the line settings in use stay on this installation.
    CustomerTree single;
    single.customers.insertNode(customer);
    return single.save(path, reporter);
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
    // The chosen file is only read: a file that is no export file stays as it is.
    if (!loaded.load(path, reporter, DamagedFile::Leave))
        return {};
    return mergeCustomers(target, loaded, reporter);
}

}  // namespace plm::model
