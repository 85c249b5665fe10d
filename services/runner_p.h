#ifndef VEXLOR_RUNNER_P_H
#define VEXLOR_RUNNER_P_H

// What the command runner and the blocking helper (Util::callexternapp) share.

#include <QLoggingCategory>
#include <QProcessEnvironment>
#include <QString>

class QTextCodec;

Q_DECLARE_LOGGING_CATEGORY(lcRunner)

namespace RunnerDetail {

// How long a killed program is waited for.
constexpr int kKillWaitMs = 2000;

// The environment of a child process and the codec its output is decoded with. Tools print
// names in their locale's encoding: when ours is not UTF-8 the child gets a UTF-8 character
// type and its output is decoded as UTF-8, so non-ASCII names survive either way.
QProcessEnvironment childEnvironment(QTextCodec **codec);
// Output bytes as text; NUL bytes are dropped.
QString decode(QTextCodec *codec, QByteArray bytes);

} // namespace RunnerDetail

#endif // VEXLOR_RUNNER_P_H
