#include "lib/toolmain.h"

#include "lib/system.h"

#include <QCoreApplication>

namespace ToolMain {

int Run(int argc, char *argv[], const QString &tool, const QList<Verb> &verbs, const QString &usage)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    for (const Verb &verb : verbs) {
        if (verb.name == arguments.value(0) && (verb.count < 0 || verb.count == arguments.size()))
            return verb.run(arguments);
    }
    Sys::Warn(tool + QStringLiteral(": usage: ") + usage);
    return 1;
}

} // namespace ToolMain
