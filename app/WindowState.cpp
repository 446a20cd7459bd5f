#include "app/WindowState.h"
#include "ftp/WireText.h"
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <algorithm>

namespace {
// Raised when the layout of the file changes, so that an older file is not misread.
constexpr int FileVersion = 1;

std::optional<QList<int>> ReadNumbers(const QVariant& value)
{
    QList<int> numbers;
    for (const QString& text : value.toStringList()) {
        bool ok = false;
        numbers << text.toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    return numbers;
}

std::optional<QList<int>> ReadSizes(const QVariant& value)
{
    std::optional<QList<int>> sizes = ReadNumbers(value);
    if (!sizes || sizes->isEmpty() || std::any_of(sizes->begin(), sizes->end(), [](int size) { return size < 0; }))
        return std::nullopt;
    return sizes;
}

QStringList SizesText(const QList<int>& sizes)
{
    QStringList texts;
    for (int size : sizes)
        texts << QString::number(size);
    return texts;
}

std::optional<QRect> ReadGeometry(const QVariant& value)
{
    const std::optional<QList<int>> parts = ReadNumbers(value);
    if (!parts || parts->size() != 4 || parts->at(2) <= 0 || parts->at(3) <= 0)
        return std::nullopt;
    return QRect(parts->at(0), parts->at(1), parts->at(2), parts->at(3));
}

template <class T, class Read>
QMap<QString, T> ReadGroup(QSettings& settings, const QString& group, Read read)
{
    QMap<QString, T> values;
    settings.beginGroup(group);
    for (const QString& key : settings.childKeys())
        if (const std::optional<T> value = read(settings.value(key)))
            values.insert(key, *value);
    settings.endGroup();
    return values;
}

// A folder holding bytes that are not UTF-8 is kept as those bytes, so that it
// reaches the server again as it came; any other as text, readable in the file.
QVariant FolderValue(const QString& folder)
{
    return HoldsRawBytes(folder) ? QVariant(EncodeWire(folder)) : QVariant(folder);
}

QList<TRecentRemoteFolders> ReadRecentRemoteFolders(QSettings& settings)
{
    QList<TRecentRemoteFolders> accounts;
    const int count = settings.beginReadArray(QStringLiteral("RecentRemoteFolders"));
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        TRecentRemoteFolders account;
        account.Host = settings.value(QStringLiteral("Host")).toString();
        bool portOk = false;
        account.Port = settings.value(QStringLiteral("Port")).toString().toInt(&portOk);
        account.User = settings.value(QStringLiteral("User")).toString();
        const int folders = settings.beginReadArray(QStringLiteral("Folders"));
        for (int f = 0; f < folders; ++f) {
            settings.setArrayIndex(f);
            const QString folder = DecodeWire(settings.value(QStringLiteral("Folder")).toByteArray());
            if (!folder.isEmpty())
                account.Folders << folder;
        }
        settings.endArray();
        if (!account.Host.isEmpty() && portOk && account.Port > 0 && !account.Folders.isEmpty())
            accounts << account;
    }
    settings.endArray();
    return accounts;
}

void WriteRecentRemoteFolders(QSettings& settings, const QList<TRecentRemoteFolders>& accounts)
{
    settings.beginWriteArray(QStringLiteral("RecentRemoteFolders"), int(accounts.size()));
    for (int i = 0; i < accounts.size(); ++i) {
        settings.setArrayIndex(i);
        const TRecentRemoteFolders& account = accounts[i];
        settings.setValue(QStringLiteral("Host"), account.Host);
        settings.setValue(QStringLiteral("Port"), account.Port);
        settings.setValue(QStringLiteral("User"), account.User);
        settings.beginWriteArray(QStringLiteral("Folders"), int(account.Folders.size()));
        for (int f = 0; f < account.Folders.size(); ++f) {
            settings.setArrayIndex(f);
            settings.setValue(QStringLiteral("Folder"), FolderValue(account.Folders[f]));
        }
        settings.endArray();
    }
    settings.endArray();
}

std::optional<int> ReadWidth(const QVariant& value)
{
    bool ok = false;
    const int width = value.toString().toInt(&ok);
    return ok && width > 0 ? std::optional(width) : std::nullopt;
}
}

QString WindowStateFileName(const QString& configFolder)
{
    return QDir(configFolder).filePath(QStringLiteral("window.ini"));
}

TWindowState ReadWindowState(const QString& fileName)
{
    TWindowState state;
    if (!QFileInfo(fileName).isFile())
        return state;
    QSettings settings(fileName, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError
        || settings.value(QStringLiteral("Window/Version")).toString() != QString::number(FileVersion))
        return state;
    state.Geometry = ReadGeometry(settings.value(QStringLiteral("Window/Geometry")));
    state.Maximized = settings.value(QStringLiteral("Window/Maximized")).toString() == QStringLiteral("true");
    state.Splitters = ReadGroup<QList<int>>(settings, QStringLiteral("Splitters"), ReadSizes);
    state.ColumnWidths = ReadGroup<QList<int>>(settings, QStringLiteral("Columns"), ReadSizes);
    state.LocalColumnWidths = ReadGroup<int>(settings, QStringLiteral("LocalColumns"), ReadWidth);
    state.LocalFolder = settings.value(QStringLiteral("Local/Folder")).toString();
    state.RecentRemoteFolders = ReadRecentRemoteFolders(settings);
    bool ok = false;
    if (const int column = settings.value(QStringLiteral("Remote/SortColumn")).toString().toInt(&ok); ok && column >= 0)
        state.RemoteSortColumn = column;
    if (settings.value(QStringLiteral("Remote/SortOrder")).toString() == QLatin1String("descending"))
        state.RemoteSortOrder = Qt::DescendingOrder;
    return state;
}

bool WriteWindowState(const QString& fileName, const TWindowState& state)
{
    if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
        return false;
    QSettings settings(fileName, QSettings::IniFormat);
    settings.clear();
    settings.setValue(QStringLiteral("Window/Version"), FileVersion);
    if (state.Geometry) {
        const QRect& r = *state.Geometry;
        settings.setValue(QStringLiteral("Window/Geometry"), SizesText({r.x(), r.y(), r.width(), r.height()}));
    }
    settings.setValue(QStringLiteral("Window/Maximized"), state.Maximized);
    for (auto it = state.Splitters.begin(); it != state.Splitters.end(); ++it)
        settings.setValue(QStringLiteral("Splitters/") + it.key(), SizesText(it.value()));
    for (auto it = state.ColumnWidths.begin(); it != state.ColumnWidths.end(); ++it)
        settings.setValue(QStringLiteral("Columns/") + it.key(), SizesText(it.value()));
    for (auto it = state.LocalColumnWidths.begin(); it != state.LocalColumnWidths.end(); ++it)
        settings.setValue(QStringLiteral("LocalColumns/") + it.key(), it.value());
    settings.setValue(QStringLiteral("Local/Folder"), state.LocalFolder);
    WriteRecentRemoteFolders(settings, state.RecentRemoteFolders);
    if (state.RemoteSortColumn >= 0) {
        settings.setValue(QStringLiteral("Remote/SortColumn"), state.RemoteSortColumn);
        settings.setValue(QStringLiteral("Remote/SortOrder"), state.RemoteSortOrder == Qt::DescendingOrder
                                                                    ? QStringLiteral("descending")
                                                                    : QStringLiteral("ascending"));
    }
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QRect FitToScreen(const QRect& wanted, const QRect& available)
{
    if (!available.isValid())
        return wanted;
    QRect fitted(wanted.topLeft(), wanted.size().boundedTo(available.size()));
    fitted.moveLeft(std::clamp(fitted.left(), available.left(), available.right() - fitted.width() + 1));
    fitted.moveTop(std::clamp(fitted.top(), available.top(), available.bottom() - fitted.height() + 1));
    return fitted;
}
