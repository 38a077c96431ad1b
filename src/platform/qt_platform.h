#pragma once

#include "platform/platform.h"
#include "platform/program_layout.h"

#include <QLockFile>
#include <QString>
#include <memory>

class QSoundEffect;

// The desktop as Qt (and, where Qt has nothing, the operating system) provides it.

class QtMessageBoxes : public MessageBoxes
{
public:
    Answer show(
        QWidget *parent, const QString &text, const QString &title, Icon icon, Buttons buttons) override;
};

class QtDialogs : public Dialogs
{
public:
    std::optional<QString> openFile(
        QWidget *parent, const QString &filter, int selectedEntry, const QString &startFolder) override;
    std::optional<QString> saveFile(
        QWidget *parent, const QString &filter, const QString &suggestedPath) override;
    bool choosePrinter(QWidget *parent, QPrinter &printer) override;

    // "JPEG (*.JPG)|*.jpg|GIF (*.gif)|*.gif" as Qt name filters ("JPEG (*.JPG) (*.jpg)", ...).
    // The dialog hides the patterns Qt appends, so that each entry reads as its description.
    static QStringList nameFilters(const QString &filter);

    // The user's pictures folder; the home folder when there is none.
    static QString picturesFolder();
};

class QtSound : public Sound
{
public:
    explicit QtSound(const QString &soundDirectory);
    ~QtSound() override;
    void play(const QString &fileName) override;

    // Whether the desktop has a device to play sounds on.
    static bool audioDeviceFound();

private:
    QString m_directory;
    std::vector<std::unique_ptr<QSoundEffect>> m_effects;
};

class QtShell : public Shell
{
public:
    bool openUrl(const QUrl &url) override;
    bool openFile(const QString &path) override;
};

// The download is HTTP/1.1 on a socket of its own, so that it can count every byte it receives
// itself: a server that announces one length and sends another, sends an endless header line or
// an endless chunked body, or sends slowly, is cut off at the limits. Redirects are followed (at
// most five, never from https to http) within the same time limit.
class QtNetwork : public Network
{
public:
    static constexpr int TimeLimitMs = 15000; // from the request to the last byte, in all
    static constexpr qint64 SizeLimit = MostBytes; // the body as sent
    static constexpr qint64 HeaderLimit = 16 * 1024; // the status line and header lines

    bool isConnected() override;
    bool download(const QUrl &url, const QString &localFile) override;

    int timeLimitMs = TimeLimitMs;
    qint64 sizeLimit = SizeLimit;
    qint64 headerLimit = HeaderLimit;
};

// Hidden is kept where Samba and Wine keep the DOS attributes: the extended attribute
// "user.DOSATTRIB". File systems without extended attributes simply show the file.
class QtFileAttributes : public FileAttributes
{
public:
    void setNormal(const QString &path) override;
    void setHidden(const QString &path) override;

    static bool isHidden(const QString &path);
};

class QtSystem : public System
{
public:
    // The password directory of the user's configuration, as every layout has it.
    explicit QtSystem(const QString &programDirectory);
    QtSystem(const QString &programDirectory, const QString &passwordDirectory,
        const QString &oldPasswordDirectory);
    QString programDirectory() override;
    // Made 0700 when missing; a password file left at the old place moves in once.
    QString passwordDirectory() override;
    QString currentDateText() override;
    InstanceLock lockSingleInstance() override;
    void releaseSingleInstance() override;

private:
    QString m_directory;
    QString m_passwordDirectory;
    QString m_oldPasswordDirectory;
    std::unique_ptr<QLockFile> m_lock;
};

// All of the above for the running program.
class QtPlatform
{
public:
    explicit QtPlatform(const ProgramLayout &layout);

    QtMessageBoxes messages;
    QtDialogs dialogs;
    QtSound sound;
    QtShell shell;
    QtNetwork network;
    QtFileAttributes attributes;
    QtSystem system;
    Platform platform;
};
