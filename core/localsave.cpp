#include "core/localsave.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QRandomGenerator>
#include <QtCore/QtGlobal>

#include <cerrno>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace LocalSave {

namespace {

// Beside the target, so the rename never crosses file systems; hidden, so
// a folder listing taken meanwhile does not show it as a file of its own;
// short, so a target name of the longest kind still leaves room for it.
QString temporaryPath(const QString &path)
{
    const QString suffix = QString::number(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFFull, 36);
    return QDir(QFileInfo(path).absolutePath()).filePath(QStringLiteral(".spiffs-save-%1").arg(suffix));
}

#ifdef Q_OS_WIN

QString lastError()
{
    return systemErrorText(int(::GetLastError()));
}

QString writeTemporary(const QString &temporary, const QString &, const QByteArray &content, bool *made)
{
    const HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(temporary).utf16()),
                                      GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return lastError();
    *made = true;
    QString problem;
    const char *data = content.constData();
    qint64 left = content.size();
    while (left > 0 && problem.isEmpty()) {
        DWORD written = 0;
        const DWORD piece = DWORD(qMin<qint64>(left, 1 << 30));
        if (!::WriteFile(file, data, piece, &written, nullptr) || written == 0)
            problem = lastError();
        data += written;
        left -= written;
    }
    if (problem.isEmpty() && !::FlushFileBuffers(file))
        problem = lastError();
    if (!::CloseHandle(file) && problem.isEmpty())
        problem = lastError();
    return problem;
}

QString putInPlace(const QString &temporary, const QString &path)
{
    if (::MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(temporary).utf16()),
                      reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return QString();
    return lastError();
}

#else

QString errnoText()
{
    return systemErrorText(errno);
}

// A file the user replaces keeps its permissions; a new one gets what the
// umask gives any new file.
QString writeTemporary(const QString &temporary, const QString &path, const QByteArray &content, bool *made)
{
    const QByteArray name = QFile::encodeName(temporary);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        return errnoText();
    *made = true;
    QString problem;
    struct stat old {};
    if (::lstat(QFile::encodeName(path).constData(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd, old.st_mode & 07777);
    const char *data = content.constData();
    qint64 left = content.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(qMin<qint64>(left, 1 << 30)));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            problem = written < 0 ? errnoText() : systemErrorText(ENOSPC);
            break;
        }
        data += written;
        left -= written;
    }
    // Some file systems (NFS, a quota, a USB stick) report a failed write
    // only here.
    if (problem.isEmpty() && ::fsync(fd) != 0)
        problem = errnoText();
    if (::close(fd) != 0 && problem.isEmpty())
        problem = errnoText();
    return problem;
}

QString putInPlace(const QString &temporary, const QString &path)
{
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0)
        return errnoText();
    // The rename itself reaches the disk with its folder.
    const int folder = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return QString();
}

#endif

} // namespace

QString systemErrorText(int error)
{
    return asReason(qt_error_string(error));
}

QString asReason(const QString &message)
{
    QString text = message.trimmed();
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    // "No space left on device" follows a colon in our messages; an
    // abbreviation ("I/O error") keeps its capitals.
    if (text.size() > 1 && text.at(0).isUpper() && !text.at(1).isUpper())
        text[0] = text.at(0).toLower();
    return text;
}

QString replace(const QString &path, const QByteArray &content)
{
    const QString temporary = temporaryPath(path);
    bool made = false;
    QString problem = writeTemporary(temporary, path, content, &made);
    if (problem.isEmpty())
        problem = putInPlace(temporary, path);
    // Only a file of our own making goes: the name may have been taken.
    if (!problem.isEmpty() && made)
        QFile::remove(temporary);
    return problem;
}

} // namespace LocalSave
