#pragma once

#include <QTreeWidget>
#include <string>
#include <vector>

#include "model/measurement_record.h"
#include "settings/app_settings.h"

namespace plm::app {

// One row of the detail editor. Items are numbered from 1 in display order:
// 1..4 breaker, 5..4+n channel comments, then weather, temperature, humidity
// and remarks.
struct DetailItem {
    enum class Editor { Text, Choice, Real };
    int number = 0;
    std::string group;  // CP932
    std::string label;
    std::string value;
    Editor editor = Editor::Text;
};

std::vector<DetailItem> detailItems(const model::MeasurementRecord& r, int channels);

// The choices offered for the weather; any other text is accepted too.
std::vector<std::string> weatherChoices();

// Stores the edited text of item `number` into the conditions; temperature and
// humidity are read as real numbers the way strtod reads them (0 when the text
// does not start with one).
void applyDetailEdit(model::TestConditions& c, int number, int channels, const std::string& text);

// The conditions last edited become the default conditions of the settings,
// numbers written as the record shows them.
void storeDefaultConditions(settings::AppSettings& s, const model::MeasurementRecord& r);

// Applies one edit to targets[0] (the first selected measurement), makes its
// conditions the defaults and copies them to every other target.
void editConditions(const std::vector<model::MeasurementRecord*>& targets, int number, int channels,
                    const std::string& text, settings::AppSettings& s);

// The grouped label/value list of one measurement's conditions.
class DetailEditor : public QTreeWidget {
    Q_OBJECT
  public:
    explicit DetailEditor(QWidget* parent = nullptr);
    using QTreeWidget::edit;

    void setReadOnly(bool readOnly);
    void showRecord(const model::MeasurementRecord& r, int channels);
    void clearRecord();

    // Value cell of item `number`, for tests and the page.
    QTreeWidgetItem* valueItem(int number) const;

  signals:
    // A value was changed by the user; text is CP932.
    void valueEdited(int number, const std::string& text);
    // A typed value the data file cannot hold was refused: the record shown
    // is to be shown again.
    void valueRefused();

  protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

  private:
    void onItemChanged(QTreeWidgetItem* item, int column);

    bool readOnly_ = false;
    bool loading_ = false;
};

}  // namespace plm::app
