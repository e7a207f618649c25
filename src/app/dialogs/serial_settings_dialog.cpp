#include "app/dialogs/serial_settings_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdlib>

#include "chart/qt_text.h"
#include "link/port_scan.h"
#include "ui/wait_window.h"

namespace plm::app {

namespace {

struct Choice {
    const char* text;
    int value;
};

constexpr Choice kBaud[] = {
    {"110", 110},     {"300", 300},     {"600", 600},       {"1200", 1200},     {"2400", 2400},
    {"4800", 4800},   {"9600", 9600},   {"14400", 14400},   {"19200", 19200},   {"38400", 38400},
    {"56000", 56000}, {"57600", 57600}, {"115200", 115200}, {"128000", 128000}, {"256000", 256000}};
constexpr Choice kDataBits[] = {{"4", 4}, {"5", 5}, {"6", 6}, {"7", 7}, {"8", 8}};
constexpr Choice kParity[] = {{"なし", 0}, {"奇数", 1}, {"偶数", 2}, {"マーク", 3}};
constexpr Choice kStopBits[] = {{"1", 0}, {"1.5", 1}, {"2", 2}};
constexpr Choice kFlow[] = {{"なし", 0}, {"ハードウェア", 1}, {"Xon/Xoff", 2}};
constexpr int kFixedPorts = 15;

template <size_t N>
void fill(QComboBox* box, const Choice (&table)[N]) {
    for (const Choice& c : table)
        box->addItem(qsj(c.text), c.value);
}

template <size_t N>
void selectValue(QComboBox* box, const Choice (&table)[N], int value) {
    int row = 0;
    for (size_t i = 0; i < N; ++i) {
        if (table[i].value == value)
            row = static_cast<int>(i);
    }
    box->setCurrentIndex(row);
}

template <size_t N>
int valueAt(const Choice (&table)[N], int index) {
    return index >= 0 && index < static_cast<int>(N) ? table[index].value : table[0].value;
}

}  // namespace

CSetSerial::CSetSerial(const model::LineSettings& settings, QWidget* parent, PortScanner scanner)
    : QDialog(parent), settings_(settings) {
    setWindowTitle(qsj("通信設定"));
    const char* labels[ComboCount] = {"ポート番号：",       "ボーレイト：",     "データ長：",
                                      "パリティチェック：", "ストップビット：", "フロー制御："};
    auto* form = new QFormLayout;
    for (int i = 0; i < ComboCount; ++i) {
        combos_[i] = new QComboBox(this);
        combos_[i]->setMinimumWidth(200);
        form->addRow(new QLabel(qsj(labels[i]), this), combos_[i]);
    }
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(qsj("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    buttons->addButton(qsj("キャンセル"), QDialogButtonBox::RejectRole);
    connect(ok, &QPushButton::clicked, this, &CSetSerial::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(buttons);

    std::vector<int> found;
    {
        ui::WaitWindow wait(qsj("ｲﾝﾌｫﾒｰｼｮﾝ"),
                            qsj("利用可能なポートを探しています\r\nしばらくお待ちください"),
                            parent);
        found = scanner ? scanner() : link::PortScan();
    }
    fillPorts(found);
    fill(combos_[Baud], kBaud);
    fill(combos_[DataBits], kDataBits);
    fill(combos_[Parity], kParity);
    fill(combos_[StopBits], kStopBits);
    fill(combos_[Flow], kFlow);
    selectCurrent();
}

void CSetSerial::fillPorts(const std::vector<int>& found) {
    QComboBox* box = combos_[Port];
    if (found.empty()) {
        // With nothing free the whole fixed list is offered, so a port that was
        // busy during the probe can still be chosen.
        for (int n = 1; n <= kFixedPorts; ++n)
            box->addItem(qs(link::portLabel(n)), n);
        return;
    }
    for (int n : found)
        box->addItem(qs(link::portLabel(n)), n);
}

void CSetSerial::selectCurrent() {
    // The port line that stands for exactly the current port, else the first
    // line: a prefix search would turn port 1 into COM10 without the user asking.
    const int line = combos_[Port]->findData(settings_.port);
    combos_[Port]->setCurrentIndex(line >= 0 ? line : 0);
    selectValue(combos_[Baud], kBaud, settings_.baud);
    selectValue(combos_[DataBits], kDataBits, settings_.byteSize);
    selectValue(combos_[Parity], kParity, settings_.parity);
    selectValue(combos_[StopBits], kStopBits, settings_.stopBits);
    selectValue(combos_[Flow], kFlow, settings_.flow);
}

void CSetSerial::OnOK() {
    const std::string text = cp(combos_[Port]->currentText());
    settings_.port =
        text.size() < 4 ? 1 : static_cast<int>(std::strtol(text.c_str() + 3, nullptr, 10));
    settings_.baud = valueAt(kBaud, combos_[Baud]->currentIndex());
    settings_.byteSize = valueAt(kDataBits, combos_[DataBits]->currentIndex());
    settings_.parity = valueAt(kParity, combos_[Parity]->currentIndex());
    settings_.stopBits = valueAt(kStopBits, combos_[StopBits]->currentIndex());
    settings_.flow = valueAt(kFlow, combos_[Flow]->currentIndex());
    accept();
}

}  // namespace plm::app
