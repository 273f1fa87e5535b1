#pragma once
// Qt's own texts (the edit boxes' menus, the dialogs' standard buttons) in
// the language of the system rather than always in English.

#include <QLocale>

class QTranslator;

namespace pelm {

/// Installs Qt's translation for `locale` on the running application, from
/// Qt's translations folder (Debian's qt6-translations-l10n), and returns it
/// (owned by the application). Returns null, leaving the texts in English,
/// when there is none for that language.
QTranslator* installQtTranslations(const QLocale& locale);

}  // namespace pelm
