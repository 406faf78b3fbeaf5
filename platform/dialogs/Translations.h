#pragma once

// Loads Qt's own Japanese texts (file dialogs, their overwrite question, standard buttons), so
// the standard dialogs speak the language of the rest of the interface, whatever the locale.
namespace Platform {

// True when the translations were found and installed.
bool InstallJapaneseQtTranslations();

} // namespace Platform
