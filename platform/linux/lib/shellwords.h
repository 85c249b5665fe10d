#ifndef VEXLOR_PLATFORM_SHELLWORDS_H
#define VEXLOR_PLATFORM_SHELLWORDS_H

#include <QString>
#include <QStringList>

namespace ShellWords {

// The words of a shell command that is a plain list of words: blanks and tabs separate them,
// '...' is taken literally, "..." undoes the escapes \" \\ \$ \` and a backslash outside quotes
// takes the next character as it is. False for anything the shell would do more with (an
// unquoted ; & | < > ( ) $ ` * ? [ ] { } ~ # or line feed, "$" or "`" inside double quotes, a
// first word holding "="), an open quote, or no word at all.
bool Split(const QString &command, QStringList *words);

} // namespace ShellWords

#endif // VEXLOR_PLATFORM_SHELLWORDS_H
