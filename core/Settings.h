#pragma once

#include <QString>

// The settings file: "<program path>.ini", UTF-8, read and written key by key.
// Other sections and keys in the file are kept as they are.
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

// The program's own settings file: its path with the extension replaced by ".ini".
QString settingsFilePath();
// Tests point the program at a settings file of their own.
void setSettingsFilePath(const QString& path);
// The program file's own path with its extension replaced.
QString programPathWithExtension(const QString& extension);
