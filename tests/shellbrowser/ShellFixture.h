#pragma once
// Temporary folder trees and scripted answers for the browser's boxes.
#include "shellbrowser/ShellDialogs.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_saved = ShellDialogs();
        ShellDialogs().Error = [this](QWidget*, const QString& text) { Errors.append(text); };
        ShellDialogs().Confirm = [this](QWidget*, const QString& text) {
            Questions.append(text);
            return ConfirmAnswer;
        };
        ShellDialogs().OpenUrl = [this](const QUrl& url) {
            Opened.append(url);
            return true;
        };
    }
    void TearDown() override { ShellDialogs() = m_saved; }

    QString Root() const { return m_dir.path(); }
    QString PathOf(const QString& relative) const { return m_dir.filePath(relative); }
    void MakeDirs(const QStringList& relatives) const
    {
        for (const QString& r : relatives)
            EXPECT_TRUE(QDir().mkpath(PathOf(r))) << r.toStdString();
    }
    void MakeFile(const QString& relative, qint64 size = 0) const
    {
        QDir().mkpath(QFileInfo(PathOf(relative)).path());
        QFile f(PathOf(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << relative.toStdString();
        if (size > 0) {
            ASSERT_TRUE(f.resize(size));
        }
    }

    QStringList Errors;
    QStringList Questions;
    QList<QUrl> Opened;
    bool ConfirmAnswer = false;

private:
    QTemporaryDir m_dir;
    TShellDialogs m_saved;
};
