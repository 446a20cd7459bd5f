#pragma once
// Profile (ini) files as the desktop's profile functions know them:
// "[section]" header lines, then "key=value" lines.
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

class TIniFile {
public:
    // Longest value a read returns; longer values are cut.
    static constexpr int MaxValueLength = 2047;

    // Reads the whole file; a missing or unreadable file reads as empty.
    explicit TIniFile(const QString& fileName);

    // Sections and keys match without regard to case and the first occurrence
    // wins. The value is trimmed and one pair of enclosing double quotes removed.
    std::optional<QString> Read(const QString& section, const QString& key) const;
    QString ReadString(const QString& section, const QString& key, const QString& fallback) const;

private:
    QHash<QString, QHash<QString, QString>> m_sections;
};

struct TIniSection {
    QString Name;
    QList<QPair<QString, QString>> Values;
};

// Text of one value as written to the file, so that reading gives it back:
// values with blanks at either end or enclosed in quotes get an extra pair of
// quotes; line breaks, which the format cannot hold, become blanks.
QString IniValueText(const QString& value);

// Writes the sections in order into a temporary file beside `fileName`, readable
// and writable by the owner only, and renames it over the old file. Returns
// false, leaving any old file untouched, when that fails.
bool WriteIniFile(const QString& fileName, const QList<TIniSection>& sections);
