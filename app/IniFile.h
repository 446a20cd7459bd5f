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
    // Largest file read; anything bigger is not a profile file worth reading.
    static constexpr qint64 MaxFileSize = 1 << 20;

    enum class TState {
        Read,       // the file was read (it may still hold nothing useful)
        Missing,    // nothing by that name
        Unreadable, // there, but not read: see Problem()
    };

    // Reads the whole file; a missing or unreadable file reads as empty. Only a
    // regular file of at most MaxFileSize bytes is read, and opening never waits
    // (a FIFO is not even opened). UTF-8, or UTF-16 of either byte order when it
    // starts with a byte-order mark; lines end in CR, LF or CR LF.
    explicit TIniFile(const QString& fileName);

    TState State() const { return m_state; }
    // Why a file that is there was not read, in words for the user.
    const QString& Problem() const { return m_problem; }
    // True when no line of the file held anything but blanks.
    bool Blank() const { return m_blank; }

    // Sections and keys match without regard to case and the first occurrence
    // wins. The value is trimmed and one pair of enclosing double quotes removed.
    std::optional<QString> Read(const QString& section, const QString& key) const;
    QString ReadString(const QString& section, const QString& key, const QString& fallback) const;

private:
    void Parse(const QString& text);

    QHash<QString, QHash<QString, QString>> m_sections;
    TState m_state = TState::Missing;
    QString m_problem;
    bool m_blank = true;
};

struct TIniSection {
    QString Name;
    QList<QPair<QString, QString>> Values;
};

// Text of one value as written to the file, so that reading gives it back:
// values with blanks at either end or enclosed in quotes get an extra pair of
// quotes; line breaks, which the format cannot hold, become blanks.
QString IniValueText(const QString& value);

// Writes the sections in order, as UTF-8, into a temporary file beside `fileName`,
// readable and writable by the owner only, and renames it over the old file.
// Returns false, leaving any old file untouched, when that fails or the text
// would be too large for TIniFile to read back.
bool WriteIniFile(const QString& fileName, const QList<TIniSection>& sections);
