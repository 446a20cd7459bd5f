#include "app/AppInfo.h"
#include "app/Dialogs.h"
#include "app/HostDlg.h"
#include "app/LaunchAddress.h"
#include "app/ListItems.h"
#include "app/MainForm.h"
#include "app/Sounds.h"
#include "app/StatusLog.h"
#include "net/Exception.h"
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTreeWidget>

namespace {
constexpr int PasswordColumn = 3;
constexpr int PasswordRole = Qt::UserRole;
// The settings the list has no column for ride on the host column.
constexpr int PortRole = Qt::UserRole + 1;
constexpr int PassiveRole = Qt::UserRole + 2;
constexpr int EncodingRole = Qt::UserRole + 3;
constexpr int SecurityRole = Qt::UserRole + 4;
constexpr int TemporaryNamesRole = Qt::UserRole + 5;
constexpr int KeepTimesRole = Qt::UserRole + 6;

void SetEntry(QTreeWidgetItem& item, const THostEntry& host)
{
    const QStringList texts{host.Hostname, host.Description, host.Username,
                            QString(), host.LocalDir, host.RemoteDir};
    for (int column = 0; column < texts.size(); ++column)
        item.setText(column, texts[column]);
    // Someone may be looking over the user's shoulder or sharing the screen:
    // the column says only whether there is a password, not even how long it is.
    const bool hasPassword = !host.Password.isEmpty();
    item.setText(PasswordColumn, hasPassword ? TMainForm::PasswordMask : QString());
    item.setData(PasswordColumn, Qt::AccessibleTextRole,
                 hasPassword ? QStringLiteral("Password hidden") : QStringLiteral("No password"));
    item.setData(PasswordColumn, PasswordRole, host.Password);
    item.setData(0, PortRole, host.Port);
    item.setData(0, PassiveRole, host.Passive);
    item.setData(0, EncodingRole, host.Encoding);
    item.setData(0, SecurityRole, static_cast<int>(host.Security));
    item.setData(0, TemporaryNamesRole, host.TemporaryUploadNames);
    item.setData(0, KeepTimesRole, host.KeepModificationTimes);
}

// The host list's entries in list order.
std::vector<THostEntry> Entries(const QTreeWidget& sites)
{
    std::vector<THostEntry> hosts;
    for (int i = 0; i < sites.topLevelItemCount(); ++i)
        hosts.push_back(TMainForm::SiteEntry(*sites.topLevelItem(i)));
    return hosts;
}
}

const QString TMainForm::PasswordMask(6, QChar(0x2022));

THostEntry TMainForm::SiteEntry(const QTreeWidgetItem& site)
{
    return {site.text(0),
            site.text(1),
            site.text(2),
            site.data(PasswordColumn, PasswordRole).toString(),
            site.text(4),
            site.text(5),
            site.data(0, PortRole).toInt(),
            site.data(0, PassiveRole).toBool(),
            site.data(0, EncodingRole).toString(),
            static_cast<TSecurity>(site.data(0, SecurityRole).toInt()),
            site.data(0, TemporaryNamesRole).toBool(),
            site.data(0, KeepTimesRole).toBool()};
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

std::optional<THostEntry> TMainForm::SelectedHost() const
{
    const QTreeWidgetItem* site = SelectedSite();
    if (!site)
        return std::nullopt;
    return SiteEntry(*site);
}

void TMainForm::LoadHosts()
{
    lvSites->clear();
    THostsFileContents contents = LoadHostsFile(m_hostsFile, {LocalStartFolder(), GetLocalIP});
    m_hostsFileStatus = contents.Status;
    if (contents.Status == THostsFileStatus::Unreadable)
        m_hostsFileProblem = QStringLiteral("The hosts file %1 was not read: %2. The host list starts empty, "
                                            "and the file is left as it is.")
                                 .arg(m_hostsFile, contents.Problem);
    else
        m_hostsFileProblem = contents.Notice;
    for (const THostEntry& host : contents.Hosts)
        AddSite(host);
}

// A box during creation would stand over the splash: the problem is told once
// the window is on screen.
void TMainForm::ReportHostsFileProblem()
{
    if (m_hostsFileProblem.isEmpty())
        return;
    const QString problem = std::exchange(m_hostsFileProblem, QString());
    m_dialogs->ShowError(ApplicationTitle, problem);
}

void TMainForm::SaveHosts()
{
    const QString kept = SaveHostsFile(m_hostsFile, m_hostsFileStatus, Entries(*lvSites));
    if (!kept.isEmpty())
        m_dialogs->ShowError(ApplicationTitle,
                             QStringLiteral("No host could be read from the old hosts file, so it was kept as %1 "
                                            "before the host list was saved in its place.")
                                 .arg(kept));
}

void TMainForm::sbtnAddClick()
{
    HostDlg->SetFields(QString(), QStringLiteral("No description :)"), DefaultUserName, GetLocalIP(),
                       LocalStartFolder(), QString());
    HostDlg->edtHost->setFocus();
    if (HostDlg->exec() == QDialog::Accepted) {
        AddSite(HostDlg->Fields());
        SaveHosts();
    }
}

void TMainForm::sbtnEditClick()
{
    QTreeWidgetItem* item = SelectedSite();
    if (!item)
        return;
    const THostEntry host = SiteEntry(*item);
    HostDlg->SetFields(host);
    HostDlg->edtHost->setFocus();
    if (HostDlg->exec() == QDialog::Accepted) {
        {
            // One save for the whole entry, not one per field.
            const QSignalBlocker quiet(lvSites);
            SetEntry(*item, HostDlg->Fields());
        }
        SaveHosts();
    }
}

void TMainForm::sbtnDeleteClick()
{
    delete SelectedSite();
    SaveHosts();
}

void TMainForm::lvSitesDblClick()
{
    sbtnEditClick();
}

void TMainForm::OpenAddress(const QString& text)
{
    const TFtpAddress address = ParseFtpAddress(text);
    if (!address.Valid()) {
        const QString error = LaunchErrorText(text, address.Error);
        TStatusLog::Of(mmoStatus).Append(error);
        m_sounds->Play(TSound::Error);
        m_dialogs->ShowError(QStringLiteral("Error"), error);
        return;
    }
    TLaunchTarget target = LaunchTarget(address, Entries(*lvSites), GetLocalIP);
    if (target.SavedHost) {
        lvSites->clearSelection();
        lvSites->topLevelItem(static_cast<int>(*target.SavedHost))->setSelected(true);
    }
    const THostEntry& host = target.Host;
    if (target.AskPassword
        && !m_dialogs->AskPassword(QStringLiteral("Password for %1 on %2:").arg(host.Username, host.Hostname),
                                   target.Host.Password)) {
        const QString line =
            QStringLiteral("Not connected: no password was given for %1 on %2.").arg(host.Username, host.Hostname);
        TStatusLog::Of(mmoStatus).Append(line);
        DisplayHint(line);
        return;
    }
    m_session->Run([this, &host] { m_session->Connect(host); });
}
