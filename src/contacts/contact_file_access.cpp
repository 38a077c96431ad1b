#include "contacts/contact_file_access.h"

#include "contacts/contact_file.h"
#include "platform/file_attributes.h"
#include "platform/text_file.h"

#include <QFile>
#include <QFileInfo>

#include <utility>

namespace ContactFileAccess {

Unhidden::Unhidden(FileAttributes &attributes, QString path)
    : m_attributes(attributes)
    , m_path(std::move(path))
{
    m_attributes.setNormal(m_path);
}

Unhidden::~Unhidden()
{
    if (QFileInfo::exists(m_path))
        m_attributes.setHidden(m_path);
}

Opened open(QFile &file, const QString &path)
{
    if (!RegularFile::open(file, path))
        return Opened::No;
    if (file.size() > ContactFile::memoryBudget()) {
        file.close();
        return Opened::TooLarge;
    }
    return Opened::Yes;
}

} // namespace ContactFileAccess
