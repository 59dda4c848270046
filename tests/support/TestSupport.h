#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

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

inline QString testData(const QString& name)
{
    return QStringLiteral(TELVARO_TEST_DATA "/") + name;
}

// Puts at path what another program or user may leave under a file's name: "link" (a symbolic link
// to target), "dangling" (a link to target, which does not exist), "fifo" or "folder". False when
// it could not be made.
inline bool plantInPlace(const QString& kind, const QString& path, const QString& target = QString())
{
    const QByteArray native = QFile::encodeName(path);
    if (kind == QLatin1String("link") || kind == QLatin1String("dangling"))
        return ::symlink(QFile::encodeName(target).constData(), native.constData()) == 0;
    if (kind == QLatin1String("fifo"))
        return ::mkfifo(native.constData(), 0600) == 0;
    if (kind == QLatin1String("folder"))
        return QDir().mkdir(path);
    return false;
}
