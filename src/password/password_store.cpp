#include "password/password_store.h"

using Status = PasswordSecrets::Status;

PasswordStore::PasswordStore(const QString &passwordDirectory, const PasswordSecrets &secrets)
    : m_file(passwordDirectory)
    , m_secrets(secrets)
{ }

bool PasswordStore::load()
{
    m_loaded = false;
    m_status = Status::Damaged;
    m_form.reset();
    m_legacy = {};
    const std::optional<QByteArray> bytes = m_file.read();
    if (!bytes)
        return false;
    PasswordSecrets::Parsed parsed = PasswordSecrets::parse(*bytes);
    m_status = parsed.status;
    m_form = std::move(parsed.form);
    if (m_status == Status::Legacy)
        m_legacy = PasswordSecrets::legacyValues(*bytes);
    m_loaded = true;
    return true;
}

QString PasswordStore::question() const
{
    if (m_loaded && m_status == Status::Ok)
        return PasswordSecrets::question(*m_form);
    if (m_loaded && m_status == Status::Legacy)
        return m_legacy.question;
    return {};
}

bool PasswordStore::isPassword(const QString &typed) const
{
    if (!m_loaded)
        return false;
    switch (m_status) {
    case Status::Ok:
        return PasswordSecrets::verifyPassword(*m_form, typed);
    case Status::Legacy:
        return m_legacy.password == typed;
    default:
        return false;
    }
}

bool PasswordStore::checkPassword(const QString &typed)
{
    if (!isPassword(typed))
        return false;
    // A conversion that cannot be written leaves the old file, which still holds the password: the
    // user gets in all the same, and the next login tries again.
    if (m_status == Status::Legacy)
        static_cast<void>(replaceWith(m_secrets.convertLegacy(m_legacy)));
    return true;
}

std::optional<QString> PasswordStore::recoverPassword(const QString &answer)
{
    if (!m_loaded)
        return std::nullopt;
    if (m_status == Status::Ok)
        return PasswordSecrets::recoverPassword(*m_form, answer);
    if (m_status != Status::Legacy || m_legacy.answer != answer)
        return std::nullopt;
    const QString password = m_legacy.password;
    // As at the login: an old file that stays is still the password file, converted next time.
    static_cast<void>(replaceWith(m_secrets.convertLegacy(m_legacy)));
    return password;
}

bool PasswordStore::changePassword(const QString &oldPassword, const QString &newPassword)
{
    if (!m_loaded)
        return false;
    if (m_status == Status::Ok)
        return replaceWith(m_secrets.changePassword(*m_form, oldPassword, newPassword));
    if (m_status != Status::Legacy || m_legacy.password != oldPassword)
        return false;
    // Lines after the third go, as a change always dropped them.
    return replaceWith(m_secrets.convertLegacy({newPassword, m_legacy.question, m_legacy.answer}));
}

bool PasswordStore::create(const QString &password, const QString &question, const QString &answer)
{
    return replaceWith(m_secrets.create(password, question, answer));
}

bool PasswordStore::replaceWith(const std::optional<QByteArray> &bytes)
{
    if (!bytes || !m_file.write(*bytes))
        return false;
    PasswordSecrets::Parsed parsed = PasswordSecrets::parse(*bytes);
    m_status = parsed.status;
    m_form = std::move(parsed.form);
    m_legacy = {};
    m_loaded = true;
    return true;
}
