#pragma once
// The rows of lvRemoteFiles, kept sorted by caption with the locale's collation.
// Entries arriving during a listing are gathered and put into their sorted places in
// batches. The collation work (sort keys, sorting, merging) runs on a worker thread,
// so a folder of 100,000 entries fills the view without stalling the window; the GUI
// thread only swaps in the new order.
#include "app/Disposer.h"
#include "app/RemoteListing.h"

#include <QAbstractTableModel>
#include <QCollatorSortKey>
#include <QList>
#include <QPixmap>
#include <QTimer>
#include <future>
#include <memory>
#include <vector>

class TRemoteListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // images: the list the rows' image indexes point into (imglstRemote).
    TRemoteListModel(const QList<QPixmap>& images, QObject* parent = nullptr);
    ~TRemoteListModel() override;

    enum Column { colFilename, colSize, colType, colModified, colRights, ColumnCount };

    // The mime type of a drag that starts on this list.
    static const QString kDragMimeType;

    void Clear();
    // Adds one entry; it appears in its sorted place shortly after.
    void Add(TRemoteEntry entry);
    // Puts every added entry in its place now (waits for the worker).
    void Flush();
    // Puts the entries in place as soon as possible, without waiting.
    void FlushSoon();

    const TRemoteEntry& Entry(int row) const { return m_entries[size_t(m_order[size_t(row)])]; }
    int Count() const { return int(m_order.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

    // The collation state that travels to the worker and back: a sort key per entry
    // and the entries' indexes in sorted order.
    struct TSortRun {
        std::vector<QCollatorSortKey> keys;
        std::vector<int> order;
        QStringList captions; // of the entries from keys.size() on, still to be placed
    };

private:
    void Tick();
    void TakeNewCaptions();
    void StartRun();
    void Apply(std::unique_ptr<TSortRun> run);
    void WaitForRun();

    const QList<QPixmap>& m_images;
    std::vector<TRemoteEntry> m_entries; // in order of arrival
    std::vector<int> m_order;            // shown rows: indexes into m_entries
    std::unique_ptr<TSortRun> m_run;     // here while no worker has it
    std::future<std::unique_ptr<TSortRun>> m_worker;
    TDisposer m_disposer; // the rows of the list before the last Clear
    QTimer m_timer;
};
