#pragma once

#include <QDialog>

#include "model/measurement_record.h"
#include "report/csv_writer.h"
#include "settings/app_settings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QWidget;

namespace plm::app {

// "テキスト出力（ＣＳＶ形式）": writes the shown measurement as a CSV file
// and opens it afterwards when asked to.
class CCsvOut : public QDialog {
    Q_OBJECT
  public:
    explicit CCsvOut(settings::AppSettings& settings, QWidget* parent = nullptr);

    // The names the measurement is filed under and a copy of it; fills the
    // folder, the proposed file name and the program controls.
    void setSource(const report::CsvNames& names, const model::MeasurementRecord& record);

    // "出力": checks, questions, writing, opening. Closes the dialog with OK
    // after a successful write; every refusal keeps it open.
    void OnOutput();

    QLineEdit* folderEdit() const { return folder_; }
    QLineEdit* fileEdit() const { return file_; }
    QCheckBox* openCheck() const { return openAfter_; }
    QLineEdit* programEdit() const { return program_; }

  private:
    void OnBrowseFolder();
    void OnBrowseProgram();
    void EnableFrame();
    void openWritten(const std::string& path);

    settings::AppSettings& settings_;
    report::CsvNames names_;
    model::MeasurementRecord record_;
    QLineEdit* folder_ = nullptr;
    QLineEdit* file_ = nullptr;
    QCheckBox* openAfter_ = nullptr;
    QLineEdit* program_ = nullptr;
    QWidget* programFrame_ = nullptr;
};

}  // namespace plm::app
