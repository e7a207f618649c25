#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <QTimer>
#include <functional>
#include <string>

#include "app/shell/app_context.h"
#include "common/fixtures.h"
#include "common/gui/scripted_prompter.h"
#include "common/gui/test_application.h"
#include "model/customer_tree.h"
#include "support/ole_date.h"
#include "support/text_codec.h"
#include "ui/prompter.h"

// Shared by the data management tests: the application object, the settings
// the page reads, a small tree, and a way to answer a modal dialog.
namespace plm::test::mgmt {

using support::sj;

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
        ensureApplication();
        saved_ = app::appSettings();
        settings::AppSettings& s = app::appSettings();
        s.itemName1 = sj("需要家名称");
        s.itemName2 = sj("試験回路名称");
        s.itemName3 = sj("測定ﾃﾞｰﾀ名称");
        s.deviceTypeIndex = 3;
        s.chattering = s.measureOpe = s.outsideTrigger = 1;
    }
    ~MgmtTest() override { app::appSettings() = saved_; }

    // Customers "ALPHA" (circuits "C1" with names "N1" [3 records] and "N2"
    // [empty], "C2") and "BETA" ("C1" / "N1" [1 record]).
    void fillTree() {
        model::MeasurementName& a = nameAt(tree, "ALPHA", "C1", "N1");
        a.records.add(datedRecord(1, 10, 1));
        a.records.add(datedRecord(2, 10, 2));
        a.records.add(datedRecord(3, 10, 3));
        nameAt(tree, "ALPHA", "C1", "N2");
        tree.customers.at(0).circuits.findOrAdd("C2");
        nameAt(tree, "BETA", "C1", "N1").records.add(datedRecord(5, 9, 1));
    }

    // The program's settings, which the sheet is given.
    static settings::AppSettings& settings() { return app::appSettings(); }

    plm::test::ScriptedPrompter prompts;
    model::CustomerTree tree;

  private:
    ui::ScopedPrompter scoped_;
    settings::AppSettings saved_;
};

}  // namespace plm::test::mgmt
