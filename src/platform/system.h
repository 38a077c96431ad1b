#pragma once

#include <QString>

// What the program asks of the operating system besides files.
class System
{
public:
    virtual ~System() = default;

    // The directory of the running program, where the contact and options files live.
    virtual QString programDirectory() = 0;

    // The fixed system-wide directory of the password file, without a trailing separator,
    // or "unknown" when it cannot be had.
    virtual QString passwordDirectory() = 0;

    // Today's date as text in the system's short date format.
    virtual QString currentDateText() = 0;

    enum class InstanceLock {
        Taken, // this instance holds the lock
        HeldByAnother, // another running instance of the program holds it
        Failed, // it cannot be made: the program directory is read-only, full or gone
    };

    // Takes the single-instance lock.
    virtual InstanceLock lockSingleInstance() = 0;

    // Gives the lock up while the program is still ending, so that a new start is not taken for
    // a second instance. Nothing happens when the lock is not held.
    virtual void releaseSingleInstance() = 0;
};
