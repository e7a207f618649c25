#include "model/customer_exchange.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/temp_dir.h"
#include "model/data_file.h"
#include "support/text_codec.h"
#include "tree_test_util.h"

namespace plm::model {
namespace {

namespace fs = std::filesystem;
using support::sj;
using test::RecordingReporter;

std::string renameMessage(const std::string& name) {
    return sj("取り込もうとしているデータは既に登録されています\n次の名前に変更して取り込みます"
              "\n") +
           name;
}

std::vector<std::string> customerNames(const CustomerTree& tree) {
    std::vector<std::string> out;
    for (const auto& c : tree.customers)
        out.push_back(c.name);
    return out;
}

TEST(CustomerExchange, ExportHoldsOneCustomerWithDefaultLineSettings) {
    test::TempDir dir;
    CustomerTree tree;
    tree.lineSettings = {5, 9600, 7, 2, 2, 0};
    findOrAddMeasurementName(tree, "A", "t", "n").records.append(test::richRecord(1));
    findOrAddMeasurementName(tree, "B", "t", "n").records.append(test::richRecord(2));
    RecordingReporter reporter;
    ASSERT_TRUE(exportCustomer(*tree.customers.get("A"), dir.file("A.QBX"), reporter));

    CustomerTree back;
    ASSERT_TRUE(back.load(dir.file("A.QBX"), reporter));
    EXPECT_EQ(customerNames(back), std::vector<std::string>{"A"});
    EXPECT_EQ(back.lineSettings, LineSettings{});
    EXPECT_TRUE(findMeasurementName(back, "A", "t", "n")->records ==
                findMeasurementName(tree, "A", "t", "n")->records);
    EXPECT_TRUE(reporter.messages.empty());
}

TEST(CustomerExchange, TakenNamesGetTheFirstFreeSuffix) {
    CustomerTree target;
    target.lineSettings.port = 9;
    for (const char* name : {"tokyo", "Tokyo_1"})
        target.customers.findOrAdd(name);
    CustomerTree source;
    source.lineSettings.port = 2;
    findOrAddMeasurementName(source, "Tokyo", "t", "n").records.append(test::richRecord(1));
    source.customers.findOrAdd("Osaka");

    RecordingReporter reporter;
    auto given = mergeCustomers(target, source, reporter);
    EXPECT_EQ(given, (std::vector<std::string>{"Osaka", "Tokyo_2"}));
    EXPECT_EQ(customerNames(target),
              (std::vector<std::string>{"Osaka", "tokyo", "Tokyo_1", "Tokyo_2"}));
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].first, renameMessage("Tokyo_2"));
    EXPECT_EQ(reporter.messages[0].second, MessageIcon::Plain);
    EXPECT_NE(findMeasurementName(target, "Tokyo_2", "t", "n"), nullptr);
    EXPECT_EQ(target.lineSettings.port, 9);
}

TEST(CustomerExchange, ImportingTheOwnDataFileAddsEveryCustomerAgain) {
    test::TempDir dir;
    CustomerTree tree;
    for (const char* name : {"A", "B"})
        tree.customers.findOrAdd(name);
    RecordingReporter reporter;
    ASSERT_TRUE(tree.save(dir.file("QBX.DAT"), reporter));
    auto given = importCustomers(tree, dir.file("QBX.DAT"), reporter);
    EXPECT_EQ(given, (std::vector<std::string>{"A_1", "B_1"}));
    EXPECT_EQ(customerNames(tree), (std::vector<std::string>{"A", "A_1", "B", "B_1"}));
    EXPECT_EQ(reporter.messages.size(), 2u);
}

TEST(CustomerExchange, MissingOrBadFileImportsNothing) {
    test::TempDir dir;
    CustomerTree tree;
    tree.customers.findOrAdd("A");
    RecordingReporter reporter;
    EXPECT_TRUE(importCustomers(tree, dir.file("none.qbx"), reporter).empty());
    EXPECT_TRUE(reporter.messages.empty());

    test::writeFile(dir.file("bad.qbx"), std::string("\x05hello\x06\0\0\0", 10));
    EXPECT_TRUE(importCustomers(tree, dir.file("bad.qbx"), reporter).empty());
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].first,
              sj("データファイルが読めません\n壊れている可能性があります\n新規に作成します"));
    // The chosen file is only read: it keeps its name.
    EXPECT_EQ(test::readFile(dir.file("bad.qbx")), std::string("\x05hello\x06\0\0\0", 10));
    EXPECT_EQ(customerNames(tree), std::vector<std::string>{"A"});
}

}  // namespace
}  // namespace plm::model
