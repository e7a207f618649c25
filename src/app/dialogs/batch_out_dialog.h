#pragma once

#include <QDialog>
#include <array>
#include <vector>

#include "app/document/selection.h"
#include "model/customer_tree.h"
#include "report/batch_selection.h"
#include "settings/app_settings.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace plm::app {

// "一括印刷" / "一括テキスト出力": which measurements to print or write at
// once: the ones selected in the display sheet, or every measurement of the
// selected measurement name, test circuit or customer. Printing adds the
// choice of a summary page; text output the folder the files go to.
class CBatchOut : public QDialog {
    Q_OBJECT
  public:
    enum class Kind { Print, Text };
    enum class Range { Selected, Name, Circuit, Customer };
    // The result code of the preview button (OK is the print button).
    static constexpr int Preview = 2;

    // tree must outlive the dialog and the items it hands out.
    CBatchOut(Kind kind, settings::AppSettings& settings, const model::CustomerTree& tree,
              const Selection& selection, QWidget* parent = nullptr);
    // A list chosen elsewhere (the browser): the only range offered.
    CBatchOut(Kind kind, settings::AppSettings& settings, std::vector<report::BatchItem> items,
              QWidget* parent = nullptr);

    Kind kind() const { return kind_; }
    // The measurements of the chosen range, in tree order.
    std::vector<report::BatchItem> items() const;
    bool summary() const;

    // "印刷" / "プレビュー": close with OK or Preview when there is anything to print.
    void OnPrint();
    void OnPreview();
    // "出力": checks the folder, writes the files, closes with OK after a
    // complete run; a refusal, a failure or a cancel keeps the dialog open.
    void OnOutput();

    // nullptr for a range that the selection does not reach.
    QRadioButton* rangeButton(Range range) const { return ranges_[static_cast<size_t>(range)]; }
    QCheckBox* summaryCheck() const { return summary_; }
    QLineEdit* folderEdit() const { return folder_; }

  private:
    CBatchOut(Kind kind, settings::AppSettings& settings, QWidget* parent);
    void addControls();
    void addRange(Range range, const std::string& label, std::vector<report::BatchItem> items);
    bool refuseEmpty();
    void OnBrowseFolder();

    Kind kind_;
    settings::AppSettings& settings_;
    std::array<std::vector<report::BatchItem>, 4> rangeItems_;
    std::array<QRadioButton*, 4> ranges_{};
    QCheckBox* summary_ = nullptr;
    QLineEdit* folder_ = nullptr;
};

}  // namespace plm::app
