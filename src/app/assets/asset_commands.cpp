#include "app/assets/asset_commands.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "app/assets/due_view.h"
#include "app/assets/fleet_view.h"
#include "chart/qt_text.h"

namespace plm::app {
namespace {

template <class View>
QAction* viewCommand(QMainWindow& frame, CPLMViewDoc& doc, const settings::AppSettings& settings,
                     const char* text, const char* tip) {
    auto* action = new QAction(qsj(text), &frame);
    action->setStatusTip(qsj(tip));
    QObject::connect(action, &QAction::triggered, &frame, [&frame, &doc, &settings] {
        auto* view = new View(doc, settings, &frame);
        if (view->refresh())
            view->show();
        else
            view->deleteLater();
    });
    return action;
}

}  // namespace

void addAssetCommands(QMainWindow& frame, CPLMViewDoc& doc, const settings::AppSettings& settings) {
    for (QMenu* menu : frame.menuBar()->findChildren<QMenu*>()) {
        if (menu->title() != qsj("測定データ(&M)"))
            continue;
        menu->addSeparator();
        QAction* fleet = viewCommand<CFleetView>(frame, doc, settings, "型式別集計(&K)...",
                                                 "遮断器の型式ごとに台数と動作時間を集計します");
        fleet->setObjectName("fleetView");
        menu->addAction(fleet);
        QAction* due =
            viewCommand<CDueView>(frame, doc, settings, "点検予定(&Y)...",
                                  "点検の期限を過ぎた、または期限が近い測定データ名称を一覧します");
        due->setObjectName("dueView");
        menu->addAction(due);
        return;
    }
}

}  // namespace plm::app
