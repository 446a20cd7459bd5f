#pragma once
// Readable gtest output for Qt strings and lists.
#include <QByteArrayList>
#include <QStringList>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << '{';
    for (const QString& s : l)
        *os << " \"" << s.toStdString() << '"';
    *os << " }";
}
inline void PrintTo(const QByteArrayList& l, std::ostream* os)
{
    *os << '{';
    for (const QByteArray& s : l)
        *os << " \"" << s.toStdString() << '"';
    *os << " }";
}
