#include "model/record_register.h"

#include <gtest/gtest.h>

#include "support/cx_exception.h"
#include "support/text_codec.h"
#include "tree_test_util.h"

namespace plm::model {
namespace {

using test::dateAt;

MeasurementRecord transferred(int day, int tag) {
    MeasurementRecord r;
    r.testDateTime = dateAt(2008, 4, day, 10);
    r.vcValue = tag;
    r.cond.mcType = "from the tester";
    return r;
}

std::vector<int> tags(const MeasurementName& name) {
    std::vector<int> out;
    for (const auto& r : name.records)
        out.push_back(r.vcValue);
    return out;
}

MeasurementName filedName() {
    MeasurementName name;
    MeasurementRecord old1 = transferred(2, 1);
    old1.cond.mcType = "first";
    old1.cond.sesshoku = {1.5, 2.5, 3.5};
    MeasurementRecord old2 = transferred(4, 2);
    old2.cond.mcType = "second";
    name.records.add(old1);
    name.records.add(old2);
    return name;
}

TEST(RecordRegister, EmptyNameTakesWholeNumberDefaults) {
    settings::AppSettings settings;
    settings.defSesshoku = {"12.7", "abc", "-3x"};
    settings.defVacuum = {"7", "", " 42"};
    settings.defMcType = "ignored";
    settings.deviceTypeIndex = 1;  // four channels
    MeasurementName name;
    registerRecords(name, {transferred(3, 1), transferred(1, 2)}, RegisterMode::Append, settings);
    ASSERT_EQ(name.records.count(), 2);
    for (const auto& r : name.records) {
        EXPECT_EQ(r.cond.sesshoku, (std::array<double, 3>{12, 0, -3}));
        EXPECT_EQ(r.cond.vacuum, (std::array<double, 3>{7, 0, 42}));
        EXPECT_EQ(r.cond.mcType, "");
        EXPECT_EQ(r.cond.devType, settings.deviceTypeIndex);
    }
    EXPECT_EQ(tags(name), (std::vector<int>{2, 1}));
    EXPECT_EQ(name.records.at(0).dataNo, 1);
    EXPECT_EQ(name.records.at(1).dataNo, 2);
}

TEST(RecordRegister, ReplaceAndAppendKeepTheFirstOldConditions) {
    settings::AppSettings settings;
    struct Case {
        RegisterMode mode;
        std::vector<int> order;
    };
    for (const auto& c :
         {Case{RegisterMode::Replace, {3, 4}}, Case{RegisterMode::Append, {3, 1, 2, 4}}}) {
        MeasurementName name = filedName();
        const TestConditions first = name.records.at(0).cond;
        registerRecords(name, {transferred(5, 4), transferred(1, 3)}, c.mode, settings);
        EXPECT_EQ(tags(name), c.order);
        for (int i = 0; i < name.records.count(); ++i) {
            EXPECT_EQ(name.records.at(i).dataNo, i + 1);
            // Earlier records keep their own conditions; new ones take the first's.
            if (name.records.at(i).vcValue > 2) {
                EXPECT_TRUE(name.records.at(i).cond == first);
            }
        }
    }
}

TEST(RecordRegister, NothingToRegisterIsRefusedAndChangesNothing) {
    settings::AppSettings settings;
    MeasurementName name = filedName();
    try {
        registerRecords(name, {}, RegisterMode::Replace, settings);
        FAIL() << "an empty list was registered";
    } catch (const CxException& e) {
        EXPECT_EQ(e.text(), support::sj("登録する転送データをチェックしてください"));
    }
    EXPECT_EQ(tags(name), (std::vector<int>{1, 2}));
}

// Filing renumbers a measurement and gives it the name's conditions, so only
// what the tester sent tells whether it is filed already.
TEST(RecordRegister, SameMeasurementIgnoresNumberAndConditionsOnly) {
    const MeasurementRecord received = [] {
        MeasurementRecord r = transferred(3, 7);
        r.contacts = {0, 1, 1, 3};
        return r;
    }();
    struct Case {
        const char* name;
        void (*change)(MeasurementRecord&);
        bool same;
    };
    const Case cases[] = {
        {"filed: renumbered, other conditions",
         [](MeasurementRecord& r) {
             r.dataNo = 12;
             r.cond.mcType = "filed";
             r.cond.temp = 21.5;
         },
         true},
        {"another date", [](MeasurementRecord& r) { r.testDateTime = dateAt(2008, 4, 3, 11); },
         false},
        {"another header value", [](MeasurementRecord& r) { r.measPeriod = 2; }, false},
        {"another channel setting", [](MeasurementRecord& r) { r.chSetting[7] = 1; }, false},
        {"another voltage", [](MeasurementRecord& r) { r.vcEndValue = 5; }, false},
        {"another sample", [](MeasurementRecord& r) { r.contacts[3] = 1; }, false},
        {"fewer samples", [](MeasurementRecord& r) { r.contacts.resize(r.contacts.size() - 1); },
         false},
    };
    for (const Case& c : cases) {
        MeasurementRecord other = received;
        c.change(other);
        EXPECT_EQ(sameMeasurement(received, other), c.same) << c.name;
        EXPECT_EQ(sameMeasurement(other, received), c.same) << c.name;
    }
}

TEST(RecordRegister, AllAlreadyFiledOnlyWhenEveryOneIsThere) {
    MeasurementName name = filedName();
    settings::AppSettings settings;
    const std::vector<MeasurementRecord> both = {transferred(4, 2), transferred(2, 1)};
    EXPECT_TRUE(allAlreadyFiled(name, both)) << "conditions and order do not matter";
    EXPECT_FALSE(allAlreadyFiled(name, {transferred(2, 1), transferred(5, 3)}));
    EXPECT_FALSE(allAlreadyFiled(name, {}));
    EXPECT_FALSE(allAlreadyFiled(MeasurementName{}, both));

    registerRecords(name, {transferred(5, 3)}, RegisterMode::Append, settings);
    EXPECT_TRUE(allAlreadyFiled(name, {transferred(5, 3)})) << "once filed and renumbered";
}

}  // namespace
}  // namespace plm::model
