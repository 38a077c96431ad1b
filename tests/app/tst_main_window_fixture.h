#pragma once

// The main window on a fake desktop with its own temporary program directory.

#include "app/main_window.h"
#include "contact_fixtures.h"
#include "contacts/contact_record.h"
#include "fake_platform.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMap>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;
using Answer = MessageBoxes::Answer;

// Options file lines: confirmations, capitalisation, sounds; the rest as the defaults.
inline QStringList optionLines(const QString &confirm = QStringLiteral("1"),
    const QString &capitalize = QStringLiteral("1"), const QString &sounds = QStringLiteral("1"),
    const QString &update = QStringLiteral("0"))
{
    return {confirm, capitalize, QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"), update,
        QStringLiteral("0"), sounds};
}

struct MainWindowFixture
{
    TestPlatform desk;
    std::unique_ptr<FrmPrincipal> window;
    int programEnds = 0;

    QString dataPath() const { return desk.programFile(QStringLiteral("data.orv")); }
    QString twinPath() const { return desk.programFile(QStringLiteral("data.orv2")); }

    void writeContacts(const QStringList &lines) { writeBytes(dataPath(), cp1252Lines(lines)); }
    QByteArray contactBytes() const { return readBytes(dataPath()); }
    void writeOptions(const QStringList &lines)
    {
        writeBytes(desk.programFile(QStringLiteral("Agenda.opt")), cp1252Lines(lines));
    }

    FrmPrincipal &open()
    {
        window = std::make_unique<FrmPrincipal>(desk.platform);
        window->setProgramEnd([this] { ++programEnds; });
        window->show();
        return *window;
    }

    QLineEdit *box(int index) const
    {
        return window->findChild<QLineEdit *>(QStringLiteral("txt_%1").arg(index));
    }
    QPushButton *button(const char *name) const
    {
        return window->findChild<QPushButton *>(QString::fromLatin1(name));
    }
    QListView *list() const { return window->findChild<QListView *>(QStringLiteral("List1")); }
    QLabel *image() const { return window->findChild<QLabel *>(QStringLiteral("Image1")); }
    QTimer *timer(const char *name) const { return window->findChild<QTimer *>(QString::fromLatin1(name)); }

    QStringList entries() const
    {
        QStringList keys;
        const QAbstractItemModel *model = list()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            keys << model->index(row, 0).data().toString();
        return keys;
    }
    int selectedRow() const
    {
        const QModelIndexList selected = list()->selectionModel()->selectedIndexes();
        return selected.isEmpty() ? -1 : selected.constFirst().row();
    }

    // A mouse click on the list entry with this text (the first one, or the n-th equal one).
    void clickEntry(const QString &key, int occurrence = 0)
    {
        const QStringList keys = entries();
        int row = -1;
        for (int i = 0, seen = 0; i < keys.size(); ++i) {
            if (keys[i] == key && seen++ == occurrence) {
                row = i;
                break;
            }
        }
        QVERIFY2(row >= 0, qPrintable(QStringLiteral("no entry \"%1\"").arg(key)));
        const QModelIndex index = list()->model()->index(row, 0);
        list()->scrollTo(index);
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualRect(index).center());
    }

    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    // Replaces what a box holds, as the user would: select all and type.
    void retype(int index, const QString &text)
    {
        QLineEdit *edit = box(index);
        edit->selectAll();
        edit->del();
        edit->insert(text);
    }

    ContactRecord::Fields shownFields() const
    {
        ContactRecord::Fields fields;
        for (int i = 0; i < ContactRecord::FieldCount; ++i)
            fields[i] = box(i)->text();
        return fields;
    }
    bool boxesEmpty() const
    {
        for (int i = 0; i < ContactRecord::FieldCount; ++i) {
            if (!box(i)->text().isEmpty())
                return false;
        }
        return true;
    }
    bool pictureShown() const { return !image()->pixmap().isNull(); }
    QColor pictureColour() const
    {
        const QImage shown = image()->pixmap().toImage();
        return shown.pixelColor(shown.width() / 2, shown.height() / 2);
    }

    // A picture file of one colour.
    QString picture(const QString &name, const QColor &colour, const char *format = nullptr) const
    {
        QImage image(40, 20, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = desk.programFile(name);
        if (!image.save(path, format))
            qFatal("cannot write picture %s", qPrintable(path));
        return path;
    }
};
