#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <functional>
#include <memory>
#include <string>

#include "app/data_sheet/data_sheet.h"
#include "app/document/plm_view_doc.h"
#include "app/main_window/main_frame.h"
#include "app/shell/app_context.h"
#include "common/fixtures.h"
#include "common/gui/scripted_prompter.h"
#include "common/gui/test_application.h"
#include "common/temp_dir.h"
#include "model/customer_tree.h"
#include "support/ole_date.h"
#include "support/paths.h"
#include "support/text_codec.h"
#include "ui/prompter.h"

// Shared by the application tests: a QApplication, a fresh program folder
// with loaded settings, small trees and a scripted data management sheet.
namespace plm::test::app {

using support::sj;
using test::ensureApplication;

// A program folder of its own with freshly loaded settings and a scripted
// prompter installed.
class AppHome : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureApplication();
        plm::app::appSettings() = settings::AppSettings{};
        plm::app::appSettings().Locate(settings::ProfileFile::Kind::ProgramFolder);
        plm::app::appSettings().Load();
    }

    settings::AppSettings& settings() { return plm::app::appSettings(); }
    std::string dataFile() { return support::toFsPath(settings().dataFilePath()); }

    TempDir home;
    ProgramFolderGuard folder{home.path().string()};
    plm::test::ScriptedPrompter prompts;
    plm::ui::ScopedPrompter scoped{prompts};
};

// AppHome with the program's document and main window opened on it.
class AppWindow : public AppHome {
  protected:
    void TearDown() override {
        frame.reset();
        EXPECT_TRUE(prompts.problems().empty()) << prompts.problems().front();
    }

    // A new document and main window (the earlier ones closed), the data
    // file of the program folder loaded.
    void openWindow() {
        frame.reset();
        doc = std::make_unique<plm::app::CPLMViewDoc>(settings());
        frame = std::make_unique<plm::app::CMainFrame>(*doc, settings());
        doc->OnNewDocument();
    }

    std::unique_ptr<plm::app::CPLMViewDoc> doc;
    std::unique_ptr<plm::app::CMainFrame> frame;
};

// A record of 50 ms at 1 ms, started on 2024-03-`day` at `hour`:00;
// channel 1 closes at 20 ms.
inline model::MeasurementRecord record(int day, int hour) {
    model::MeasurementRecord r = datedRecord(day, hour, day);
    r.cond.devType = 0;
    closeChannelFrom(r, 1, 20);
    return r;
}

// Customers Osaka and Tokyo Works; Tokyo Works / Line 1 / Close holds two records.
inline model::CustomerTree smallTree() {
    model::CustomerTree tree;
    tree.customers.findOrAdd("Osaka");
    model::MeasurementName& n =
        model::findOrAddMeasurementName(tree, "Tokyo Works", "Line 1", "Close");
    n.records.add(record(1, 9));
    n.records.add(record(2, 10));
    return tree;
}

// A stand-in for the data management sheet: records how it was called and
// lets the test decide what the user did.
class ScriptedSheet : public plm::app::DataSheet {
  public:
    using Action =
        std::function<bool(plm::app::SheetMode, model::CustomerTree&, plm::app::Selection&)>;
    struct Call {
        plm::app::SheetMode mode;
        const model::CustomerTree* tree;
        plm::app::Selection selectionIn;
        std::string fileReadOnOpen;
    };

    static std::vector<Call>& calls() {
        static std::vector<Call> c;
        return c;
    }
    static Action& action() {
        static Action a;
        return a;
    }
    // Installs the stand-in; the returned guard puts the previous factory back.
    struct Installed {
        Installed() {
            calls().clear();
            previous =
                plm::app::setDataSheetFactory([] { return std::make_unique<ScriptedSheet>(); });
        }
        ~Installed() { plm::app::setDataSheetFactory(std::move(previous)); }
        plm::app::DataSheetFactory previous;
    };

    bool run(plm::app::SheetMode mode, model::CustomerTree& tree, plm::app::Selection& selection,
             QWidget*) override {
        calls().push_back({mode, &tree, selection, fileReadOnOpen()});
        return action() ? action()(mode, tree, selection) : false;
    }
    // The action gets a copy to read: display mode changes nothing.
    bool display(const model::CustomerTree& tree, plm::app::Selection& selection,
                 QWidget*) override {
        calls().push_back({plm::app::SheetMode::Display, &tree, selection, fileReadOnOpen()});
        model::CustomerTree copy = tree;
        return action() ? action()(plm::app::SheetMode::Display, copy, selection) : false;
    }
};

}  // namespace plm::test::app
