#include "ui/qt_translation.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QFile>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QRegularExpression>
#include <string>
#include <vector>

#include "common/temp_dir.h"

namespace plm::ui {
namespace {

const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);

// The visible words of a question's Yes / No / Cancel buttons, without the
// keyboard mnemonic ("はい(&Y)" -> "はい", "&Yes" -> "Yes").
std::vector<std::string> questionButtons() {
    QMessageBox box(QMessageBox::Question, "PLMView", "?",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    std::vector<std::string> words;
    for (auto button : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}) {
        QString text = box.button(button)->text();
        text.remove(QRegularExpression(R"(\(&.\))")).remove('&');
        words.push_back(text.trimmed().toStdString());
    }
    return words;
}

const std::vector<std::string> kJapanese = {"はい", "いいえ", "キャンセル"};
const std::vector<std::string> kEnglish = {"Yes", "No", "Cancel"};

// A folder holding only the named catalogues of Qt's installed ones.
QString folderWith(const test::TempDir& dir, const std::vector<QString>& names) {
    for (const QString& name : names) {
        const QString from = qtFolder + "/" + name;
        EXPECT_TRUE(QFile::copy(from, QString::fromStdString(dir.file(name.toStdString()))))
            << from.toStdString();
    }
    return QString::fromStdString(dir.path().string());
}

TEST(QtTranslations, QuestionButtonsAreJapaneseWhateverTheDesktopLocale) {
    for (const QLocale& desktop :
         {QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::English), QLocale::c(),
          QLocale(QLocale::Japanese, QLocale::Japan)}) {
        SCOPED_TRACE(desktop.name().toStdString());
        QtTranslations translations(qtFolder, desktop);
        EXPECT_TRUE(translations.japanese());
        EXPECT_EQ(questionButtons(), kJapanese);
    }
    EXPECT_EQ(questionButtons(), kEnglish) << "translators outlived their owner";
}

TEST(QtTranslations, DesktopCatalogueServesWhenJapaneseIsMissing) {
    test::TempDir dir;
    QtTranslations translations(folderWith(dir, {"qtbase_de.qm"}),
                                QLocale(QLocale::German, QLocale::Germany));
    EXPECT_FALSE(translations.japanese());
    EXPECT_EQ(questionButtons(), (std::vector<std::string>{"Ja", "Nein", "Abbrechen"}));
}

TEST(QtTranslations, NoCataloguesLeavesQtsOwnTexts) {
    test::TempDir dir;
    QtTranslations translations(folderWith(dir, {}), QLocale(QLocale::German, QLocale::Germany));
    EXPECT_FALSE(translations.japanese());
    EXPECT_EQ(questionButtons(), kEnglish);
}

}  // namespace
}  // namespace plm::ui
