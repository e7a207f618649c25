#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "model/line_settings.h"

class QComboBox;

namespace plm::app {

// The serial settings dialog (CSetSerial), "通信設定": the six serial-line settings. Opening it
// probes the ports so that the port list shows only ports that can be opened.
class CSetSerial : public QDialog {
    Q_OBJECT
  public:
    using PortScanner = std::function<std::vector<int>()>;
    enum Combo { Port, Baud, DataBits, Parity, StopBits, Flow, ComboCount };

    // scanner defaults to the real port probe.
    explicit CSetSerial(const model::LineSettings& settings, QWidget* parent = nullptr,
                        PortScanner scanner = {});

    // The values chosen; meaningful after OK.
    const model::LineSettings& settings() const { return settings_; }
    QComboBox* combo(Combo c) const { return combos_[c]; }

    // Reads the six selections into settings() and closes with OK.
    void OnOK();

  private:
    void fillPorts(const std::vector<int>& found);
    void selectCurrent();

    model::LineSettings settings_;
    QComboBox* combos_[ComboCount] = {};
};

}  // namespace plm::app
