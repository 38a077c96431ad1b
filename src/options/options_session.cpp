#include "options/options_session.h"

#include "password/password_file.h"

#include <QFileInfo>

OptionsSession::OptionsSession(const QString &programDirectory, const QString &passwordDirectory)
    : m_options(programDirectory)
    , m_passwordDirectory(passwordDirectory)
{ }

OptionsFile::Lines OptionsSession::open()
{
    m_changed = false;
    m_options.discard();
    std::optional<OptionsFile::Lines> lines = m_options.readUpToEight();
    // The main window creates the file before the options window can open; should it be
    // unreadable anyway, protection may be on, and the password file stays.
    m_keepPasswordFile = !lines || lines->at(OptionsFile::PasswordProtection - 1) == u"1";
    return lines.value_or(OptionsFile::defaults());
}

bool OptionsSession::setLine(OptionsFile::Line line, const QString &value)
{
    if (!m_options.updateLine(line, value))
        return false;
    m_changed = true;
    return true;
}

OptionsSession::Commit OptionsSession::commit()
{
    // Something to put in force: a change made here, or the protection line a password window
    // wrote into the working copy.
    const bool pending = m_changed || QFileInfo::exists(m_options.workingCopyPath());
    if (m_options.commit()) {
        m_keepPasswordFile = true;
        return Commit::Done;
    }
    return pending ? Commit::Failed : Commit::NothingToDo;
}

void OptionsSession::close()
{
    if (!m_keepPasswordFile)
        PasswordFile(m_passwordDirectory).remove();
    m_options.discard();
}
