#pragma once

#include "platform/platform.h"
#include "platform/qt_platform.h"

#include <QDate>
#include <QLocale>
#include <QStringList>

// The desktop for the benchmark: real files and attributes, but no box waits for a person, no
// sound plays and nothing goes to the network. Every question is answered with its first button
// (Yes, OK), and every text shown is kept so that the benchmark can tell a failure from a success.

class AnsweringMessageBoxes : public MessageBoxes
{
public:
    Answer show(QWidget *, const QString &text, const QString &, Icon, Buttons buttons) override
    {
        shown << text;
        return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? Answer::Yes : Answer::Ok;
    }
    QStringList shown;
};

class CancellingDialogs : public Dialogs
{
public:
    std::optional<QString> openFile(QWidget *, const QString &, int, const QString &) override
    {
        return std::nullopt;
    }
    std::optional<QString> saveFile(QWidget *, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    bool choosePrinter(QWidget *, QPrinter &) override { return false; }
};

class SilentSound : public Sound
{
public:
    void play(const QString &) override { }
};

class InertShell : public Shell
{
public:
    bool openUrl(const QUrl &) override { return false; }
    bool openFile(const QString &) override { return false; }
};

class OfflineNetwork : public Network
{
public:
    bool isConnected() override { return false; }
    bool download(const QUrl &, const QString &) override { return false; }
};

class BenchSystem : public System
{
public:
    explicit BenchSystem(const QString &directory)
        : m_directory(directory)
    { }
    QString programDirectory() override { return m_directory; }
    QString passwordDirectory() override { return m_directory; }
    QString currentDateText() override
    {
        return QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
    }
    // Each timed load builds a new main window in the same process.
    InstanceLock lockSingleInstance() override { return InstanceLock::Taken; }
    void releaseSingleInstance() override { }

private:
    QString m_directory;
};

struct BenchPlatform
{
    explicit BenchPlatform(const QString &directory)
        : system(directory)
    { }

    AnsweringMessageBoxes messages;
    CancellingDialogs dialogs;
    SilentSound sound;
    InertShell shell;
    OfflineNetwork network;
    QtFileAttributes attributes;
    BenchSystem system;
    Platform platform {messages, dialogs, sound, shell, network, attributes, system};
};
