#pragma once

#include "platform/platform.h"

#include <QLockFile>
#include <QString>
#include <memory>

class QSoundEffect;

// The desktop as Qt (and, where Qt has nothing, the operating system) provides it.

class QtMessageBoxes : public MessageBoxes
{
public:
    Answer show(QWidget *parent, const QString &text, const QString &title, Icon icon,
                Buttons buttons) override;
};

class QtDialogs : public Dialogs
{
public:
    std::optional<QString> openFile(
        QWidget *parent, const QString &filter, int selectedEntry, const QString &startFolder) override;
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
    explicit QtSound(const QString &programDirectory);
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

class QtNetwork : public Network
{
public:
    static constexpr int TimeLimitMs = 15000;
    static constexpr qint64 SizeLimit = 64 * 1024;

    bool isConnected() override;
    bool download(const QUrl &url, const QString &localFile) override;

    int timeLimitMs = TimeLimitMs;
    qint64 sizeLimit = SizeLimit;
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
    explicit QtSystem(const QString &programDirectory);
    QString programDirectory() override;
    QString passwordDirectory() override;
    QString currentDateText() override;
    bool lockSingleInstance() override;
    void releaseSingleInstance() override;

private:
    QString m_directory;
    std::unique_ptr<QLockFile> m_lock;
};

// All of the above for the running program.
class QtPlatform
{
public:
    explicit QtPlatform(const QString &programDirectory);

    QtMessageBoxes messages;
    QtDialogs dialogs;
    QtSound sound;
    QtShell shell;
    QtNetwork network;
    QtFileAttributes attributes;
    QtSystem system;
    Platform platform;
};
