#pragma once

#include <QString>
#include <optional>

class QPrinter;
class QWidget;

// The common dialogs: choosing a file to open, a file to save to, and a printer.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // filter is a list of description|pattern pairs joined by '|', the way the program states it
    // ("JPEG (*.jpg)|*.jpg|GIF (*.gif)|*.gif"); selectedEntry counts the pairs from 1. Each entry
    // reads exactly as its description. The dialog opens in startFolder; an empty one, or one that
    // is gone, means the user's pictures folder.
    // Returns the chosen file's full path, or nothing when the user cancels.
    virtual std::optional<QString> openFile(
        QWidget *parent, const QString &filter, int selectedEntry, const QString &startFolder)
        = 0;

    // filter as openFile has it; the first pattern of the chosen entry is added to a name typed
    // without one. The dialog opens on suggestedPath, a full path: its folder, or the user's home
    // folder when that one is gone, with its file name ready to be kept or changed. Choosing a file
    // that exists asks whether to replace it. Returns the chosen full path, or nothing when the
    // user cancels. Nothing is written: the caller writes the file.
    virtual std::optional<QString> saveFile(
        QWidget *parent, const QString &filter, const QString &suggestedPath)
        = 0;

    // Lets the user choose and set up a printer. False when the user cancels.
    virtual bool choosePrinter(QWidget *parent, QPrinter &printer) = 0;
};
