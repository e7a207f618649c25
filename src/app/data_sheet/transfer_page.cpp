#include "app/data_sheet/transfer_page.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/data_sheet/mgmt_header_view.h"
#include "app/data_sheet/mgmt_models.h"
#include "app/shell/app_context.h"
#include "app/transfer/receive_dialog.h"
#include "chart/qt_text.h"
#include "model/record_register.h"
#include "ui/header_fit.h"
#include "ui/prompter.h"

namespace plm::app {

using support::sj;

TransferPage::TransferPage(model::CustomerTree& tree, const settings::AppSettings& settings,
                           std::function<model::MeasurementName*()> target, Filer file,
                           QWidget* parent)
    : QWidget(parent),
      tree_(tree),
      settings_(settings),
      target_(std::move(target)),
      filer_(std::move(file)) {
    transfer_ = new QPushButton(qsj("データ転送開始"), this);
    file_ = new QPushButton(qsj("データをファイルから読み込む"), this);
    register_ = new QPushButton(qsj("← 登録"), this);
    view_ = new QTreeView(this);
    view_->setRootIsDecorated(false);
    view_->setUniformRowHeights(true);
    view_->setAllColumnsShowFocus(true);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setFont(proportionalGothic());
    model_ = new TransferListModel(view_);
    const std::vector<ColumnSpec> columns = transferColumns(settings_);
    model_->setColumns(columns);
    view_->setModel(model_);
    notice_ = new QLabel(this);
    notice_->setWordWrap(true);
    notice_->setStyleSheet(QStringLiteral("color: #b05000;"));
    notice_->hide();
    view_->header()->setStretchLastSection(false);
    ui::resizeSectionsToFit(*view_->header(), columnWidths(columns));

    connect(transfer_, &QPushButton::clicked, this, &TransferPage::startTransfer);
    connect(file_, &QPushButton::clicked, this, &TransferPage::readFromFile);
    connect(register_, &QPushButton::clicked, this, &TransferPage::registerTicked);
    // Rows also leave and come back through the page's undo.
    connect(model_, &QAbstractItemModel::modelReset, this, &TransferPage::updateNotice);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(transfer_);
    layout->addWidget(file_);
    layout->addWidget(notice_);
    layout->addWidget(view_, 1);
    layout->addWidget(register_);
}

void TransferPage::selectRow(int row) {
    if (row < 0 || row >= model_->rowCount())
        return;
    view_->selectionModel()->setCurrentIndex(
        model_->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TransferPage::setReceived(std::vector<model::MeasurementRecord> records, bool interrupted) {
    model_->setRecords(std::move(records), interrupted);
    selectRow(0);
}

void TransferPage::updateNotice() {
    const bool show = model_->interrupted() && model_->rowCount() > 0;
    if (show) {
        notice_->setText(qs(
            support::format(sj("中断された転送で完全に受信した測定データが %d 件あります").c_str(),
                            model_->rowCount())));
    }
    notice_->setVisible(show);
}

void TransferPage::receive(const std::string* file) {
    setReceived({});
    CCommRead dialog(settings_, tree_.lineSettings, this);
    if (file)
        dialog.setFile(*file);
    if (dialog.exec() == QDialog::Accepted) {
        setReceived(dialog.takeResults());
        return;
    }
    // Measurements that arrived whole are offered even when the transfer did not complete.
    std::vector<model::MeasurementRecord> whole = dialog.takeInterrupted();
    if (!whole.empty())
        setReceived(std::move(whole), true);
}

void TransferPage::startTransfer() {
    if (mayDiscardReceived(Discard::ByNewReceive))
        receive(nullptr);
}

void TransferPage::readFromFile() {
    if (!mayDiscardReceived(Discard::ByNewReceive))
        return;
    ui::FileRequest request;
    request.title = sj("計測データファイルを開く");
    request.filter = sj("測定ﾃﾞｰﾀﾌｧｲﾙ (*.txt)");
    const std::optional<std::string> path = ui::prompter().openFile(request);
    if (path)
        receive(&*path);
}

void TransferPage::readFile(const std::string& storedPath) {
    if (mayDiscardReceived(Discard::ByNewReceive))
        receive(&storedPath);
}

bool TransferPage::registerTicked() {
    model::MeasurementName* target = target_();
    if (!target) {
        ui::prompter().stop(sj("登録する測定データ名称を選んでください"));
        return false;
    }
    const std::vector<int> rows = model_->tickedRows();
    std::vector<model::MeasurementRecord> picked;
    picked.reserve(rows.size());
    for (int row : rows)
        picked.push_back(model_->records().at(row));
    model::RegisterMode mode = model::RegisterMode::Append;
    if (!target->records.empty()) {
        const ui::Answer answer = ui::prompter().askYesNoCancel(
            sj("現在選択している測定データ名称には既にデータが存在しています\n"
               "既存データを全て消去してから転送データを新たに登録しますか？\n"
               "【はい】：既存データを全て消去し，転送データを登録\n"
               "【いいえ】：既存データはそのままで，転送データを追加します\n"
               "【キャンセル】：何もせず戻ります"),
            ui::Answer::Cancel);
        if (answer == ui::Answer::Cancel)
            return false;
        if (answer == ui::Answer::Yes)
            mode = model::RegisterMode::Replace;
    }
    // Registering the same transfer twice is an easy slip that nothing else
    // would reveal: the list would just hold every measurement twice.
    if (mode == model::RegisterMode::Append && model::allAlreadyFiled(*target, picked) &&
        !ui::prompter().askYesNo(sj("追加する測定データは全て既に登録されています\n"
                                    "重複して登録しますか？")))
        return false;
    try {
        filer_(rows, std::move(picked), mode);
    } catch (const CxException& e) {
        ui::prompter().stop(e.text());
        return false;
    }
    selectRow(0);
    return true;
}

bool TransferPage::mayDiscardReceived(Discard by) {
    const int left = model_->rowCount();
    if (left == 0)
        return true;
    const std::string& consequence =
        by == Discard::ByClosing
            ? sj("登録せずに閉じると，これらのデータは失われます\n閉じてもよろしいですか")
            : sj("新たに読み込むと，これらのデータは失われます\n読み込んでもよろしいですか");
    return ui::prompter().askYesNo(
        support::format(sj("登録していない転送データが %d 件あります\n").c_str(), left) +
            consequence,
        ui::Answer::No);
}

}  // namespace plm::app
