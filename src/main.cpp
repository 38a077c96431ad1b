#include "app/application.h"
#include "app/frm_welcome.h"
#include "platform/program_layout.h"
#include "platform/qt_platform.h"
#include "platform/text_file.h"

#include <QApplication>
#include <QPointer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app);
    // The program ends when its last window closes; the start-up keeps one open at every step.
    QApplication::setQuitOnLastWindowClosed(true);

#if ORVALIA_PORTABLE
    const ProgramLayout layout = ProgramLayout::portable(QApplication::applicationDirPath());
#else
    const ProgramLayout layout = ProgramLayout::installed(
        QApplication::applicationDirPath(), QStringLiteral(ORVALIA_SOUNDS_FROM_BINARY));
    // Made on the first start; when it cannot be, taking the instance lock in it fails, and the
    // main window says so.
    static_cast<void>(makePrivateDirectory(layout.programDirectory));
#endif
    QtPlatform desktop(layout);

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
