#include "app/application.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

// Outside any namespace: Q_INIT_RESOURCE declares the resource's function where it stands.
static void loadIcons()
{
    // The icons live in a static library's resource, which the linker would drop unasked.
    static const bool loaded = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    Q_UNUSED(loaded);
}

void installSpanishTranslation(QApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Spanish), QStringLiteral("qt"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
    else
        delete translator;
}

QIcon applicationIcon()
{
    loadIcons();
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/orvalia-%1.png").arg(size), QSize(size, size));
    return icon;
}

void setUpApplication(QApplication &app)
{
    // The name also names the X11 window class, "Orvalia", that the desktop entry expects.
    QApplication::setApplicationName(QStringLiteral("Orvalia"));
    QApplication::setApplicationVersion(
        QStringLiteral("%1.%2").arg(ORVALIA_VERSION_MAJOR).arg(ORVALIA_VERSION_MINOR));
    QGuiApplication::setDesktopFileName(QStringLiteral(ORVALIA_APP_ID));
    QApplication::setWindowIcon(applicationIcon());
    installSpanishTranslation(app);
}
