#pragma once
// File work (copying, moving, deleting) runs on a worker thread so the window
// stays live; a progress box with Cancel appears when it takes a while.
#include <QString>
#include <atomic>
#include <functional>

class QWidget;

struct TFileJobProgress {
    std::atomic<bool> Canceled{false};
    std::atomic<qint64> Done{0};
    std::atomic<qint64> Total{0};
};

// Runs the job (which must not touch widgets) and waits for it while events
// are processed. Answers the job's error text, empty on success.
QString RunFileJob(QWidget* owner, const QString& title, std::function<QString(TFileJobProgress&)> job);

// Bytes below a file or folder, for the progress total.
qint64 TreeSize(const QString& path);
// Copies a file or a folder tree; a canceled or failed copy leaves no partial file.
QString CopyTree(const QString& from, const QString& to, TFileJobProgress& progress);
// Deletes a file, a link or a folder tree.
QString RemoveTree(const QString& path);
