#pragma once

#include <string>
#include <vector>

#include "model/customer_tree.h"

// Moving customers between installations as export files: data files
// holding one customer and the default line settings.
namespace plm::model {

// Writes `customer` with its whole subtree to `path` (stored CP932 form) as a
// data file of its own with default LineSettings. The file is written beside
// the path and renamed onto it when whole, so a symbolic link at the path is
// replaced, never followed. Without `replace` an existing file is kept
// ("指定のファイルは既に存在しています\n%s"). Failures are reported (the file
// at the path stays as it was) and give false.
bool exportCustomer(const Customer& customer, const std::string& path, ErrorReporter& reporter,
                    bool replace = true);

// Adds every customer of `source`, in name order, to `target`. A customer
// whose name is taken gets the first free "%s_%d" name (Tokyo_1, Tokyo_2 ...,
// always built from its own name), announced once with
// "取り込もうとしているデータは既に登録されています\n次の名前に変更して取り込みます\n%s".
// The source's LineSettings are ignored. Returns the names given, in order.
std::vector<std::string> mergeCustomers(CustomerTree& target, const CustomerTree& source,
                                        ErrorReporter& reporter);

// Loads the file at `path` into a separate tree and merges its customers into
// `target`. A failed load (reported; the file stays where it is) or a file
// without customers changes nothing. The data file is not saved here.
std::vector<std::string> importCustomers(CustomerTree& target, const std::string& path,
                                         ErrorReporter& reporter);

}  // namespace plm::model
