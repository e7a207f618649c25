#pragma once

#include <QLocale>
#include <QString>
#include <QTranslator>
#include <memory>
#include <vector>

namespace plm::ui {

// Qt's own texts (standard buttons, print, preview and file dialogs) for a
// program that speaks Japanese whatever the desktop's locale. The Japanese
// catalogue is searched first; the desktop locale's catalogue, where one
// exists, sits beneath it for texts the Japanese one lacks. The translators
// stay installed for the life of this object.
class QtTranslations {
  public:
    // folder: where Qt's catalogues live (qtbase_ja.qm, ...); desktop: the
    // locale of the desktop session.
    QtTranslations(const QString& folder, const QLocale& desktop);
    // Qt's installed catalogues and the desktop session's locale.
    QtTranslations();
    ~QtTranslations();
    QtTranslations(const QtTranslations&) = delete;
    QtTranslations& operator=(const QtTranslations&) = delete;

    // False when Qt's Japanese catalogue is not installed: standard buttons
    // and dialogs then keep the desktop's language or English.
    bool japanese() const { return japanese_; }

  private:
    bool install(const QString& folder, const QLocale& locale);

    std::vector<std::unique_ptr<QTranslator>> installed_;
    bool japanese_ = false;
};

}  // namespace plm::ui
