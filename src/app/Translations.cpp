#include "app/Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace zl::app {

QStringList translationFolders()
{
    return {QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/zenlabo/translations")),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
}

QString installJapaneseTranslation(QCoreApplication &app)
{
    // Every text of the program is Japanese, whatever the session's language:
    // Qt's must be too, or an English "Cancel" stands beside 「参照」, and so
    // must its dates and numbers, or "Dec" stands beside 「更新日時」. What the
    // program stores (settings tables, PDF file names) uses fixed formats.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    auto *translator = new QTranslator(&app);
    for (const QString &folder : translationFolders()) {
        if (translator->load(QStringLiteral("qtbase_ja"), folder)) {
            QCoreApplication::installTranslator(translator);
            return translator->filePath();
        }
    }
    delete translator;
    return {};
}

} // namespace zl::app
