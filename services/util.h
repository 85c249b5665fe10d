#ifndef VEXLOR_UTIL_H
#define VEXLOR_UTIL_H

// Static operations shared by every page: folders and log, the command helpers, file work,
// formatting and the file-type catalogue, prompts and pickers, and the El Torito reader.
// Each group is implemented in a file of its own (see the comments): the operations that need
// no widget in the core library, the file-type icons, prompts and pickers beside the dialogs.

#include <QDataStream>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>

#include <atomic>

class QIcon;
class QWidget;

class Util
{
public:
    // --- command helpers (services/cruncommandthread.cpp) ---
    // Runs "program" (quoted, so a path with blanks works) with the argument string split by
    // the platform rules, waits in a local event loop and returns its standard output.
    static QString callexternapp(const QString &program, const QString &arguments);
    // The same; *exitCode receives the exit code, or -1 when the program could not be started
    // or crashed.
    static QString callexternapp(const QString &program, const QString &arguments, int *exitCode);
    // The same with an argument list (each element reaches the program as one argument); a
    // program still running after timeoutMs (-1: no limit) is killed and gives what it wrote.
    static QString callexternapp(const QString &program, const QStringList &arguments,
                                 int timeoutMs, int *exitCode = nullptr);

    // --- folders and log (services/util_log.cpp) ---
    static QString GetCurrentExePath();
    static QString GetTempDir();
    static void WriteLog(const QString &text);
    // Whether the log is switched on now ("config.dat" beside the executable or in the data
    // folder): for callers
    // that would log many lines at once and ask once for all of them.
    static bool IsLogOn();

    // --- disk queries (services/util_disk.cpp) ---
    // Total size in bytes of a disk ("diskutil info DISK", its "Disk Size:" line); 0 when it
    // is not found.
    static qint64 DiskSpaceTotal(const QString &disk);
    // Mount point of a disk or volume ("diskutil info", its "Mount Point:" line); empty when
    // it is not mounted or not found.
    static QString GetMountPoint(const QString &disk);

    // --- file and folder operations (services/util_files.cpp) ---
    static bool IsFileExists(const QString &path);
    static void RemoveFile(const QString &path);
    static void RemoveDir(const QString &path, bool flag = true);
    // A copy ends early, between two chunks, once *stop is true: a failed copy, and the partial
    // file goes.
    static bool FileCopy(const QString &src, const QString &dst,
                         const std::atomic<bool> *stop = nullptr);
    // A folder copy ends early, inside the file in progress, once *stop is true (a failed copy).
    static bool DirCopy(const QString &src, const QString &dst,
                        const std::atomic<bool> *stop = nullptr);
    static bool DirCopy2(const QString &src, const QString &dstParent,
                         const std::atomic<bool> *stop = nullptr);
    static qint64 DirSize(const QString &path);
    static bool WriteMulLinesToFile(const QStringList &lines, const QString &path);

    // --- formatting (services/util_format.cpp) and file types (ui/util_icons.cpp) ---
    static QString SizeToString(qint64 size);
    static QString QT2String(const QDateTime &time);
    static QString ReplaceBlank(QString text);
    static QString GetExtension(const QString &name);
    static QIcon GetExtensionIcon(const QString &name);
    static QString GetExtensionString(const QString &name);
    static QMap<QString, QIcon> m_Icons;
    static QMap<QString, QString> m_Types;

    // Bytes copied so far by the background copier's task in progress
    // (services/util_files.cpp defines it).
    static std::atomic<qint64> copyedsize;

    // --- prompts, pickers, cursor, desktop (ui/util_prompts.cpp) ---
    static void SetCursorBusy();
    static void RestoreCursor();
    static QString GetOpenFileDialog(QWidget *parent, const QString &filter);
    static QStringList GetOpenFilesDialog(QWidget *parent);
    static QString GetDirDialog(QWidget *parent);
    static QString GetSaveDialog(QWidget *parent, const QString &filter);
    static QStringList GetDirsDialog(QWidget *parent);
    static QStringList GetDirsAndFilesDialog(QWidget *parent);
    static void ShowError(const QString &text);
    // The message with OK and Cancel: true for OK.
    static bool ShowConfirm(const QString &text);
    static void ShowOpen(const QString &text, const QString &folder);
    // The picture prompt with OK and Cancel: 1 for OK, else 0. A disk, when given, is named under
    // the picture's own words: the disk the prompt is about (one it will erase).
    static int ShowChoose(const QString &image, const QString &disk = QString());
    static void OpenExplorer(QWidget *parent, const QString &path);

    // --- El Torito boot image (model/bootextract.cpp) ---
    static bool BootExtract(const QString &isoPath, const QString &outPath);
    static void ProcessEntry(QString &outPath, QDataStream &stream, unsigned char *entry);
    static int Read(QDataStream &stream, qint64 offset, int length, void *buffer);
    static void WriteData(QString &path, void *data, int length);
};

#endif // VEXLOR_UTIL_H
