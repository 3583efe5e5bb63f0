#pragma once

#include <QString>

// An initialisation file, UTF-8, read and written key by key. Other sections
// and keys in the file are kept as they are.
class IniFile {
public:
    explicit IniFile(QString path);

    // The value of a key, or the default when the file, section or key is missing.
    QString readString(const QString& section, const QString& key, const QString& def) const;
    // Writes one key at once; raises "Unable to write to <path>" on failure.
    void writeString(const QString& section, const QString& key, const QString& value);

    const QString& path() const { return m_path; }

private:
    QString m_path;
};

// The mark that makes the folder holding it a portable one: the build leaves it
// beside the programs it makes. A program in a portable folder keeps its files
// beside itself; so does one whose own settings file is already there.
inline constexpr char kPortableMark[] = "dorsanti.portable";

// The program's own settings file: its path with the extension replaced by
// ".ini" when its folder is portable and that file can be written there (the
// build folder, a copy in the user's own folder), else
// $XDG_CONFIG_HOME/dorsanti/dorsanti.ini. Reading and writing both use this
// one path.
QString settingsFilePath();
// The database offered when the settings name none: the program's path with
// ".db" when its folder is portable and can be written, else
// $XDG_DATA_HOME/dorsanti/dorsanti.db.
QString defaultDatabasePath();
// Makes a folder and any missing parents, each readable by its owner only
// (0700); folders that exist are left as they are. Raises when it cannot.
void makeOwnerOnlyFolder(const QString& path);
// Tests point the program at a settings file of their own.
void setSettingsFilePath(const QString& path);
// The program file's own path with its extension replaced.
QString programPathWithExtension(const QString& extension);
