#pragma once

// What the program prepares before its first window opens.

// Qt's own texts in Russian (standard buttons, the file and colour dialogs,
// the context menus of text fields), the Russian locale, and no settings file
// of Qt's own. Without the translation file the program runs in English.
void PrepareApplication();

// The very first start: when there is no settings file and no file at the
// default database path, makes that database (tables, configuration, the
// user "sa" with an empty password), so that the defaults sign in. True when
// it made one; errors are raised and leave no file behind.
bool CreateFirstDatabase();
