// The window's transfer queue pane: the queue's model shown, its buttons bound
// to the session's transfer runner, and enabled for what the queue holds.
#include "app/MainForm.h"
#include "app/TransferQueueModel.h"
#include "app/TransferRunner.h"
#include "net/ErrorBoundary.h"
#include "shellbrowser/ViewHelpers.h"

#include <QHeaderView>
#include <QLabel>
#include <QToolButton>
#include <QTreeView>

void TMainForm::SetUpQueue()
{
    TTransferRunner& transfers = *m_session->Transfers();
    TTransferQueueModel* model = transfers.Model();
    QueueView->setModel(model);
    const int widths[] = {60, 160, 120, 60, 150, 110, 160};
    for (int column = 0; column < TTransferQueueModel::ColumnCount; ++column)
        QueueView->header()->resizeSection(column, ScaledDesignWidth(QueueView, widths[column]));

    OnClick(sbtnCancelTransfer, [this, &transfers] { transfers.Cancel(SelectedQueueRow()); });
    OnClick(sbtnCancelAllTransfers, [&transfers] { transfers.CancelAll(); });
    OnClick(sbtnRetryFailed, [&transfers] { transfers.RetryFailed(); });
    OnClick(sbtnRemoveFinished, [&transfers] { transfers.RemoveFinished(); });

    const auto update = Guarded([this](auto&&...) { UpdateQueueControls(); });
    connect(model, &TTransferQueueModel::SummaryChanged, this, update);
    connect(model, &QAbstractItemModel::modelReset, this, update);
    connect(QueueView->selectionModel(), &QItemSelectionModel::selectionChanged, this, update);
    transfers.OnStateChanged = [this] { UpdateQueueControls(); };
    m_session->OnQueued = [this] { UpdateQueueControls(); };
    UpdateQueueControls();
}

int TMainForm::SelectedQueueRow() const
{
    const QModelIndexList rows = QueueView->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TMainForm::UpdateQueueControls()
{
    const TTransferRunner& transfers = *m_session->Transfers();
    const std::vector<TTransferItem>& items = transfers.Queue().Items();
    const auto any = [&items](std::initializer_list<TTransferState> states) {
        return std::any_of(items.begin(), items.end(), [states](const TTransferItem& item) {
            return std::find(states.begin(), states.end(), item.State) != states.end();
        });
    };
    const int selected = SelectedQueueRow();
    const bool selectedOpen = selected >= 0 && selected < int(items.size())
                              && (items[selected].State == TTransferState::Waiting
                                  || items[selected].State == TTransferState::Running);
    sbtnCancelTransfer->setEnabled(selectedOpen);
    sbtnCancelAllTransfers->setEnabled(transfers.PendingRequests() > 0
                                       || any({TTransferState::Waiting, TTransferState::Running}));
    sbtnRetryFailed->setEnabled(any({TTransferState::Failed, TTransferState::Cancelled}));
    // The running queue counts its items by position: finished ones leave between runs.
    sbtnRemoveFinished->setEnabled(!transfers.Queue().Running()
                                   && any({TTransferState::Done, TTransferState::Skipped, TTransferState::Cancelled}));
    QString summary = transfers.Model()->Summary();
    if (transfers.PendingRequests() > 0)
        summary += QStringLiteral(" (%1 more to be listed)").arg(transfers.PendingRequests());
    lblQueueSummary->setText(summary);
}
