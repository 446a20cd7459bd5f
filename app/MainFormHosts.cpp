#include "app/AppInfo.h"
#include "app/HostDlg.h"
#include "app/ListItems.h"
#include "app/MainForm.h"
#include "net/Exception.h"
#include <QLineEdit>
#include <QTreeWidget>

namespace {
THostEntry EntryOf(const QTreeWidgetItem& item)
{
    return {item.text(0), item.text(1), item.text(2), item.text(3), item.text(4), item.text(5)};
}

void SetEntry(QTreeWidgetItem& item, const THostEntry& host)
{
    const QStringList texts{host.Hostname, host.Description, host.Username,
                            host.Password, host.LocalDir, host.RemoteDir};
    for (int column = 0; column < texts.size(); ++column)
        item.setText(column, texts[column]);
}
}

void TMainForm::AddSite(const THostEntry& host)
{
    auto* item = new TCaptionSortedItem;
    SetEntry(*item, host);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    lvSites->addTopLevelItem(item);
}

QTreeWidgetItem* TMainForm::SelectedSite() const
{
    const QList<QTreeWidgetItem*> selected = lvSites->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void TMainForm::LoadHosts()
{
    lvSites->clear();
    m_hostsFileUnreadable = HostsFileUnreadable(m_hostsFile);
    for (const THostEntry& host : ReadHostsFile(m_hostsFile, {ProgramFolder(), GetLocalIP}))
        AddSite(host);
}

void TMainForm::SaveHosts()
{
    if (m_hostsFileUnreadable)
        throw Exception(QStringLiteral("Unable to write to %1: it could not be read at start, so it is left as it is.")
                            .arg(m_hostsFile));
    std::vector<THostEntry> hosts;
    for (int i = 0; i < lvSites->topLevelItemCount(); ++i)
        hosts.push_back(EntryOf(*lvSites->topLevelItem(i)));
    WriteHostsFile(m_hostsFile, hosts);
}

void TMainForm::sbtnAddClick()
{
    HostDlg->SetFields(QString(), QStringLiteral("No description :)"), DefaultUserName, GetLocalIP(),
                       ProgramFolder(), QString());
    HostDlg->edtHost->setFocus();
    if (HostDlg->exec() == QDialog::Accepted)
        AddSite(HostDlg->Fields());
}

void TMainForm::sbtnEditClick()
{
    QTreeWidgetItem* item = SelectedSite();
    if (!item)
        return;
    const THostEntry host = EntryOf(*item);
    HostDlg->SetFields(host.Hostname, host.Description, host.Username, host.Password, host.LocalDir, host.RemoteDir);
    HostDlg->edtHost->setFocus();
    if (HostDlg->exec() == QDialog::Accepted)
        SetEntry(*item, HostDlg->Fields());
}

void TMainForm::sbtnDeleteClick()
{
    delete SelectedSite();
}

void TMainForm::lvSitesDblClick()
{
    sbtnEditClick();
}
