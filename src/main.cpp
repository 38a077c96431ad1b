#include "app/application.h"
#include "platform/qt_platform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installSpanishTranslation(app);
    QtPlatform desktop(QApplication::applicationDirPath());
    return 0;
}
