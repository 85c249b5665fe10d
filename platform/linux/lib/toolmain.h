#ifndef VEXLOR_TOOLMAIN_H
#define VEXLOR_TOOLMAIN_H

// The entry of a disk tool that has verbs ("diskutil list", "hdiutil burn ..."): the verb the
// first argument names runs with all the arguments; anything else is refused with the usage.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace ToolMain {

struct Verb
{
    QString name;
    std::function<int(const QStringList &arguments)> run; // arguments: the verb first
    int count = -1; // how many arguments the verb takes, itself included; -1 for any
};

// Runs the verb of argv (a QCoreApplication exists while it runs) and returns its exit status;
// an unknown verb or a wrong count of arguments warns "tool: usage" and returns 1.
int Run(int argc, char *argv[], const QString &tool, const QList<Verb> &verbs,
        const QString &usage);

} // namespace ToolMain

#endif // VEXLOR_TOOLMAIN_H
