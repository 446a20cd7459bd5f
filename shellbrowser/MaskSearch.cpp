#include "shellbrowser/MaskSearch.h"

void ParseMaskString(const QString& maskString, QStringList& list)
{
    list.clear();
    if (maskString.isEmpty()) {
        list.append(QStringLiteral("*"));
        return;
    }
    // Nothing is trimmed and empty pieces stay (they match nothing).
    QStringList pieces = maskString.split(QLatin1Char(';'));
    if (maskString.endsWith(QLatin1Char(';')))
        pieces.removeLast();
    for (const QString& piece : pieces)
        list.append(piece.toLower());
    list.sort();
}

namespace {
QStringList Tokens(const QString& mask)
{
    QStringList tokens;
    QString literal;
    for (const QChar c : mask) {
        if (c == QLatin1Char('*') || c == QLatin1Char('?')) {
            if (!literal.isEmpty())
                tokens.append(std::exchange(literal, QString()));
            tokens.append(QString(c));
        } else {
            literal.append(c);
        }
    }
    if (!literal.isEmpty())
        tokens.append(literal);
    return tokens;
}
}

bool MatchesMask(const QString& name, const QString& mask)
{
    if (mask == QLatin1String("*"))
        return true;
    if (mask == QLatin1String("*.*"))
        return name.contains(QLatin1Char('.'));
    if (!mask.contains(QLatin1Char('*')) && !mask.contains(QLatin1Char('?')))
        return name == mask;

    // Positions are 1-based as in the rule; a "*" takes the first occurrence
    // of what follows and never backtracks.
    const qsizetype length = name.size();
    qsizetype p = 1;
    bool starPending = false;
    const QStringList tokens = Tokens(mask);
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const QString& token = tokens[i];
        if (token == QLatin1String("?")) {
            if (++p > length + 1)
                return false;
        } else if (token == QLatin1String("*")) {
            starPending = true;
        } else if (starPending && i == tokens.size() - 1) {
            const qsizetype oldP = p;
            p = length;
            if (length - oldP + 1 >= token.size() && name.endsWith(token))
                p = length + 1;
            starPending = false;
        } else if (starPending) {
            const qsizetype found = name.indexOf(token, p - 1);
            if (found < 0)
                return false;
            p = found + 1 + token.size();
            starPending = false;
        } else {
            if (name.mid(p - 1, token.size()) != token)
                return false;
            p += token.size();
        }
    }
    return starPending || p == length + 1;
}

bool MatchesMaskList(const QString& name, const QStringList& list)
{
    if (list.isEmpty())
        return true;
    QString lower = name.toLower();
    if (!lower.contains(QLatin1Char('.')))
        lower.append(QLatin1Char('.'));
    for (const QString& mask : list)
        if (MatchesMask(lower, mask))
            return true;
    return false;
}
