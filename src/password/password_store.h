#pragma once

#include "password/password_file.h"
#include "password/password_secrets.h"

#include <QString>
#include <optional>

// What the password windows do with the password file: read it once, check what the user types
// against it, and write it anew.
//
// A file of the old form (the password, the question and the answer in clear, one a line) is
// checked as before, by exact text, and rewritten in the new form at the first password or answer
// that matches it; until that write succeeds the old file stays as it was. A file of the new form
// that is damaged, cut, reordered, of another version or too large matches nothing.
//
// Every check but one against an old file derives a key: a fraction of a second at the interactive
// limits.
class PasswordStore
{
public:
    // The derivations of new files at the interactive limits; a lighter cost is for tests.
    explicit PasswordStore(
        const QString &passwordDirectory, const PasswordSecrets &secrets = PasswordSecrets());

    // Reads and judges the file. False when it cannot be read (missing, no regular file, too large
    // for the reader); then nothing matches.
    [[nodiscard]] bool load();
    bool loaded() const { return m_loaded; }
    PasswordSecrets::Status status() const { return m_status; }

    // The secret question to show: the new form's, or line 2 of an old file; empty otherwise.
    QString question() const;

    // Whether typed is the password. An old file that matches is rewritten in the new form.
    bool checkPassword(const QString &typed);
    // The same, changing nothing: the check before a password change.
    bool isPassword(const QString &typed) const;
    // The password, for the right answer. An old file that matches is rewritten in the new form.
    std::optional<QString> recoverPassword(const QString &answer);

    // The password changed from oldPassword to newPassword, the question and the answer kept, in
    // the new form. False, with the file as it was, when oldPassword does not open it or the file
    // cannot be written.
    [[nodiscard]] bool changePassword(const QString &oldPassword, const QString &newPassword);

    // A new file of the three values, in place of any other. False, with any old file as it was,
    // when it cannot be made or written.
    [[nodiscard]] bool create(const QString &password, const QString &question, const QString &answer);

    const PasswordFile &file() const { return m_file; }

private:
    // Writes bytes and takes them as the file now read.
    [[nodiscard]] bool replaceWith(const std::optional<QByteArray> &bytes);

    PasswordFile m_file;
    PasswordSecrets m_secrets;
    bool m_loaded = false;
    PasswordSecrets::Status m_status = PasswordSecrets::Status::Damaged;
    std::optional<PasswordForm> m_form; // with Ok
    PasswordSecrets::LegacyValues m_legacy; // with Legacy
};
