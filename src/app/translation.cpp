#include "app/translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kf::ui {

bool installQtTranslation(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    // A program unpacked with its own Qt (the Windows folder) carries the file beside it.
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/translations");
    if (!translator->load(QStringLiteral("qtbase_ja"), beside) &&
        !translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace kf::ui
