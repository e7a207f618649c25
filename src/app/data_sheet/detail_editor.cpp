#include "app/data_sheet/detail_editor.h"

#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "app/data_sheet/mgmt_header_view.h"
#include "app/data_sheet/storable_text.h"
#include "chart/qt_text.h"
#include "support/text_codec.h"
#include "ui/prompter.h"

namespace plm::app {

using support::sj;

namespace {

constexpr int NumberRole = Qt::UserRole;
constexpr int EditorRole = Qt::UserRole + 1;

// Reads the longest leading real number, 0 when there is none, like strtod
// in the C locale: the desktop's locale must not turn "21.5" into 21.
double realOf(const std::string& text) {
    size_t at = text.find_first_not_of(" \t\r\n\f\v");
    if (at == std::string::npos)
        return 0.0;
    bool negative = false;
    if (text[at] == '+' || text[at] == '-')
        negative = text[at++] == '-';
    double value = 0.0;
    // A second sign ("--1") is no number at all.
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        return 0.0;
    if (std::from_chars(text.data() + at, text.data() + text.size(), value).ec != std::errc())
        return 0.0;
    return negative ? -value : value;
}

// The text a number editor commits: full-width digits and signs as the input
// method types them become plain ones, and spaces around the number go. None
// when the text is not a whole number; an empty text stands for 0.
std::optional<QString> numberText(const QString& typed) {
    const QString text = typed.normalized(QString::NormalizationForm_KC).trimmed();
    if (text.isEmpty())
        return text;
    const std::string ascii = text.toStdString();
    const char* first = ascii.data();
    const char* last = ascii.data() + ascii.size();
    if (*first == '+' || *first == '-')
        ++first;
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (first == last || *first == '+' || *first == '-' || error != std::errc() || end != last ||
        !std::isfinite(value))
        return std::nullopt;
    return text;
}

// Only value cells get an editor: a choice list for the weather, a line edit
// for everything else.
class ValueDelegate : public QStyledItemDelegate {
  public:
    ValueDelegate(int rowHeight, QObject* parent)
        : QStyledItemDelegate(parent), rowHeight_(rowHeight) {}

    // Every row is as high as the editor that opens in it, so an editor never
    // covers the row below and a value lands where the user sees it.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(size.height(), rowHeight_));
        return size;
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        if (index.column() != 1 || !index.data(NumberRole).isValid())
            return nullptr;
        if (index.data(EditorRole).toInt() == int(DetailItem::Editor::Choice)) {
            auto* box = new QComboBox(parent);
            box->setEditable(true);
            for (const auto& c : weatherChoices())
                box->addItem(qs(c));
            return box;
        }
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (index.data(EditorRole).toInt() == int(DetailItem::Editor::Real))
            editor->setProperty(NumberLabelProperty, index.siblingAtColumn(0).data());
        return editor;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            box->setCurrentText(index.data().toString());
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            model->setData(index, box->currentText());
            return;
        }
        if (auto* line = qobject_cast<QLineEdit*>(editor); line && isNumberEditor(line)) {
            // Left by a click elsewhere: a text that is no number keeps the old value.
            if (const std::optional<QString> number = numberText(line->text()))
                model->setData(index, *number);
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

  protected:
    // A number editor keeps a text that is not a number: Enter and Tab tell the
    // user and leave the editor open on the text.
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* line = qobject_cast<QLineEdit*>(object);
        if (!line || !isNumberEditor(line))
            return QStyledItemDelegate::eventFilter(object, event);
        // The message box takes the focus; the editor must not commit for that.
        if (refusing_ && event->type() == QEvent::FocusOut)
            return false;
        if (event->type() == QEvent::KeyPress && isCommitKey(*static_cast<QKeyEvent*>(event)) &&
            !numberText(line->text())) {
            refuse(line);
            return true;
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

  private:
    static constexpr const char* NumberLabelProperty = "numberLabel";

    static bool isNumberEditor(const QLineEdit* line) {
        return line->property(NumberLabelProperty).isValid();
    }
    static bool isCommitKey(const QKeyEvent& key) {
        return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter ||
               key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab;
    }

    void refuse(QLineEdit* line) {
        {
            const QScopedValueRollback guard(refusing_, true);
            ui::prompter().stop(cp(qsj("「%1」には数値を入力してください")
                                       .arg(line->property(NumberLabelProperty).toString())));
        }
        line->setFocus();
        line->selectAll();
    }

    int rowHeight_;
    bool refusing_ = false;
};

// The height of the taller of the two editors in the given font.
int editorHeight(const QFont& font) {
    QLineEdit line;
    line.setFont(font);
    QComboBox box;
    box.setEditable(true);
    box.setFont(font);
    return std::max(line.sizeHint().height(), box.sizeHint().height());
}

constexpr QAbstractItemView::EditTriggers kEditTriggers =
    QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed;

}  // namespace

std::vector<DetailItem> detailItems(const model::MeasurementRecord& r, int channels) {
    using E = DetailItem::Editor;
    const auto& c = r.cond;
    const std::string& breaker = sj("1:遮断器");
    std::vector<DetailItem> items = {
        {1, breaker, sj("型式"), c.mcType, E::Text},
        {2, breaker, sj("製造番号"), c.mcNum, E::Text},
        {3, breaker, sj("製造年月日"), c.mcDate, E::Text},
        {4, breaker, sj("製造元"), c.mcMaker, E::Text},
    };
    for (int ch = 0; ch < channels; ++ch)
        items.push_back({5 + ch, sj("2:CH コメント"), support::format("CH%d", ch + 1),
                         c.chComment.at(ch), E::Text});
    const std::string& env = sj("3:測定環境");
    items.push_back({channels + 5, env, sj("天候"), c.weather, E::Choice});
    items.push_back({channels + 6, env, sj("温度(℃)"), r.tempText(), E::Real});
    items.push_back({channels + 7, env, sj("湿度(%)"), r.humText(), E::Real});
    items.push_back({channels + 8, env, sj("備考"), c.comment, E::Text});
    return items;
}

std::vector<std::string> weatherChoices() {
    const std::string& all = sj("晴れ|曇り|雨|雷雨|強風");
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t bar; (bar = all.find('|', start)) != std::string::npos; start = bar + 1)
        out.push_back(all.substr(start, bar - start));
    out.push_back(all.substr(start));
    return out;
}

void applyDetailEdit(model::TestConditions& c, int number, int channels, const std::string& text) {
    if (number == 1)
        c.mcType = text;
    else if (number == 2)
        c.mcNum = text;
    else if (number == 3)
        c.mcDate = text;
    else if (number == 4)
        c.mcMaker = text;
    else if (number >= 5 && number <= 4 + channels)
        c.chComment.at(number - 5) = text;
    else if (number == channels + 5)
        c.weather = text;
    else if (number == channels + 6)
        c.temp = realOf(text);
    else if (number == channels + 7)
        c.hum = realOf(text);
    else if (number == channels + 8)
        c.comment = text;
}

void storeDefaultConditions(settings::AppSettings& s, const model::MeasurementRecord& r) {
    const auto& c = r.cond;
    s.defDevType = r.devTypeText();
    s.defMcType = c.mcType;
    s.defMcNum = c.mcNum;
    s.defMcDate = c.mcDate;
    s.defMcMaker = c.mcMaker;
    for (int i = 0; i < 3; ++i) {
        s.defSesshoku[i] = r.sesshokuText(i);
        s.defVacuum[i] = r.vacuumText(i);
    }
    s.defWeather = c.weather;
    s.defHum = r.humText();
    s.defTemp = r.tempText();
    s.defComment = c.comment;
    s.defChComment = c.chComment;
}

void editConditions(const std::vector<model::MeasurementRecord*>& targets, int number, int channels,
                    const std::string& text, settings::AppSettings& s) {
    if (targets.empty())
        return;
    model::MeasurementRecord& first = *targets.front();
    applyDetailEdit(first.cond, number, channels, text);
    storeDefaultConditions(s, first);
    for (size_t i = 1; i < targets.size(); ++i)
        model::copyConditions(first, *targets[i]);
}

DetailEditor::DetailEditor(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(2);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setIndentation(12);
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFont(proportionalGothic());
    setItemDelegate(new ValueDelegate(editorHeight(font()), this));
    setEditTriggers(kEditTriggers);
    header()->setStretchLastSection(true);
    header()->resizeSection(0, 110);
    connect(this, &QTreeWidget::itemChanged, this, &DetailEditor::onItemChanged);
    // One click on a row, label or value, starts editing its value.
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (editTriggers() != QAbstractItemView::NoEditTriggers)
            edit(index, QAbstractItemView::AllEditTriggers, nullptr);
    });
}

void DetailEditor::setReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers : kEditTriggers);
}

// A row has one editable cell, its value: F2, typing or a click on the label
// edits that value rather than nothing.
bool DetailEditor::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    const QModelIndex value = index.column() == 0 ? index.siblingAtColumn(1) : index;
    if (value != index && value.data(NumberRole).isValid()) {
        setCurrentIndex(value);
        return QTreeWidget::edit(value, trigger, event);
    }
    return QTreeWidget::edit(index, trigger, event);
}

void DetailEditor::showRecord(const model::MeasurementRecord& r, int channels) {
    const std::vector<DetailItem> items = detailItems(r, channels);
    // Values are refreshed in place when the rows stay the same: the page
    // refreshes right after an edit, while the edited row is still in use.
    if (valueItem(int(items.size())) && !valueItem(int(items.size()) + 1)) {
        {
            const QScopedValueRollback guard(loading_, true);
            for (const DetailItem& d : items)
                valueItem(d.number)->setText(1, qs(d.value));
        }
        return;
    }
    {
        const QScopedValueRollback guard(loading_, true);
        clear();
        QTreeWidgetItem* group = nullptr;
        std::string groupName;
        for (const DetailItem& d : items) {
            if (!group || d.group != groupName) {
                group = new QTreeWidgetItem(this, {qs(d.group)});
                group->setFirstColumnSpanned(true);
                group->setFlags(Qt::ItemIsEnabled);
                QFont bold = font();
                bold.setBold(true);
                group->setFont(0, bold);
                groupName = d.group;
            }
            auto* row = new QTreeWidgetItem(group, {qs(d.label), qs(d.value)});
            row->setData(1, NumberRole, d.number);
            row->setData(1, EditorRole, int(d.editor));
            Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
            if (!readOnly_)
                flags |= Qt::ItemIsEditable;
            row->setFlags(flags);
        }
        expandAll();
    }
}

void DetailEditor::clearRecord() {
    const QScopedValueRollback guard(loading_, true);
    clear();
}

QTreeWidgetItem* DetailEditor::valueItem(int number) const {
    for (int g = 0; g < topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = topLevelItem(g);
        for (int i = 0; i < group->childCount(); ++i)
            if (group->child(i)->data(1, NumberRole).toInt() == number)
                return group->child(i);
    }
    return nullptr;
}

void DetailEditor::onItemChanged(QTreeWidgetItem* item, int column) {
    if (loading_ || readOnly_ || column != 1)
        return;
    const QVariant number = item->data(1, NumberRole);
    if (!number.isValid())
        return;
    if (const std::optional<std::string> text = storableText(item->text(1)))
        emit valueEdited(number.toInt(), *text);
    else
        emit valueRefused();
}

}  // namespace plm::app
