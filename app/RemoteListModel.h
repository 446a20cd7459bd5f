#pragma once
// The rows of lvRemoteFiles, kept sorted: by caption with the locale's collation until
// the user picks a column, then by that column either way, folders first and ".." on
// top. Entries arriving during a listing are gathered and put into their sorted places
// in batches. The collation work (sort keys, sorting, merging) runs on a worker thread,
// so a folder of 100,000 entries fills the view without stalling the window; the GUI
// thread only swaps in the new order.
#include "app/Disposer.h"
#include "app/RemoteListing.h"
#include "ftp/DirectoryList.h"

#include <QAbstractTableModel>
#include <QCollatorSortKey>
#include <QHash>
#include <QList>
#include <QPixmap>
#include <QThreadPool>
#include <QTimer>
#include <future>
#include <memory>
#include <utility>
#include <vector>

// The entries of a listing in order of arrival, stored by column: each column's texts
// in one buffer and the type name as an index into the few distinct ones. A million
// entries as TRemoteEntry values would cost five allocations each. Wire names are kept
// only where they differ from the caption, which for nearly every server is nowhere.
class TRemoteEntries {
public:
    void Add(const TRemoteEntry& entry);
    TRemoteEntry At(size_t i) const;
    QString Caption(size_t i) const { return m_captions.at(qsizetype(i)); }
    TTextList CaptionsFrom(size_t first) const { return m_captions.mid(qsizetype(first)); }
    QString Size(size_t i) const { return m_sizes.at(qsizetype(i)); }
    QString TypeName(size_t i) const { return m_typeNames[m_kinds[i].typeName]; }
    QString Modified(size_t i) const { return m_modified.at(qsizetype(i)); }
    QString Rights(size_t i) const { return m_rights.at(qsizetype(i)); }
    qint64 ModifiedSecs(size_t i) const { return m_times[i]; }
    int ImageIndex(size_t i) const { return m_kinds[i].image; }
    bool IsFolder(size_t i) const { return m_folderTypes[size_t(m_kinds[i].typeName)]; }
    QString WireName(size_t i) const;
    size_t size() const { return m_kinds.size(); }

private:
    struct TKind {
        qint32 typeName; // index into m_typeNames
        qint32 image;
    };
    TTextList m_captions, m_sizes, m_modified, m_rights;
    // (entry, wire name) in order of entry; not in a TTextList, whose UTF-8 buffer
    // would lose the bytes that did not decode.
    std::vector<std::pair<size_t, QString>> m_wireNames;
    std::vector<TKind> m_kinds;
    std::vector<qint64> m_times;
    QStringList m_typeNames;
    std::vector<bool> m_folderTypes; // by type name
    QHash<QString, qint32> m_typeIndex;
};

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
    // How a name holding bytes that did not decode is shown in entries added from now
    // on: guessed as ISO-8859-1 (automatic, the default), or with the replacement
    // character for those bytes (a host set to UTF-8 or to a legacy encoding, where the
    // bytes have no better reading).
    void SetNameGuessing(bool guess) { m_guessNames = guess; }
    // Adds one entry; it appears in its sorted place shortly after. An entry without
    // a wire name (the ".." row) is named on the wire by its caption.
    void Add(TRemoteEntry entry);
    // Puts every added entry in its place now (waits for the worker).
    void Flush();
    // Puts the entries in place as soon as possible, without waiting.
    void FlushSoon();

    // The user's order: a column either way, or -1 for the captions as collated, with
    // folders among the files. Kept through Clear; the rows follow shortly after.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int SortColumn() const { return m_sort.column; }
    Qt::SortOrder SortOrder() const { return m_sort.order; }

    TRemoteEntry Entry(int row) const { return m_entries.At(EntryOf(row)); }
    QString Caption(int row) const { return m_entries.Caption(EntryOf(row)); }
    QString WireName(int row) const { return m_entries.WireName(EntryOf(row)); }
    int Count() const { return int(m_order.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

    struct TSort {
        int column = -1;
        Qt::SortOrder order = Qt::AscendingOrder;
        bool operator==(const TSort&) const = default;
    };
    // What an entry is ranked by besides texts: ".." (0), folders (1), files (2) when
    // the user sorts, and the size or time of the column sorted by.
    struct TRank {
        qint8 group;
        qint64 number;
    };
    // The collation state that travels to the worker and back: the entries' indexes in
    // sorted order and, while the listing may grow, sort keys per entry (the caption's,
    // and the type's or rights' when the list is sorted by them).
    struct TSortRun {
        TSort sort;
        std::vector<QCollatorSortKey> keys;
        std::vector<QCollatorSortKey> columnKeys;
        std::vector<TRank> ranks;
        std::vector<int> order;
        // Of the entries from keys.size() on, still without keys:
        TTextList captions;
        QStringList columnTexts;
    };

private:
    size_t EntryOf(int row) const { return size_t(m_order[size_t(row)]); }
    bool Unplaced() const;
    bool Stale() const;
    TRank RankOf(size_t entry) const;
    void AllPlaced();
    void DropKeys();
    void Tick();
    void TakeNewCaptions();
    void StartRun();
    void Apply(std::unique_ptr<TSortRun> run);
    void WaitForRun();

    const QList<QPixmap>& m_images;
    TRemoteEntries m_entries;
    std::vector<int> m_order;            // shown rows: indexes into m_entries
    std::unique_ptr<TSortRun> m_run;     // here while no worker has it
    // One thread that lives as long as the list: glibc gives a new thread a malloc arena
    // of its own, and sort keys spread over several arenas are not reused by the next
    // listing's keys, so each listing would add to the peak.
    QThreadPool m_collator;
    std::future<std::unique_ptr<TSortRun>> m_worker;
    TSort m_sort;
    qint64 m_upEntry = -1; // the ".." row's entry
    TDisposer m_disposer; // the rows of the list before the last Clear
    QTimer m_timer;
    QTimer m_keyLifetime;
    bool m_guessNames = true;
};
