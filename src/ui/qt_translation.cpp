#include "ui/qt_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace plm::ui {

namespace {

// qtbase holds every text of the standard buttons and dialogs the program
// uses; the other Qt modules show nothing of their own here.
const char* const kCatalogue = "qtbase";

bool isJapanese(const QLocale& locale) {
    return locale.language() == QLocale::Japanese;
}

}  // namespace

QtTranslations::QtTranslations(const QString& folder, const QLocale& desktop) {
    // A translator installed later is searched first, so the desktop's
    // catalogue goes in before the Japanese one.
    if (!isJapanese(desktop))
        install(folder, desktop);
    japanese_ = install(folder, QLocale(QLocale::Japanese, QLocale::Japan));
}

QtTranslations::QtTranslations()
    : QtTranslations(QLibraryInfo::path(QLibraryInfo::TranslationsPath), QLocale::system()) {}

QtTranslations::~QtTranslations() {
    for (const auto& translator : installed_)
        QCoreApplication::removeTranslator(translator.get());
}

bool QtTranslations::install(const QString& folder, const QLocale& locale) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, kCatalogue, "_", folder))
        return false;
    if (!QCoreApplication::installTranslator(translator.get()))
        return false;
    installed_.push_back(std::move(translator));
    return true;
}

}  // namespace plm::ui
