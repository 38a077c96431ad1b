#include "fake_platform.h"

#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTest>
#include <QWidget>

MessageBoxes::Answer FakeMessageBoxes::show(
    QWidget *, const QString &text, const QString &title, Icon icon, Buttons buttons)
{
    shown.append({text, title, icon, buttons});
    if (onShow)
        onShow();
    if (!answers.isEmpty())
        return answers.dequeue();
    if (!defaultsAllowed) {
        // A box the test did not expect: whatever it asks, the test did not decide the answer.
        const QByteArray what = "a message box was shown with no answer queued: \"" + text.toUtf8() + "\" ("
            + title.toUtf8() + ")";
        QTest::qFail(what.constData(), __FILE__, __LINE__);
    }
    switch (buttons) {
    case Buttons::Ok:
    case Buttons::OkCancel:
        return Answer::Ok;
    case Buttons::YesNo:
    case Buttons::YesNoCancel:
        return Answer::Yes;
    }
    return Answer::Ok;
}

namespace {

bool ownerEnabled(const QWidget *parent)
{
    return !parent || parent->window()->isEnabled();
}

} // namespace

std::optional<QString> FakeDialogs::openFile(
    QWidget *parent, const QString &filter, int selectedEntry, const QString &startFolder)
{
    openRequests.append({filter, selectedEntry, startFolder, ownerEnabled(parent)});
    return files.isEmpty() ? std::nullopt : files.dequeue();
}

std::optional<QString> FakeDialogs::saveFile(
    QWidget *parent, const QString &filter, const QString &suggestedPath)
{
    saveRequests.append({filter, suggestedPath, ownerEnabled(parent)});
    return saveFiles.isEmpty() ? std::nullopt : saveFiles.dequeue();
}

bool FakeDialogs::choosePrinter(QWidget *, QPrinter &)
{
    ++printDialogs;
    return printerAccepted;
}

bool FakeNetwork::download(const QUrl &url, const QString &localFile)
{
    downloads << url;
    if (!content)
        return false;
    writeBytes(localFile, *content);
    return true;
}

void FakeFileAttributes::setNormal(const QString &path)
{
    hidden[path] = false;
    calls << QStringLiteral("normal:") + QFileInfo(path).fileName();
}

void FakeFileAttributes::setHidden(const QString &path)
{
    hidden[path] = true;
    calls << QStringLiteral("hidden:") + QFileInfo(path).fileName();
}

TestPlatform::TestPlatform()
    : platform {messages, dialogs, sound, shell, network, attributes, system}
{
    system.programDir = m_programDir.path();
    system.passwordDir = m_passwordDir.path();
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write fixture %s", qPrintable(path));
    file.write(bytes);
}

QByteArray cp1252Lines(const QStringList &lines)
{
    QStringEncoder encoder("windows-1252");
    QByteArray bytes;
    for (const QString &line : lines) {
        bytes += encoder.encode(line);
        bytes += "\r\n";
    }
    return bytes;
}
