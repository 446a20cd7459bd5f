#pragma once
// Which data-connection commands a status log shows: proof of the mode a
// listing or transfer ran in, whatever the server would also have accepted.
#include <QStringList>
#include <gtest/gtest.h>

// The commands that opened data connections ("PORT", "EPRT", "EPSV", "PASV"), in order.
inline QStringList DataConnectionCommands(const QStringList& log)
{
    QStringList commands;
    for (const QString& line : log) {
        const QString word = line.trimmed().section(u' ', 0, 0);
        if (word == u"PORT" || word == u"EPRT" || word == u"EPSV" || word == u"PASV")
            commands << word;
    }
    return commands;
}

// At least one data connection was opened, and every one in the mode asked
// for. PASV cannot name an IPv6 address; EPRT may carry either family.
inline ::testing::AssertionResult DataConnectionsIn(bool passive, bool ipv6, const QStringList& log)
{
    const QStringList commands = DataConnectionCommands(log);
    const QStringList allowed = !passive ? QStringList{"PORT", "EPRT"}
                                : ipv6   ? QStringList{"EPSV"}
                                         : QStringList{"EPSV", "PASV"};
    bool ok = !commands.isEmpty();
    for (const QString& command : commands)
        ok = ok && allowed.contains(command);
    if (ok)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "data connections opened by [" << commands.join(", ").toStdString()
                                         << "], expected only " << allowed.join(" or ").toStdString() << "; log:\n"
                                         << log.join(u'\n').toStdString();
}
