#include "app/archive/archive_settings_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "archive/archive_connection.h"
#include "chart/qt_text.h"
#include "support/cx_exception.h"
#include "ui/busy_scope.h"
#include "ui/prompter.h"

namespace plm::app {

namespace {

struct SslChoice {
    const char* text;
    const char* mode;  // libpq sslmode; empty: not given (libpq's default)
};

constexpr SslChoice kSslModes[] = {
    {"指定しない", ""},
    {"使わない (disable)", "disable"},
    {"サーバーが求めれば使う (allow)", "allow"},
    {"使えれば使う (prefer)", "prefer"},
    {"必ず使う (require)", "require"},
    {"必ず使い、証明書を確かめる (verify-ca)", "verify-ca"},
    {"必ず使い、証明書とホスト名を確かめる (verify-full)", "verify-full"},
};

constexpr int kMaxIntervalMinutes = 24 * 60;

}  // namespace

ArchiveSettingsDialog::ArchiveSettingsDialog(settings::AppSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setWindowTitle(qsj("アーカイブ設定"));
    auto* form = new QFormLayout;
    const char* labels[FieldCount] = {
        "ホスト(&H):", "ポート(&P):", "データベース(&D):", "ユーザー(&U):"};
    for (int f = 0; f < FieldCount; ++f) {
        fields_[f] = new QLineEdit(this);
        form->addRow(qsj(labels[f]), fields_[f]);
        connect(fields_[f], &QLineEdit::textEdited, this, &ArchiveSettingsDialog::fieldsEdited);
    }
    fields_[Host]->setPlaceholderText(qsj("空欄: このコンピュータ"));
    fields_[Port]->setPlaceholderText(QStringLiteral("5432"));
    sslMode_ = new QComboBox(this);
    for (const SslChoice& c : kSslModes)
        sslMode_->addItem(qsj(c.text), QString::fromLatin1(c.mode));
    form->addRow(qsj("暗号化 (TLS)(&E):"), sslMode_);
    connect(sslMode_, &QComboBox::activated, this, &ArchiveSettingsDialog::fieldsEdited);
    connection_ = new QLineEdit(this);
    form->addRow(qsj("接続文字列(&C):"), connection_);
    connect(connection_, &QLineEdit::textEdited, this, &ArchiveSettingsDialog::connectionEdited);
    auto* note = new QLabel(qsj("パスワードはここに書けません。libpq のパスワードファイル"
                                "（~/.pgpass）かサービスファイルに書いてください"),
                            this);
    note->setWordWrap(true);
    form->addRow(QString(), note);
    name_ = new QLineEdit(this);
    name_->setPlaceholderText(qsj("空欄: ユーザー名@ホスト名"));
    form->addRow(qsj("この端末の名前(&N):"), name_);
    interval_ = new QSpinBox(this);
    interval_->setRange(0, kMaxIntervalMinutes);
    interval_->setSuffix(qsj(" 分"));
    interval_->setSpecialValueText(qsj("しない"));
    form->addRow(qsj("自動同期の間隔(&I):"), interval_);

    test_ = new QPushButton(qsj("接続テスト(&T)"), this);
    connect(test_, &QPushButton::clicked, this, &ArchiveSettingsDialog::OnTest);
    answer_ = new QPlainTextEdit(this);
    answer_->setReadOnly(true);
    answer_->setPlaceholderText(qsj("サーバーの応答"));
    answer_->setFixedHeight(answer_->fontMetrics().lineSpacing() * 6 + 12);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(qsj("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ArchiveSettingsDialog::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(test_, 0, Qt::AlignLeft);
    layout->addWidget(answer_);
    layout->addWidget(buttons);
    setMinimumWidth(460);

    const settings::AppSettings& s = settings_;
    connection_->setText(qs(s.archiveConnection));
    showFields(connection_->text());
    name_->setText(qs(s.archiveInstallationName));
    interval_->setValue(std::min(s.archiveIntervalMinutes, kMaxIntervalMinutes));
}

void ArchiveSettingsDialog::showFields(const QString& connection) {
    archive::ConnectionFields parsed;
    try {
        parsed = archive::connectionFields(cp(connection));
    } catch (const CxException&) {
        return;  // half typed: the fields keep what they show until it parses
    }
    const std::string* values[FieldCount] = {&parsed.host, &parsed.port, &parsed.dbname,
                                             &parsed.user};
    for (int f = 0; f < FieldCount; ++f) {
        const QSignalBlocker quiet(fields_[f]);
        fields_[f]->setText(qs(*values[f]));
    }
    const int mode = sslMode_->findData(QString::fromStdString(parsed.sslmode));
    sslMode_->setCurrentIndex(mode < 0 ? 0 : mode);
}

void ArchiveSettingsDialog::fieldsEdited() {
    archive::ConnectionFields fields;
    fields.host = cp(fields_[Host]->text().trimmed());
    fields.port = cp(fields_[Port]->text().trimmed());
    fields.dbname = cp(fields_[Database]->text().trimmed());
    fields.user = cp(fields_[User]->text().trimmed());
    fields.sslmode = sslMode_->currentData().toString().toStdString();
    connection_->setText(qs(archive::connectionString(fields)));
}

void ArchiveSettingsDialog::connectionEdited() {
    showFields(connection_->text());
}

void ArchiveSettingsDialog::OnTest() {
    const std::string connection = cp(connection_->text().trimmed());
    archive::ConnectionAnswer answer;
    {
        // The server may take its time to answer or not at all: the dialog
        // keeps painting meanwhile.
        ui::BusyScope busy(qsj("アーカイブに接続中・・・"), this);
        busy.run([&] { answer = archive::testConnection(connection); });
    }
    answer_->setPlainText(qs(answer.text));
}

void ArchiveSettingsDialog::OnOK() {
    const std::string connection = cp(connection_->text().trimmed());
    if (!connection.empty()) {
        try {
            archive::checkConnectionText(connection);
        } catch (const CxException& e) {
            ui::prompter().stop(e.text());
            connection_->setFocus();
            return;
        }
    }
    settings::AppSettings& s = settings_;
    s.archiveConnection = connection;
    s.archiveInstallationName = cp(name_->text().trimmed());
    s.archiveIntervalMinutes = interval_->value();
    s.saveArchive();
    accept();
}

}  // namespace plm::app
