#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

// Points the shared documents folder at a fresh scratch folder for the life of this object.
class ScratchDocuments final
{
public:
    ScratchDocuments() { qputenv("TELVARO_SHARED_DOCUMENTS", m_dir.path().toLocal8Bit()); }
    QString path() const { return m_dir.path(); }
    QString file(const QString& relative) const { return QDir(m_dir.path()).filePath(relative); }

private:
    QTemporaryDir m_dir;
};

// The control called name below root; a missing control ends the test run, since every later step
// would only fail for the same reason.
template <typename T> T* findControl(const QObject* root, const QString& name)
{
    T* control = root->findChild<T*>(name);
    if (!control)
        qFatal("control %s missing", qPrintable(name));
    return control;
}

// A program's console output as text with LF line ends (a Windows console writes CR LF).
inline QString consoleText(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

inline QString testData(const QString& name)
{
    return QStringLiteral(TELVARO_TEST_DATA "/") + name;
}

#ifdef Q_OS_WIN
// WindowsSupport.cpp: whether the tests run under Wine, and links made the Windows way or, under
// Wine, the Unix way.
bool underWine();
bool plantLinkOnWindows(const QString& kind, const QString& path, const QString& target);
#endif

// Why this platform cannot put kind under a file's name (for plantInPlace); empty when it can.
inline QString plantingUnsupported(const QString& kind)
{
#ifdef Q_OS_WIN
    if (kind == QLatin1String("fifo"))
        return QStringLiteral("Windows has no named pipes in the file system");
    if ((kind == QLatin1String("link") || kind == QLatin1String("dangling")) && underWine())
        return QStringLiteral("Wine shows a link to a file as the file itself, or as nothing when dangling");
#else
    Q_UNUSED(kind);
#endif
    return QString();
}

// Puts at path what another program or user may leave under a file's name: "link" (a symbolic link
// to target), "dangling" (a link to target, which does not exist), "folderlink" (a link to the
// folder target; a junction's kind on Windows), "fifo" or "folder". False when it could not be made.
inline bool plantInPlace(const QString& kind, const QString& path, const QString& target = QString())
{
    if (kind == QLatin1String("folder"))
        return QDir().mkdir(path);
#ifdef Q_OS_WIN
    return plantLinkOnWindows(kind, path, target);
#else
    const QByteArray native = QFile::encodeName(path);
    if (kind == QLatin1String("link") || kind == QLatin1String("dangling") || kind == QLatin1String("folderlink"))
        return ::symlink(QFile::encodeName(target).constData(), native.constData()) == 0;
    if (kind == QLatin1String("fifo"))
        return ::mkfifo(native.constData(), 0600) == 0;
    return false;
#endif
}

// Takes the right to read path from the user, or skips the test where that is not possible: as root,
// or on Windows, which has no owner permission bits (only a read-only attribute).
#define TAKE_READ_PERMISSION(path)                                                                                     \
    do {                                                                                                               \
        if (!QFile::setPermissions(path, QFileDevice::Permissions()))                                                  \
            QSKIP("this platform cannot take the right to read a file from its owner");                                \
        if (QFile probe_(path); probe_.open(QIODevice::ReadOnly))                                                      \
            QSKIP("permissions do not restrict this user");                                                            \
    } while (false)

// Plants kind at path, or skips the data row where the platform cannot.
#define PLANT_IN_PLACE(kind, path, target)                                                                             \
    do {                                                                                                               \
        if (const QString why_ = plantingUnsupported(kind); !why_.isEmpty())                                           \
            QSKIP(qPrintable(why_));                                                                                   \
        QVERIFY(plantInPlace(kind, path, target));                                                                     \
    } while (false)
