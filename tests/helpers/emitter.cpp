// A stand-in tool for the runner tests. It works through its arguments in order:
//   -o TEXT      write TEXT to standard output (escapes \n \r \b \t \\ \xHH are decoded)
//   -e TEXT      the same on standard error
//   -n N C       write the character C N times to standard output
//   -s MS        pause MS milliseconds
//   -p           print the process id and a line feed
//   -t           ignore the termination request (SIGTERM) from now on
//   -L           print the character set of the locale and a line feed
//   -l TEXT      print TEXT (UTF-8, escapes decoded) converted to the locale's character set,
//                '?' for every character it cannot hold, and a line feed
//   -a ARGS...   print every remaining argument as "[argument]" on a line of its own
//   -c CODE      exit with CODE
//   -k           crash (abort)
// Output is written unbuffered, so every write is one burst the reader sees on its own.

#include <QByteArray>
#include <QString>
#include <QThread>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <langinfo.h>
#include <unistd.h>

namespace {

QByteArray unescape(const char *text)
{
    QByteArray out;
    for (const char *p = text; *p; ++p) {
        if (*p != '\\' || !p[1]) {
            out += *p;
            continue;
        }
        ++p;
        switch (*p) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 'b':
            out += '\b';
            break;
        case 't':
            out += '\t';
            break;
        case 'x':
            if (p[1] && p[2]) {
                out += char(QByteArray(p + 1, 2).toInt(nullptr, 16));
                p += 2;
            }
            break;
        default:
            out += *p;
            break;
        }
    }
    return out;
}

void put(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n <= 0)
            std::exit(3);
        data += n;
        left -= n;
    }
}

QByteArray toLocale(const QByteArray &utf8)
{
    QByteArray out;
    const std::wstring wide = QString::fromUtf8(utf8).toStdWString();
    for (wchar_t c : wide) {
        char buffer[MB_LEN_MAX];
        std::mbstate_t state {};
        const size_t n = std::wcrtomb(buffer, c, &state);
        if (n == size_t(-1))
            out += '?';
        else
            out += QByteArray(buffer, int(n));
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    for (int i = 1; i < argc; ++i) {
        const QByteArray op = argv[i];
        auto next = [&]() -> const char * {
            return i + 1 < argc ? argv[++i] : "";
        };
        if (op == "-o") {
            put(1, unescape(next()));
        } else if (op == "-e") {
            put(2, unescape(next()));
        } else if (op == "-n") {
            const int count = std::atoi(next());
            const char c = *next();
            put(1, QByteArray(count, c));
        } else if (op == "-s") {
            QThread::msleep(std::strtoul(next(), nullptr, 10));
        } else if (op == "-p") {
            put(1, QByteArray::number(qint64(::getpid())) + '\n');
        } else if (op == "-t") {
            std::signal(SIGTERM, SIG_IGN);
        } else if (op == "-L") {
            put(1, QByteArray(nl_langinfo(CODESET)) + '\n');
        } else if (op == "-l") {
            put(1, toLocale(unescape(next())) + '\n');
        } else if (op == "-a") {
            for (++i; i < argc; ++i)
                put(1, QByteArray("[") + QByteArray(argv[i]) + QByteArray("]\n"));
        } else if (op == "-c") {
            return std::atoi(next());
        } else if (op == "-k") {
            std::abort();
        } else {
            put(2, QByteArray("emitter: unknown operation ") + op + '\n');
            return 64;
        }
    }
    return 0;
}
