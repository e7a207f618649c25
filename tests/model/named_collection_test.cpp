#include "model/named_collection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/customer_tree.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

namespace plm::model {
namespace {

using support::sj;

std::vector<std::string> names(const NamedCollection<Customer>& c) {
    std::vector<std::string> out;
    for (const Customer& customer : c)
        out.push_back(customer.name);
    return out;
}

TEST(NameCompare, FoldsAsciiCaseOnEveryByteAndSortsPrefixFirst) {
    struct Case {
        std::string a, b;
        int sign;
    };
    const Case cases[] = {
        {"Tokyo", "TOKYO", 0},
        {"abc", "abd", -1},
        {"ab", "abc", -1},
        {"", "a", -1},
        {"Z", "a", 1},                    // 'z' > 'a' once folded
        {"[", "Z", -1},                   // letters fold to lower case: 0x5B < 'z'
        {sj("イトウ"), sj("ツトウ"), 0},  // trail bytes 0x43 and 0x63 fold together
        {sj("ア"), sj("イ"), -1},
        {"\x81\x5C", "\x81\x7C", -1},  // a 0x5C trail byte is no letter
        {"\xFF", "\x7F", 1},           // bytes compare unsigned
    };
    for (const auto& c : cases) {
        int got = compareNames(c.a, c.b);
        EXPECT_EQ((got > 0) - (got < 0), c.sign) << c.a << " vs " << c.b;
        EXPECT_EQ((compareNames(c.b, c.a) > 0) - (compareNames(c.b, c.a) < 0), -c.sign);
    }
}

TEST(NamedCollection, KeepsNamesUniqueAndSorted) {
    NamedCollection<Customer> c;
    for (const char* name : {"Osaka", "tokyo", "Akita", "", "Nagoya"})
        c.findOrAdd(name);
    EXPECT_EQ(c.findOrAdd("TOKYO"), 4);
    EXPECT_EQ(c.count(), 5);
    EXPECT_EQ(names(c), (std::vector<std::string>{"", "Akita", "Nagoya", "Osaka", "tokyo"}));
    EXPECT_EQ(c.find("Tokyo"), 4);
    EXPECT_EQ(c.find("Kyoto"), -1);
    EXPECT_EQ(c.at(c.find("tokyo")).name, "tokyo");

    c.findOrAdd(sj("イトウ"));
    EXPECT_EQ(c.find(sj("ツトウ")), c.count() - 1);
    EXPECT_EQ(c.findOrAdd(sj("ツトウ")), c.count() - 1);
    EXPECT_EQ(c.count(), 6);
}

TEST(NamedCollection, PositionOutsideRangeThrows) {
    NamedCollection<Customer> c;
    c.findOrAdd("a");
    EXPECT_THROW(c.at(1), std::out_of_range);
    EXPECT_THROW(c.at(-1), std::out_of_range);
    EXPECT_THROW(c.removeAt(1), std::out_of_range);
    EXPECT_THROW(c.rename(3, "b", "x"), std::out_of_range);
}

TEST(NamedCollection, ChildrenStayPutWhileOthersComeAndGo) {
    NamedCollection<Customer> c;
    c.findOrAdd("m");
    Customer* m = &c.at(0);
    m->circuits.findOrAdd("kept");
    for (int i = 0; i < 100; ++i)
        c.findOrAdd("a" + std::to_string(i));
    c.removeAt(c.find("a5"));
    c.removeAt(c.find("a7"));
    c.findOrAdd("b");
    EXPECT_EQ(&c.at(c.find("m")), m);
    EXPECT_EQ(m->circuits.at(0).name, "kept");
    EXPECT_EQ(c.find("a5"), -1);
    EXPECT_EQ(c.count(), 100);
}

TEST(NamedCollection, InsertNodeReplacesTheWholeSubtreeOfTheSameName) {
    NamedCollection<Customer> c;
    c.at(c.findOrAdd("tokyo")).circuits.findOrAdd("old");
    Customer node;
    node.name = "TOKYO";
    node.circuits.findOrAdd("new");
    EXPECT_EQ(c.insertNode(node), 0);
    EXPECT_EQ(c.count(), 1);
    EXPECT_EQ(c.at(0).name, "TOKYO");
    ASSERT_EQ(c.at(0).circuits.count(), 1);
    EXPECT_EQ(c.at(0).circuits.at(0).name, "new");
    // The node passed in stays the caller's.
    node.circuits.findOrAdd("more");
    EXPECT_EQ(c.at(0).circuits.count(), 1);
}

TEST(NamedCollection, CopiesAreDeep) {
    CustomerTree tree;
    tree.lineSettings.port = 4;
    MeasurementRecord record;
    record.contacts = {1, 2};
    findOrAddMeasurementName(tree, "c", "t", "n").records.append(record);
    CustomerTree copy = tree;
    MeasurementRecord& copied = findOrAddMeasurementName(copy, "c", "t", "n").records.at(0);
    const MeasurementRecord& original = findMeasurementName(tree, "c", "t", "n")->records.at(0);
    // The samples are shared, not copied, until the copy writes to them.
    EXPECT_EQ(copied.contacts.data(), original.contacts.data());
    copied.dataNo = 9;
    copied.contacts[0] = 5;
    EXPECT_EQ(original.contacts, (std::vector<uint8_t>{1, 2}));
    copy.customers.at(0).circuits.findOrAdd("t2");
    copy.lineSettings.port = 5;
    EXPECT_EQ(findMeasurementName(tree, "c", "t", "n")->records.at(0).dataNo, -1);
    EXPECT_EQ(tree.customers.at(0).circuits.count(), 1);
    EXPECT_EQ(tree.lineSettings.port, 4);
    EXPECT_EQ(copy.customers.at(0).circuits.count(), 2);

    copy.customers.assign(tree.customers);
    EXPECT_EQ(copy.customers.at(0).circuits.count(), 1);
}

TEST(NamedCollection, RenameInPlaceMovesOrRefuses) {
    NamedCollection<Customer> c;
    for (const char* name : {"abc", "def", "xyz"})
        c.findOrAdd(name);
    c.at(0).circuits.findOrAdd("sub");

    EXPECT_EQ(c.rename(0, "ABC", "L"), 0);  // case only: in place
    EXPECT_EQ(c.at(0).name, "ABC");
    EXPECT_EQ(c.rename(0, "abd", "L"), 0);  // same sorted place
    EXPECT_EQ(c.at(0).name, "abd");

    int moved = c.rename(0, "mmm", "L");
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(names(c), (std::vector<std::string>{"def", "mmm", "xyz"}));
    EXPECT_EQ(c.at(1).circuits.at(0).name, "sub");  // the subtree moves along

    try {
        c.rename(1, "DEF", sj("需要家名称"));
        FAIL() << "a sibling's name was accepted";
    } catch (const CxException& e) {
        EXPECT_EQ(e.text(), sj("指定の 需要家名称 は既に存在しています\nDEF"));
    }
    EXPECT_EQ(names(c), (std::vector<std::string>{"def", "mmm", "xyz"}));
}

}  // namespace
}  // namespace plm::model
