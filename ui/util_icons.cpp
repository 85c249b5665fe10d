// The file-type catalogue of Util: icon and description per extension, asked of the desktop
// once per run and kept.

#include "services/logging.h"
#include "services/util.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>
#include <QTemporaryFile>

QMap<QString, QIcon> Util::m_Icons;
QMap<QString, QString> Util::m_Types;

namespace {

// Creates an empty file with the extension in the system's temporary folder and hands its
// name to ask; the file is removed afterwards. Returns false when it cannot be created.
template<typename Ask> bool withSampleFile(const QString &extension, Ask ask)
{
    QTemporaryFile file(QDir::tempPath() + QDir::separator() + QCoreApplication::applicationName()
                        + QStringLiteral("_XXXXXX") + extension);
    file.setAutoRemove(false);
    if (!file.open()) {
        qCWarning(lcFiles)
            << QStringLiteral("failed to write temporary file %1").arg(file.fileName());
        return false;
    }
    const QString name = file.fileName();
    file.close();
    ask(QFileInfo(name));
    QFile::remove(name);
    return true;
}

} // namespace

QIcon Util::GetExtensionIcon(const QString &name)
{
    const QString extension = GetExtension(name);
    const auto cached = m_Icons.constFind(extension);
    if (cached != m_Icons.constEnd())
        return cached.value();
    QFileIconProvider provider;
    QIcon icon;
    if (extension.isEmpty())
        icon = provider.icon(QFileIconProvider::File);
    else
        withSampleFile(extension, [&](const QFileInfo &file) { icon = provider.icon(file); });
    m_Icons.insert(extension, icon);
    return icon;
}

// The description the desktop shows for the type: the shared MIME database's comment for the
// extension ("raw CD image", "plain text document"), or the icon provider's text for a type
// the database does not know.
QString Util::GetExtensionString(const QString &name)
{
    const QString extension = GetExtension(name);
    if (extension.isEmpty())
        return QString();
    const auto cached = m_Types.constFind(extension);
    if (cached != m_Types.constEnd())
        return cached.value();
    QString description;
    withSampleFile(extension, [&](const QFileInfo &file) {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(file, QMimeDatabase::MatchExtension);
        if (type.isValid() && !type.isDefault())
            description = type.comment();
        if (description.isEmpty())
            description = QFileIconProvider().type(file);
    });
    m_Types.insert(extension, description);
    return description;
}
