#pragma once
// The rows of lvRemoteFiles, kept sorted by caption with the locale's collation.
// Entries arriving during a listing are gathered and merged in batches, so a folder of
// 100,000 entries fills the view without long stalls and without sorting it all again
// for each line.
#include "app/RemoteListing.h"

#include <QAbstractTableModel>
#include <QCollator>
#include <QList>
#include <QPixmap>
#include <QTimer>
#include <vector>

class TRemoteListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // images: the list the rows' image indexes point into (imglstRemote).
    TRemoteListModel(const QList<QPixmap>& images, QObject* parent = nullptr);

    enum Column { colFilename, colSize, colType, colModified, colRights, ColumnCount };

    // The mime type of a drag that starts on this list.
    static const QString kDragMimeType;

    void Clear();
    // Adds one entry; it appears in its sorted place at the next merge, which runs
    // shortly after (or at once through Flush).
    void Add(TRemoteEntry entry);
    void Flush();

    const TRemoteEntry& Entry(int row) const { return m_rows[size_t(row)].entry; }
    int Count() const { return int(m_rows.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    struct Row {
        TRemoteEntry entry;
        QCollatorSortKey key;
    };
    void Merge();

    const QList<QPixmap>& m_images;
    QCollator m_collator;
    std::vector<Row> m_rows;
    std::vector<Row> m_pending;
    QTimer m_mergeTimer;
};
