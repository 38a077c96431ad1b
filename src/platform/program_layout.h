#pragma once

#include <QString>

// Where the running program keeps its files.
//
// A portable copy keeps them beside its binary. An installed copy never writes beside its binary:
// the contacts, options, backup and lock go to the user's data directory, ~/.local/share/Orvalia,
// and the sounds are read from the installed data directory. Both keep the password file in the
// program's own configuration directory, ~/.config/Orvalia, so that every copy a user runs asks
// for the same password.
struct ProgramLayout
{
    QString programDirectory; // data.orv, Agenda.opt, data.bak, the instance lock
    QString soundDirectory; // Tac.WAV, Start.WAV, Fin.WAV, only ever read
    QString passwordDirectory; // orvpw.ntd
    QString oldPasswordDirectory; // where earlier versions kept orvpw.ntd: ~/.config

    static ProgramLayout portable(const QString &binaryDirectory);
    // soundsFromBinary: the installed sound directory relative to the binary's, such as
    // "../share/orvalia", so that the installed tree can be moved as a whole.
    static ProgramLayout installed(const QString &binaryDirectory, const QString &soundsFromBinary);
};

// Moves fileName from oldDirectory into newDirectory, for a file that earlier versions kept
// elsewhere. Only a regular file moves; a link is neither followed nor moved, and a file already
// in newDirectory is never replaced.
enum class Adoption {
    NothingToMove, // no regular file at the old place, or the new place has its own file
    Moved,
    Kept, // the file is still at the old place and the new place has none
};
Adoption adoptOldFile(const QString &oldDirectory, const QString &newDirectory, const QString &fileName);
