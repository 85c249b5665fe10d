#include "shellwords.h"

namespace ShellWords {

bool Split(const QString &command, QStringList *words)
{
    static const QString special = QStringLiteral(";&|<>()$`*?[]{}~#\n\r");
    QStringList found;
    QString word;
    bool inWord = false;
    for (int i = 0; i < command.size(); ++i) {
        const QChar c = command.at(i);
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inWord)
                found << word;
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('\'')) {
            const int end = command.indexOf(QLatin1Char('\''), i + 1);
            if (end < 0)
                return false;
            word += command.mid(i + 1, end - i - 1);
            i = end;
        } else if (c == QLatin1Char('"')) {
            for (++i;; ++i) {
                if (i >= command.size())
                    return false;
                const QChar q = command.at(i);
                if (q == QLatin1Char('"'))
                    break;
                if (q == QLatin1Char('$') || q == QLatin1Char('`'))
                    return false;
                if (q == QLatin1Char('\\') && i + 1 < command.size()
                    && QStringLiteral("\"\\$`").contains(command.at(i + 1)))
                    ++i;
                word += command.at(i);
            }
        } else if (c == QLatin1Char('\\')) {
            if (++i >= command.size() || command.at(i) == QLatin1Char('\n'))
                return false;
            word += command.at(i);
        } else if (special.contains(c)) {
            return false;
        } else {
            word += c;
        }
    }
    if (inWord)
        found << word;
    // No word at all, or a variable assignment in place of the program.
    if (found.isEmpty() || found.first().contains(QLatin1Char('=')))
        return false;
    *words = found;
    return true;
}

} // namespace ShellWords
