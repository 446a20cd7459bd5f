#pragma once
// The transfer queue as a table for the window: one row per item with its
// direction, both paths, size, state (a failure with its reason), how a done
// file was checked and progress,
// and a one-line summary of the whole queue. It only reads the queue; whoever
// runs the queue tells it what changed.
#include "ftp/TransferQueue.h"

#include <QAbstractTableModel>
#include <QTimer>

class TTransferQueueModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColDirection, ColLocal, ColRemote, ColSize, ColState, ColCheck, ColProgress, ColumnCount };

    explicit TTransferQueueModel(const TTransferQueue& queue, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The whole queue: "3 of 5 files, 1.2 MB of 4.0 MB, 850.0 KB/s, 4 s left" (speed and
    // time while it runs, failures when there are); "The queue is empty." when it is.
    QString Summary() const;

    // What the queue's events say, passed on to the views.
    void ItemChanged(int index);
    void ItemsChanged();

signals:
    // The summary may read differently; sent at most a few times a second.
    void SummaryChanged();

private:
    // The running item's progress with its speed and time left.
    QString RunningProgress(const TTransferItem& item) const;

    const TTransferQueue& m_queue;
    // Progress arrives once per block: the summary follows at a pace a reader can follow.
    QTimer m_summaryPace;
};

// The texts the queue shows, also used by its tests.
QString DirectionText(TTransferDirection direction);
QString StateText(const TTransferItem& item);
QString SizeText(qint64 bytes);
// How a done file was checked ("SHA-256 verified", "size checked", "not checked");
// "" for folders and for items not done.
QString CheckedText(const TTransferItem& item);
// "12 %" of the running item, "" when it has none to show.
QString ProgressText(const TTransferItem& item);
