#include "app/TransferQueueModel.h"

#include <QLocale>

namespace {

bool Counted(const TTransferItem& item)
{
    return !item.Folder && item.State != TTransferState::Skipped && item.State != TTransferState::Cancelled;
}

QString DurationText(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

} // namespace

QString DirectionText(TTransferDirection direction)
{
    return direction == TTransferDirection::Download ? QStringLiteral("Download") : QStringLiteral("Upload");
}

QString StateText(const TTransferItem& item)
{
    switch (item.State) {
    case TTransferState::Waiting: return QStringLiteral("Waiting");
    case TTransferState::Running: return QStringLiteral("Running");
    case TTransferState::Done: return QStringLiteral("Done");
    case TTransferState::Failed:
        return item.Error.isEmpty() ? QStringLiteral("Failed") : QStringLiteral("Failed: ") + item.Error;
    case TTransferState::Skipped: return QStringLiteral("Skipped");
    case TTransferState::Cancelled: return QStringLiteral("Cancelled");
    }
    return {};
}

QString CheckedText(const TTransferItem& item)
{
    return item.State == TTransferState::Done && !item.Folder ? CheckText(item.Checked) : QString();
}

QString SizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QString ProgressText(const TTransferItem& item)
{
    if (item.State != TTransferState::Running || item.Folder)
        return {};
    if (item.Size <= 0)
        return SizeText(item.Moved);
    return QStringLiteral("%1 %").arg(qMin<qint64>(100, item.Moved * 100 / item.Size));
}

TTransferQueueModel::TTransferQueueModel(const TTransferQueue& queue, QObject* parent)
    : QAbstractTableModel(parent), m_queue(queue)
{
    m_summaryPace.setSingleShot(true);
    m_summaryPace.setInterval(200);
    connect(&m_summaryPace, &QTimer::timeout, this, &TTransferQueueModel::SummaryChanged);
}

int TTransferQueueModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_queue.Items().size());
}

int TTransferQueueModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TTransferQueueModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TTransferItem& item = m_queue.Items()[index.row()];
    if (role == Qt::TextAlignmentRole && (index.column() == ColSize || index.column() == ColProgress))
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && index.column() == ColState)
        return StateText(item);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case ColDirection: return DirectionText(item.Direction);
    case ColLocal: return item.LocalPath;
    case ColRemote: return item.RemotePath;
    case ColSize: return item.Folder ? QStringLiteral("Folder") : SizeText(item.Size);
    case ColState: return StateText(item);
    case ColCheck: return CheckedText(item);
    case ColProgress: return RunningProgress(item);
    }
    return {};
}

QVariant TTransferQueueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ColDirection: return QStringLiteral("Direction");
    case ColLocal: return QStringLiteral("Local path");
    case ColRemote: return QStringLiteral("Remote path");
    case ColSize: return QStringLiteral("Size");
    case ColState: return QStringLiteral("State");
    case ColCheck: return QStringLiteral("Check");
    case ColProgress: return QStringLiteral("Progress");
    }
    return {};
}

QString TTransferQueueModel::RunningProgress(const TTransferItem& item) const
{
    QString text = ProgressText(item);
    if (text.isEmpty() || !m_queue.Running())
        return text;
    text += QStringLiteral(", %1/s").arg(SizeText(qint64(m_queue.Speed())));
    if (const std::optional<qint64> left = m_queue.SecondsLeft())
        text += QStringLiteral(", %1 left").arg(DurationText(*left));
    return text;
}

QString TTransferQueueModel::Summary() const
{
    int files = 0, finished = 0, failed = 0;
    for (const TTransferItem& item : m_queue.Items()) {
        if (!Counted(item))
            continue;
        ++files;
        finished += item.State == TTransferState::Done;
        failed += item.State == TTransferState::Failed;
    }
    if (m_queue.Items().empty())
        return QStringLiteral("The queue is empty.");
    QString text = QStringLiteral("%1 of %2 files, %3 of %4")
                       .arg(finished)
                       .arg(files)
                       .arg(SizeText(m_queue.MovedBytes()), SizeText(m_queue.TotalBytes()));
    if (failed > 0)
        text += QStringLiteral(", %1 failed").arg(failed);
    if (m_queue.Running()) {
        const double speed = m_queue.Speed();
        text += QStringLiteral(", %1/s").arg(SizeText(qint64(speed)));
        // The whole queue's rest at the running item's pace.
        if (speed > 0)
            text += QStringLiteral(", %1 left")
                        .arg(DurationText(qint64(double(qMax<qint64>(0, m_queue.TotalBytes() - m_queue.MovedBytes())) / speed + 0.5)));
    }
    return text;
}

void TTransferQueueModel::ItemChanged(int index)
{
    if (index < 0 || index >= rowCount())
        return;
    emit dataChanged(this->index(index, 0), this->index(index, ColumnCount - 1));
    if (!m_summaryPace.isActive())
        m_summaryPace.start();
}

void TTransferQueueModel::ItemsChanged()
{
    beginResetModel();
    endResetModel();
    emit SummaryChanged();
}
