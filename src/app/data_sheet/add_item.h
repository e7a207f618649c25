#pragma once

#include <QDialog>
#include <string>

#include "model/customer_tree.h"
#include "settings/app_settings.h"

class QLabel;
class QLineEdit;

namespace plm::app {

// "新規追加": asks for the name of a new customer (level 0), test circuit
// (level 1) or measurement-data name (level 2). Refuses a name that its
// siblings already have or that the data file cannot hold (see
// storableText) and keeps the dialog open; the caller inserts the accepted
// name itself.
class CAddItem : public QDialog {
    Q_OBJECT
  public:
    // `caption` names the level (levelCaption).
    CAddItem(int level, int customer, int circuit, const model::CustomerTree& tree,
             const std::string& caption, QWidget* parent = nullptr);

    // The accepted name, CP932.
    const std::string& name() const { return name_; }
    QLineEdit* nameEdit() const { return edit_; }

    void accept() override;

    static constexpr size_t MaxNameLength = 256;

  private:
    bool siblingExists(const std::string& name) const;

    int level_;
    int customer_;
    int circuit_;
    const model::CustomerTree& tree_;
    std::string name_;
    QLabel* caption_ = nullptr;
    QLineEdit* edit_ = nullptr;
};

// The caption of a tree level: [Setting] ItemName1, ItemName2 or ItemName3.
const std::string& levelCaption(const settings::AppSettings& settings, int level);

}  // namespace plm::app
