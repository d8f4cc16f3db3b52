#pragma once
// Qt's own texts (file and print dialogs, standard buttons, the window menu)
// in Japanese, like the rest of the program.
#include <QString>

class QCoreApplication;

namespace zl::app {

// The folders searched for Qt's Japanese translation, first found wins: the
// program's own copy (share/zenlabo/translations beside its bin folder), then
// the system's Qt translations.
QStringList translationFolders();

// Loads Qt's Japanese translation into the application and makes the
// program's locale Japanese whatever the system's (dates, numbers, prices).
// Returns the file loaded, or an empty text when none was found (Qt's texts
// then stay English; the program still works).
QString installJapaneseTranslation(QCoreApplication &app);

} // namespace zl::app
