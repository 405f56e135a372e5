// SPDX-License-Identifier: GPL-3.0-or-later
// The window in the user's language: the program's own texts and Qt's standard ones (file dialogs, the edit menu of
// text fields), each loaded when a translation for the locale exists; English otherwise.
#pragma once

#include <QLocale>

class QCoreApplication;

namespace morrowtide::gui {

// Where the program's compiled translations are built in.
inline constexpr char kTranslationsPrefix[] = ":/i18n";

// Installs the translators for `locale` into `app` (which owns them). Returns true when the program's own texts
// are translated.
bool installTranslations(QCoreApplication& app, const QLocale& locale);

}  // namespace morrowtide::gui
