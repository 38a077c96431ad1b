#include "app/application.h"
#include "app/frm_welcome.h"
#include "platform/qt_platform.h"

#include <QApplication>
#include <QPointer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installSpanishTranslation(app);
    // The program ends when its last window closes; the start-up keeps one open at every step.
    QApplication::setQuitOnLastWindowClosed(true);
    QtPlatform desktop(QApplication::applicationDirPath());

    (new FrmWelcome(desktop.platform))->show();
    const int code = QApplication::exec();

    // Windows still there at the end go before the desktop they were given.
    QList<QPointer<QWidget>> windows;
    for (QWidget *window : QApplication::topLevelWidgets())
        windows.append(window);
    for (const QPointer<QWidget> &window : windows)
        delete window.data();
    return code;
}
