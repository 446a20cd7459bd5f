#include "app/IniFile.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
QString Unquoted(QString value)
{
    value = value.trimmed();
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    return value;
}

// Cuts to the read limit without splitting a character in two.
QString Limited(const QString& value)
{
    if (value.size() <= TIniFile::MaxValueLength)
        return value;
    int length = TIniFile::MaxValueLength;
    if (value.at(length - 1).isHighSurrogate())
        --length;
    return value.left(length);
}
}

TIniFile::TIniFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QString text = QString::fromUtf8(file.readAll());
    QHash<QString, QString>* current = nullptr;
    for (const QString& rawLine : text.split(QLatin1Char('\n'))) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            const int end = line.indexOf(QLatin1Char(']'));
            const QString name = line.mid(1, end < 0 ? -1 : end - 1).trimmed().toLower();
            current = m_sections.contains(name) ? nullptr : &m_sections[name];
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (!current || equals <= 0 || line.startsWith(QLatin1Char(';')))
            continue;
        const QString key = line.left(equals).trimmed().toLower();
        if (!current->contains(key))
            current->insert(key, Limited(Unquoted(line.mid(equals + 1))));
    }
}

std::optional<QString> TIniFile::Read(const QString& section, const QString& key) const
{
    const auto s = m_sections.constFind(section.toLower());
    if (s == m_sections.constEnd())
        return std::nullopt;
    const auto v = s->constFind(key.toLower());
    if (v == s->constEnd())
        return std::nullopt;
    return *v;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& fallback) const
{
    return Read(section, key).value_or(fallback);
}

QString IniValueText(const QString& value)
{
    QString text = value;
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const bool needsQuotes = !text.isEmpty()
        && (text.front().isSpace() || text.back().isSpace()
            || (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"'))));
    return needsQuotes ? QLatin1Char('"') + text + QLatin1Char('"') : text;
}

bool WriteIniFile(const QString& fileName, const QList<TIniSection>& sections)
{
    QString text;
    for (const TIniSection& section : sections) {
        text += QLatin1Char('[') + section.Name + QStringLiteral("]\n");
        for (const auto& [key, value] : section.Values)
            text += key + QLatin1Char('=') + IniValueText(value) + QLatin1Char('\n');
    }
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QSaveFile file(fileName);
    // Unbuffered, so that a short write (a full disk) shows here and not as a
    // silently truncated file at commit.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    // The hosts file holds passwords: nobody but its owner may read it.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
