#pragma once

#include "platform/platform.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QQueue>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

// Fakes of the desktop for the tests. Message boxes and dialogs answer from queues filled by the
// test and record everything they were asked to show.

class FakeMessageBoxes : public MessageBoxes
{
public:
    struct Shown
    {
        QString text;
        QString title;
        Icon icon;
        Buttons buttons;
    };

    // The answer to the next box. A box shown with no answer queued fails the test, unless the test
    // said with allowDefaults() that the first button will do for every box it did not answer.
    void queueAnswer(Answer answer) { answers.enqueue(answer); }
    void allowDefaults() { defaultsAllowed = true; }

    Answer show(
        QWidget *parent, const QString &text, const QString &title, Icon icon, Buttons buttons) override;

    QList<Shown> shown;
    QQueue<Answer> answers;
    bool defaultsAllowed = false;
    std::function<void()> onShow; // runs while a box is "open", e.g. to look at window states
};

class FakeDialogs : public Dialogs
{
public:
    struct OpenRequest
    {
        QString filter;
        int selectedEntry;
        QString startFolder;
        bool ownerEnabled; // whether the window that opened it was enabled meanwhile
    };
    struct SaveRequest
    {
        QString filter;
        QString suggestedPath;
        bool ownerEnabled;
    };

    // The file the next open dialog returns; an empty optional cancels. Without one, cancels.
    void queueFile(std::optional<QString> file) { files.enqueue(file); }
    // The same for the save dialog.
    void queueSaveFile(std::optional<QString> file) { saveFiles.enqueue(file); }

    std::optional<QString> openFile(
        QWidget *parent, const QString &filter, int selectedEntry, const QString &startFolder) override;
    std::optional<QString> saveFile(
        QWidget *parent, const QString &filter, const QString &suggestedPath) override;
    bool choosePrinter(QWidget *parent, QPrinter &printer) override;

    QList<OpenRequest> openRequests;
    QQueue<std::optional<QString>> files;
    QList<SaveRequest> saveRequests;
    QQueue<std::optional<QString>> saveFiles;
    bool printerAccepted = true;
    int printDialogs = 0;
};

class FakeSound : public Sound
{
public:
    void play(const QString &fileName) override { played << fileName; }
    QStringList played;
};

class FakeShell : public Shell
{
public:
    bool openUrl(const QUrl &url) override
    {
        urls << url;
        return true;
    }
    bool openFile(const QString &path) override
    {
        files << path;
        return true;
    }
    QList<QUrl> urls;
    QStringList files;
};

class FakeNetwork : public Network
{
public:
    bool isConnected() override
    {
        ++connectionQueries;
        return connected;
    }
    // Writes content to localFile when set; a missing content is a failed download.
    bool download(const QUrl &url, const QString &localFile) override;

    bool connected = true;
    int connectionQueries = 0;
    std::optional<QByteArray> content;
    QList<QUrl> downloads;
};

class FakeFileAttributes : public FileAttributes
{
public:
    void setNormal(const QString &path) override;
    void setHidden(const QString &path) override;

    bool isHidden(const QString &path) const { return hidden.value(path, false); }

    QHash<QString, bool> hidden;
    QStringList calls; // "normal:<file name>" and "hidden:<file name>", in order
};

class FakeSystem : public System
{
public:
    QString programDirectory() override { return programDir; }
    QString passwordDirectory() override { return passwordDir; }
    QString currentDateText() override { return today; }
    InstanceLock lockSingleInstance() override
    {
        return lockFails           ? InstanceLock::Failed
            : otherInstanceRunning ? InstanceLock::HeldByAnother
                                   : InstanceLock::Taken;
    }
    void releaseSingleInstance() override
    {
        ++releases;
        if (onRelease)
            onRelease();
    }

    QString programDir;
    QString passwordDir;
    QString today = QStringLiteral("07/12/2026");
    bool otherInstanceRunning = false;
    int releases = 0;
    std::function<void()> onRelease; // runs as the lock is given up, e.g. to look at window states
    bool lockFails = false; // the lock cannot be made: the program directory takes no file
};

// One complete fake desktop with its own temporary program and password directories.
class TestPlatform
{
public:
    TestPlatform();

    QString programDir() const { return m_programDir.path(); }
    QString passwordDir() const { return m_passwordDir.path(); }
    QString programFile(const QString &name) const { return m_programDir.filePath(name); }
    QString passwordFile(const QString &name) const { return m_passwordDir.filePath(name); }

    FakeMessageBoxes messages;
    FakeDialogs dialogs;
    FakeSound sound;
    FakeShell shell;
    FakeNetwork network;
    FakeFileAttributes attributes;
    FakeSystem system;
    Platform platform;

private:
    QTemporaryDir m_programDir;
    QTemporaryDir m_passwordDir;
};

// Small file helpers for fixtures.
QByteArray readBytes(const QString &path);
void writeBytes(const QString &path, const QByteArray &bytes);
// Lines joined with CR LF after each, encoded as Windows-1252.
QByteArray cp1252Lines(const QStringList &lines);
