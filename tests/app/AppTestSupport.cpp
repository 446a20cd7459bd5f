#include "AppTestSupport.h"
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace {
bool NextAnswer(std::deque<bool>& answers)
{
    if (answers.empty()) {
        ADD_FAILURE() << "a box was shown that the test did not expect";
        return false;
    }
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}
}

TCertificateAnswer TCertificateScript::Ask(const TCertificateInfo& certificate,
                                           const std::optional<TPinnedCertificate>& previous)
{
    Asked.push_back({certificate, previous});
    if (Answers.empty()) {
        ADD_FAILURE() << "a certificate question the test did not expect: " << certificate.Subject.toStdString();
        return TCertificateAnswer::Refuse;
    }
    const TCertificateAnswer answer = Answers.front();
    Answers.pop_front();
    return answer;
}

TConflictDecision TConflictScript::Ask(const TConflict& conflict)
{
    Asked.push_back({*conflict.Item, conflict.TargetSize, conflict.CanResume, conflict.FreeName});
    if (Answers.empty()) {
        ADD_FAILURE() << "a conflict question the test did not expect: " << conflict.Item->RemotePath.toStdString();
        return {};
    }
    const TConflictDecision answer = Answers.front();
    Answers.pop_front();
    return answer;
}

void TRecordingDialogs::ShowError(const QString& title, const QString& text)
{
    Shown.push_back({QStringLiteral("error"), title, text});
}

bool TRecordingDialogs::AskPassword(const QString& prompt, QString& password)
{
    Shown.push_back({QStringLiteral("password"), QStringLiteral("Password"), prompt});
    if (Passwords.empty()) {
        ADD_FAILURE() << "a password question the test did not expect: " << prompt.toStdString();
        return false;
    }
    const std::optional<QString> answer = Passwords.front();
    Passwords.pop_front();
    if (!answer)
        return false;
    password = *answer;
    return true;
}

std::optional<TPermissionsChoice> TRecordingDialogs::AskPermissions(const TPermissionsRequest& request)
{
    Shown.push_back({QStringLiteral("permissions"), QStringLiteral("Permissions"), request.Names.join(u'\n')});
    PermissionQuestions.push_back(request);
    if (Permissions.empty()) {
        ADD_FAILURE() << "a permissions question the test did not expect: " << request.Names.join(u' ').toStdString();
        return std::nullopt;
    }
    const std::optional<TPermissionsChoice> answer = Permissions.front();
    Permissions.pop_front();
    return answer;
}

QStringList TRecordingDialogs::Texts(const QString& kind) const
{
    QStringList texts;
    for (const TShownBox& box : Shown)
        if (box.Kind == kind)
            texts << box.Text;
    return texts;
}

bool TScriptedDialogs::Confirm(const QString& text)
{
    Shown.push_back({QStringLiteral("confirm"), QStringLiteral("Confirm"), text});
    return NextAnswer(Answers);
}

bool TScriptedDialogs::InputBox(const QString& title, const QString& prompt, QString&)
{
    Shown.push_back({QStringLiteral("input"), title, prompt});
    return NextAnswer(Answers);
}

bool TAnsweringDialogs::Confirm(const QString& text)
{
    Shown.push_back({QStringLiteral("confirm"), QStringLiteral("Confirm"), text});
    if (OnConfirm)
        OnConfirm();
    if (Confirms.empty())
        return true;
    const bool answer = Confirms.front();
    Confirms.pop_front();
    return answer;
}

bool TAnsweringDialogs::InputBox(const QString& title, const QString& prompt, QString& value)
{
    Shown.push_back({QStringLiteral("input"), title, prompt + QStringLiteral(" [") + value + u']'});
    std::optional<QString> answer;
    if (!Inputs.empty()) {
        answer = Inputs.front();
        Inputs.pop_front();
    }
    if (!answer)
        return false;
    value = *answer;
    return true;
}

void WhenModal(std::function<void(QWidget* dialog)> act)
{
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (QWidget* dialog = QApplication::activeModalWidget(); dialog && dialog->isVisible()) {
            poll->stop();
            poll->deleteLater();
            act(dialog);
        }
    });
    poll->start();
}
