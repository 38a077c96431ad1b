#pragma once

#include <QString>
#include <QUrl>

// Hands a web page or a file to the desktop's default application. Nothing is ever passed
// through a command shell, so a path holding blanks, quotes or shell characters names that file
// and nothing else.
class Shell
{
public:
    virtual ~Shell() = default;

    // The program asks for a minimised window; desktops that cannot honour it show it as usual.
    virtual bool openUrl(const QUrl &url) = 0;
    virtual bool openFile(const QString &path) = 0;
};
