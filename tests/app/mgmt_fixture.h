#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <QTimer>
#include <functional>
#include <string>

#include "app/shell/app_context.h"
#include "common/gui/scripted_prompter.h"
#include "model/customer_tree.h"
#include "support/ole_date.h"
#include "support/text_codec.h"
#include "ui/prompter.h"

// Shared by the data management tests: the application object, the settings
// the page reads, a small tree, and a way to answer a modal dialog.
namespace plm::test::mgmt {

using support::sj;

inline void ensureApp() {
    if (QApplication::instance())
        return;
    // The widget tests never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char arg0[] = "test_app";
    static char* argv[] = {arg0, nullptr};
    static QApplication app(argc, argv);
}

// A record of 50 ms at 1 ms started on the given day at hour:00.
inline model::MeasurementRecord record(int day, int hour, int dataNo = 0) {
    model::MeasurementRecord r;
    r.dataNo = dataNo;
    r.measTime = 0;
    r.measPeriod = 1;
    support::CalendarFields f;
    f.year = 2024;
    f.month = 3;
    f.day = day;
    f.hour = hour;
    support::fieldsToOle(f, r.testDateTime.value);
    r.testDateTime.status = support::DateStatus::Valid;
    r.contacts.assign(r.expectedSampleCount(), 0);
    return r;
}

inline model::MeasurementName& nameAt(model::CustomerTree& tree, const char* customer,
                                      const char* circuit, const char* name) {
    return model::findOrAddMeasurementName(tree, customer, circuit, name);
}

// Runs `answer` on the next modal dialog that opens (polling the event loop).
template <class Dialog>
void onNextModal(std::function<void(Dialog*)> answer) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            answer(dialog);
        }
    });
    timer->start();
}

// Settings and prompter as a fresh installation has them; restored afterwards.
class MgmtTest : public ::testing::Test {
  protected:
    MgmtTest() : scoped_(prompts) {
        ensureApp();
        saved_ = app::appSettings();
        savedDevType_ = model::configuredDevType();
        settings::AppSettings& s = app::appSettings();
        s.itemName1 = sj("需要家名称");
        s.itemName2 = sj("試験回路名称");
        s.itemName3 = sj("測定ﾃﾞｰﾀ名称");
        s.deviceTypeIndex = 3;
        s.chattering = s.measureOpe = s.outsideTrigger = 1;
    }
    ~MgmtTest() override {
        app::appSettings() = saved_;
        model::setConfiguredDevType(savedDevType_);
    }

    // Customers "ALPHA" (circuits "C1" with names "N1" [3 records] and "N2"
    // [empty], "C2") and "BETA" ("C1" / "N1" [1 record]).
    void fillTree() {
        model::MeasurementName& a = nameAt(tree, "ALPHA", "C1", "N1");
        a.records.add(record(1, 10, 1));
        a.records.add(record(2, 10, 2));
        a.records.add(record(3, 10, 3));
        nameAt(tree, "ALPHA", "C1", "N2");
        tree.customers.at(0).circuits.findOrAdd("C2");
        nameAt(tree, "BETA", "C1", "N1").records.add(record(5, 9, 1));
    }

    plm::test::ScriptedPrompter prompts;
    model::CustomerTree tree;

  private:
    ui::ScopedPrompter scoped_;
    settings::AppSettings saved_;
    int32_t savedDevType_ = 3;
};

}  // namespace plm::test::mgmt
