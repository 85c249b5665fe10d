// osascript for Linux: runs one shell command with administrator rights. It accepts only
//   osascript -e 'do shell script "CMD" with administrator privileges'
// with CMD an AppleScript string literal; the escapes are undone and CMD runs under /bin/sh when
// already root. Otherwise CMD must be a plain program with its arguments (shell words, no
// shell), which runs through pkexec: polkit then applies that program's own action (the
// installed disk tools have one each) rather than handing out a root shell.
// The exit status is the command's.

#include "lib/probe.h"
#include "lib/shellwords.h"
#include "lib/system.h"

#include <QCoreApplication>
#include <QFile>

#include <unistd.h>

#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    QString command;
    if (arguments.size() != 2 || arguments.at(0) != QLatin1String("-e")
        || !Probe::ParseAdminScript(arguments.at(1), &command)) {
        Sys::Warn(
            QStringLiteral("osascript: only -e 'do shell script \"COMMAND\" with administrator "
                           "privileges' is supported"));
        return 1;
    }
    const QByteArray script = command.toUtf8();
    if (Sys::IsRoot()) {
        execl("/bin/sh", "sh", "-c", script.constData(), static_cast<char *>(nullptr));
    } else {
        QStringList words;
        if (!ShellWords::Split(command, &words)) {
            Sys::Warn(QStringLiteral("osascript: only a program with its arguments can be run "
                                     "with administrator privileges"));
            return 1;
        }
        QList<QByteArray> native { QByteArrayLiteral("pkexec") };
        for (const QString &word : qAsConst(words))
            native << word.toUtf8();
        std::vector<char *> words8;
        for (QByteArray &word : native)
            words8.push_back(word.data());
        words8.push_back(nullptr);
        execvp("pkexec", words8.data());
    }
    Sys::Warn(QStringLiteral("osascript: the command could not be started"));
    return 127;
}
