#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "model/customer_tree.h"
#include "model/record_register.h"

class QLabel;
class QPushButton;
class QTreeView;

namespace plm::app {

class TransferListModel;

// The transfer part of the data management page: the list of measurements
// received by the last transfer or file read, with a tick box per row, and
// the buttons that fill it and file the ticked rows.
class TransferPage : public QWidget {
    Q_OBJECT
  public:
    // Files the measurements of the ticked `rows` under the selected name and
    // takes those rows off the list; CxException when it cannot.
    using Filer = std::function<void(const std::vector<int>& rows,
                                     std::vector<model::MeasurementRecord> records,
                                     model::RegisterMode mode)>;

    // target gives the measurement-data name selected on the page, or nullptr.
    // `settings` give the columns and the transfer's switches.
    TransferPage(model::CustomerTree& tree, const settings::AppSettings& settings,
                 std::function<model::MeasurementName*()> target, Filer file,
                 QWidget* parent = nullptr);

    TransferListModel* listModel() const { return model_; }
    QTreeView* list() const { return view_; }
    QPushButton* registerButton() const { return register_; }
    QPushButton* transferButton() const { return transfer_; }
    QPushButton* fileButton() const { return file_; }

    // Replaces the list with freshly received records, all unticked, row 0 selected;
    // `interrupted` marks them as the whole measurements of a transfer that did not complete.
    void setReceived(std::vector<model::MeasurementRecord> records, bool interrupted = false);
    // Says above the list that its rows come from an interrupted transfer (hidden otherwise).
    QLabel* interruptedNotice() const { return notice_; }

    void startTransfer();
    void readFromFile();
    // Reads the captured transfer file at storedPath, as readFromFile does once it is chosen.
    void readFile(const std::string& storedPath);
    // Files the ticked rows under the selected name; true when the tree changed.
    bool registerTicked();
    // What would replace or drop the list's measurements.
    enum class Discard { ByClosing, ByNewReceive };
    // True when the list holds nothing that was not registered, or the user
    // agrees to let those measurements go; the safe answer is No.
    bool mayDiscardReceived(Discard by = Discard::ByClosing);

  private:
    void receive(const std::string* file);
    void selectRow(int row);
    void updateNotice();

    model::CustomerTree& tree_;
    const settings::AppSettings& settings_;
    std::function<model::MeasurementName*()> target_;
    Filer filer_;
    TransferListModel* model_ = nullptr;
    QTreeView* view_ = nullptr;
    QLabel* notice_ = nullptr;
    QPushButton* register_ = nullptr;
    QPushButton* transfer_ = nullptr;
    QPushButton* file_ = nullptr;
};

}  // namespace plm::app
