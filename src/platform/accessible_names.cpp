#include "platform/accessible_names.h"

#include <QLabel>

namespace AccessibleNames {

QString fromCaption(const QString &caption)
{
    QString name = caption.trimmed();
    if (name.endsWith(u':'))
        name.chop(1);
    return name.trimmed();
}

void nameAfter(QLabel *label, QWidget *box)
{
    label->setBuddy(box);
    box->setAccessibleName(fromCaption(label->text()));
}

} // namespace AccessibleNames
