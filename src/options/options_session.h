#pragma once

#include "options/options_file.h"

// What the options window does with the files while it is open. Every change goes to the working
// copy of the options file at once; "Aceptar" puts the copy in force; closing throws the copy away
// and decides the password file's fate: it stays when protection was on at opening (or the
// settings could not be read, so protection may be on) and when a change was put in force. A
// password set while the window was open and never put in force goes with the working copy that
// would have switched protection on.
class OptionsSession
{
public:
    OptionsSession(const QString &programDirectory, const QString &passwordDirectory);

    const OptionsFile &file() const { return m_options; }

    // The settings as the window shows them when it opens: the file's lines 1 to 8, or the defaults
    // when it cannot be read. A working copy found now was left by a run that ended while the
    // window was open, without "Aceptar": the user never saw it, so it is thrown away.
    OptionsFile::Lines open();

    // A line of the working copy, for a check box or the backup date. False, with the copy as
    // before, when it cannot be written.
    [[nodiscard]] bool setLine(OptionsFile::Line line, const QString &value);

    enum class Commit {
        Done, // the working copy is in force
        NothingToDo, // nothing was changed, nothing written
        Failed, // a change could not take the file's place: the files are as before
    };
    Commit commit();

    // The window closes: the working copy goes, and the password file unless it is to stay.
    void close();

private:
    OptionsFile m_options;
    QString m_passwordDirectory;
    bool m_keepPasswordFile = false;
    bool m_changed = false;
};
