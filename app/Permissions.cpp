#include "app/Permissions.h"

namespace {

// One "rwx" triad; `special` is the letter that also sets the triad's special bit
// (lower case: with execute, upper case: without).
std::optional<int> TriadBits(QStringView triad, QChar special, bool& specialSet)
{
    const bool read = triad[0] == u'r';
    const bool write = triad[1] == u'w';
    if ((!read && triad[0] != u'-') || (!write && triad[1] != u'-'))
        return std::nullopt;
    const QChar x = triad[2];
    specialSet = x == special || x == special.toUpper();
    const bool execute = x == u'x' || x == special;
    if (!execute && !specialSet && x != u'-')
        return std::nullopt;
    return (read ? 4 : 0) | (write ? 2 : 0) | (execute ? 1 : 0);
}

} // namespace

std::optional<int> ModeFromRights(const QString& rights)
{
    // The type letter, nine rights letters, and at most an ACL or attribute mark.
    if (rights.size() < 10 || rights.size() > 11 || !QStringLiteral("-dlbcps").contains(rights[0].toLower()))
        return std::nullopt;
    static const QChar specials[] = {u's', u's', u't'};
    static const int specialBits[] = {04000, 02000, 01000};
    int mode = 0;
    int special = 0;
    for (int triad = 0; triad < 3; ++triad) {
        bool specialSet = false;
        const std::optional<int> bits = TriadBits(QStringView(rights).mid(1 + 3 * triad, 3), specials[triad], specialSet);
        if (!bits)
            return std::nullopt;
        mode = mode << 3 | *bits;
        if (specialSet)
            special |= specialBits[triad];
    }
    return mode | special;
}

std::optional<int> ParseOctalMode(const QString& text)
{
    if (text.size() < 3 || text.size() > 4)
        return std::nullopt;
    int mode = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'7')
            return std::nullopt;
        mode = mode * 8 + (c.unicode() - u'0');
    }
    return mode;
}

QString OctalModeText(int mode)
{
    return QStringLiteral("%1").arg(mode & 07777, mode > 0777 ? 4 : 3, 8, QLatin1Char('0'));
}
