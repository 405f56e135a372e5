// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace morrowtide::gui {

namespace {

bool install(QCoreApplication& app, const QLocale& locale, const QString& name, const QString& folder) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(locale, name, QStringLiteral("_"), folder)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

}  // namespace

bool installTranslations(QCoreApplication& app, const QLocale& locale) {
    // Qt's own first: a translator installed later is asked first, so the program's texts win where both have one.
    install(app, locale, QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    return install(app, locale, QStringLiteral("morrowtide"), QString::fromLatin1(kTranslationsPrefix));
}

}  // namespace morrowtide::gui
