#pragma once

#include <QDialog>

#include "settings/app_settings.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace plm::app {

// 設定 → アーカイブ設定...: where the team archive is (host, port, database,
// user, TLS as libpq's sslmode), which the dialog writes as one libpq
// connection string; the string itself can also be typed (a service name,
// a URI). 接続テスト asks the server and shows its answer. OK stores
// [Archive] Connection, InstallationName and IntervalMinutes; a string that
// holds a password or does not parse is refused, so no password ever reaches
// the settings file.
class ArchiveSettingsDialog : public QDialog {
    Q_OBJECT
  public:
    enum Field { Host, Port, Database, User, FieldCount };

    explicit ArchiveSettingsDialog(settings::AppSettings& settings, QWidget* parent = nullptr);

    QLineEdit* field(Field f) const { return fields_[f]; }
    QComboBox* sslMode() const { return sslMode_; }
    QLineEdit* connection() const { return connection_; }
    QLineEdit* installationName() const { return name_; }
    QSpinBox* interval() const { return interval_; }
    QPushButton* testButton() const { return test_; }
    QPlainTextEdit* answer() const { return answer_; }

    void OnTest();
    // Stores the settings and closes, or says why the connection string is refused.
    void OnOK();

  private:
    settings::AppSettings& settings_;

    void showFields(const QString& connection);
    void fieldsEdited();
    void connectionEdited();

    QLineEdit* fields_[FieldCount] = {};
    QComboBox* sslMode_ = nullptr;
    QLineEdit* connection_ = nullptr;
    QLineEdit* name_ = nullptr;
    QSpinBox* interval_ = nullptr;
    QPushButton* test_ = nullptr;
    QPlainTextEdit* answer_ = nullptr;
};

}  // namespace plm::app
