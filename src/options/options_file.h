#pragma once

#include <QString>
#include <array>
#include <optional>

// The settings file "Agenda.opt" in the program directory: eight lines, each ended by CR LF.
//   1 ConfirmChanges  2 Capitalize  3 LastBackup  4 PasswordProtection
//   5 PrintPhoto      6 UpdateCheck 7 StartWithWindows 8 SoundsOn
// The options window never edits it directly: changes go to the working copy "Agenda.opt2"
// (through the temporary "Agenda.opt3"), which "Aceptar" puts in force and "Cancelar" discards.
class OptionsFile
{
public:
    using Lines = std::array<QString, 8>;

    enum Line {
        ConfirmChanges = 1,
        Capitalize,
        LastBackup,
        PasswordProtection,
        PrintPhoto,
        UpdateCheck,
        StartWithWindows,
        SoundsOn
    };

    explicit OptionsFile(const QString &programDirectory);

    QString path() const { return inDirectory("Agenda.opt"); }
    QString workingCopyPath() const { return inDirectory("Agenda.opt2"); }
    QString temporaryPath() const { return inDirectory("Agenda.opt3"); }

    static Lines defaults(); // "1","1","0","0","0","1","0","1"

    // Creates the file with the defaults when it does not exist; an existing file, readable or
    // not, is left alone. Whether an options file is there afterwards: false when it could not be
    // made, or when something that is no file (a directory, a FIFO) stands in its place.
    [[nodiscard]] bool createIfMissing() const;

    // Reads exactly eight lines. Nothing when the file is missing, unreadable or shorter.
    std::optional<Lines> readEight() const;

    // Reads to the end and keeps lines 1 to 8; a missing line is empty. Nothing when the file
    // cannot be opened.
    std::optional<Lines> readUpToEight() const;

    // Line 4 as the start-up reads it: to the end of the file, empty when the file is shorter.
    // Nothing when the file cannot be opened.
    std::optional<QString> readProtectionLine() const;

    // The working copy becomes the current settings with line n (1..8) set to value. The source
    // is the working copy when it exists, the options file otherwise. Lines after the eighth are
    // kept; a source shorter than n lines loses the change. False when nothing could be written.
    [[nodiscard]] bool updateLine(int n, const QString &value) const;

    // Puts the working copy in force in one step. False when there is no working copy or it could
    // not take the file's place (the options file and the working copy are then as before).
    [[nodiscard]] bool commit() const;

    // Deletes the working copy; a missing one is no error.
    void discard() const;

private:
    QString inDirectory(const char *name) const;

    QString m_directory;
};

// The main window's settings, re-read before each decision that depends on them. A file that
// cannot be read gives the fallbacks "1" for all but PrintPhoto, which keeps its last value.
struct MainWindowOptions
{
    QString ConfirmChanges;
    QString Capitalize;
    QString PrintPhoto;
    QString UpdateCheck;
    QString SoundsOn;

    void read(const OptionsFile &file);
};

// Line 8 of the options file, "1" when the file cannot be read: the shared reader of the
// secondary windows and the welcome window.
QString ReadOptions(const OptionsFile &file);
